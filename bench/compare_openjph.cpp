// Decoding time and peak memory of QVX against OpenJPH on the same photographs,
// both decoders in this one process, run alternately. bench/compare_openjph.sh
// makes the streams and calls it; see --help.
#include <fcntl.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "compare_image.h"
#include "image_io.h"
#include "openjph_decode.h"
#include "resident_memory.h"
#include "qvx/SimpleQvxDecoder.h"

namespace {

using namespace qvxbench;
using Clock = std::chrono::steady_clock;

// The decoder prints diagnostic lines on standard output during a decode;
// they go to /dev/null, and this program's own output to a copy of the
// original standard output.
FILE* report = stdout;

bool divert_stdout() {
    const int copy = ::dup(1);
    const int null = ::open("/dev/null", O_WRONLY);
    if (copy < 0 || null < 0) return false;
    FILE* f = ::fdopen(copy, "w");
    if (!f) return false;
    std::fflush(stdout);
    ::dup2(null, 1);
    ::close(null);
    report = f;
    return true;
}

const char* const kUsage =
    "usage: compare_openjph [--rounds N] [--rounds-large N] [--table FILE] CASES\n"
    "       compare_openjph --reference IN OUT\n"
    "       compare_openjph --peak ours|openjph THREADS STREAM\n"
    "\n"
    "CASES lists one case a line: PHOTO SETTING REFERENCE.pnm OURS.qvx THEIRS.j2c.\n"
    "SETTING 'lossless' requires both decodes to equal the reference; otherwise\n"
    "their PSNR is printed. Per case: a verifying decode of each, peak memory of\n"
    "one decode each in a fresh process, then rounds of our decode with 1 and 2\n"
    "threads and OpenJPH's (single-threaded) decode in rotating order. Prints a\n"
    "Markdown table (also written to FILE): medians of the wall-clock time\n"
    "(minimum in brackets), their ratios, and the ratio of the medians of the\n"
    "process CPU time of the single-threaded decodes.\n"
    "--rounds N (default 7) is for frames up to 2.1 megapixels (three times as\n"
    "many below 0.5 megapixels), --rounds-large N (default 5) for larger ones.\n"
    "Each case runs in its own process.\n"
    "--reference: IN (PNG/PNM) as the PGM/PPM both encoders read (sides cut to\n"
    "multiples of 4, 16-bit samples given their real depth).\n"
    "--peak: decodes STREAM once in this process and prints the growth of the\n"
    "peak resident size over the size before the decode, and the output bytes.\n";

struct Case {
    std::string photo, setting, reference, ours, theirs;
};

struct Stats {
    double median = 0, min = 0;
};

Stats stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    Stats s;
    if (v.empty()) return s;
    s.min = v.front();
    s.median = v.size() % 2 ? v[v.size() / 2] : 0.5 * (v[v.size() / 2 - 1] + v[v.size() / 2]);
    return s;
}

bool read_bytes(const std::string& path, std::vector<uint8_t>& out) {
    try {
        out = qvxtools::read_file(path);
        return true;
    } catch (const qvxtools::ToolError& e) {
        std::fprintf(stderr, "compare_openjph: %s\n", e.what());
        return false;
    }
}

// One decode of ours; the caller frees the output with decoder.deleteBuffer.
mem_data* decode_ours(Vantrel::QVX::SimpleQvxDecoder& decoder, std::vector<uint8_t>& stream) {
    mem_data in(stream.data(), stream.size());
    mem_data* out = nullptr;
    if (decoder.decode(&in, &out) != 0) return nullptr;
    return out;
}

int peak_mode(const std::string& which, unsigned threads, const std::string& path) {
    std::vector<uint8_t> stream;
    if (!read_bytes(path, stream)) return 1;
    Vantrel::QVX::SimpleQvxDecoder decoder;
    decoder.setThreads(threads);
    OpenjphFrame frame;
    std::string error;
    const bool reset = reset_peak_resident();
    const uint64_t before = reset ? resident_bytes() : peak_resident_bytes();
    uint64_t out_bytes = 0;
    if (which == "ours") {
        mem_data* out = decode_ours(decoder, stream);
        if (!out) {
            std::fprintf(stderr, "compare_openjph: %s: %s\n", path.c_str(), decoder.lastError());
            return 1;
        }
        out_bytes = out->size;
        const uint64_t peak = peak_resident_bytes();
        decoder.deleteBuffer(&out);
        std::fprintf(report, "%llu %llu\n", (unsigned long long)(peak - std::min(peak, before)),
                     (unsigned long long)out_bytes);
        return 0;
    }
    if (!openjph_decode(stream.data(), stream.size(), frame, error)) {
        std::fprintf(stderr, "compare_openjph: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    const uint64_t peak = peak_resident_bytes();
    std::fprintf(report, "%llu %llu\n", (unsigned long long)(peak - std::min(peak, before)),
                 (unsigned long long)(frame.size() * 2));
    return 0;
}

// Peak growth in bytes of one decode in a fresh process, or -1.
double measure_peak(const std::string& which, unsigned threads, const std::string& path) {
    ChildResult r;
    std::string error;
    if (!run_self({"--peak", which, std::to_string(threads), path}, r, error) || r.exit_code != 0) {
        std::fprintf(stderr, "compare_openjph: peak of %s on %s failed%s%s\n", which.c_str(), path.c_str(),
                     error.empty() ? "" : ": ", error.c_str());
        return -1;
    }
    unsigned long long grow = 0, out = 0;
    if (std::sscanf(r.output.c_str(), "%llu %llu", &grow, &out) != 2) return -1;
    return double(grow);
}

std::string fmt(const char* f, double a) {
    char buf[64];
    std::snprintf(buf, sizeof buf, f, a);
    return buf;
}

std::string mib(double bytes) { return bytes < 0 ? "?" : fmt("%.1f", bytes / 1048576.0); }

std::string time_cell(const Stats& s) { return fmt("%.1f", s.median) + " (" + fmt("%.1f", s.min) + ")"; }

std::string check_cell(const std::string& stream, bool lossless, const Planes& frame, const qvxtools::Image& ref,
                       bool& ok) {
    if (!lossless) return fmt("%.2f dB", psnr(frame, ref));
    std::string where;
    if (same_samples(frame, ref, where)) return "exact";
    std::fprintf(stderr, "compare_openjph: %s decodes other samples than the input: %s\n", stream.c_str(),
                 where.c_str());
    ok = false;
    return "**DIFFERS**";
}

struct Options {
    int rounds = 7, rounds_large = 5;
    std::string table, cases;
};

// The ratios of one case that the decoding goals name.
struct Ratios {
    bool goal_frame = false;  // 1920x1080 RGB 8 or 12-bit, or 3840x2160 RGB
    double one = -1, cpu = -1, two = -1, peak = -1;
};

// Returns the table row of one case, or "" if a stream does not decode.
std::string run_case(const Case& c, const Options& o, bool& all_ok, Ratios& ratios) {
    qvxtools::Image ref;
    try {
        ref = qvxtools::read_image(c.reference);
    } catch (const qvxtools::ToolError& e) {
        std::fprintf(stderr, "compare_openjph: %s\n", e.what());
        return "";
    }
    std::string error;
    std::vector<uint8_t> ours, theirs;
    if (!read_bytes(c.ours, ours) || !read_bytes(c.theirs, theirs)) return "";
    const double pixels = double(ref.width) * ref.height;
    const bool lossless = c.setting == "lossless";

    Vantrel::QVX::SimpleQvxDecoder one, two;
    two.setThreads(2);
    mem_data* out1 = decode_ours(one, ours);
    mem_data* out2 = decode_ours(two, ours);
    if (!out1 || !out2) {
        std::fprintf(stderr, "compare_openjph: %s: %s\n", c.ours.c_str(), out1 ? two.lastError() : one.lastError());
        if (out1) one.deleteBuffer(&out1);
        if (out2) two.deleteBuffer(&out2);
        return "";
    }
    const uint64_t out_bytes = out1->size;
    bool ok = true;
    const std::string our_check = check_cell(c.ours, lossless, planes_from_be16(out1->data, out1->size, ref), ref, ok);
    if (out1->size != out2->size || std::memcmp(out1->data, out2->data, out1->size) != 0) {
        std::fprintf(stderr, "compare_openjph: %s: 2 threads give other output than 1\n", c.ours.c_str());
        ok = false;
    }
    one.deleteBuffer(&out1);
    two.deleteBuffer(&out2);
    std::string their_check;
    {
        OpenjphFrame f;
        if (!openjph_decode(theirs.data(), theirs.size(), f, error)) {
            std::fprintf(stderr, "compare_openjph: %s: %s\n", c.theirs.c_str(), error.c_str());
            return "";
        }
        Planes p;
        p.width = f.width;
        p.height = f.height;
        p.components = f.components;
        p.samples.assign(f.samples.get(), f.samples.get() + f.size());
        their_check = check_cell(c.theirs, lossless, p, ref, ok);
        if (f.levels != 5 || f.reversible != lossless) {
            std::fprintf(stderr, "compare_openjph: %s: %u levels, %s; expected 5, %s\n", c.theirs.c_str(), f.levels,
                         f.reversible ? "reversible" : "irreversible", lossless ? "reversible" : "irreversible");
            ok = false;
        }
    }
    if (!ok) all_ok = false;

    const double peak1 = measure_peak("ours", 1, c.ours);
    const double peak2 = measure_peak("ours", 2, c.ours);
    const double peak_j = measure_peak("openjph", 1, c.theirs);

    // Small frames take milliseconds, so they get more rounds against noise.
    const int rounds = pixels > 2.1e6 ? o.rounds_large : pixels < 0.5e6 ? 3 * o.rounds : o.rounds;
    // Wall-clock and process CPU time of each decode. On a busy machine the
    // CPU time of the single-threaded decodes is the steadier comparison.
    std::vector<double> t1, t2, tj, cpu1, cpuj;
    auto timed = [](auto&& decode, std::vector<double>& wall, std::vector<double>* cpu) {
        timespec c0{}, c1{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c0);
        const auto start = Clock::now();
        const bool good = decode();
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &c1);
        if (cpu) cpu->push_back(double(c1.tv_sec - c0.tv_sec) * 1e3 + double(c1.tv_nsec - c0.tv_nsec) * 1e-6);
        return good;
    };
    for (int r = 0; r < rounds; ++r)
        for (int k = 0; k < 3; ++k) {
            const int which = (r + k) % 3;  // rotate, so no decoder always runs first
            OpenjphFrame f;
            mem_data* out = nullptr;
            Vantrel::QVX::SimpleQvxDecoder& d = which == 0 ? one : two;
            const bool good =
                which == 2 ? timed([&] { return openjph_decode(theirs.data(), theirs.size(), f, error); }, tj, &cpuj)
                           : timed([&] { return (out = decode_ours(d, ours)) != nullptr; }, which == 0 ? t1 : t2,
                                   which == 0 ? &cpu1 : nullptr);
            if (!good) return "";
            if (out) d.deleteBuffer(&out);
        }
    const Stats s1 = stats(t1), s2 = stats(t2), sj = stats(tj);
    const double cpu_ratio = stats(cpuj).median > 0 ? stats(cpu1).median / stats(cpuj).median : -1;
    const double base = double(out_bytes) + double(ours.size());
    auto ratio = [](double a, double b) { return b > 0 ? fmt("%.2f", a / b) : std::string("?"); };
    ratios.goal_frame = ref.channels == 3 && ((ref.width == 1920 && ref.height == 1080 &&
                                               (ref.maxval == 255 || ref.maxval == 4095)) ||
                                              (ref.width == 3840 && ref.height == 2160));
    if (sj.median > 0) {
        ratios.one = s1.median / sj.median;
        ratios.two = s2.median / sj.median;
    }
    ratios.cpu = cpu_ratio;
    if (peak1 >= 0 && peak2 >= 0) ratios.peak = std::max(peak1, peak2) / base;
    std::ostringstream row;
    row << "| " << c.photo << " | " << c.setting << " | " << fmt("%.2f", ours.size() * 8.0 / pixels) << " / "
        << fmt("%.2f", theirs.size() * 8.0 / pixels) << " | " << our_check << " / " << their_check << " | "
        << time_cell(s1) << " | " << time_cell(s2) << " | " << time_cell(sj) << " | "
        << ratio(s1.median, sj.median) << " | " << (cpu_ratio < 0 ? "?" : fmt("%.2f", cpu_ratio)) << " | "
        << ratio(s2.median, sj.median) << " | " << mib(peak1) << " / "
        << mib(peak2) << " / " << mib(peak_j) << " | "
        << (peak1 < 0 ? "?" : ratio(peak1, base)) << " / " << (peak2 < 0 ? "?" : ratio(peak2, base)) << " |";
    return row.str();
}

bool parse_int(const char* s, int& v) {
    char* end = nullptr;
    const long x = std::strtol(s, &end, 10);
    if (!*s || *end || x < 1 || x > 1000) return false;
    v = int(x);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!divert_stdout()) {
        std::fprintf(stderr, "compare_openjph: cannot redirect standard output\n");
        return 1;
    }
    if (argc == 4 && std::strcmp(argv[1], "--reference") == 0) {
        try {
            make_reference_pnm(argv[2], argv[3]);
            return 0;
        } catch (const qvxtools::ToolError& e) {
            std::fprintf(stderr, "compare_openjph: %s\n", e.what());
            return 1;
        }
    }
    if (argc == 5 && std::strcmp(argv[1], "--peak") == 0) {
        int threads = 0;
        const std::string which = argv[2];
        if ((which != "ours" && which != "openjph") || !parse_int(argv[3], threads)) {
            std::fputs(kUsage, stderr);
            return 2;
        }
        return peak_mode(which, unsigned(threads), argv[4]);
    }
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, report);
            return 0;
        } else if (a == "--rounds" && i + 1 < argc && parse_int(argv[i + 1], o.rounds)) {
            ++i;
        } else if (a == "--rounds-large" && i + 1 < argc && parse_int(argv[i + 1], o.rounds_large)) {
            ++i;
        } else if (a == "--table" && i + 1 < argc) {
            o.table = argv[++i];
        } else if (o.cases.empty() && a[0] != '-') {
            o.cases = a;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (o.cases.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::ifstream list(o.cases);
    if (!list) {
        std::fprintf(stderr, "compare_openjph: cannot read %s\n", o.cases.c_str());
        return 1;
    }
    std::vector<Case> cases;
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        Case c;
        if (fields >> c.photo >> c.setting >> c.reference >> c.ours >> c.theirs) cases.push_back(c);
    }

    const char* const header =
        "| photo | setting | bpp ours / OpenJPH | check ours / OpenJPH | ours 1 thread, ms | ours 2 threads, ms "
        "| OpenJPH, ms | 1 thread / OpenJPH | same, CPU time | 2 threads / OpenJPH | peak MiB ours 1T / 2T / OpenJPH "
        "| ours peak / (output + stream) 1T / 2T |\n"
        "|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    std::string table = header;
    std::fputs(header, report);
    std::fflush(report);
    bool all_ok = true;
    int goal_cases = 0;
    double worst_one = -1, worst_cpu = -1, worst_two = -1, worst_peak = -1;
    for (const Case& c : cases) {
        // Each case in its own process: a decoder that crashes costs one row.
        ChildResult r;
        std::string error;
        const bool ran = run_forked(
            [&](int fd) {
                bool ok = true;
                Ratios ratios;
                std::string text = run_case(c, o, ok, ratios);
                if (!text.empty()) {
                    char numbers[128];
                    std::snprintf(numbers, sizeof numbers, "\n%d %.6g %.6g %.6g %.6g", int(ratios.goal_frame),
                                  ratios.one, ratios.cpu, ratios.two, ratios.peak);
                    text += numbers;
                }
                for (size_t done = 0; done < text.size();) {
                    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
                    if (n <= 0) return 1;
                    done += size_t(n);
                }
                return ok && !text.empty() ? 0 : 1;
            },
            r, error);
        std::string row = r.output.substr(0, r.output.find('\n'));
        if (ran && !row.empty()) {
            int goal = 0;
            double one = -1, cpu = -1, two = -1, peak = -1;
            if (std::sscanf(r.output.c_str() + row.size(), "%d %lf %lf %lf %lf", &goal, &one, &cpu, &two, &peak) == 5 &&
                goal) {
                ++goal_cases;
                worst_one = std::max(worst_one, one);
                worst_cpu = std::max(worst_cpu, cpu);
                worst_two = std::max(worst_two, two);
                worst_peak = std::max(worst_peak, peak);
            }
        }
        if (!ran || row.empty()) {
            const std::string why = !ran ? error
                                    : r.signal ? "ended by signal " + std::to_string(r.signal)
                                               : "failed";
            row = "| " + c.photo + " | " + c.setting + " | " + why + ", see the messages |  |  |  |  |  |  |  |  |  |";
        }
        if (!ran || r.exit_code != 0) all_ok = false;
        std::fprintf(report, "%s\n", row.c_str());
        std::fflush(report);
        table += row + "\n";
    }
    if (goal_cases) {
        char summary[400];
        std::snprintf(summary, sizeof summary,
                      "\nWorst of the %d cases the goals name (1920x1080 RGB 8 and 12-bit, 3840x2160): ours "
                      "1 thread / OpenJPH %.2f (by CPU time %.2f; goal 1.0 or less), 2 threads / OpenJPH %.2f (goal 0.6 or less), "
                      "peak / (output + stream) %.2f (goal 2.5 or less).\n",
                      goal_cases, worst_one, worst_cpu, worst_two, worst_peak);
        std::fputs(summary, report);
        table += summary;
    }
    if (!o.table.empty()) {
        std::ofstream f(o.table, std::ios::binary);
        f << table;
        if (!f) {
            std::fprintf(stderr, "compare_openjph: cannot write %s\n", o.table.c_str());
            return 1;
        }
    }
    return all_ok ? 0 : 1;
}

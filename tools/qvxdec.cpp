// qvxdec: decodes QVX streams to PNG, TIFF, PNM/PAM or the decoder's raw buffer.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "base/error.h"
#include "cli_common.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "image_io.h"
#include "output/lut.h"
#include "output_convert.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvxdec_info.h"

namespace {

namespace fs = std::filesystem;
using Vantrel::QVX::FrameState;
using qvxtools::LibraryLines;

const char* kUsageLine = "usage: qvxdec [options] IN... [-o OUT]\n";

const char* kUsage =
    "usage: qvxdec [options] IN... [-o OUT]\n"
    "\n"
    "Decodes each QVX stream IN ('-': standard input), in order, on one decoder object,\n"
    "and prints one line per stream: output name, size, format and decoding time.\n"
    "Output:\n"
    "  -o OUT           output file; '-' writes standard output (one input, and\n"
    "                   --format). With several inputs OUT is a directory (created if\n"
    "                   needed) that receives one file per input. Without -o each output\n"
    "                   goes next to its input.\n"
    "  --format F       png, tiff, pgm, ppm, pnm, pam or raw; default: OUT's extension\n"
    "                   (.png, .tif/.tiff, .pgm, .ppm, .pnm, .pam, .raw); png without -o\n"
    "                   or with a directory.\n"
    "                   png: 8-bit for 8-bit frames, else 16-bit scaled to the full range\n"
    "                   with an sBIT chunk giving the bit depth. tiff: 8 or 16-bit,\n"
    "                   values unscaled, SMaxSampleValue giving the range. pgm/ppm/pnm:\n"
    "                   PGM for one component, PPM for three; pam: any component count;\n"
    "                   both unscaled, 8-bit for 8-bit frames, else 16-bit. raw: the\n"
    "                   decoder's exact output buffer, 16-bit samples, high byte first.\n"
    "  --raw            the same as --format raw\n"
    "  --interleaved    raw output pixel-interleaved instead of planar (image files are\n"
    "                   always interleaved)\n"
    "  --422 rgb|raw    4:2:2 streams: rgb (default) writes RGB with each chroma pair used\n"
    "                   for both of its pixels, converted by the video-range default colour\n"
    "                   rule; raw writes the Cb Y0 Cr Y1 samples as a grey image twice as\n"
    "                   wide as the frame. Raw output is always Cb Y0 Cr Y1.\n"
    "  --lut FILE       tone-table file for streams encoded through a tone curve\n"
    "Checks and reports:\n"
    "  --info           decode nothing: print each stream's header, packets and bytes of\n"
    "                   every subband stream, and check that the packets fit the input and\n"
    "                   hold every word the frame needs (problems on standard error)\n"
    "  --json           print the results (of --info or of decoding) as one JSON array\n"
    "                   instead of text lines\n"
    "  --max-pixels N   refuse frames of more than N pixels (width x height), N from 1\n"
    "                   to 4294967295 (default: no limit)\n"
    "  --threads N      decoding threads, N from 0 to 256; 0: one per core (default 1)\n"
    "  -q, --quiet      print nothing but errors and warnings\n"
    "  -v, --verbose    also print each stream's stage times on standard error\n"
    "  -V, --version    print the versions of qvxdec and of the decoding library\n"
    "  -h, --help       this text\n"
    "With OUT '-' nothing but the image goes to standard output: the report lines and\n"
    "the library's messages go to standard error.\n"
    "Bayer streams are written as the grey mosaic the decoder rebuilds.\n"
    "Exit status: 0 if every stream was handled, 1 if one failed, 2 for a usage error.\n";

struct Options {
    bool interleaved = false;
    bool info = false;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    bool rgb422 = true;
    bool rgb422_given = false;
    std::string format;  // "" until --format, --raw or OUT's extension decides
    unsigned threads = 1;
    uint64_t max_pixels = 0;
    std::string lut;
    std::string output;
    std::vector<std::string> inputs;
};

int usage_error(const std::string& message) { return qvxtools::usage_error("qvxdec", message, kUsageLine); }

bool is_output_format(const std::string& f) { return f == "raw" || qvxtools::is_image_format(f); }

// Returns -1 when options are good, otherwise the exit code. Everything that
// can be known before reading a stream is checked here.
int parse_options(int argc, char** argv, Options& o) {
    bool outputs_to_directory = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version" || a == "-V") {
            std::printf("%s\n", qvxtools::version_text("qvxdec").c_str());
            return 0;
        } else if (a == "--interleaved") {
            o.interleaved = true;
        } else if (a == "--info") {
            o.info = true;
        } else if (a == "--json") {
            o.json = true;
        } else if (a == "--raw") {
            if (!o.format.empty() && o.format != "raw") return usage_error("--raw and --format " + o.format + " exclude each other");
            o.format = "raw";
        } else if (a == "-q" || a == "--quiet") {
            o.quiet = true;
        } else if (a == "-v" || a == "--verbose") {
            o.verbose = true;
        } else if (a == "--lut" || a == "-o" || a == "--422" || a == "--format" || a == "--threads" ||
                   a == "--max-pixels") {
            if (i + 1 >= argc) return usage_error(a + " needs a value");
            const std::string v = argv[++i];
            long long n = 0;
            if (a == "--lut") {
                o.lut = v;
            } else if (a == "-o") {
                o.output = v;
            } else if (a == "--422") {
                if (v != "rgb" && v != "raw") return usage_error("--422 takes rgb or raw, not '" + v + "'");
                o.rgb422 = v == "rgb";
                o.rgb422_given = true;
            } else if (a == "--format") {
                if (!is_output_format(v))
                    return usage_error("--format takes png, tiff, pgm, ppm, pnm, pam or raw, not '" + v + "'");
                if (o.format == "raw" && v != "raw") return usage_error("--raw and --format " + v + " exclude each other");
                o.format = v;
            } else if (a == "--threads") {
                if (!qvxtools::parse_number(v, 0, 256, n))
                    return usage_error("--threads takes a whole number from 0 to 256, not '" + v + "'");
                o.threads = unsigned(n);
            } else {
                if (!qvxtools::parse_number(v, 1, 4294967295LL, n))
                    return usage_error("--max-pixels takes a whole number from 1 to 4294967295, not '" + v + "'");
                o.max_pixels = uint64_t(n);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else {
            o.inputs.push_back(a);
        }
    }
    if (o.inputs.empty()) return usage_error("no input given");
    size_t from_stdin = 0;
    for (const std::string& in : o.inputs) from_stdin += qvxtools::is_stdio(in);
    if (from_stdin > 1) return usage_error("standard input ('-') can be read once only");
    if (o.info) return -1;

    std::error_code ec;
    outputs_to_directory = !o.output.empty() && !qvxtools::is_stdio(o.output) &&
                           (o.inputs.size() > 1 || fs::is_directory(o.output, ec));
    if (qvxtools::is_stdio(o.output)) {
        if (o.inputs.size() > 1) return usage_error("-o - takes one input; several go to a directory");
        if (o.format.empty()) return usage_error("-o - needs --format (png, tiff, pgm, ppm, pnm, pam or raw)");
    } else if (from_stdin && o.output.empty()) {
        return usage_error("a stream read from standard input needs -o");
    } else if (o.format.empty() && !o.output.empty() && !outputs_to_directory) {
        const std::string ext = fs::path(o.output).extension().string();
        o.format = ext == ".raw" ? "raw" : qvxtools::format_of_path(o.output);
        if (o.format.empty())
            return usage_error("cannot tell the format of " + o.output +
                               ": name it .png, .tif, .tiff, .pgm, .ppm, .pnm, .pam or .raw, or give --format");
    }
    if (o.format.empty()) o.format = "png";
    if (o.format == "raw" && o.rgb422_given && o.rgb422)
        return usage_error("--422 rgb needs an image format: raw output is the decoder's Cb Y0 Cr Y1 buffer");
    return -1;
}

std::string extension_for(const std::string& format) { return format == "tiff" ? ".tif" : "." + format; }

std::string output_path(const Options& o, const std::string& input, bool to_directory) {
    const std::string ext = extension_for(o.format);
    if (to_directory) return (fs::path(o.output) / fs::path(input).filename().replace_extension(ext)).string();
    if (!o.output.empty()) return o.output;
    return fs::path(input).replace_extension(ext).string();
}

std::string display_name(const std::string& path) { return qvxtools::is_stdio(path) ? "-" : path; }

const char* kind_name(uint32_t channels) {
    static const char* kNames[5] = {"", "grey", "grey+alpha", "RGB", "RGBA"};
    return channels <= 4 ? kNames[channels] : "?";
}

// Builds the image for the decoded buffer of a stream whose header is fs.
qvxtools::Image make_image(const Options& o, const FrameState& fs, const mem_data& out, std::string& format) {
    if (fs.bayer_mode != 0) {
        const qvxtools::MosaicGeometry m = qvxtools::bayer_mosaic_geometry(
            fs.bayer_mode, fs.width, fs.height, fs.stored_width, fs.bit_depth, fs.ct_mode);
        format = "Bayer mode " + std::to_string(fs.bayer_mode) + " mosaic, " + std::to_string(m.depth) + "-bit";
        return qvxtools::image_from_words(out.data, out.size, m.width, m.height, 1,
                                          qvxtools::maxval_for_depth(unsigned(m.depth)));
    }
    if (fs.component_format == 3) {
        if (o.rgb422) {
            format = "4:2:2 as RGB, " + std::to_string(fs.bit_depth) + "-bit";
            return qvxtools::rgb_from_422(out.data, out.size, fs.width, fs.height, fs.bit_depth);
        }
        format = "4:2:2 Cb Y0 Cr Y1, " + std::to_string(fs.bit_depth) + "-bit";
        const uint32_t row = (uint32_t(fs.width) + 1) / 2 * 4;
        return qvxtools::image_from_words(out.data, out.size, row, fs.height, 1,
                                          qvxtools::maxval_for_depth(fs.bit_depth));
    }
    format = std::string(kind_name(fs.num_components)) + ", " + std::to_string(fs.bit_depth) + "-bit";
    return qvxtools::image_from_words(out.data, out.size, fs.width, fs.height, fs.num_components,
                                      qvxtools::maxval_for_depth(fs.bit_depth));
}

// The outcome of one input, for the text line or the JSON record.
struct Result {
    std::string input, output, error, format;
    uint32_t width = 0, height = 0;
    uint64_t bytes = 0;
    double read_ms = 0, decode_ms = 0, convert_ms = 0, write_ms = 0;
    bool ok = false;
};

// The decoder's output buffer, handed back to it however the input ends.
class DecodedBuffer {
public:
    explicit DecodedBuffer(Vantrel::QVX::SimpleQvxDecoder& decoder) : decoder_(decoder) {}
    ~DecodedBuffer() {
        if (buffer_) decoder_.deleteBuffer(&buffer_);
    }
    DecodedBuffer(const DecodedBuffer&) = delete;
    DecodedBuffer& operator=(const DecodedBuffer&) = delete;
    mem_data** slot() { return &buffer_; }
    const mem_data& get() const { return *buffer_; }

private:
    Vantrel::QVX::SimpleQvxDecoder& decoder_;
    mem_data* buffer_ = nullptr;
};

// Decodes one file into r, throwing ToolError on any failure. probe mirrors
// the header fields that the decoder object keeps between calls.
void decode_into(Result& r, const Options& o, Vantrel::QVX::SimpleQvxDecoder& decoder, FrameState& probe,
                 const std::string& input, const std::string& output) {
    qvxtools::StageClock clock;
    std::vector<uint8_t> bytes = qvxtools::read_input(input);
    r.read_ms = clock.lap();
    {
        mem_data header(bytes.data(), bytes.size(), 0);
        try {
            Vantrel::QVX::read_header(header, probe);
        } catch (const Vantrel::QVX::QvxError&) {
            // decode reports the same failure with its message below
        }
    }
    // The library ends the whole process on Bayer modes above 5; refuse them
    // here so that the remaining inputs are still decoded.
    if (probe.bayer_mode > 5)
        throw qvxtools::ToolError("Bayer mode " + std::to_string(probe.bayer_mode) + " is not supported");
    // The pixel limit, judged from the header before any decoding work.
    const uint64_t pixels = uint64_t(probe.width) * probe.height;
    if (o.max_pixels != 0 && pixels > o.max_pixels)
        throw qvxtools::ToolError("the frame has " + std::to_string(probe.width) + "x" +
                                  std::to_string(probe.height) + " pixels, above --max-pixels " +
                                  std::to_string(o.max_pixels));
    const bool raw = o.format == "raw";
    decoder.setInterleaved(raw ? o.interleaved : true);

    mem_data in(bytes.data(), bytes.size(), 0);
    DecodedBuffer out(decoder);
    clock.lap();
    int result;
    try {
        result = decoder.decode(&in, out.slot());
    } catch (const std::bad_alloc&) {
        throw qvxtools::ToolError("out of memory for a " + std::to_string(probe.width) + "x" +
                                  std::to_string(probe.height) + " frame");
    }
    r.decode_ms = clock.lap();
    if (result != 0) throw qvxtools::ToolError(decoder.lastError());
    const mem_data& decoded = out.get();
    if (raw) {
        r.format = "raw buffer of " + std::to_string(decoded.size) + " bytes";
        r.bytes = decoded.size;
        r.convert_ms = clock.lap();
        qvxtools::write_output(output, decoded.data, decoded.size);
    } else {
        const qvxtools::Image image = make_image(o, probe, decoded, r.format);
        const std::vector<uint8_t> file = qvxtools::encode_image(o.format, image);
        r.width = image.width;
        r.height = image.height;
        r.bytes = file.size();
        r.convert_ms = clock.lap();
        qvxtools::write_output(output, file.data(), file.size());
    }
    r.write_ms = clock.lap();
}

Result decode_one(const Options& o, Vantrel::QVX::SimpleQvxDecoder& decoder, FrameState& probe,
                  const std::string& input, const std::string& output) {
    Result r;
    r.input = display_name(input);
    r.output = display_name(output);
    try {
        decode_into(r, o, decoder, probe, input, output);
        r.ok = true;
    } catch (const qvxtools::ToolError& e) {
        r.error = e.what();
    }
    return r;
}

void report(const Options& o, const Result& r, std::FILE* lines) {
    if (!r.ok) {
        std::fprintf(stderr, "qvxdec: %s: %s\n", r.input.c_str(), r.error.c_str());
    } else if (!o.quiet && !o.json) {
        if (r.width != 0)
            std::fprintf(lines, "%s -> %s: %ux%u, %s, %.2f ms\n", r.input.c_str(), r.output.c_str(), r.width,
                         r.height, r.format.c_str(), r.decode_ms);
        else
            std::fprintf(lines, "%s -> %s: %s, %.2f ms\n", r.input.c_str(), r.output.c_str(), r.format.c_str(),
                         r.decode_ms);
    }
    if (o.verbose)
        std::fprintf(stderr, "qvxdec: %s: read %.2f ms, decode %.2f ms, convert %.2f ms, write %.2f ms\n",
                     r.input.c_str(), r.read_ms, r.decode_ms, r.convert_ms, r.write_ms);
}

std::string result_json(const Result& r) {
    using qvxtools::json_string;
    char times[160];
    std::snprintf(times, sizeof times, "\"read_ms\": %.3f, \"decode_ms\": %.3f, \"convert_ms\": %.3f, \"write_ms\": %.3f",
                  r.read_ms, r.decode_ms, r.convert_ms, r.write_ms);
    if (!r.ok)
        return "{\"input\": " + json_string(r.input) + ", \"ok\": false, \"error\": " + json_string(r.error) + "}";
    return "{\"input\": " + json_string(r.input) + ", \"output\": " + json_string(r.output) +
           ", \"ok\": true, \"width\": " + std::to_string(r.width) + ", \"height\": " + std::to_string(r.height) +
           ", \"format\": " + json_string(r.format) + ", \"bytes\": " + std::to_string(r.bytes) + ", " + times + "}";
}

// A tone table that yields no records decodes every stream coded through
// it to black; the library accepts that, but the user should hear of it.
void warn_about_lut(const std::string& path) {
    if (!fs::exists(path)) return;  // the decoder reports "LUT not found!"
    uint32_t records = 0;
    try {
        const std::vector<uint8_t> text = qvxtools::read_file(path);
        std::vector<uint32_t> table(65536);
        records = Vantrel::QVX::parse_lut_records(reinterpret_cast<const char*>(text.data()), text.size(),
                                                  table.data());
    } catch (const qvxtools::ToolError&) {
        // an unreadable table counts as one without records
    }
    if (records == 0)
        std::fprintf(stderr, "qvxdec: warning: the tone table %s yields no records; streams coded through it "
                     "decode to black\n", path.c_str());
    else if (records < 65536)
        std::fprintf(stderr, "qvxdec: warning: the tone table %s yields %u of 65536 records; the rest map to 0\n",
                     path.c_str(), records);
}

int run_info(const Options& o) {
    FrameState probe;
    bool all_ok = true;
    std::string json = "[";
    for (const std::string& input : o.inputs) {
        std::vector<uint8_t> bytes;
        try {
            bytes = qvxtools::read_input(input);
        } catch (const qvxtools::ToolError& e) {
            std::fprintf(stderr, "qvxdec: %s\n", e.what());
            if (o.json) json += (json.size() > 1 ? ",\n " : "") + std::string("{\"input\": ") +
                                qvxtools::json_string(input) + ", \"ok\": false, \"problems\": [" +
                                qvxtools::json_string(e.what()) + "]}";
            all_ok = false;
            continue;
        }
        const qvxtools::StreamInfo info = qvxtools::inspect_stream(display_name(input), bytes, probe, o.max_pixels);
        if (!info.problems.empty()) all_ok = false;
        if (o.json) {
            json += (json.size() > 1 ? ",\n " : "") + qvxtools::stream_info_json(info, probe);
            for (const std::string& p : info.problems)
                std::fprintf(stderr, "qvxdec: %s: %s\n", info.path.c_str(), p.c_str());
        } else if (!o.quiet) {
            qvxtools::print_stream_info(info, probe, stdout, stderr);
        } else {
            for (const std::string& p : info.problems)
                std::fprintf(stderr, "qvxdec: %s: %s\n", info.path.c_str(), p.c_str());
        }
    }
    if (o.json) std::printf("%s]\n", json.c_str());
    return all_ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (const int code = parse_options(argc, argv, o); code >= 0) return code;
    if (o.info) return run_info(o);

    std::error_code ec;
    const bool to_stdout = qvxtools::is_stdio(o.output);
    const bool to_directory = !o.output.empty() && !to_stdout && (o.inputs.size() > 1 || fs::is_directory(o.output, ec));
    if (to_directory && !fs::is_directory(o.output, ec) && !fs::create_directories(o.output, ec)) {
        std::fprintf(stderr, "qvxdec: cannot create directory %s: %s\n", o.output.c_str(), ec.message().c_str());
        return 1;
    }
    if (!o.lut.empty()) warn_about_lut(o.lut);

    // With the image on standard output, every other line goes elsewhere.
    const LibraryLines library_lines = o.quiet ? LibraryLines::Discard
                                       : to_stdout || o.json ? LibraryLines::Stderr
                                                             : LibraryLines::Stdout;
    std::FILE* lines = to_stdout ? stderr : stdout;

    Vantrel::QVX::SimpleQvxDecoder decoder;
    decoder.setLutPath(o.lut.empty() ? nullptr : o.lut.c_str());
    decoder.setThreads(o.threads);
    if (library_lines == LibraryLines::Discard) {
        decoder.setQuiet(true);
    } else if (library_lines == LibraryLines::Stderr) {
        decoder.setMessageSink([](void*, const char* line) { std::fputs(line, stderr); }, nullptr);
    }
    FrameState probe;
    bool all_ok = true;
    std::string json = "[";
    for (const std::string& input : o.inputs) {
        const Result r = decode_one(o, decoder, probe, input, output_path(o, input, to_directory));
        all_ok = all_ok && r.ok;
        report(o, r, lines);
        if (o.json) json += (json.size() > 1 ? ",\n " : "") + result_json(r);
    }
    if (o.json) std::fprintf(lines, "%s]\n", json.c_str());
    return all_ok ? 0 : 1;
}

// qvxenc: encodes PNG and PNM/PAM images into QVX streams.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>

#include <filesystem>
#include <string>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "cli_common.h"
#include "image_io.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvxenc_encode.h"
#include "qvxenc_options.h"

namespace {

namespace fs = std::filesystem;
using namespace Vantrel::QVX::enc;
using qvxtools::EncOptions;

// The decoder prints its colour-mode line (and Bayer mode 4 its range) on
// standard output; qvxenc's own output stays clean of them.
template <class F>
auto quietly(F&& f) {
    return qvxtools::with_library_lines(qvxtools::LibraryLines::Discard, std::forward<F>(f));
}

std::string describe_psnr(double db) {
    if (std::isinf(db)) return "lossless";
    char text[64];
    std::snprintf(text, sizeof text, "PSNR %.2f dB", db);
    return text;
}

// Decodes a Bayer stream with the library and compares the rebuilt mosaic
// with the input one.
std::string check_mosaic(const std::vector<uint8_t>& stream, const std::vector<uint16_t>& mosaic, unsigned depth,
                         unsigned threads) {
    std::vector<uint8_t> bytes = stream;
    Vantrel::QVX::SimpleQvxDecoder decoder;
    decoder.setThreads(threads);
    mem_data in(bytes.data(), bytes.size());
    mem_data* out = nullptr;
    if (quietly([&] { return decoder.decode(&in, &out); }) != 0)
        return std::string("not decodable: ") + decoder.lastError();
    double se = 0;
    const size_t n = std::min(mosaic.size(), size_t(out->size / 2));
    for (size_t i = 0; i < n; ++i) {
        const double d = double(out->data[2 * i] << 8 | out->data[2 * i + 1]) - mosaic[i];
        se += d * d;
    }
    decoder.deleteBuffer(&out);
    if (n < mosaic.size()) return "the decoded mosaic is smaller than the input";
    if (se == 0) return "lossless";
    const double peak = double((1u << depth) - 1);
    return describe_psnr(10.0 * std::log10(peak * peak * double(n) / se));
}

qvxtools::Image crop(const qvxtools::Image& in, const EncOptions::Crop& c) {
    if (uint64_t(c.x) + c.w > in.width || uint64_t(c.y) + c.h > in.height)
        qvxtools::fail("the crop region lies outside the " + std::to_string(in.width) + "x" +
                       std::to_string(in.height) + " image");
    qvxtools::Image out = in;
    out.width = c.w;
    out.height = c.h;
    out.samples.resize(out.sample_count());
    const size_t row = size_t(c.w) * in.channels;
    for (unsigned y = 0; y < c.h; ++y)
        std::copy_n(in.samples.begin() + ptrdiff_t((size_t(c.y + y) * in.width + c.x) * in.channels), row,
                    out.samples.begin() + ptrdiff_t(y * row));
    return out;
}

const char* const kFormats[5] = {"", "grey", "RGB", "4:2:2", "RGBA"};

// Stage times for -v, and where the report line goes: standard error when
// the stream itself goes to standard output.
struct Report {
    explicit Report(const EncOptions& options) : o(options) {}
    const EncOptions& o;
    qvxtools::StageClock clock;
    double read_ms = 0, encode_ms = 0, write_ms = 0, check_ms = 0;

    std::FILE* lines() const { return qvxtools::is_stdio(o.output) ? stderr : stdout; }
    void times() const {
        if (o.verbose)
            std::fprintf(stderr, "qvxenc: %s: read %.2f ms, encode %.2f ms, write %.2f ms, check %.2f ms\n",
                         o.input.c_str(), read_ms, encode_ms, write_ms, check_ms);
    }
};

std::string output_name(const EncOptions& o) {
    return o.output.empty() ? fs::path(o.input).replace_extension(".qvx").string() : o.output;
}

void write_stream(const EncOptions& o, const EncodedImage& e) {
    qvxtools::write_output(output_name(o), e.bytes.data(), e.bytes.size());
}

qvxtools::Image read_input_image(const EncOptions& o) {
    if (o.raw_width)
        return qvxtools::read_raw(o.input, *o.raw_width, *o.raw_height, o.raw_depth.value_or(16), o.raw_big_endian);
    return qvxtools::read_image(o.input);
}

int run(const EncOptions& o) {
    Report report(o);
    qvxtools::Image image = read_input_image(o);
    report.read_ms = report.clock.lap();
    if (o.crop) image = crop(image, *o.crop);
    if (!o.lut.empty() && !fs::is_regular_file(o.lut)) qvxtools::fail("cannot read the tone table " + o.lut);
    const qvxtools::EncResult r = qvxtools::encode_for_options(o, image);
    const EncodedImage& e = r.encoded;
    const EncoderSettings& s = r.settings;
    report.encode_ms = report.clock.lap();
    write_stream(o, e);
    report.write_ms = report.clock.lap();
    if (r.format != 0 && o.bpp) {
        // The rate search cannot go below what the stream's fixed parts cost.
        const double reached = bits_per_pixel(e, s);
        if (std::fabs(reached - *o.bpp) > 0.1 * *o.bpp)
            std::fprintf(stderr, "qvxenc: warning: %s reached %.3f bpp, %.0f %% off the --bpp target %g\n",
                         o.input.c_str(), reached, 100.0 * (reached - *o.bpp) / *o.bpp, *o.bpp);
    }
    if (o.quiet) return report.times(), 0;

    const unsigned depth = r.depth;
    if (r.format == 0) {
        const std::string quality = s.lut_used ? "coded through a tone table"
                                    : s.w_kernel > 6 ? "kernel " + std::to_string(s.w_kernel) + " is not decodable"
                                                     : check_mosaic(e.bytes, r.mosaic, depth, o.threads);
        report.check_ms = report.clock.lap();
        std::fprintf(report.lines(),
                     "%s -> %s: %ux%u %u-bit Bayer mosaic, mode %u, coded %ux%u %u-bit, kernel %u: %zu bytes, "
                     "%.3f bpp, %s\n",
                     o.input.c_str(), output_name(o).c_str(), image.width, image.height, depth, s.bayer_mode,
                     s.width, s.height, s.bit_depth, s.w_kernel, e.bytes.size(),
                     double(e.bytes.size()) * 8 / (double(image.width) * image.height), quality.c_str());
        report.times();
        return 0;
    }
    const unsigned format = r.format;
    const Input422 in422 = Input422::Rgb;
    std::string quality;
    if (s.lut_used) {
        quality = "coded through a tone table";
    } else if (s.w_kernel > 6) {
        quality = "kernel " + std::to_string(s.w_kernel) + " is not decodable";
    } else {
        const ImagePlanes decoded = quietly([&] { return decode_image(e.bytes, nullptr, o.threads); });
        quality = describe_psnr(psnr(decoded, coded_image(s, r.planes, in422), depth, format == 3));
    }
    report.check_ms = report.clock.lap();
    std::fprintf(report.lines(),
                 "%s -> %s: %ux%u %s, %u-bit, kernel %u, colour mode %u, prediction %u: %zu bytes, %.3f bpp, %s\n",
                 o.input.c_str(), output_name(o).c_str(), s.width, s.height, kFormats[format], depth, s.w_kernel,
                 format == 2 ? s.ct_mode : 0u, s.pred_mode, e.bytes.size(), bits_per_pixel(e, s), quality.c_str());
    report.times();
    return 0;
}

}  // namespace

// The rate searches code and decode the frame many times over, each time
// in fresh frame-sized buffers. Kept in the heap rather than mapped and
// returned to the system each time, they skip the page faults and the
// kernel's zeroing (about a fifth of the fast preset's time on 1080p
// photographs).
static void keep_large_buffers() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_TOP_PAD, 64 << 20);
#endif
}

int main(int argc, char** argv) {
    keep_large_buffers();
    EncOptions o;
    try {
        if (!qvxtools::parse_enc_options(argc, argv, o)) return 0;
        return run(o);
    } catch (const EncodeError& e) {
        if (e.source() == EncodeError::Source::Usage)
            return qvxtools::usage_error("qvxenc", e.what(), qvxtools::kEncUsageLine);
        if (e.source() == EncodeError::Source::Tool)
            std::fprintf(stderr, "qvxenc: %s\n", e.what());
        else
            std::fprintf(stderr, "qvxenc: %s: %s\n", o.input.c_str(), e.what());
    } catch (const qvxtools::ToolError& e) {
        std::fprintf(stderr, "qvxenc: %s\n", e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "qvxenc: out of memory\n");
    }
    return 1;
}

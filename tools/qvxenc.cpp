// qvxenc: encodes PNG and PNM/PAM images into QVX streams.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "image_io.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvxenc_encode.h"
#include "qvxenc_options.h"

namespace {

namespace fs = std::filesystem;
using namespace Vantrel::QVX::enc;
using qvxtools::EncOptions;

using Failure = qvxtools::EncFailure;

// Runs f with standard output silenced: the decoder prints its colour-mode
// line (and Bayer mode 4 its range) there, and qvxenc's output stays clean.
template <class F>
auto quietly(F&& f) {
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    struct Restore {
        int saved, null;
        ~Restore() {
            std::fflush(stdout);
            if (saved >= 0) dup2(saved, 1), close(saved);
            if (null >= 0) close(null);
        }
    } restore{saved, null};
    return f();
}

std::string describe_psnr(double db) {
    if (std::isinf(db)) return "lossless";
    char text[64];
    std::snprintf(text, sizeof text, "PSNR %.2f dB", db);
    return text;
}

// Decodes a Bayer stream with the library and compares the rebuilt mosaic
// with the input one.
std::string check_mosaic(const std::vector<uint8_t>& stream, const std::vector<uint16_t>& mosaic, unsigned depth) {
    std::vector<uint8_t> bytes = stream;
    Vantrel::QVX::SimpleQvxDecoder decoder;
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
        throw Failure{"the crop region lies outside the " + std::to_string(in.width) + "x" +
                      std::to_string(in.height) + " image"};
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

int run(const EncOptions& o) {
    qvxtools::Image image;
    std::string error;
    if (!qvxtools::read_image(o.input, image, error)) throw Failure{error};
    if (o.crop) image = crop(image, *o.crop);
    if (!o.lut.empty() && !fs::is_regular_file(o.lut)) throw Failure{"cannot read the tone table " + o.lut};
    const qvxtools::EncResult r = qvxtools::encode_for_options(o, image);
    const EncodedImage& e = r.encoded;
    const EncoderSettings& s = r.settings;
    const std::string output = o.output.empty() ? fs::path(o.input).replace_extension(".qvx").string() : o.output;
    if (!qvxtools::write_file(output, e.bytes.data(), e.bytes.size(), error)) throw Failure{error};
    if (o.quiet) return 0;

    const unsigned depth = r.depth;
    if (r.format == 0) {
        const std::string quality = s.lut_used ? "coded through a tone table"
                                    : s.w_kernel > 6 ? "kernel " + std::to_string(s.w_kernel) + " is not decodable"
                                                     : check_mosaic(e.bytes, r.mosaic, depth);
        std::printf("%s -> %s: %ux%u %u-bit Bayer mosaic, mode %u, coded %ux%u %u-bit, kernel %u: %zu bytes, "
                    "%.3f bpp, %s\n",
                    o.input.c_str(), output.c_str(), image.width, image.height, depth, s.bayer_mode, s.width, s.height,
                    s.bit_depth, s.w_kernel, e.bytes.size(),
                    double(e.bytes.size()) * 8 / (double(image.width) * image.height), quality.c_str());
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
        const ImagePlanes decoded = quietly([&] { return decode_image(e.bytes); });
        quality = describe_psnr(psnr(decoded, coded_image(s, r.planes, in422), depth, format == 3));
    }
    std::printf("%s -> %s: %ux%u %s, %u-bit, kernel %u, colour mode %u: %zu bytes, %.3f bpp, %s\n",
                o.input.c_str(), output.c_str(), s.width, s.height, kFormats[format], depth, s.w_kernel,
                format == 2 ? s.ct_mode : 0u, e.bytes.size(), bits_per_pixel(e, s), quality.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    EncOptions o;
    if (const int code = qvxtools::parse_enc_options(argc, argv, o); code >= 0) return code;
    try {
        return run(o);
    } catch (const Failure& f) {
        std::fprintf(stderr, "qvxenc: %s\n", f.text.c_str());
    } catch (const EncodeError& e) {
        std::fprintf(stderr, "qvxenc: %s: %s\n", o.input.c_str(), e.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "qvxenc: out of memory\n");
    }
    return 1;
}

// qvxdec: decodes QVX streams to PNG, PNM/PAM or the decoder's raw buffer.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "api/error.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "image_io.h"
#include "output_convert.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvxdec_info.h"

namespace {

namespace fs = std::filesystem;
using Vantrel::QVX::frame_state;

const char* kUsage =
    "usage: qvxdec [--interleaved] [--lut FILE] [--info] [--raw] [--422 rgb|raw] IN... [-o OUT]\n"
    "\n"
    "Decodes each QVX stream IN, in order, on one decoder object, and prints one line\n"
    "per stream: output name, size, format and decoding time.\n"
    "  -o OUT         output file, chosen by its extension: .png (8-bit PNG for 8-bit\n"
    "                 frames, else 16-bit scaled to the full range, with an sBIT chunk\n"
    "                 giving the bit depth), .pgm/.ppm/\n"
    "                 .pnm (16-bit PGM for one component, PPM for three), .pam (16-bit PAM,\n"
    "                 any component count) or .raw (the decoder's exact output buffer,\n"
    "                 16-bit samples, high byte first). With several inputs OUT is a\n"
    "                 directory (created if needed) that receives one file per input.\n"
    "                 Without -o each output goes next to its input, as a .png.\n"
    "  --raw          write the decoder's exact output buffer, whatever the output name;\n"
    "                 outputs named by qvxdec get the extension .raw\n"
    "  --interleaved  pixel-interleaved instead of planar samples in raw output (image\n"
    "                 files are always interleaved)\n"
    "  --422 rgb|raw  4:2:2 streams: rgb (default) writes RGB with each chroma pair used\n"
    "                 for both of its pixels, converted by the video-range default colour\n"
    "                 rule; raw writes the Cb Y0 Cr Y1 samples, as a grey image twice as\n"
    "                 wide as the frame or as a .raw file\n"
    "  --lut FILE     tone-table file for streams encoded through a tone curve\n"
    "  --info         print each stream's header, packet count and the bytes of every\n"
    "                 subband stream; decode nothing\n"
    "  --help         this text\n"
    "Bayer streams are written as the grey mosaic the decoder rebuilds.\n"
    "Exit status: 0 if every stream was handled, 1 if one failed, 2 for a usage error.\n";

struct Options {
    bool interleaved = false;
    bool info = false;
    bool raw = false;
    bool rgb422 = true;
    std::string lut;
    std::string output;
    std::vector<std::string> inputs;
};

int usage_error(const std::string& message) {
    std::fprintf(stderr, "qvxdec: %s\n%s", message.c_str(), kUsage);
    return 2;
}

// Returns -1 when options are good, otherwise the exit code.
int parse_options(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--interleaved") {
            o.interleaved = true;
        } else if (a == "--info") {
            o.info = true;
        } else if (a == "--raw") {
            o.raw = true;
        } else if (a == "--lut" || a == "-o" || a == "--422") {
            if (i + 1 >= argc) return usage_error(a + " needs an argument");
            const std::string v = argv[++i];
            if (a == "--lut") {
                o.lut = v;
            } else if (a == "-o") {
                o.output = v;
            } else if (v == "rgb" || v == "raw") {
                o.rgb422 = v == "rgb";
            } else {
                return usage_error("--422 takes rgb or raw, not " + v);
            }
        } else if (a.size() > 1 && a[0] == '-') {
            return usage_error("unknown option " + a);
        } else {
            o.inputs.push_back(a);
        }
    }
    if (o.inputs.empty()) return usage_error("no input given");
    return -1;
}

std::string output_path(const Options& o, const std::string& input, bool to_directory) {
    const std::string ext = o.raw ? ".raw" : ".png";
    if (to_directory) return (fs::path(o.output) / fs::path(input).filename().replace_extension(ext)).string();
    if (!o.output.empty()) return o.output;
    return fs::path(input).replace_extension(ext).string();
}

const char* kind_name(uint32_t channels) {
    static const char* kNames[5] = {"", "grey", "grey+alpha", "RGB", "RGBA"};
    return channels <= 4 ? kNames[channels] : "?";
}

// Builds the image for the decoded buffer of a stream whose header is fs.
bool make_image(const Options& o, const frame_state& fs, const mem_data& out,
                qvxtools::Image& image, std::string& format, std::string& error) {
    if (fs.bayer_mode != 0) {
        qvxtools::MosaicGeometry m;
        if (!qvxtools::bayer_mosaic_geometry(fs.bayer_mode, fs.width, fs.height, fs.stored_width,
                                             fs.bit_depth, fs.ct_mode, m)) {
            error = "unsupported Bayer mode " + std::to_string(fs.bayer_mode);
            return false;
        }
        format = "Bayer mode " + std::to_string(fs.bayer_mode) + " mosaic, " + std::to_string(m.depth) + "-bit";
        return qvxtools::image_from_words(out.data, out.size, m.width, m.height, 1,
                                          qvxtools::maxval_for_depth(unsigned(m.depth)), image, error);
    }
    if (fs.component_format == 3) {
        if (o.rgb422) {
            format = "4:2:2 as RGB, " + std::to_string(fs.bit_depth) + "-bit";
            return qvxtools::rgb_from_422(out.data, out.size, fs.width, fs.height, fs.bit_depth, image, error);
        }
        format = "4:2:2 Cb Y0 Cr Y1, " + std::to_string(fs.bit_depth) + "-bit";
        const uint32_t row = (uint32_t(fs.width) + 1) / 2 * 4;
        return qvxtools::image_from_words(out.data, out.size, row, fs.height, 1,
                                          qvxtools::maxval_for_depth(fs.bit_depth), image, error);
    }
    format = std::string(kind_name(fs.num_components)) + ", " + std::to_string(fs.bit_depth) + "-bit";
    return qvxtools::image_from_words(out.data, out.size, fs.width, fs.height, fs.num_components,
                                      qvxtools::maxval_for_depth(fs.bit_depth), image, error);
}

// Decodes one file; prints its line or its error. probe mirrors the header
// fields that the decoder object keeps between calls.
bool decode_one(const Options& o, Vantrel::QVX::SimpleQvxDecoder& decoder, frame_state& probe,
                const std::string& input, const std::string& output) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!qvxtools::read_file(input, bytes, error)) {
        std::fprintf(stderr, "qvxdec: %s\n", error.c_str());
        return false;
    }
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
    if (probe.bayer_mode > 5) {
        std::fprintf(stderr, "qvxdec: %s: Bayer mode %u is not supported\n", input.c_str(), probe.bayer_mode);
        return false;
    }
    const bool raw = o.raw || output.ends_with(".raw");
    if (!raw && !qvxtools::is_image_extension(output)) {
        std::fprintf(stderr, "qvxdec: %s: unknown output extension (use .png, .pgm, .ppm, .pnm, .pam or .raw)\n",
                     output.c_str());
        return false;
    }
    decoder.setInterleaved(raw ? o.interleaved : true);

    mem_data in(bytes.data(), bytes.size(), 0);
    mem_data* out = nullptr;
    const auto start = std::chrono::steady_clock::now();
    int result;
    try {
        result = decoder.decode(&in, &out);
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "qvxdec: %s: out of memory for a %ux%u frame\n", input.c_str(), probe.width, probe.height);
        return false;
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (result != 0) {
        std::fprintf(stderr, "qvxdec: %s: %s\n", input.c_str(), decoder.lastError());
        return false;
    }
    std::string format;
    qvxtools::Image image;
    bool ok;
    if (raw) {
        format = "raw buffer of " + std::to_string(out->size) + " bytes";
        ok = qvxtools::write_file(output, out->data, out->size, error);
    } else {
        ok = make_image(o, probe, *out, image, format, error) && qvxtools::write_image(output, image, error);
    }
    decoder.deleteBuffer(&out);
    if (!ok) {
        std::fprintf(stderr, "qvxdec: %s: %s\n", input.c_str(), error.c_str());
        return false;
    }
    if (raw) {
        std::printf("%s -> %s: %s, %.2f ms\n", input.c_str(), output.c_str(), format.c_str(), ms);
    } else {
        std::printf("%s -> %s: %ux%u, %s, %.2f ms\n", input.c_str(), output.c_str(), image.width, image.height,
                    format.c_str(), ms);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (const int code = parse_options(argc, argv, o); code >= 0) return code;

    frame_state probe;
    bool all_ok = true;
    if (o.info) {
        for (const std::string& input : o.inputs) {
            std::vector<uint8_t> bytes;
            std::string error;
            if (!qvxtools::read_file(input, bytes, error)) {
                std::fprintf(stderr, "qvxdec: %s\n", error.c_str());
                all_ok = false;
            } else if (!qvxtools::print_stream_info(input, bytes, probe)) {
                all_ok = false;
            }
        }
        return all_ok ? 0 : 1;
    }

    std::error_code ec;
    const bool to_directory = !o.output.empty() && (o.inputs.size() > 1 || fs::is_directory(o.output, ec));
    if (to_directory && !fs::is_directory(o.output, ec) && !fs::create_directories(o.output, ec)) {
        std::fprintf(stderr, "qvxdec: cannot create directory %s: %s\n", o.output.c_str(), ec.message().c_str());
        return 1;
    }

    Vantrel::QVX::SimpleQvxDecoder decoder;
    decoder.setLutPath(o.lut.empty() ? nullptr : o.lut.c_str());
    for (const std::string& input : o.inputs)
        if (!decode_one(o, decoder, probe, input, output_path(o, input, to_directory))) all_ok = false;
    return all_ok ? 0 : 1;
}

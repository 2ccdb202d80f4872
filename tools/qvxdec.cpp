// qvxdec: decodes a QVX stream to a raw buffer or a 16-bit PNM image.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "api/error.h"
#include "pnm.h"
#include "qvx/SimpleQvxDecoder.h"

namespace {

const char* kUsage =
    "usage: qvxdec [--interleaved] [--lut FILE] [--info] IN [-o OUT]\n"
    "\n"
    "Decodes the QVX stream IN.\n"
    "  -o OUT         output file; OUT ending in .raw receives the decoder's exact\n"
    "                 output buffer (16-bit big-endian samples), any other name a\n"
    "                 16-bit PNM: PGM for one component, PPM for three, PAM for four.\n"
    "                 Without -o, OUT is IN with its extension replaced by the format's.\n"
    "  --interleaved  pixel-interleaved samples in a .raw output (PNM files are always\n"
    "                 interleaved)\n"
    "  --lut FILE     tone-table file for streams encoded through a tone curve\n"
    "  --info         print the stream header and do not decode\n"
    "  --help         this text\n";

void print_info(const std::string& path, const std::vector<uint8_t>& bytes) {
    using namespace Vantrel::QVX;
    frame_state fs;
    mem_data in(const_cast<uint8_t*>(bytes.data()), bytes.size(), 0);
    std::string problem;
    try {
        read_header(in, fs);
    } catch (const QvxError& e) {
        problem = e.text();
    }
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
    std::printf("  version          %u\n", fs.version);
    std::printf("  size             %u x %u (stored width %u)\n", fs.width, fs.height, fs.stored_width);
    std::printf("  components       %u (component format %u)\n", fs.num_components, fs.component_format);
    std::printf("  bit depth        %u\n", fs.bit_depth);
    std::printf("  wavelet kernel   %u\n", fs.w_kernel);
    std::printf("  colour mode      %u\n", fs.ct_mode);
    std::printf("  prediction mode  %u\n", fs.pred_mode);
    std::printf("  tone table       %s\n", fs.lut_used == 1 ? "used" : "not used");
    std::printf("  bayer mode       %u (param %u)\n", fs.bayer_mode, fs.bayer_param);
    std::printf("  rate control     window %d, drain %u, buffer %u, fill level %u\n", fs.rc_window,
                fs.rc_drain, fs.buffer_size, fs.fill_level);
    std::printf("  qp table         %u entries:", fs.qp_count);
    for (unsigned i = 0; i < fs.qp_count && i < 16; ++i) std::printf(" %d", fs.qp_table[i]);
    std::printf("%s\n", fs.qp_count > 16 ? " ..." : "");
    std::printf("  header bytes     %llu\n", static_cast<unsigned long long>(in.bytes_read));
    if (!problem.empty()) std::printf("  header error     %s\n", problem.c_str());
}

std::string replace_extension(const std::string& path, const std::string& ext) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const std::string stem = (dot != std::string::npos && (slash == std::string::npos || dot > slash)) ? path.substr(0, dot) : path;
    return stem + ext;
}

bool ends_with(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool interleaved = false, info = false;
    std::string lut, input, output;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--interleaved") {
            interleaved = true;
        } else if (a == "--info") {
            info = true;
        } else if (a == "--lut" || a == "-o") {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "qvxdec: %s needs an argument\n%s", a.c_str(), kUsage);
                return 2;
            }
            (a == "--lut" ? lut : output) = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "qvxdec: unknown option %s\n%s", a.c_str(), kUsage);
            return 2;
        } else if (input.empty()) {
            input = a;
        } else {
            std::fprintf(stderr, "qvxdec: more than one input given\n%s", kUsage);
            return 2;
        }
    }
    if (input.empty()) {
        std::fprintf(stderr, "qvxdec: no input given\n%s", kUsage);
        return 2;
    }

    std::vector<uint8_t> bytes;
    std::string error;
    if (!qvxtools::read_file(input, bytes, error)) {
        std::fprintf(stderr, "qvxdec: %s\n", error.c_str());
        return 1;
    }
    if (info) {
        print_info(input, bytes);
        return 0;
    }

    Vantrel::QVX::SimpleQvxDecoder decoder;
    decoder.setLutPath(lut.empty() ? nullptr : lut.c_str());
    const bool raw = ends_with(output, ".raw");
    decoder.setInterleaved(raw ? interleaved : true);

    // Header fields for the output format, read before decoding.
    Vantrel::QVX::frame_state fs;
    {
        mem_data probe(bytes.data(), bytes.size(), 0);
        try {
            Vantrel::QVX::read_header(probe, fs);
        } catch (const Vantrel::QVX::QvxError&) {
        }
    }

    mem_data in(bytes.data(), bytes.size(), 0);
    mem_data* out = nullptr;
    if (decoder.decode(&in, &out) != 0) {
        std::fprintf(stderr, "qvxdec: %s: %s\n", input.c_str(), decoder.lastError());
        return 1;
    }

    const unsigned nc = fs.num_components;
    const bool pnm_ok = fs.bayer_mode == 0 && fs.subsampled == 0 && fs.component_format != 3;
    if (output.empty()) output = replace_extension(input, !pnm_ok ? ".raw" : nc == 1 ? ".pgm" : nc == 3 ? ".ppm" : ".pam");
    bool ok;
    if (ends_with(output, ".raw") || !pnm_ok) {
        ok = qvxtools::write_file(output, out->data, out->size, error);
    } else {
        const unsigned maxval = (1u << fs.bit_depth) - 1;
        ok = qvxtools::write_pnm16(output, fs.width, fs.height, nc, maxval, out->data, error);
    }
    decoder.deleteBuffer(&out);
    if (!ok) {
        std::fprintf(stderr, "qvxdec: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s -> %s\n", input.c_str(), output.c_str());
    return 0;
}

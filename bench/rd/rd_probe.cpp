// Rate-distortion probe: encodes one image with fixed settings at a list of
// constant quantisers and prints bits per pixel and PSNR of each, to chart
// the encoder's choices. Not part of the test suite.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image_io.h"
#include "qvx/QvxEncoder.h"

using namespace Vantrel::QVX::enc;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: rd_probe IMAGE kernel=K ct=C pred=P off=weighted|none q=Q1,Q2,... [alpha=A] [cbias=B] [ll=L]\n"
                     "  alpha scales the weighted offsets, cbias adds to those of components 1 and up, ll to the low bands';\n"
                     "  the offsets used go to standard error\n");
        return 2;
    }
    qvxtools::Image img;
    try {
        img = qvxtools::read_image(argv[1]);
    } catch (const qvxtools::ToolError& e) {
        return std::fprintf(stderr, "%s\n", e.what()), 1;
    }
    unsigned kernel = 3, ct = img.channels == 3 ? 4 : 0, pred = 0;
    std::string off = "weighted", qs = "20";
    double alpha = 1.0;
    int cbias = 0, ll = 0;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        const size_t eq = a.find('=');
        const std::string k = a.substr(0, eq), v = a.substr(eq + 1);
        if (k == "kernel") kernel = unsigned(std::atoi(v.c_str()));
        else if (k == "ct") ct = unsigned(std::atoi(v.c_str()));
        else if (k == "pred") pred = unsigned(std::atoi(v.c_str()));
        else if (k == "off") off = v;
        else if (k == "q") qs = v;
        else if (k == "alpha") alpha = std::atof(v.c_str());
        else if (k == "cbias") cbias = std::atoi(v.c_str());
        else if (k == "ll") ll = std::atoi(v.c_str());
    }
    const unsigned depth = img.maxval <= 255 ? 8 : img.maxval <= 1023 ? 10 : img.maxval <= 4095 ? 12 : 14;
    ImagePlanes p(uint16_t(img.width), uint16_t(img.height), uint8_t(img.channels));
    for (size_t i = 0; i < size_t(img.width) * img.height; ++i)
        for (unsigned c = 0; c < img.channels; ++c) p.planes[c][i] = img.samples[i * img.channels + c];
    EncoderSettings s;
    s.width = p.width;
    s.height = p.height;
    s.component_format = img.channels == 1 ? 1 : 2;
    s.bit_depth = uint8_t(depth);
    s.w_kernel = uint8_t(kernel);
    s.ct_mode = uint8_t(ct);
    s.pred_mode = uint8_t(pred);
    if (off == "weighted") {
        set_weighted_offsets(s);
        for (unsigned c = 0; c < 4; ++c)
            for (unsigned g = 0; g < 4; ++g)
                for (unsigned b = 0; b < 4; ++b)
                    s.component_params[c][g][b] = uint8_t(std::max(0, int(alpha * s.component_params[c][g][b] + 0.5) + (c > 0 ? cbias : 0) + (g == 0 && b == 0 ? ll : 0)));
        for (unsigned c = 0; c < 3; ++c) {
            for (unsigned g = 0; g < 4; ++g)
                for (unsigned b = 0; b < 4; ++b) std::fprintf(stderr, "%d ", s.component_params[c][g][b]);
            std::fprintf(stderr, "\n");
        }
    }
    const size_t windows = window_count(s);
    size_t at = 0;
    while (at < qs.size()) {
        size_t comma = qs.find(',', at);
        if (comma == std::string::npos) comma = qs.size();
        const int q = std::atoi(qs.substr(at, comma - at).c_str());
        at = comma + 1;
        s.qp_table.assign(windows, int8_t(q));
        const auto t0 = std::chrono::steady_clock::now();
        const EncodedImage e = encode_image(s, p);
        const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const ImagePlanes d = decode_image(e.bytes);
        std::printf("q %3d  %.4f bpp  %.3f dB  %.2f s\n", q, bits_per_pixel(e, s), psnr(d, p, depth), secs);
        std::fflush(stdout);
    }
    return 0;
}

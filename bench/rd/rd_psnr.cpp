// PSNR of a decoded image against its reference over every sample of every
// channel, peak = the reference's maximum sample value (its maxval, e.g.
// 255 or 4095). Prints the figure in dB ("inf" for identical images).
// With --to-pnm it instead writes IN as a PGM/PPM, optionally declaring a
// smaller maxval that every sample fits (12-bit samples kept in 16-bit PNGs).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image_io.h"

int to_pnm(int argc, char** argv) {
    qvxtools::Image image = qvxtools::read_image(argv[2]);
    if (argc == 5) {
        const long maxval = std::strtol(argv[4], nullptr, 10);
        for (uint16_t v : image.samples)
            if (v > maxval) {
                std::fprintf(stderr, "rd_psnr: a sample exceeds %ld\n", maxval);
                return 1;
            }
        image.maxval = uint32_t(maxval);
    }
    qvxtools::write_image(argv[3], image);
    return 0;
}

int run(int argc, char** argv) {
    if (argc >= 4 && argc <= 5 && std::string(argv[1]) == "--to-pnm") return to_pnm(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: rd_psnr REFERENCE DECODED\n       rd_psnr --to-pnm IN OUT [MAXVAL]\n");
        return 2;
    }
    const qvxtools::Image a = qvxtools::read_image(argv[1]);
    const qvxtools::Image b = qvxtools::read_image(argv[2]);
    if (a.width != b.width || a.height != b.height || a.channels != b.channels) {
        std::fprintf(stderr, "rd_psnr: the images differ in size or channels\n");
        return 1;
    }
    // A decoded file may carry another maxval (a 16-bit file of 12-bit
    // samples, say); its samples are compared as they are.
    double se = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        const double d = double(a.samples[i]) - double(b.samples[i]);
        se += d * d;
    }
    if (se == 0) {
        std::printf("inf\n");
        return 0;
    }
    const double peak = a.maxval;
    std::printf("%.3f\n", 10.0 * std::log10(peak * peak * double(a.samples.size()) / se));
    return 0;
}

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const qvxtools::ToolError& e) {
        std::fprintf(stderr, "rd_psnr: %s\n", e.what());
        return 1;
    }
}

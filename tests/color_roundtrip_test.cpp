// Forward colour + forward wavelet, then the decoder's inverse wavelet (with
// its clipping) and inverse colour transform, on RGB photograph crops.
#include <gtest/gtest.h>

#include "../encoder/src/forward_color.h"
#include "../encoder/src/forward_wavelet.h"
#include "output/colortransform.h"
#include "support/frames.h"
#include "support/images.h"
#include "wavelet/wavelet.h"

using namespace Vantrel::QVX;
using qvxtest::Planes;

namespace {

Planes round_trip(const qvxtest::Image& img, Planes comp, uint8_t mode, uint8_t depth, uint8_t kernel) {
    enc::forward_color_transform(mode, depth, kernel, comp[0].data(), comp[1].data(), comp[2].data(),
                                 comp[0].size());
    qvxtest::TestFrame f(img.width, img.height, 3, depth, kernel, mode);
    for (unsigned c = 0; c < 3; ++c) {
        enc::forward_wavelet(kernel, comp[c].data(), img.width, img.height);
        f.load(c, comp[c]);
    }
    inverse_wavelet(kernel, f.fs);
    testing::internal::CaptureStdout();
    color_transform_planes(prepare_color_transform(f.fs), f.fs);
    testing::internal::GetCapturedStdout();
    return {f.plane(0), f.plane(1), f.plane(2)};
}

}  // namespace

// Reversible modes come back exactly. The lossy ones lose only rounding: an
// RMS error of one step, PSNR = 20 log10(max), is the floor (48.1 dB at 8
// bits ... 84.3 at 14); these crops measure at least 3.7 dB above it, and a
// wrong coefficient, sign or offset costs far more. Mode 3 is skipped where
// the decoder's fixed clipping bound (1023 or 4095) cuts the shifted range
// by design: at 14 bits, and at 12 bits with the 5/3 kernels.
TEST(ColorRoundTrip, PhotographCropsEveryModeKernelAndDepth) {
    for (const char* name : {"astronaut_64x48.ppm", "chelsea_36x20.ppm", "coffee_36x20.ppm"}) {
        const qvxtest::Image img = qvxtest::read_pnm8(name);
        for (unsigned depth : {8u, 10u, 12u, 14u}) {
            Planes rgb;
            for (const auto& p : img.planes) rgb.push_back(qvxtest::scale_to_depth(p, depth));
            const double floor_db = 20.0 * std::log10(double((1u << depth) - 1));
            for (uint8_t mode : {1, 2, 3, 4, 5, 9, 10, 11})
                for (uint8_t k = 0; k < 6; ++k) {
                    if (mode == 3 && (depth == 14 || (depth == 12 && k >= 3))) continue;
                    const Planes back = round_trip(img, rgb, mode, uint8_t(depth), k);
                    const std::string what = std::string(name) + " mode " + std::to_string(mode) + " depth " +
                                             std::to_string(depth) + " kernel " + std::to_string(k);
                    if (mode == 4 || mode == 5 || mode == 10) ASSERT_EQ(back, rgb) << what;
                    else EXPECT_GT(qvxtest::psnr(back, rgb, depth), floor_db) << what;
                }
        }
    }
}

// Forward kernels against the decoder's inverse kernels: exact round trips
// on photograph crops at every bit depth and under 16-bit wrap-around.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../encoder/src/forward_wavelet.h"
#include "support/frames.h"
#include "support/images.h"
#include "wavelet/passes.h"
#include "wavelet/wavelet.h"

using namespace Vantrel::QVX;

TEST(WaveletRoundTrip, PhotographCropsEveryKernelAndDepth) {
    for (const char* name : {"astronaut_64x48.ppm", "chelsea_36x20.ppm", "camera_64x48.pgm", "coffee_36x20.ppm"}) {
        const qvxtest::Image img = qvxtest::read_pnm8(name);
        for (unsigned depth : {8u, 10u, 12u, 14u})
            for (const auto& plane8 : img.planes) {
                const std::vector<uint16_t> plane = qvxtest::scale_to_depth(plane8, depth);
                for (uint8_t k = 0; k < 6; ++k) {
                    std::vector<uint16_t> coef = plane;
                    enc::forward_wavelet(k, coef.data(), img.width, img.height);
                    ASSERT_NE(coef, plane) << name << " kernel " << int(k);
                    qvxtest::TestFrame f(img.width, img.height, 1, uint8_t(depth), k, 0);
                    f.load(0, coef);
                    inverse_wavelet(k, f.fs);
                    ASSERT_EQ(f.plane(0), plane) << name << " depth " << depth << " kernel " << int(k);
                }
            }
    }
    // Full-range words overflow every lifting step; the passes must still
    // invert exactly modulo 2^16 (no clipping here).
    std::mt19937 rng(7);
    for (unsigned k = 0; k < 6; ++k) {
        std::vector<uint16_t> p(20 * 12);
        for (auto& v : p) v = uint16_t(rng());
        std::vector<uint16_t> q = p;
        enc::forward_wavelet(k, q.data(), 20, 12);
        wavelet::transform_plane<wavelet::Direction::Inverse>(k, reinterpret_cast<int16_t*>(q.data()), 20, 12);
        EXPECT_EQ(q, p) << "kernel " << k;
    }
}

// Forward kernels against the decoder's inverse kernels: exact round trips on
// photograph crops at every bit depth, the subband layout of the forward
// output, and exactness under 16-bit wrap-around.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "../encoder/src/forward_wavelet.h"
#include "wavelet/passes.h"
#include "wavelet/wavelet.h"
#include "wavelet_test_util.h"

using namespace Vantrel::QVX;
using qvxtest::TestFrame;

namespace {

const char* const kCrops[] = {"astronaut_64x48.ppm", "chelsea_36x20.ppm", "camera_64x48.pgm", "coffee_36x20.ppm"};

}  // namespace

TEST(WaveletRoundTrip, PhotographCropsEveryKernelAndDepth) {
    for (const char* name : kCrops) {
        const qvxtest::Image img = qvxtest::read_pnm8(name);
        for (unsigned depth : {8u, 10u, 12u, 14u}) {
            for (const auto& plane8 : img.planes) {
                const std::vector<uint16_t> plane = qvxtest::scale_to_depth(plane8, depth);
                for (uint8_t k = 0; k < 6; ++k) {
                    std::vector<uint16_t> coef = plane;
                    enc::forward_wavelet(k, coef.data(), img.width, img.height);
                    ASSERT_NE(coef, plane) << name << " kernel " << int(k);
                    TestFrame f(img.width, img.height, 1, uint8_t(depth), k, 0);
                    f.load(0, coef);
                    inverse_wavelet(k, f.fs);
                    ASSERT_EQ(f.plane(0), plane) << name << " depth " << depth << " kernel " << int(k);
                }
            }
        }
    }
}

TEST(WaveletRoundTrip, FlatPlaneLeavesOnlyBandZero) {
    // A flat plane has no detail: every kernel must put the level everywhere
    // in band 0 (x and y multiples of 4) and zero in all other bands.
    for (auto [w, h] : {std::pair{4u, 4u}, std::pair{36u, 20u}, std::pair{16u, 8u}}) {
        for (unsigned k = 0; k < 6; ++k) {
            std::vector<uint16_t> p(size_t(w) * h, 1234);
            enc::forward_wavelet(k, p.data(), w, h);
            for (unsigned y = 0; y < h; ++y)
                for (unsigned x = 0; x < w; ++x)
                    ASSERT_EQ(p[size_t(y) * w + x], (x % 4 == 0 && y % 4 == 0) ? 1234 : 0)
                        << "kernel " << k << " size " << w << "x" << h << " at " << x << "," << y;
        }
    }
}

TEST(WaveletRoundTrip, ExactUnderWrapAround) {
    // Full-range 16-bit words overflow every lifting step; the passes must
    // still invert exactly modulo 2^16 (no clipping here).
    std::mt19937 rng(7);
    const unsigned w = 20, h = 12;
    for (unsigned k = 0; k < 6; ++k) {
        std::vector<uint16_t> p(size_t(w) * h);
        for (auto& v : p) v = uint16_t(rng());
        std::vector<uint16_t> q = p;
        enc::forward_wavelet(k, q.data(), w, h);
        wavelet::transform_plane<wavelet::Direction::Inverse>(k, reinterpret_cast<int16_t*>(q.data()), w, h);
        EXPECT_EQ(q, p) << "kernel " << k;
    }
}

// Forward kernels against the decoder's inverse passes under 16-bit wrap-around.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../encoder/src/forward_wavelet.h"
#include "wavelet/passes.h"

using namespace Vantrel::QVX;

// The photograph round trips of every kernel and depth run through the
// whole codec (image_roundtrip_test); here the passes alone under wrap-around.
TEST(WaveletRoundTrip, FullRangeWordsInvertModulo16Bits) {
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

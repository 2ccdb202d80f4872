// Forward kernels against the decoder's inverse under 16-bit wrap-around,
// and the row pipeline against the whole-plane passes for any threading.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "../encoder/src/forward_wavelet.h"
#include "wavelet/passes.h"
#include "wavelet/row_pipeline.h"
#include "wavelet/wavelet.h"

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

// The row pipeline (split lines, steps per group of rows, strips on several
// threads with their border steps deferred) must equal the passes run one
// after the other over whole planes, then the clip, on full-range words.
TEST(WaveletRoundTrip, RowPipelineEqualsWholePlanePassesForEveryThreading) {
    std::mt19937 rng(11);
    const struct {
        size_t w, h;
    } sizes[] = {{4, 4}, {8, 12}, {20, 36}, {36, 52}};
    const int16_t bounds[3] = {255, 16383, 32767};
    for (unsigned k = 0; k <= 6; ++k)
        for (const auto& sz : sizes) {
            std::vector<std::vector<int16_t>> input(3, std::vector<int16_t>(sz.w * sz.h));
            for (auto& p : input)
                for (auto& v : p) v = int16_t(rng());
            std::vector<std::vector<int16_t>> expect = input;
            for (unsigned c = 0; c < 3; ++c) {
                if (k < 6) wavelet::transform_plane<wavelet::Direction::Inverse>(k, expect[c].data(), sz.w, sz.h);
                wavelet::clip_samples(expect[c].data(), expect[c].size(), bounds[c]);
            }
            for (unsigned threads : {1u, 2u, 3u})
                for (size_t strip : {1u, 2u, 3u, 16u}) {
                    std::vector<std::vector<int16_t>> got = input;
                    int16_t* planes[3] = {got[0].data(), got[1].data(), got[2].data()};
                    inverse_wavelet_planes(k, planes, bounds, 3, sz.w, sz.h, threads, strip);
                    EXPECT_EQ(got, expect) << "kernel " << k << " " << sz.w << "x" << sz.h << " threads " << threads
                                           << " strip " << strip;
                }
        }
}

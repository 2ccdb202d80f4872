// Inverse wavelet kernels: line filters, the 4x4 reference frame for every
// kernel, pass order, and the clipping step.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "support/frames.h"
#include "wavelet/passes.h"
#include "wavelet/wavelet.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::wavelet;
using qvxtest::TestFrame;

namespace {

using Frame4 = std::array<std::array<int, 4>, 4>;

const Frame4 kInput4 = {{{100, 7, -5, 3}, {-9, 4, 6, -2}, {11, -3, 1, 5}, {-4, 2, -6, 8}}};

Frame4 read4(TestFrame& f) {
    Frame4 out{};
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x) out[y][x] = f.at(0, x, y);
    return out;
}

TestFrame frame4(uint8_t kernel) {
    TestFrame f(4, 4, 1, 14, kernel, 0);
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x) f.at(0, x, y) = int16_t(kInput4[y][x]);
    return f;
}

std::vector<int> line53(std::vector<int16_t> v) {
    lift53_line<Direction::Inverse, 1>(v.data(), v.size());
    return {v.begin(), v.end()};
}

}  // namespace

TEST(WaveletFilters, HaarPairAndFiveThreeLineExamples) {
    const int16_t pairs[][4] = {{5, 3, 3, 6}, {5, -3, 6, 3}, {0, 1, -1, 0}, {-32768, 1, 32767, -32768}};
    for (const auto& c : pairs) {
        int16_t lo = c[0], hi = c[1];
        haar_pair<Direction::Inverse>(lo, hi);
        EXPECT_EQ((std::array<int, 2>{lo, hi}), (std::array<int, 2>{c[2], c[3]})) << c[0] << "," << c[1];
        haar_pair<Direction::Forward>(lo, hi);
        EXPECT_EQ((std::array<int, 2>{lo, hi}), (std::array<int, 2>{c[0], c[1]}));
    }
    EXPECT_EQ(line53({10, 4, 20, -6}), (std::vector<int>{8, 18, 20, 14}));
    EXPECT_EQ(line53({-7, 5, 3, 0, 100, -50, -1, 2}), (std::vector<int>{-10, 1, 2, 57, 112, 12, 11, 13}));
    EXPECT_EQ(line53({10, -3}), (std::vector<int>{11, 8}));
    EXPECT_EQ(line53({0, 1, 0, 0}), (std::vector<int>{-1, 1, 0, 0}));
}

TEST(WaveletKernels, ReferenceFrame4x4AndPassOrder) {
    const Frame4 expect[6] = {
        {{{99, 104, 88, 97}, {84, 95, 85, 94}, {112, 112, 104, 109}, {97, 101, 91, 102}}},
        {{{98, 103, 85, 89}, {87, 96, 92, 94}, {110, 106, 104, 105}, {105, 103, 94, 103}}},
        {{{100, 106, 93, 94}, {86, 96, 88, 87}, {105, 109, 104, 105}, {103, 109, 93, 102}}},
        {{{100, 100, 89, 97}, {92, 100, 92, 99}, {113, 108, 104, 110}, {98, 98, 91, 103}}},
        {{{98, 97, 85, 89}, {94, 101, 99, 100}, {112, 103, 102, 105}, {107, 98, 93, 104}}},
        {{{100, 102, 92, 93}, {90, 100, 91, 91}, {108, 109, 103, 107}, {106, 105, 93, 105}}},
    };
    for (uint8_t k = 0; k < 6; ++k) {
        TestFrame f = frame4(k);
        inverse_wavelet(k, f.fs);
        EXPECT_EQ(read4(f), expect[k]) << "kernel " << int(k);
    }
    // Kernel 0's passes in the order of the other kernels give another frame.
    TestFrame f = frame4(0);
    for (const Pass& p : {Pass{Axis::H, 2}, Pass{Axis::V, 2}, Pass{Axis::H, 1}, Pass{Axis::V, 1}})
        run_pass<Filter::Haar, Direction::Inverse>(f.store->splane(0), 4, 4, p, Structure::FullSplit);
    EXPECT_EQ(read4(f)[0], (std::array<int, 4>{100, 105, 88, 96}));
}

TEST(WaveletClip, BoundsPerModeAndComponent) {
    struct Case {
        uint8_t bit_depth, ct_mode, w_kernel;
        int b0, b12;  // bound of component 0 and of components 1, 2
    };
    const Case cases[] = {
        {8, 0, 6, 255, 255},     {8, 4, 6, 255, 510},     {8, 10, 0, 255, 510},  {8, 9, 6, 255, 255},
        {8, 11, 6, 255, 255},    {8, 3, 2, 4095, 4095},   {8, 3, 3, 1023, 1023}, {8, 3, 6, 1023, 1023},
        {14, 4, 6, 16383, 32766}, {12, 1, 6, 4095, 4095},
    };
    for (const Case& c : cases) {
        TestFrame f(4, 4, 3, c.bit_depth, c.w_kernel, c.ct_mode);
        const int16_t in[4] = {-1, int16_t(-32768), 32767, 200};
        for (unsigned comp = 0; comp < 3; ++comp)
            for (unsigned x = 0; x < 4; ++x) f.at(comp, x, 1) = in[x];
        inverse_wavelet(6, f.fs);
        for (unsigned comp = 0; comp < 3; ++comp) {
            const int bound = comp == 0 ? c.b0 : c.b12;
            EXPECT_EQ((std::array<int, 4>{f.at(comp, 0, 1), f.at(comp, 1, 1), f.at(comp, 2, 1), f.at(comp, 3, 1)}),
                      (std::array<int, 4>{0, 0, bound, std::min(200, bound)}))
                << "depth " << int(c.bit_depth) << " mode " << int(c.ct_mode) << " kernel " << int(c.w_kernel);
        }
    }
    // Kernels end with the clip: the pair (0, 1) gives a low sample of -1.
    TestFrame f(4, 4, 1, 14, 2, 0);
    f.at(0, 2, 0) = 1;
    inverse_wavelet(2, f.fs);
    for (const auto& row : read4(f)) EXPECT_GE(*std::min_element(row.begin(), row.end()), 0);
}

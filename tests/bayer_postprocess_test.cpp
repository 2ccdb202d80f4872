#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "output/bayer_postprocess.h"

using namespace Vantrel::QVX;

namespace {

std::array<int32_t, 4> ycbcr(bayer_cell c, int d = 8) {
    cell_ycbcr_inverse(c, d, true);
    return {c.q[0], c.q[1], c.q[2], c.q[3]};
}

}  // namespace

TEST(BayerPostprocessTest, CellYCbCrInverseExamples) {
    // Neutral chroma leaves the two lumas as greens and makes B = R = mean.
    EXPECT_EQ(ycbcr({{100, 100, 128, 128}}), (std::array<int32_t, 4>{100, 100, 100, 100}));
    // Cr = 100: R = 240.2 -> 240, G = 28.59 -> 29 (rounded half up).
    EXPECT_EQ(ycbcr({{100, 100, 228, 128}}), (std::array<int32_t, 4>{29, 29, 100, 240}));
    // Different lumas separate the greens; Cb = -28 lowers blue.
    EXPECT_EQ(ycbcr({{120, 80, 128, 100}}), (std::array<int32_t, 4>{144, 76, 50, 100}));
}

TEST(BayerPostprocessTest, CellYCbCrTruncatesAfterAddingHalfAndLimits) {
    // R = -1.40 -> -0.90 truncates to 0 (not -1), even unlimited.
    bayer_cell c{{0, 0, 127, 128}};
    cell_ycbcr_inverse(c, 8, false);
    EXPECT_EQ(c.q[3], 0);
    EXPECT_EQ(c.q[0], 1);
    // Unlimited values may leave the range; R = -179.46 -> -178.
    bayer_cell low{{0, 0, 0, 128}};
    cell_ycbcr_inverse(low, 8, false);
    EXPECT_EQ(low.q[3], -178);
    EXPECT_EQ(low.q[0], 91);
    EXPECT_EQ(ycbcr({{0, 0, 0, 128}}), (std::array<int32_t, 4>{91, 91, 0, 0}));
    // G1 = -22.7 -> 0 and G2 = 300.9 -> 255 when limited.
    EXPECT_EQ(ycbcr({{10, 200, 60, 170}}), (std::array<int32_t, 4>{0, 255, 179, 10}));
    // d = 10 moves the chroma midpoint to 512.
    EXPECT_EQ(ycbcr({{400, 400, 512, 512}}, 10), (std::array<int32_t, 4>{400, 400, 400, 400}));
}

TEST(BayerPostprocessTest, GreenDifferenceInverseExamples) {
    bayer_cell a{{90, 266, 5, 6}};
    green_difference_inverse(a, 8, true);
    EXPECT_EQ(a.q[1], 100);
    EXPECT_EQ(a.q[2], 5);
    bayer_cell b{{250, 300, 0, 0}};
    green_difference_inverse(b, 8, true);
    EXPECT_EQ(b.q[1], 255);
    bayer_cell c{{250, 300, -4, 999}};
    green_difference_inverse(c, 8, false);
    EXPECT_EQ(c.q[1], 294);
    EXPECT_EQ(c.q[2], -4);
    green_difference_inverse(c, 8, true);  // limiting holds every site
    EXPECT_EQ(c.q[1], 255);
    EXPECT_EQ(c.q[2], 0);
    EXPECT_EQ(c.q[3], 255);
}

// A 2x2 mosaic through the green difference shows which sites are greens.
TEST(BayerPostprocessTest, ArrangementsPickTheGreenSites) {
    // Sites in row-major order: (0,0) (1,0) (0,1) (1,1); d = 6, range 64.
    for (uint8_t param = 0; param < 4; ++param) {
        std::vector<int32_t> m = {10, 20, 94, 104};
        bayer_postprocess(m.data(), 2, 2, 6, param, 2);
        const bool diagonal = param == 1 || param == 3;
        // Diagonal greens: q0 (0,0), q1 (1,1); otherwise q0 (1,0), q1 (0,1).
        const std::vector<int32_t> expected =
            diagonal ? std::vector<int32_t>{10, 20, 63, 104 - 64 + 10} : std::vector<int32_t>{10, 20, 94 - 64 + 20, 63};
        EXPECT_EQ(m, expected) << int(param);
    }
}

TEST(BayerPostprocessTest, SwappingArrangementsZeroAndTwoSwapsRedAndBlue) {
    const std::vector<int32_t> cell0 = {120, 60, 80, 200};  // (0,0) red, (1,1) blue for param 0
    std::vector<int32_t> a = cell0;
    std::vector<int32_t> b = {200, 60, 80, 120};  // the same cell with (0,0) and (1,1) exchanged
    bayer_postprocess(a.data(), 2, 2, 8, 0, 1);
    bayer_postprocess(b.data(), 2, 2, 8, 2, 1);
    EXPECT_EQ(a[0], b[3]);
    EXPECT_EQ(a[3], b[0]);
    EXPECT_EQ(a[1], b[1]);
    EXPECT_EQ(a[2], b[2]);
    EXPECT_NE(a[0], a[3]);
}

TEST(BayerPostprocessTest, CombinedStepDoesNotLimitBetweenSteps) {
    // q1 = 10 - 256 + 200 = -46 is handed to YCbCr unlimited; limiting it to
    // 0 first would give other greens.
    std::vector<int32_t> m = {200, 128, 128, 10};  // param 3: q0 (0,0), q1 (1,1), q2 (1,0), q3 (0,1)
    bayer_postprocess(m.data(), 2, 2, 8, 3, 3);
    bayer_cell expect{{200, -46, 128, 128}};
    cell_ycbcr_inverse(expect, 8, true);
    EXPECT_EQ(m, (std::vector<int32_t>{expect.q[0], expect.q[2], expect.q[3], expect.q[1]}));
    // Blue and red are the mean of the lumas: 77, not 100 as with q1 held at 0.
    EXPECT_EQ(m, (std::vector<int32_t>{255, 77, 77, 0}));
}

TEST(BayerPostprocessTest, UnknownArrangementLeavesTheMosaic) {
    std::vector<int32_t> m = {1, 2, 3, 400};
    bayer_postprocess(m.data(), 2, 2, 8, 4, 2);
    EXPECT_EQ(m, (std::vector<int32_t>{1, 2, 3, 400}));
}

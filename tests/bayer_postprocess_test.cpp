#include <gtest/gtest.h>

#include <vector>

#include "output/bayer_postprocess.h"

using namespace Vantrel::QVX;
using Cell = std::vector<int32_t>;

namespace {

Cell run(void (*step)(BayerCell&, int, bool), Cell q, int d = 8, bool limited = true) {
    BayerCell c{{q[0], q[1], q[2], q[3]}};
    step(c, d, limited);
    return {c.q[0], c.q[1], c.q[2], c.q[3]};
}

}  // namespace

TEST(BayerPostprocessTest, CellYCbCrInverse) {
    EXPECT_EQ(run(cell_ycbcr_inverse, {100, 100, 128, 128}), (Cell{100, 100, 100, 100}));
    EXPECT_EQ(run(cell_ycbcr_inverse, {100, 100, 228, 128}), (Cell{29, 29, 100, 240}));  // G 28.59, R 240.2
    EXPECT_EQ(run(cell_ycbcr_inverse, {120, 80, 128, 100}), (Cell{144, 76, 50, 100}));
    EXPECT_EQ(run(cell_ycbcr_inverse, {400, 400, 512, 512}, 10), (Cell{400, 400, 400, 400}));
    // r + 0.5 truncates toward zero: R = -1.40 gives 0, R = -179.46 gives -178.
    EXPECT_EQ(run(cell_ycbcr_inverse, {0, 0, 127, 128}, 8, false), (Cell{1, 1, 0, 0}));
    EXPECT_EQ(run(cell_ycbcr_inverse, {0, 0, 0, 128}, 8, false), (Cell{91, 91, 0, -178}));
    EXPECT_EQ(run(cell_ycbcr_inverse, {10, 200, 60, 170}), (Cell{0, 255, 179, 10}));  // G -22.7, 300.9
}

TEST(BayerPostprocessTest, GreenDifferenceInverse) {
    EXPECT_EQ(run(green_difference_inverse, {90, 266, 5, 6}), (Cell{90, 100, 5, 6}));
    EXPECT_EQ(run(green_difference_inverse, {250, 300, 0, 0}), (Cell{250, 255, 0, 0}));
    EXPECT_EQ(run(green_difference_inverse, {250, 300, -4, 999}, 8, false), (Cell{250, 294, -4, 999}));
    EXPECT_EQ(run(green_difference_inverse, {250, 300, -4, 999}), (Cell{250, 255, 0, 255}));
}

// Which sites each arrangement reads is checked by the mosaic round trips.
TEST(BayerPostprocessTest, CombinedStepDoesNotLimitBetweenSteps) {
    // bayer_param 3: q1 = 10 - 256 + 200 = -46 reaches YCbCr as is; blue and
    // red become the lumas' mean 77 (100 if q1 were held at 0 first).
    Cell m = {200, 128, 128, 10};
    bayer_postprocess(m.data(), 2, 2, 8, 3, 3);
    EXPECT_EQ(m, (Cell{255, 77, 77, 0}));
}

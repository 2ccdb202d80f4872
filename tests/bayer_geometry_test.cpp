#include <gtest/gtest.h>

#include <functional>

#include "base/mosaic_geometry.h"
#include "support/frames.h"

using namespace Vantrel::QVX;

TEST(BayerGeometryTest, Conversions) {
    const int widths[][5] = {{320, 1, 1, 0, 640},    {320, 2, 1, 0, 320}, {336, 5, 1, 1000, 1000},
                             {7, 1, 0, 0, 3},        {-7, 4, 0, 0, -3},   {0, 5, 0, 1000, 336}};
    for (const auto& w : widths) EXPECT_EQ(mosaic_width(w[0], uint32_t(w[1]), w[2], w[3]), w[4]) << w[0] << " " << w[1];
    EXPECT_EQ(mosaic_height(240, 1, 1), 480);
    EXPECT_EQ(mosaic_height(240, 2, 1), 480);
    EXPECT_EQ(mosaic_height(240, 5, 1), 240);
    EXPECT_EQ(mosaic_height(7, 2, 0), 3);  // forward halving truncates
    for (int n : {12, 13, 24, 640, 1, 0}) EXPECT_EQ(third_width(n), 4 * ((n + 11) / 12)) << n;
    const int depths[][5] = {{12, 0, 1, 0, 12}, {12, 3, 1, 0, 10}, {12, 3, 1, 2, 8},
                             {12, 0, 1, 3, 10}, {12, 1, 1, 1, 12}, {8, 4, 0, 3, 12}};
    for (const auto& d : depths) EXPECT_EQ(mosaic_bit_depth(d[0], uint32_t(d[1]), d[2], d[3]), d[4]);
}

TEST(BayerGeometryTest, UnsupportedArgumentsPrintAndExitWithCodeOne) {
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[] { mosaic_width(8, 6, 1, 8); }, "Bayermode not specified in Width-calculation\n"},
        {[] { mosaic_width(8, 6, 0, 8); }, "Bayermode not specified in Width-calculation "},
        {[] { mosaic_width(8, 255, 2, 8); }, "Inverse mode not set, please check nxrGetWidth command\n"},
        {[] { mosaic_height(8, 6, 1); }, "Bayermode not specified in Height-calculation "},
        {[] { mosaic_height(8, 1, 7); }, "Inverse mode not set, please check nxrGetHeight command\n"},
        {[] { mosaic_bit_depth(8, 0x80000000u, 0, 0); }, "Bayermode not specified in Bitdepth-calculation "},
        {[] { mosaic_bit_depth(8, 0, 2, 0); }, "Inverse mode not set, please check nxrGetBitdepth command\n"},
        // The writer on mode 6 ends the process in its width conversion.
        {[] { qvxtest::WriterRig(4, 4, 1, 8, 6).write(); }, "Bayermode not specified in Width-calculation\n"},
    };
    for (const auto& [call, text] : cases) EXPECT_EQ(qvxtest::run_in_child(call), std::make_pair(1, std::string(text)));
}

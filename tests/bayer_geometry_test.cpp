#include <gtest/gtest.h>

#include <functional>

#include "bayer_support.h"
#include "output/bayer_geometry.h"

using namespace Vantrel::QVX;
using bayer_test::run_in_child;

TEST(BayerGeometryTest, InverseConversionsRebuildTheMosaicSize) {
    EXPECT_EQ(nxrGetWidth(320, 1, 1, 0), 640);
    EXPECT_EQ(nxrGetHeight(240, 1, 1), 480);
    EXPECT_EQ(nxrGetWidth(320, 2, 1, 0), 320);
    EXPECT_EQ(nxrGetHeight(240, 2, 1), 480);
    EXPECT_EQ(nxrGetWidth(336, 5, 1, 1000), 1000);
    EXPECT_EQ(nxrGetHeight(240, 5, 1), 240);
    for (uint32_t mode : {3u, 4u}) {
        EXPECT_EQ(nxrGetWidth(320, mode, 1, 0), 640);
        EXPECT_EQ(nxrGetHeight(240, mode, 1), 480);
    }
    EXPECT_EQ(nxrGetWidth(320, 0, 1, 7), 320);
    EXPECT_EQ(nxrGetHeight(240, 0, 1), 240);
}

TEST(BayerGeometryTest, ForwardConversionsHalveTruncating) {
    EXPECT_EQ(nxrGetWidth(7, 1, 0, 0), 3);
    EXPECT_EQ(nxrGetHeight(7, 2, 0), 3);
    EXPECT_EQ(nxrGetWidth(7, 2, 0, 0), 7);
    EXPECT_EQ(nxrGetWidth(-7, 3, 0, 0), -3);
    EXPECT_EQ(nxrGetWidth(0, 5, 0, 1000), 336);
    EXPECT_EQ(nxrGetHeight(9, 5, 0), 9);
}

TEST(BayerGeometryTest, ThirdWidthRoundsUpToTwelve) {
    EXPECT_EQ(third_width(12), 4);
    EXPECT_EQ(third_width(13), 8);
    EXPECT_EQ(third_width(24), 8);
    EXPECT_EQ(third_width(640), 216);
    EXPECT_EQ(third_width(1000), 336);
    EXPECT_EQ(third_width(0), 0);
    EXPECT_EQ(third_width(1), 4);
    EXPECT_EQ(third_width(65535), 21848);
}

TEST(BayerGeometryTest, BitDepthAddsTwoForWaveletModesAndGreenDifference) {
    EXPECT_EQ(nxrGetBitdepth(12, 0, 1, 0), 12);
    EXPECT_EQ(nxrGetBitdepth(12, 3, 1, 0), 10);
    EXPECT_EQ(nxrGetBitdepth(12, 3, 1, 2), 8);
    EXPECT_EQ(nxrGetBitdepth(12, 0, 1, 3), 10);
    EXPECT_EQ(nxrGetBitdepth(12, 1, 1, 1), 12);
    EXPECT_EQ(nxrGetBitdepth(12, 4, 1, 4), 10);
    EXPECT_EQ(nxrGetBitdepth(8, 4, 0, 3), 12);
    EXPECT_EQ(nxrGetBitdepth(8, 5, 0, 2), 10);
    EXPECT_EQ(nxrGetBitdepth(8, 2, 0, 1), 8);
}

TEST(BayerGeometryTest, UnsupportedArgumentsPrintAndExitWithCodeOne) {
    struct Case {
        std::function<void()> call;
        const char* text;
    };
    const Case cases[] = {
        {[] { nxrGetWidth(8, 6, 1, 8); }, "Bayermode not specified in Width-calculation\n"},
        {[] { nxrGetWidth(8, 6, 0, 8); }, "Bayermode not specified in Width-calculation "},
        {[] { nxrGetWidth(8, 255, 2, 8); }, "Inverse mode not set, please check nxrGetWidth command\n"},
        {[] { nxrGetHeight(8, 6, 1); }, "Bayermode not specified in Height-calculation "},
        {[] { nxrGetHeight(8, 6, 0); }, "Bayermode not specified in Height-calculation "},
        {[] { nxrGetHeight(8, 1, 7); }, "Inverse mode not set, please check nxrGetHeight command\n"},
        {[] { nxrGetBitdepth(8, 200, 1, 0); }, "Bayermode not specified in Bitdepth-calculation "},
        {[] { nxrGetBitdepth(8, 0x80000000u, 0, 0); }, "Bayermode not specified in Bitdepth-calculation "},
        {[] { nxrGetBitdepth(8, 0, 2, 0); }, "Inverse mode not set, please check nxrGetBitdepth command\n"},
    };
    for (const Case& c : cases) {
        const auto r = run_in_child(c.call);
        EXPECT_EQ(r.exit_code, 1) << c.text;
        EXPECT_EQ(r.out, c.text);
    }
}

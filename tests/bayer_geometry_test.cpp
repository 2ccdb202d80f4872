#include <gtest/gtest.h>

#include <functional>

#include "bayer_support.h"
#include "codestream/header.h"
#include "output/bayer_geometry.h"

using namespace Vantrel::QVX;

TEST(BayerGeometryTest, Conversions) {
    EXPECT_EQ(nxrGetWidth(320, 1, 1, 0), 640);  // inverse: mosaic from coded size
    EXPECT_EQ(nxrGetHeight(240, 1, 1), 480);
    EXPECT_EQ(nxrGetWidth(320, 2, 1, 0), 320);
    EXPECT_EQ(nxrGetHeight(240, 2, 1), 480);
    EXPECT_EQ(nxrGetWidth(336, 5, 1, 1000), 1000);
    EXPECT_EQ(nxrGetHeight(240, 5, 1), 240);
    EXPECT_EQ(nxrGetWidth(7, 1, 0, 0), 3);  // forward halving truncates
    EXPECT_EQ(nxrGetWidth(-7, 4, 0, 0), -3);
    EXPECT_EQ(nxrGetHeight(7, 2, 0), 3);
    EXPECT_EQ(nxrGetWidth(0, 5, 0, 1000), 336);
    for (int n : {12, 13, 24, 640, 1, 0}) EXPECT_EQ(third_width(n), 4 * ((n + 11) / 12)) << n;
    EXPECT_EQ(nxrGetBitdepth(12, 0, 1, 0), 12);
    EXPECT_EQ(nxrGetBitdepth(12, 3, 1, 0), 10);
    EXPECT_EQ(nxrGetBitdepth(12, 3, 1, 2), 8);
    EXPECT_EQ(nxrGetBitdepth(12, 0, 1, 3), 10);
    EXPECT_EQ(nxrGetBitdepth(12, 1, 1, 1), 12);
    EXPECT_EQ(nxrGetBitdepth(8, 4, 0, 3), 12);
}

TEST(BayerGeometryTest, UnsupportedArgumentsPrintAndExitWithCodeOne) {
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[] { nxrGetWidth(8, 6, 1, 8); }, "Bayermode not specified in Width-calculation\n"},
        {[] { nxrGetWidth(8, 6, 0, 8); }, "Bayermode not specified in Width-calculation "},
        {[] { nxrGetWidth(8, 255, 2, 8); }, "Inverse mode not set, please check nxrGetWidth command\n"},
        {[] { nxrGetHeight(8, 6, 1); }, "Bayermode not specified in Height-calculation "},
        {[] { nxrGetHeight(8, 1, 7); }, "Inverse mode not set, please check nxrGetHeight command\n"},
        {[] { nxrGetBitdepth(8, 0x80000000u, 0, 0); }, "Bayermode not specified in Bitdepth-calculation "},
        {[] { nxrGetBitdepth(8, 0, 2, 0); }, "Inverse mode not set, please check nxrGetBitdepth command\n"},
    };
    for (const auto& [call, text] : cases) EXPECT_EQ(bayer_test::run_in_child(call), std::make_pair(1, std::string(text)));
}

TEST(BayerGeometryTest, HeaderCodesAThirdOfTheWidthInModeFive) {
    // Version 4, one component, width 100, bayer_mode 5.
    std::vector<unsigned char> s = {0x56, 0x51, 0xFF, 0xFF, 4, 0, 0, 0, 0, 0, 100, 0, 8, 0, 0, 1, 0, 8};
    s.resize(29, 0);
    s.push_back(5);
    s.push_back(0);
    s.resize(64, 0);
    mem_data in(s.data(), s.size());
    frame_state fs;
    read_header(in, fs);
    EXPECT_EQ(fs.width, 36);
    EXPECT_EQ(fs.stored_width, 100);
}

#include <gtest/gtest.h>

#include <vector>

#include "output_convert.h"

namespace {

std::vector<uint16_t> rgb(uint16_t y, uint16_t cb, uint16_t cr, unsigned depth) {
    uint16_t out[3];
    qvxtools::ycbcr_to_rgb(y, cb, cr, depth, out);
    return {out[0], out[1], out[2]};
}

std::vector<uint8_t> big_endian(const std::vector<uint16_t>& words) {
    std::vector<uint8_t> b;
    for (uint16_t w : words) {
        b.push_back(uint8_t(w >> 8));
        b.push_back(uint8_t(w));
    }
    return b;
}

using V = std::vector<uint16_t>;

}  // namespace

TEST(ToolsYCbCr, VideoRangeEndpointsPerDepth) {
    EXPECT_EQ(rgb(16, 128, 128, 8), (V{0, 0, 0}));
    EXPECT_EQ(rgb(235, 128, 128, 8), (V{255, 255, 255}));  // 19152 * 219 / 16384
    EXPECT_EQ(rgb(64, 512, 512, 10), (V{0, 0, 0}));
    EXPECT_EQ(rgb(940, 512, 512, 10), (V{1023, 1023, 1023}));
    EXPECT_EQ(rgb(256, 2048, 2048, 12), (V{0, 0, 0}));
    EXPECT_EQ(rgb(1024, 8192, 8192, 14), (V{0, 0, 0}));
}

TEST(ToolsYCbCr, ChromaWeightsTruncationAndClamping) {
    // Y' = 112, Cr' = 112: R = 5447568 / 16384 (clamped), G = 1163232 / 16384,
    // B = 2145248 / 16384, each truncated.
    EXPECT_EQ(rgb(128, 128, 240, 8), (V{255, 70, 130}));
    // Cb' = 112: R = (2145024 - 112) / 16384, G = (2145024 - 392784) / 16384.
    EXPECT_EQ(rgb(128, 240, 128, 8), (V{130, 106, 255}));
    // Below the luma offset everything clamps at 0 rather than wrapping.
    EXPECT_EQ(rgb(0, 128, 128, 8), (V{0, 0, 0}));
    // A sample far above the range clamps at the maximum.
    EXPECT_EQ(rgb(1000, 128, 128, 8), (V{255, 255, 255}));
}

TEST(ToolsYCbCr, Upsampled422UsesEachChromaPairForTwoPixels) {
    // One row of width 4: Cb0 Y0 Cr0 Y1 Cb1 Y2 Cr1 Y3.
    const auto buf = big_endian({128, 16, 128, 235, 128, 128, 240, 128});
    qvxtools::Image im;
    std::string error;
    ASSERT_TRUE(qvxtools::rgb_from_422(buf.data(), buf.size(), 4, 1, 8, im, error)) << error;
    EXPECT_EQ(im.channels, 3u);
    EXPECT_EQ(im.maxval, 255u);
    EXPECT_EQ(im.samples, (V{0, 0, 0, 255, 255, 255, 255, 70, 130, 255, 70, 130}));

    // Odd width: the last pair of each row carries one unused luma sample.
    const auto odd = big_endian({128, 16, 128, 235, 128, 235, 128, 999, 128, 235, 128, 16, 128, 16, 128, 999});
    ASSERT_TRUE(qvxtools::rgb_from_422(odd.data(), odd.size(), 3, 2, 8, im, error)) << error;
    EXPECT_EQ(im.samples, (V{0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0}));

    EXPECT_FALSE(qvxtools::rgb_from_422(buf.data(), buf.size() - 1, 4, 1, 8, im, error));
    EXPECT_FALSE(qvxtools::rgb_from_422(buf.data(), buf.size(), 4, 2, 8, im, error));
    EXPECT_FALSE(qvxtools::rgb_from_422(buf.data(), buf.size(), 4, 1, 20, im, error));
}

TEST(ToolsOutput, WordsAreReadHighByteFirst) {
    const std::vector<uint8_t> buf = {0x01, 0x02, 0x0f, 0xff, 0xff, 0xff, 0xaa};
    qvxtools::Image im;
    std::string error;
    ASSERT_TRUE(qvxtools::image_from_words(buf.data(), buf.size(), 3, 1, 1, 65535, im, error)) << error;
    EXPECT_EQ(im.samples, (V{0x0102, 0x0fff, 0xffff}));
    // Values beyond the depth's range are limited to it.
    ASSERT_TRUE(qvxtools::image_from_words(buf.data(), buf.size(), 3, 1, 1, 4095, im, error));
    EXPECT_EQ(im.samples, (V{0x0102, 0x0fff, 0x0fff}));
    EXPECT_FALSE(qvxtools::image_from_words(buf.data(), buf.size(), 2, 2, 1, 65535, im, error));
}

TEST(ToolsOutput, BayerMosaicGeometry) {
    qvxtools::MosaicGeometry m;
    ASSERT_TRUE(qvxtools::bayer_mosaic_geometry(1, 320, 240, 320, 12, 0, m));
    EXPECT_EQ((std::vector<int>{int(m.width), int(m.height), m.depth}), (std::vector<int>{640, 480, 12}));
    ASSERT_TRUE(qvxtools::bayer_mosaic_geometry(2, 320, 240, 320, 12, 0, m));
    EXPECT_EQ((std::vector<int>{int(m.width), int(m.height), m.depth}), (std::vector<int>{320, 480, 12}));
    ASSERT_TRUE(qvxtools::bayer_mosaic_geometry(3, 320, 240, 320, 12, 0, m));
    EXPECT_EQ((std::vector<int>{int(m.width), int(m.height), m.depth}), (std::vector<int>{640, 480, 10}));
    ASSERT_TRUE(qvxtools::bayer_mosaic_geometry(4, 320, 240, 320, 12, 7, m));
    EXPECT_EQ(m.depth, 8);
    ASSERT_TRUE(qvxtools::bayer_mosaic_geometry(1, 320, 240, 320, 12, 8, m));
    EXPECT_EQ(m.depth, 10);
    ASSERT_TRUE(qvxtools::bayer_mosaic_geometry(1, 320, 240, 320, 12, 6, m));
    EXPECT_EQ(m.depth, 12);
    // Mode 5 is as wide as the stored width, not the coded one.
    ASSERT_TRUE(qvxtools::bayer_mosaic_geometry(5, 336, 50, 1000, 12, 0, m));
    EXPECT_EQ((std::vector<int>{int(m.width), int(m.height), m.depth}), (std::vector<int>{1000, 50, 12}));
    EXPECT_FALSE(qvxtools::bayer_mosaic_geometry(0, 8, 8, 8, 12, 0, m));
    EXPECT_FALSE(qvxtools::bayer_mosaic_geometry(6, 8, 8, 8, 12, 0, m));
}

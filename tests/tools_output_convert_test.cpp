#include <gtest/gtest.h>

#include <vector>

#include "output_convert.h"

namespace {

using V = std::vector<uint16_t>;

V rgb(uint16_t y, uint16_t cb, uint16_t cr, unsigned depth) {
    uint16_t out[3];
    qvxtools::ycbcr_to_rgb(y, cb, cr, depth, out);
    return {out[0], out[1], out[2]};
}

std::vector<uint8_t> big_endian(const V& words) {
    std::vector<uint8_t> b;
    for (uint16_t w : words) b.insert(b.end(), {uint8_t(w >> 8), uint8_t(w)});
    return b;
}

}  // namespace

TEST(ToolsYCbCr, VideoRangeWeightsAndClamping) {
    const uint16_t cases[][7] = {
        {16, 128, 128, 8, 0, 0, 0},          {235, 128, 128, 8, 255, 255, 255},  // 19152 * 219 / 16384
        {940, 512, 512, 10, 1023, 1023, 1023}, {1024, 8192, 8192, 14, 0, 0, 0},
        // Y' = 112, Cr' = 112: R = 5447568 / 16384 (clamped), G = 1163232 / 16384,
        // B = 2145248 / 16384, each truncated.
        {128, 128, 240, 8, 255, 70, 130},    {128, 240, 128, 8, 130, 106, 255},
        {0, 128, 128, 8, 0, 0, 0},  // clamps rather than wraps
    };
    for (const auto& c : cases) EXPECT_EQ(rgb(c[0], c[1], c[2], c[3]), (V{c[4], c[5], c[6]})) << c[0] << " " << c[3];
}

TEST(ToolsYCbCr, Upsampled422UsesEachChromaPairForTwoPixels) {
    // One row of width 4: Cb0 Y0 Cr0 Y1 Cb1 Y2 Cr1 Y3.
    const auto buf = big_endian({128, 16, 128, 235, 128, 128, 240, 128});
    qvxtools::Image im;
    ASSERT_NO_THROW(im = qvxtools::rgb_from_422(buf.data(), buf.size(), 4, 1, 8));
    EXPECT_EQ(im.maxval, 255u);
    EXPECT_EQ(im.samples, (V{0, 0, 0, 255, 255, 255, 255, 70, 130, 255, 70, 130}));
    // Odd width: the last pair of each row carries one unused luma sample.
    const auto odd = big_endian({128, 16, 128, 235, 128, 235, 128, 999, 128, 235, 128, 16, 128, 16, 128, 999});
    ASSERT_NO_THROW(im = qvxtools::rgb_from_422(odd.data(), odd.size(), 3, 2, 8));
    EXPECT_EQ(im.samples, (V{0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0, 0, 0, 0, 0}));
    EXPECT_THROW(qvxtools::rgb_from_422(buf.data(), buf.size() - 1, 4, 1, 8), qvxtools::ToolError);
    EXPECT_THROW(qvxtools::rgb_from_422(buf.data(), buf.size(), 4, 1, 20), qvxtools::ToolError);
}

TEST(ToolsOutput, WordsAndMosaicGeometry) {
    const std::vector<uint8_t> buf = {0x01, 0x02, 0x0f, 0xff, 0xff, 0xff, 0xaa};
    qvxtools::Image im;
    ASSERT_NO_THROW(im = qvxtools::image_from_words(buf.data(), buf.size(), 3, 1, 1, 4095));
    EXPECT_EQ(im.samples, (V{0x0102, 0x0fff, 0x0fff}));  // high byte first, limited to the depth
    EXPECT_THROW(qvxtools::image_from_words(buf.data(), buf.size(), 2, 2, 1, 65535), qvxtools::ToolError);

    const int cases[][7] = {{1, 320, 320, 0, 640, 480, 12}, {2, 320, 320, 0, 320, 480, 12},
                            {3, 320, 320, 0, 640, 480, 10}, {4, 320, 320, 7, 640, 480, 8},
                            {1, 320, 320, 8, 640, 480, 10}, {5, 336, 1000, 0, 1000, 240, 12}};
    for (const auto& c : cases) {
        const qvxtools::MosaicGeometry m =
            qvxtools::bayer_mosaic_geometry(c[0], uint32_t(c[1]), 240, uint32_t(c[2]), 12, c[3]);
        EXPECT_EQ((std::vector<int>{int(m.width), int(m.height), m.depth}), (std::vector<int>{c[4], c[5], c[6]}))
            << "mode " << c[0];
    }
    EXPECT_THROW(qvxtools::bayer_mosaic_geometry(0, 8, 8, 8, 12, 0), qvxtools::ToolError);
    EXPECT_THROW(qvxtools::bayer_mosaic_geometry(6, 8, 8, 8, 12, 0), qvxtools::ToolError);
}

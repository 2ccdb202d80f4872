#include "output_convert.h"

#include <algorithm>
#include <string>

#include "base/format.h"
#include "base/mosaic_geometry.h"

namespace qvxtools {

uint32_t maxval_for_depth(unsigned bit_depth) {
    if (bit_depth == 0 || bit_depth >= 16) return 65535;
    return (1u << bit_depth) - 1;
}

void ycbcr_to_rgb(uint16_t y, uint16_t cb, uint16_t cr, unsigned bit_depth, uint16_t rgb[3]) {
    using namespace Vantrel::QVX;
    const int32_t max = int32_t(maxval_for_depth(bit_depth));
    const int32_t half = depth_half(bit_depth);
    const int32_t luma_offset = depth_luma(bit_depth);
    // The offsets are removed in 16-bit words, as the decoder's samples wrap.
    const int32_t yy = int16_t(uint16_t(y - luma_offset));
    const int32_t u = int16_t(uint16_t(cb - half));
    const int32_t v = int16_t(uint16_t(cr - half));
    constexpr auto& m = kVideoRangeMatrix;
    const int32_t r = (m[0][0] * yy + m[0][1] * u + m[0][2] * v) / kVideoRangeScale;
    const int32_t g = (m[1][0] * yy + m[1][1] * u + m[1][2] * v) / kVideoRangeScale;
    const int32_t b = (m[2][0] * yy + m[2][1] * u + m[2][2] * v) / kVideoRangeScale;
    rgb[0] = uint16_t(std::clamp(r, 0, max));
    rgb[1] = uint16_t(std::clamp(g, 0, max));
    rgb[2] = uint16_t(std::clamp(b, 0, max));
}

MosaicGeometry bayer_mosaic_geometry(unsigned bayer_mode, uint32_t width, uint32_t height,
                                     uint32_t stored_width, unsigned bit_depth, unsigned ct_mode) {
    using namespace Vantrel::QVX;
    if (bayer_mode < 1 || bayer_mode > 5) throw ToolError("unsupported Bayer mode " + std::to_string(bayer_mode));
    const uint32_t ct_index = ct_index_for_mode(uint8_t(ct_mode));
    return {uint32_t(mosaic_width(int32_t(width), bayer_mode, 1, int32_t(stored_width))),
            uint32_t(mosaic_height(int32_t(height), bayer_mode, 1)),
            int(mosaic_bit_depth(int32_t(bit_depth), bayer_mode, 1, ct_index))};
}

Image image_from_words(const uint8_t* buf, size_t size, uint32_t width, uint32_t height,
                       uint32_t channels, uint32_t maxval) {
    const size_t n = size_t(width) * height * channels;
    if (size / 2 < n)
        throw ToolError("output buffer of " + std::to_string(size) + " bytes is smaller than the " +
                        std::to_string(n * 2) + " bytes of the image");
    Image image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.maxval = maxval;
    image.samples.resize(n);
    // Values above maxval would not fit the file's sample range; they can only
    // come from a damaged stream, so they are limited rather than rejected.
    for (size_t i = 0; i < n; ++i)
        image.samples[i] = uint16_t(std::min<uint32_t>(uint32_t(buf[2 * i] << 8 | buf[2 * i + 1]), maxval));
    return image;
}

Image rgb_from_422(const uint8_t* buf, size_t size, uint32_t width, uint32_t height,
                   unsigned bit_depth) {
    if (bit_depth < 8 || bit_depth > 16)
        throw ToolError("cannot convert " + std::to_string(bit_depth) + "-bit 4:2:2 samples to RGB");
    const size_t pairs = (size_t(width) + 1) / 2;
    const size_t row_words = pairs * 4;
    if (size / 2 / row_words < height)
        throw ToolError("output buffer of " + std::to_string(size) + " bytes is too small for 4:2:2 " +
                        std::to_string(width) + "x" + std::to_string(height));
    Image image;
    image.width = width;
    image.height = height;
    image.channels = 3;
    image.maxval = maxval_for_depth(bit_depth);
    image.samples.resize(size_t(width) * height * 3);
    auto word = [buf](size_t i) { return uint16_t(buf[2 * i] << 8 | buf[2 * i + 1]); };
    for (uint32_t y = 0; y < height; ++y) {
        const size_t row = y * row_words;
        uint16_t* dst = image.samples.data() + size_t(y) * width * 3;
        for (uint32_t x = 0; x < width; ++x) {
            const size_t pair = row + (x / 2) * 4;
            ycbcr_to_rgb(word(pair + 1 + (x & 1) * 2), word(pair), word(pair + 2), bit_depth, dst + 3 * x);
        }
    }
    return image;
}

}  // namespace qvxtools

// Turning a decoder output buffer (16-bit samples, high byte first) into an
// image: plain frames, 4:2:2 Cb Y0 Cr Y1 frames and Bayer mosaics.
#pragma once

#include <cstdint>

#include "image_io.h"

namespace qvxtools {

// 2^depth - 1, limited to the 16 bits an output sample has.
uint32_t maxval_for_depth(unsigned bit_depth);

// Video-range Y'CbCr to RGB with the decoder's integer "default" colour
// rule, clamped to 0..2^depth-1. depth is 8 to 16.
void ycbcr_to_rgb(uint16_t y, uint16_t cb, uint16_t cr, unsigned bit_depth, uint16_t rgb[3]);

// Size and depth of the mosaic a Bayer stream decodes to.
struct MosaicGeometry {
    uint32_t width = 0;
    uint32_t height = 0;
    int depth = 0;
};
// Throws ToolError for a bayer_mode the decoder does not support (0 or above 5).
MosaicGeometry bayer_mosaic_geometry(unsigned bayer_mode, uint32_t width, uint32_t height,
                                     uint32_t stored_width, unsigned bit_depth, unsigned ct_mode);

// The first width*height*channels big-endian words of buf as an image.
Image image_from_words(const uint8_t* buf, size_t size, uint32_t width, uint32_t height,
                       uint32_t channels, uint32_t maxval);

// A 4:2:2 buffer (per row and pixel pair: Cb, Y0, Cr, Y1) as RGB with the
// chroma of each pair used for both of its pixels.
Image rgb_from_422(const uint8_t* buf, size_t size, uint32_t width, uint32_t height,
                   unsigned bit_depth);

}  // namespace qvxtools

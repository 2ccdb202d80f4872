// Forward Bayer stage of the encoder: splits a single-plane mosaic into the
// coded component planes of a Bayer mode, the exact counterpart of the
// decoder's Bayer writer.
#pragma once

#include <cstdint>
#include <vector>

namespace Vantrel::QVX::enc {

// Coded planes, each row-major width x height (the same geometry for every
// component, as the decoder's stores have); cells a mode does not use are 0.
// Samples are 16-bit words; the wavelet modes hold signed values offset to
// be non-negative.
struct BayerPlanes {
    unsigned width = 0, height = 0, bit_depth = 0, num_components = 0;
    std::vector<uint16_t> planes[4];
};

// mosaic: one sample per photosite, row-major, W x H, W and H even, samples
// below 2^mosaic_depth. ct_mode 6, 7 and 8 apply the cell colour transform
// (YCbCr, green difference, both) before the split. Throws EncodeError on
// an unsupported mode or geometry.
BayerPlanes bayer_forward(const uint16_t* mosaic, unsigned W, unsigned H, unsigned mosaic_depth,
                          uint8_t bayer_mode, uint8_t bayer_param, uint8_t ct_mode);

// The cell colour transforms on a row-major W x H mosaic of depth d, in
// place. Green difference is exactly invertible; YCbCr rounds and limits.
void green_difference_forward(int32_t* mosaic, unsigned W, unsigned H, unsigned d, uint8_t bayer_param);
void cell_ycbcr_forward(int32_t* mosaic, unsigned W, unsigned H, unsigned d, uint8_t bayer_param);

// One-level 2-D forward lifting on a row-major W x H array (both even), in
// place: vertical passes first, then horizontal, undoing the decoder's
// inverse step by step.
void forward_53(int32_t* m, unsigned W, unsigned H);
void forward_haar(int32_t* m, unsigned W, unsigned H);

}  // namespace Vantrel::QVX::enc

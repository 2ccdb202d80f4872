// Per-cell colour post-processing of a rebuilt Bayer mosaic: undoes the
// cell YCbCr and green-difference decorrelations in place.
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

// The four sites of one 2x2 cell: q0, q1 green, q2 blue, q3 red. In the
// coded domain the same places hold Y1, Y2, Cr and Cb.
struct BayerCell {
    int32_t q[4];
};

// d is the mosaic bit depth; `limited` holds each result within 0 .. 2^d-1.
void cell_ycbcr_inverse(BayerCell& cell, int d, bool limited);
void green_difference_inverse(BayerCell& cell, int d, bool limited);

// mosaic: row-major, W columns by H rows (both even). ct_index 1: YCbCr,
// 2: green difference, 3: green difference (unlimited) then YCbCr.
// bayer_param 4 and above leave the mosaic unchanged.
void bayer_postprocess(int32_t* mosaic, int W, int H, int d, uint8_t bayer_param, uint32_t ct_index);

// Offsets (column, row) within a cell of q0 .. q3 for bayer_param 0 .. 3.
struct BayerCellSites {
    uint8_t dx[4];
    uint8_t dy[4];
};
const BayerCellSites& bayer_cell_sites(uint8_t bayer_param);

}  // namespace Vantrel::QVX

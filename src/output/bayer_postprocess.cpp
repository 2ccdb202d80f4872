#include "output/bayer_postprocess.h"

#include <cstddef>
#include <cstdint>

namespace Vantrel::QVX {

namespace {

constexpr BayerCellSites kSites[4] = {
    {{1, 0, 1, 0}, {0, 1, 1, 0}},  // R G / G B
    {{0, 1, 0, 1}, {0, 1, 1, 0}},  // G R / B G
    {{1, 0, 0, 1}, {0, 1, 0, 1}},  // B G / G R
    {{0, 1, 1, 0}, {0, 1, 0, 1}},  // G B / R G
};

// Rounds half up by truncating r + 0.5 toward zero, then optionally limits.
// The limits are applied on the double so no conversion can overflow.
int32_t round_sample(double r, int32_t max, bool limited) {
    const double v = r + 0.5;
    if (limited) {
        if (v < 0.0) return 0;  // truncation of (-1, 0) gives 0 as well
        if (v >= double(max) + 1.0) return max;
    } else {
        if (v <= -2147483648.0) return INT32_MIN;
        if (v >= 2147483647.0) return INT32_MAX;
    }
    return int32_t(v);
}

int32_t limit(int32_t v, int32_t max) { return v < 0 ? 0 : (v > max ? max : v); }

}  // namespace

const BayerCellSites& bayer_cell_sites(uint8_t bayer_param) { return kSites[bayer_param & 3]; }

void cell_ycbcr_inverse(BayerCell& cell, int d, bool limited) {
    const int32_t mid = int32_t(1) << (d - 1);
    const int32_t max = int32_t((uint32_t(1) << d) - 1u);
    const double y1 = cell.q[0];
    const double y2 = cell.q[1];
    const double cr = int32_t(uint32_t(cell.q[2]) - uint32_t(mid));
    const double cb = int32_t(uint32_t(cell.q[3]) - uint32_t(mid));
    // One product per statement: keeps the compiler from fusing
    // multiply-adds, which would change the rounding.
    const double avg_a = y2 * 0.5;
    const double avg_b = y1 * 0.5;
    const double avg = avg_a + avg_b;
    const double y1_main = y1 * 1.351788756388416;
    const double y2_main = y2 * 1.351788756388416;
    const double y1_side = y1 * 0.351788756388416;
    const double y2_side = y2 * 0.351788756388416;
    const double cr_g = cr * 0.714136155581812;
    const double cb_g = cb * 0.344135678165337;
    const double cb_b = cb * 1.772000066073816;
    const double cr_r = cr * 1.40199958865734;
    const double g1 = ((y1_main - y2_side) - cr_g) - cb_g;
    const double g2 = ((y2_main - y1_side) - cr_g) - cb_g;
    const double b = avg + cb_b;
    const double r = cr_r + avg;
    cell.q[0] = round_sample(g1, max, limited);
    cell.q[1] = round_sample(g2, max, limited);
    cell.q[2] = round_sample(b, max, limited);
    cell.q[3] = round_sample(r, max, limited);
}

void green_difference_inverse(BayerCell& cell, int d, bool limited) {
    const uint32_t range = uint32_t(1) << d;
    cell.q[1] = int32_t(uint32_t(cell.q[1]) - range + uint32_t(cell.q[0]));
    if (limited) {
        const int32_t max = int32_t(range - 1u);
        for (int32_t& v : cell.q) v = limit(v, max);
    }
}

void bayer_postprocess(int32_t* mosaic, int W, int H, int d, uint8_t bayer_param, uint32_t ct_index) {
    if (bayer_param > 3 || ct_index < 1 || ct_index > 3) return;
    const BayerCellSites& s = kSites[bayer_param];
    const size_t stride = size_t(W);
    size_t at[4];
    for (int k = 0; k < 4; ++k) at[k] = s.dy[k] * stride + s.dx[k];
    for (int y = 0; y + 1 < H; y += 2) {
        int32_t* row = mosaic + size_t(y) * stride;
        for (int x = 0; x + 1 < W; x += 2) {
            int32_t* base = row + x;
            BayerCell cell{{base[at[0]], base[at[1]], base[at[2]], base[at[3]]}};
            if (ct_index == 1) {
                cell_ycbcr_inverse(cell, d, true);
            } else if (ct_index == 2) {
                green_difference_inverse(cell, d, true);
            } else {
                green_difference_inverse(cell, d, false);
                cell_ycbcr_inverse(cell, d, true);
            }
            for (int k = 0; k < 4; ++k) base[at[k]] = cell.q[k];
        }
    }
}

}  // namespace Vantrel::QVX

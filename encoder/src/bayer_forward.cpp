#include "bayer_forward.h"

#include <cmath>
#include <cstddef>

#include "base/mosaic_geometry.h"
#include "codestream/frame_state.h"
#include "output/bayer.h"
#include "output/bayer_postprocess.h"
#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

namespace {

// Visits every 2x2 cell with its four sites in q0 .. q3 order.
template <typename F>
void for_each_cell(int32_t* m, unsigned W, unsigned H, uint8_t bayer_param, F&& f) {
    const BayerCellSites& s = bayer_cell_sites(bayer_param);
    size_t at[4];
    for (int k = 0; k < 4; ++k) at[k] = size_t(s.dy[k]) * W + s.dx[k];
    for (unsigned y = 0; y + 1 < H; y += 2)
        for (unsigned x = 0; x + 1 < W; x += 2) {
            int32_t* base = m + size_t(y) * W + x;
            int32_t* q[4] = {base + at[0], base + at[1], base + at[2], base + at[3]};
            f(q);
        }
}

int32_t round_limited(double v, int32_t max) {
    const double r = std::floor(v + 0.5);
    return r < 0.0 ? 0 : (r > double(max) ? max : int32_t(r));
}

}  // namespace

void green_difference_forward(int32_t* mosaic, unsigned W, unsigned H, unsigned d, uint8_t bayer_param) {
    const int32_t range = int32_t(1) << d;
    for_each_cell(mosaic, W, H, bayer_param, [&](int32_t* q[4]) { *q[1] = *q[1] - *q[0] + range; });
}

void cell_ycbcr_forward(int32_t* mosaic, unsigned W, unsigned H, unsigned d, uint8_t bayer_param) {
    const int32_t mid = int32_t(1) << (d - 1);
    const int32_t max = int32_t((1u << d) - 1u);
    for_each_cell(mosaic, W, H, bayer_param, [&](int32_t* q[4]) {
        const double g1 = *q[0], g2 = *q[1], b = *q[2], r = *q[3];
        // Luma once with each green; the chroma pair from their mean.
        const double y1 = 0.299 * r + 0.587 * g1 + 0.114 * b;
        const double y2 = 0.299 * r + 0.587 * g2 + 0.114 * b;
        const double avg = 0.5 * (y1 + y2);
        const double cb = (b - avg) / 1.772000066073816;
        const double cr = (r - avg) / 1.40199958865734;
        *q[0] = round_limited(y1, max);
        *q[1] = round_limited(y2, max);
        *q[2] = round_limited(cr + mid, max);
        *q[3] = round_limited(cb + mid, max);
    });
}

void forward_53(int32_t* m, unsigned W, unsigned H) {
    if (W < 2 || H < 2) return;
    const int w = int(W), h = int(H);
    // Vertical: predict the odd rows, then update the even rows.
    for (int y = 0; y < h; y += 2) {
        const int32_t* r = m + size_t(y) * w;
        int32_t* odd = m + size_t(y + 1) * w;
        const int32_t* next = m + size_t(y + 2 < h - 2 ? y + 2 : h - 2) * w;
        for (int x = 0; x < w; ++x) odd[x] -= (next[x] + r[x] + 1) >> 1;
    }
    for (int y = 0; y < h; y += 2) {
        int32_t* r = m + size_t(y) * w;
        const int32_t* up = m + size_t(y == 0 ? 1 : y - 1) * w;
        const int32_t* down = r + w;
        for (int x = 0; x < w; ++x) r[x] += (up[x] + down[x] + 2) >> 2;
    }
    // Horizontal, row by row, in the same order.
    for (int y = 0; y < h; ++y) {
        int32_t* r = m + size_t(y) * w;
        for (int x = 0; x < w; x += 2) {
            const int xr = x + 2 < w - 2 ? x + 2 : w - 2;
            r[x + 1] -= (r[x] + r[xr] + 1) >> 1;
        }
        for (int x = 0; x < w; x += 2) {
            const int xl = x == 0 ? 1 : x - 1;
            r[x] += (r[xl] + r[x + 1] + 2) >> 2;
        }
    }
}

void forward_haar(int32_t* m, unsigned W, unsigned H) {
    const size_t w = W;
    for (unsigned y = 0; y + 1 < H; y += 2) {
        int32_t* even = m + y * w;
        int32_t* odd = even + w;
        for (size_t x = 0; x < w; ++x) {
            odd[x] -= even[x];
            even[x] += (odd[x] + 1) >> 1;
        }
    }
    for (unsigned y = 0; y < H; ++y) {
        int32_t* r = m + y * w;
        for (size_t x = 0; x + 1 < w; x += 2) {
            r[x + 1] -= r[x];
            r[x] += (r[x + 1] + 1) >> 1;
        }
    }
}

BayerPlanes bayer_forward(const uint16_t* mosaic, unsigned W, unsigned H, unsigned mosaic_depth,
                          uint8_t bayer_mode, uint8_t bayer_param, uint8_t ct_mode) {
    if (bayer_mode > 5) throw EncodeError("bayer_forward: unsupported Bayer mode");
    if (W % 2 != 0 || H % 2 != 0 || W > 0x7FFF * 2u || H > 0x7FFF * 2u)
        throw EncodeError("bayer_forward: mosaic must have even width and height");
    if (mosaic_depth < 2 || mosaic_depth > 14) throw EncodeError("bayer_forward: unsupported bit depth");
    const uint32_t ct_index = ct_index_for_mode(ct_mode);
    if (ct_index != 0 && bayer_param > 3)
        throw EncodeError("bayer_forward: cell transforms need bayer_param 0 to 3");
    if (bayer_mode == 2 && bayer_param > 3) throw EncodeError("bayer_forward: bayer_param 0 to 3 only");

    BayerPlanes out;
    out.width = unsigned(mosaic_width(int32_t(W), bayer_mode, 0, int32_t(W)));
    out.height = unsigned(mosaic_height(int32_t(H), bayer_mode, 0));
    out.bit_depth = unsigned(mosaic_bit_depth(int32_t(mosaic_depth), bayer_mode, 0, ct_index));
    out.num_components = bayer_components_needed(bayer_mode);

    const size_t n = size_t(W) * H;
    std::vector<int32_t> m(mosaic, mosaic + n);
    if (ct_index == 1 || ct_index == 3) cell_ycbcr_forward(m.data(), W, H, mosaic_depth, bayer_param);
    if (ct_index == 2 || ct_index == 3) green_difference_forward(m.data(), W, H, mosaic_depth, bayer_param);

    const size_t pw = out.width;
    for (unsigned c = 0; c < out.num_components; ++c) out.planes[c].assign(pw * out.height, 0);
    auto put = [&](unsigned c, size_t x, size_t y, int32_t v) { out.planes[c][y * pw + x] = uint16_t(v); };
    auto at = [&](size_t x, size_t y) { return m[y * W + x]; };

    switch (bayer_mode) {
        case 0:
            for (size_t k = 0; k < n; ++k) out.planes[0][k] = uint16_t(m[k]);
            break;
        case 1:
            for (size_t j = 0; j < H / 2; ++j)
                for (size_t i = 0; i < W / 2; ++i) {
                    put(0, i, j, at(2 * i, 2 * j));
                    put(1, i, j, at(2 * i + 1, 2 * j + 1));
                    put(2, i, j, at(2 * i, 2 * j + 1));
                    put(3, i, j, at(2 * i + 1, 2 * j));
                }
            break;
        case 2: {
            const bool diagonal = bayer_param == 1 || bayer_param == 3;
            for (size_t j = 0; j < H / 2; ++j)
                for (size_t i = 0; i < W / 2; ++i) {
                    // Greens keep their column; the other two sites go to the quarter planes.
                    if (diagonal) {
                        put(0, 2 * i, j, at(2 * i, 2 * j));
                        put(0, 2 * i + 1, j, at(2 * i + 1, 2 * j + 1));
                        put(1, i, j, at(2 * i + 1, 2 * j));
                        put(2, i, j, at(2 * i, 2 * j + 1));
                    } else {
                        put(0, 2 * i + 1, j, at(2 * i + 1, 2 * j));
                        put(0, 2 * i, j, at(2 * i, 2 * j + 1));
                        put(1, i, j, at(2 * i, 2 * j));
                        put(2, i, j, at(2 * i + 1, 2 * j + 1));
                    }
                }
            break;
        }
        case 3:
        case 4: {
            // Offsets follow the mosaic depth, whatever extra bits the cell
            // transform adds to the coded depth. Values the green difference
            // pushes above 2^d - 1 are limited by the decoder before the cell
            // inverse, so that pairing is not lossless.
            const int d = int(mosaic_depth);
            const int32_t centre = int32_t(1) << (d - 1);
            for (int32_t& v : m) v -= centre;
            if (bayer_mode == 3) forward_53(m.data(), W, H);
            else forward_haar(m.data(), W, H);
            const int32_t offset = int32_t(1) << (d + 1);
            for (size_t j = 0; j < H / 2; ++j)
                for (size_t i = 0; i < W / 2; ++i) {
                    put(0, i, j, at(2 * i, 2 * j) + offset);
                    put(1, i, j, at(2 * i + 1, 2 * j) + offset);
                    put(2, i, j, at(2 * i, 2 * j + 1) + offset);
                    put(3, i, j, at(2 * i + 1, 2 * j + 1) + offset);
                }
            break;
        }
        case 5: {
            const size_t P = pw;
            for (size_t y = 0; y < H; ++y)
                for (size_t x = 0; x < W; ++x) put(unsigned(x / P), x % P, y, at(x, y));
            break;
        }
        default: break;
    }
    return out;
}

}  // namespace Vantrel::QVX::enc

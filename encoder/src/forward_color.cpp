#include "forward_color.h"

#include <cmath>

#include "base/format.h"

namespace Vantrel::QVX::enc {
namespace {

struct Mat3 {
    double m[3][3];
};

// Inverse of the decoder's video-range matrix (its integer weights over
// 16384), by cofactors.
Mat3 video_range_inverse() {
    double a[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) a[r][c] = kVideoRangeMatrix[r][c];
    Mat3 inv{};
    const double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) -
                       a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                       a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            // Cofactor of a[c][r], transposed into inv[r][c].
            const int r0 = (c + 1) % 3, r1 = (c + 2) % 3, c0 = (r + 1) % 3, c1 = (r + 2) % 3;
            inv.m[r][c] = double(kVideoRangeScale) * (a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0]) / det;
        }
    return inv;
}

inline int32_t clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }
inline int32_t round_int(double v) { return int32_t(std::lround(v)); }

// The nearest odd value at or above v: the doubled-chroma modes can only
// carry 2 * c - max, which is odd.
inline int32_t odd_up(int32_t v) { return v | 1; }

}  // namespace

void forward_color_transform(uint8_t ct_mode, uint8_t bit_depth, uint8_t w_kernel, uint16_t* c0, uint16_t* c1,
                             uint16_t* c2, size_t count) {
    if (!bit_depth_supported(bit_depth)) return;
    const int32_t max = depth_max(bit_depth), half = depth_half(bit_depth), luma = depth_luma(bit_depth);
    auto put = [&](size_t i, int32_t a, int32_t b, int32_t c) {
        c0[i] = uint16_t(a);
        c1[i] = uint16_t(b);
        c2[i] = uint16_t(c);
    };
    switch (ct_mode) {
        case 1: {
            // The decoder truncates toward zero; aiming half a step high
            // makes its truncation land on the nearest value.
            const Mat3 inv = video_range_inverse();
            for (size_t i = 0; i < count; ++i) {
                const double rgb[3] = {c0[i] + 0.5, c1[i] + 0.5, c2[i] + 0.5};
                int32_t v[3];
                for (int r = 0; r < 3; ++r)
                    v[r] = round_int(inv.m[r][0] * rgb[0] + inv.m[r][1] * rgb[1] + inv.m[r][2] * rgb[2]);
                put(i, clamp(v[0] + luma, 0, max), clamp(v[1] + half, 0, max), clamp(v[2] + half, 0, max));
            }
            break;
        }
        case 2:
        case 3: {
            const unsigned s = ct_mode == 3 ? ict_shift(w_kernel, bit_depth) : 0;
            for (size_t i = 0; i < count; ++i) {
                const double R = c0[i], G = c1[i], B = c2[i];
                const double Y = 0.299 * R + 0.587 * G + 0.114 * B;
                const int32_t y = clamp(round_int(Y), 0, max);
                const int32_t cb = clamp(round_int((B - Y) / 1.772) + half, 0, max);
                const int32_t cr = clamp(round_int((R - Y) / 1.402) + half, 0, max);
                // The decoder shifts back down (rounding toward minus
                // infinity) before its transform: the middle of each bin
                // leaves the most room for coding errors.
                const int32_t mid = s ? 1 << (s - 1) : 0;
                put(i, (y << s) + mid, (cb << s) + mid, (cr << s) + mid);
            }
            break;
        }
        case 4:
            for (size_t i = 0; i < count; ++i) {
                const int32_t R = c0[i], G = c1[i], B = c2[i];
                const int32_t u = B - G, v = R - G;
                put(i, G + ((u + v) >> 2), u + max, v + max);
            }
            break;
        case 9:
            for (size_t i = 0; i < count; ++i) {
                const int32_t R = c0[i], G = c1[i], B = c2[i];
                const int32_t u = odd_up(B - G), v = odd_up(R - G);
                put(i, clamp(G + ((u + v) >> 2), 0, max), (u + max) / 2, (v + max) / 2);
            }
            break;
        case 10:
            for (size_t i = 0; i < count; ++i) {
                const int32_t R = c0[i], G = c1[i], B = c2[i];
                const int32_t co = R - B, t = B + (co >> 1), cg = G - t;
                put(i, t + (cg >> 1), co + max, cg + max);
            }
            break;
        case 11:
            for (size_t i = 0; i < count; ++i) {
                const int32_t R = c0[i], G = c1[i], B = c2[i];
                const int32_t co = odd_up(R - B), t = B + (co >> 1), cg = odd_up(G - t);
                put(i, clamp(t + (cg >> 1), 0, max), (co + max) / 2, (cg + max) / 2);
            }
            break;
        case 5:
            for (size_t i = 0; i < count; ++i) {
                const int32_t R = c0[i], G = c1[i], B = c2[i];
                put(i, (R - G + max) & max, G, (B - G + max) & max);
            }
            break;
        default:
            break;
    }
}

}  // namespace Vantrel::QVX::enc

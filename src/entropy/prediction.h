// Intra-subband prediction of reconstructed coefficients from their
// left/above neighbours. Shared by the decoder and the encoder.
#pragma once

#include <algorithm>
#include <cstdint>

#include "api/error.h"

namespace Vantrel::QVX {

inline constexpr int kNoPrediction = -1;

// Prediction mode (0..6) of subband s, or kNoPrediction.
int predictionMode(unsigned s, uint8_t w_kernel, uint8_t pred_mode);

// Prediction at (x, y) of one subband plane P, stored row-major with the
// given stride (P[y * stride + x]). Throws "Wrong prediction mode" for a
// pred_mode of 8 or more where mode 0 needs it.
inline int16_t predict(int mode, uint8_t pred_mode, const int16_t* P, unsigned stride, unsigned x,
                unsigned y) {
    auto cell = [&](unsigned cx, unsigned cy) { return int32_t(P[size_t(cy) * stride + cx]); };
    switch (mode) {
        case 0: {
            if (y == 0) return x == 0 ? int16_t(0) : int16_t(cell(x - 1, 0));
            if (x == 0) return int16_t(cell(0, y - 1));
            const int32_t left = cell(x - 1, y), above = cell(x, y - 1), al = cell(x - 1, y - 1);
            if (pred_mode == 0) {
                // 32-bit product that may wrap, then an arithmetic shift.
                const int32_t prod = int32_t(uint32_t(left + above + al + 1) * 43690u);
                return int16_t(prod >> 17);
            }
            if (pred_mode > 7) raise("Wrong prediction mode");
            const int32_t mx = std::max(left, above), mn = std::min(left, above);
            if (al >= mx) return int16_t(mn);
            if (al <= mn) return int16_t(mx);
            return int16_t(left + above - al);
        }
        case 1:
        case 2:
        case 3: {
            if (x <= 1) return 0;
            const int32_t left = cell(x - 1, y), left2 = cell(x - 2, y);
            return (left2 - 3 <= left && left <= left2 + 3) ? int16_t(left) : int16_t(0);
        }
        case 4:
        case 5:
        case 6: {
            if (y == 0) return 0;
            if (x == 0) return int16_t(cell(0, y - 1));
            const int32_t left = cell(x - 1, y), above = cell(x, y - 1), al = cell(x - 1, y - 1);
            if (left < al - 3 || left > al + 3) return 0;
            if (al >= above + 16 || al <= above - 16) return int16_t(above);
            return 0;
        }
        default:
            raise("Illegal preduction type");
    }
}


}  // namespace Vantrel::QVX

// Intra-subband prediction of reconstructed coefficients from their
// left/above neighbours. Shared by the decoder and the encoder.
#pragma once

#include <algorithm>
#include <cstdint>

#include "base/error.h"

#include "base/messages.h"

namespace Vantrel::QVX {

inline constexpr int kNoPrediction = -1;

// Prediction mode (0..6) of subband s, or kNoPrediction.
int prediction_mode(unsigned s, uint8_t w_kernel, uint8_t pred_mode);

// The four predictors the modes come down to; mode 0 depends on pred_mode.
enum class Predictor { kThird, kMedian, kWrongMode, kHorizontal, kVertical, kNone };

// Modes 1 to 3 are horizontal, 4 to 6 (the last prediction_mode gives) vertical.
inline Predictor predictor_of(int mode, uint8_t pred_mode) {
    if (mode == kNoPrediction) return Predictor::kNone;
    if (mode == 0) return pred_mode == 0 ? Predictor::kThird : pred_mode > 7 ? Predictor::kWrongMode : Predictor::kMedian;
    return mode <= 3 ? Predictor::kHorizontal : Predictor::kVertical;
}

// Prediction at column x of row y of one subband: `row` is row y (columns
// left of x already reconstructed), `above` is row y - 1 (unused when y is 0).
// Both are indexed by column: pointers, or views of cells spread in a plane.
template <Predictor P, class Row, class Above>
inline int16_t predict_at(const Row& row, const Above& above, unsigned x, unsigned y) {
    if constexpr (P == Predictor::kThird || P == Predictor::kMedian || P == Predictor::kWrongMode) {
        if (y == 0) return x == 0 ? int16_t(0) : row[x - 1];
        if (x == 0) return above[0];
        const int32_t left = row[x - 1], up = above[x], al = above[x - 1];
        if constexpr (P == Predictor::kThird) {
            // 32-bit product that may wrap, then an arithmetic shift.
            const int32_t prod = int32_t(uint32_t(left + up + al + 1) * 43690u);
            return int16_t(prod >> 17);
        } else if constexpr (P == Predictor::kWrongMode) {
            raise(msg::kWrongPredictionMode);
        } else {
            const int32_t mx = std::max(left, up), mn = std::min(left, up);
            if (al >= mx) return int16_t(mn);
            if (al <= mn) return int16_t(mx);
            return int16_t(left + up - al);
        }
    } else if constexpr (P == Predictor::kHorizontal) {
        if (x <= 1) return 0;
        const int32_t left = row[x - 1], left2 = row[x - 2];
        return (left2 - 3 <= left && left <= left2 + 3) ? int16_t(left) : int16_t(0);
    } else {
        static_assert(P == Predictor::kVertical);
        if (y == 0) return 0;
        if (x == 0) return above[0];
        const int32_t left = row[x - 1], up = above[x], al = above[x - 1];
        if (left < al - 3 || left > al + 3) return 0;
        if (al >= up + 16 || al <= up - 16) return int16_t(up);
        return 0;
    }
}

// Prediction at (x, y) of one subband plane P, stored row-major with the
// given stride (P[y * stride + x]). Throws "Wrong prediction mode" for a
// pred_mode of 8 or more where mode 0 needs it.
inline int16_t predict(int mode, uint8_t pred_mode, const int16_t* P, unsigned stride, unsigned x, unsigned y) {
    const int16_t* row = P + size_t(y) * stride;
    const int16_t* above = y > 0 ? row - stride : row;
    switch (predictor_of(mode, pred_mode)) {
        case Predictor::kThird: return predict_at<Predictor::kThird>(row, above, x, y);
        case Predictor::kMedian: return predict_at<Predictor::kMedian>(row, above, x, y);
        case Predictor::kWrongMode: return predict_at<Predictor::kWrongMode>(row, above, x, y);
        case Predictor::kHorizontal: return predict_at<Predictor::kHorizontal>(row, above, x, y);
        case Predictor::kVertical: return predict_at<Predictor::kVertical>(row, above, x, y);
        default: raise(msg::kIllegalPrediction);
    }
}

}  // namespace Vantrel::QVX

// Intra-subband prediction of reconstructed coefficients from their
// left/above neighbours. Shared by the decoder and the encoder.
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

inline constexpr int kNoPrediction = -1;

// Prediction mode (0..6) of subband s, or kNoPrediction.
int predictionMode(unsigned s, uint8_t w_kernel, uint8_t pred_mode);

// Prediction at (x, y) of one subband plane P, stored row-major with the
// given stride (P[y * stride + x]). Throws "Wrong prediction mode" for a
// pred_mode of 8 or more where mode 0 needs it.
int16_t predict(int mode, uint8_t pred_mode, const int16_t* P, unsigned stride, unsigned x,
                unsigned y);

}  // namespace Vantrel::QVX

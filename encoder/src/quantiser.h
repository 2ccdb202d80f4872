// Closed-loop quantiser: picks the value whose reconstruction by the
// decoder (shared dequantise, plus the prediction) is nearest the target.
#pragma once

#include <cstdint>

namespace Vantrel::QVX::enc {

// Value to code for target t with prediction pred (0 when not predicted),
// quantisation index q and the subband's offset.
int16_t choose_value(int16_t target, int16_t pred, int32_t q, uint8_t offset);

// Largest doubled magnitude that the index quantises to 0: 0 when the
// index leaves values unchanged, otherwise the first step.
int64_t zero_limit(int32_t q, uint8_t offset);

inline bool quantises_to_zero(int16_t residual, int64_t limit) {
    const int32_t r = residual;
    return 2 * int64_t(r < 0 ? -r : r) <= limit;
}

}  // namespace Vantrel::QVX::enc

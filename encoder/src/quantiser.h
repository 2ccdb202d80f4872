// Closed-loop quantiser: picks the value whose reconstruction by the
// decoder (shared dequantise, plus the prediction) is nearest the target.
#pragma once

#include <cstdint>

namespace Vantrel::QVX::enc {

// Dequantised magnitude of m (>= 0) at qq (> 0) before the 16-bit wrap.
int64_t dequantised_magnitude(uint32_t m, int32_t qq);

// Value to code for target t with prediction pred (0 when not predicted),
// quantisation index q and the subband's offset.
int16_t choose_value(int16_t target, int16_t pred, int32_t q, uint8_t offset);

// Whether a residual is quantised to 0 at this index: exactly 0 when the
// index leaves values unchanged, otherwise within half the first step.
bool quantises_to_zero(int16_t residual, int32_t q, uint8_t offset);

}  // namespace Vantrel::QVX::enc

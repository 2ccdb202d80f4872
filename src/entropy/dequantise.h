// Inverse quantiser: entropy-decoded value and quantisation index to coefficient.
// Shared by the decoder and the encoder's closed-loop quantiser.
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

// Steps close to 2^18 * 2^((qq mod 4) / 4).
inline constexpr int64_t kDequantStep[4] = {262144, 311749, 370735, 440882};

// Dequantised magnitude of m (> 0) at qq = q - offset (> 0), before the
// 16-bit wrap. Past qq/4 = 18 the same formula continues as a left shift.
inline int64_t dequantised_magnitude(int64_t m, int32_t qq) {
    const int64_t scaled = (2 * m + 1) * kDequantStep[qq & 3];
    const int shift = 18 - qq / 4;
    return ((shift >= 0 ? scaled >> shift : scaled << -shift) + 1) >> 1;
}

// q: quantisation index of the position; offset: qp offset of the subband.
inline int16_t dequantise(int16_t value, int32_t q, uint8_t offset) {
    int32_t qq = q - int32_t(offset);
    if (qq < 0) qq = 0;
    if (qq == 0 || value == 0) return value;
    const int64_t r = dequantised_magnitude(value < 0 ? -int64_t(value) : int64_t(value), qq);
    return int16_t(uint16_t(uint64_t(value < 0 ? -r : r)));
}

}  // namespace Vantrel::QVX

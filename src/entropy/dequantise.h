// Inverse quantiser: entropy-decoded value and quantisation index to coefficient.
// Shared by the decoder and the encoder's closed-loop quantiser.
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

// Steps close to 2^18 * 2^((qq mod 4) / 4).
inline constexpr int64_t kDequantStep[4] = {262144, 311749, 370735, 440882};

// Dequantised magnitude of m (> 0) at qq = q - offset (> 0), before the
// 16-bit wrap. Past qq/4 = 18 the same formula continues as a left shift.
constexpr int64_t dequantised_magnitude(int64_t m, int32_t qq) {
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

// The same dequantisation in 32-bit arithmetic, for loops that vectorise:
// with a = 2 |value| + 1, the magnitude's low 16 bits are those of
// (a * high + ((a * low + round) >> pre)) >> post. Above a shift of 6 the
// step is split into its high and low bits so nothing overflows; at
// smaller shifts only bits below 32 of the product reach the 16 kept, and
// the wrap of a 32-bit product loses none of them. qq = 0 gives a itself
// shifted down by one, the value's magnitude.
struct DequantLane {
    uint32_t high = 0, low = 1, round = 0, pre = 1, post = 0;
};

constexpr DequantLane dequant_lane(int32_t qq) {
    if (qq <= 0) return {};
    const uint32_t step = uint32_t(kDequantStep[qq & 3]);
    const int shift = 18 - qq / 4;
    if (shift >= 7) return {step >> 8, step & 255u, 1u << shift, 8, uint32_t(shift - 7)};
    if (shift >= 0) return {0, step, 1u << shift, uint32_t(shift + 1), 0};
    // A left shift of at least one leaves an even number, which the
    // rounding halves exactly.
    return {0, step << (-shift - 1), 0, 0, 0};
}

inline int16_t dequantise_lane(int16_t value, const DequantLane& l) {
    const int32_t val = value;
    const uint32_t a = 2u * uint32_t(val < 0 ? -val : val) + 1u;
    const uint32_t r = (a * l.high + ((a * l.low + l.round) >> l.pre)) >> l.post;
    return val == 0 ? int16_t(0) : int16_t(uint16_t(val < 0 ? 0u - r : r));
}

}  // namespace Vantrel::QVX

// Closed-loop quantiser: among the value whose reconstruction by the
// decoder (shared dequantise, plus the prediction) is nearest the target
// and the smaller ones next to it, picks the one of least squared error
// plus lambda times its bits in the coder's current state.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "entropy/dequantise.h"

namespace Vantrel::QVX::enc {

// What the next value of a stream costs: its Rice parameter and longest
// prefix, and lambda as a multiple of the squared quantiser step (the
// offsets give every subband the same image-domain slope at that ratio).
struct RateState {
    int k = 0;
    unsigned max_zeros = 0;
    double slope = 0;
};

// Value to code for target t with prediction pred (0 when not predicted),
// quantisation index q and the subband's offset: the one of nearest
// reconstruction, one step toward zero or zero, whichever costs least.
int16_t choose_value(int16_t target, int16_t pred, int32_t q, uint8_t offset, const RateState& rate);

// The first reconstruction level by qq = q - offset below kTabledLevels
// (the coder asks at every value); indices up to 127 and offsets from 0.
inline constexpr int32_t kTabledLevels = 128;
inline constexpr std::array<int64_t, kTabledLevels> kFirstLevels = [] {
    std::array<int64_t, kTabledLevels> t{};
    for (int32_t qq = 1; qq < kTabledLevels; ++qq) t[size_t(qq)] = dequantised_magnitude(1, qq);
    return t;
}();

// Largest doubled magnitude that the index quantises to 0: 0 when the
// index leaves values unchanged, otherwise the first step.
inline int64_t zero_limit(int32_t q, uint8_t offset) {
    const int32_t qq = q - int32_t(offset);
    return qq <= 0 ? 0 : qq < kTabledLevels ? kFirstLevels[size_t(qq)] : dequantised_magnitude(1, qq);
}

// Limit of the values a zero run of an unpredicted subband may swallow:
// up to 1.25 steps, past the nearest-value bound of 0.75. A run codes 32
// or more zeros in one 32-bit code, where single small values cost a bit
// or more each, so the wider band buys more than it loses at every rate.
inline int64_t run_limit(int32_t q, uint8_t offset) { return zero_limit(q, offset) * 5 / 3; }

// Lambda over the squared step for the rate-aware choice (the high-rate
// slope of a uniform quantiser is about 0.12).
inline constexpr double kRateSlope = 0.1;

inline bool quantises_to_zero(int16_t residual, int64_t limit) {
    const int32_t r = residual;
    return 2 * int64_t(r < 0 ? -r : r) <= limit;
}

}  // namespace Vantrel::QVX::enc

#include "base/mosaic_geometry.h"

#include <cstdio>
#include <cstdlib>

#include "base/messages.h"

namespace Vantrel::QVX {

namespace {

[[noreturn]] void stop(const char* text) {
    std::fputs(text, stdout);
    std::fflush(stdout);
    std::exit(1);
}

// Wrapping doubling: the conversions multiply in 32 bits.
int32_t twice(int32_t v) { return int32_t(uint32_t(v) * 2u); }

void check(uint32_t bayer_mode, uint8_t inverse, const char* bad_inverse, const char* bad_forward,
           const char* bad_inverse_mode) {
    if (inverse > 1) stop(bad_inverse);
    if (bayer_mode > 5) stop(inverse ? bad_inverse_mode : bad_forward);
}

}  // namespace

int32_t third_width(int32_t n) {
    // Smallest multiple of 12 not below n, over 3. 64-bit so n near the top
    // of the range cannot overflow while rounding up.
    const int64_t m = int64_t(n);
    int64_t up = m - (m % 12 + 12) % 12;
    if (up < m) up += 12;
    return int32_t(up / 3);
}

int32_t mosaic_width(int32_t value, uint32_t bayer_mode, uint8_t inverse, int32_t full_width) {
    check(bayer_mode, inverse, msg::kInverseWidth,
          msg::kForwardWidth, msg::kInverseModeWidth);
    switch (bayer_mode) {
        case 1: case 3: case 4: return inverse ? twice(value) : value / 2;
        case 5: return inverse ? full_width : third_width(full_width);
        default: return value;  // modes 0 and 2 keep the width
    }
}

int32_t mosaic_height(int32_t value, uint32_t bayer_mode, uint8_t inverse) {
    check(bayer_mode, inverse, msg::kInverseHeight,
          msg::kModeHeight, msg::kModeHeight);
    switch (bayer_mode) {
        case 1: case 2: case 3: case 4: return inverse ? twice(value) : value / 2;
        default: return value;  // modes 0 and 5 keep the height
    }
}

int32_t mosaic_bit_depth(int32_t value, uint32_t bayer_mode, uint8_t inverse, uint32_t ct_index) {
    check(bayer_mode, inverse, msg::kInverseBitdepth,
          msg::kModeBitdepth, msg::kModeBitdepth);
    // Wavelet modes code two more bits; the green difference needs two more.
    const uint32_t extra = (bayer_mode == 3 || bayer_mode == 4 ? 2u : 0u) + (ct_index == 2 || ct_index == 3 ? 2u : 0u);
    return inverse ? int32_t(uint32_t(value) - extra) : int32_t(uint32_t(value) + extra);
}

}  // namespace Vantrel::QVX

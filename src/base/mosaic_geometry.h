// Geometry and bit-depth conversions between a Bayer mosaic and the
// component planes it is coded as, in both directions.
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

// inverse: 0 = mosaic to coded components, 1 = coded components to mosaic.
// On an unsupported mode or inverse flag these print their message to
// standard output and end the process with exit code 1.
int32_t mosaic_width(int32_t value, uint32_t bayer_mode, uint8_t inverse, int32_t full_width);
int32_t mosaic_height(int32_t value, uint32_t bayer_mode, uint8_t inverse);
int32_t mosaic_bit_depth(int32_t value, uint32_t bayer_mode, uint8_t inverse, uint32_t ct_index);

// Width of one of the three strips of mode 5: n rounded up to a multiple of
// 12, divided by 3.
int32_t third_width(int32_t n);

}  // namespace Vantrel::QVX

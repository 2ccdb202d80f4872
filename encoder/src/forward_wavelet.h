// Forward wavelet kernels: the exact integer inverses of the decoder's.
#pragma once

#include <cstdint>

namespace Vantrel::QVX::enc {

// Transforms one row-major plane in place with kernel 0..5 into the
// interleaved subband layout (band b at x = 4i + cx(b), y = 4j + cy(b)).
// width and height must be multiples of 4. Any other kernel number leaves
// the plane unchanged (kernel 6 has no transform).
void forward_wavelet(unsigned kernel, uint16_t* plane, unsigned width, unsigned height);

}  // namespace Vantrel::QVX::enc

// Forward colour transforms: R, G, B samples into the components that the
// decoder's inverse colour transform of the same mode turns back into R, G, B.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vantrel::QVX::enc {

// In: R in c0, G in c1, B in c2, each 0..2^bit_depth - 1. Out, in place: the
// components of ct_mode. Modes 4, 5 and 10 are exact inverses (for 4 and 10
// the chroma components take 0..2 * max, as the decoder's clipping allows);
// modes 1, 2, 3, 9 and 11 are the nearest the decoder can reconstruct.
// Other modes, and bit depths other than 8, 10, 12 and 14, leave the samples
// unchanged.
void forward_color_transform(uint8_t ct_mode, uint8_t bit_depth, uint8_t w_kernel, uint16_t* c0, uint16_t* c1,
                             uint16_t* c2, size_t count);

}  // namespace Vantrel::QVX::enc

// Inverse wavelet kernels 0 to 5 and the clipping step that ends them.
#pragma once

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

// Runs kernel 0..5 in place on wavelet_store, then the clipping step (any
// other kernel number only clips).
void inverse_wavelet(unsigned kernel, frame_state& fs);

// Clips every sample of wavelet_store to 0..bound.
void clip_frame(frame_state& fs);

}  // namespace Vantrel::QVX

// Inverse wavelet kernels 0 to 5 and the clipping step that ends them, in
// place on the working planes. Kernel 6 codes the samples themselves (its
// sixteen subbands are column strips of the plane), so its inverse is the
// clipping step alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class ImageMemory;

// Runs kernel 0..6 on every component of `planes` (the frame of fs),
// clipping each sample to 0 .. clip_bound(). `threads` is a resolved count
// (1 = caller only); the result is the same for every count.
void inverse_wavelet(unsigned kernel, const FrameState& fs, ImageMemory& planes, unsigned threads = 1);

// The upper clipping bound of component c (read as signed 16-bit).
int16_t clip_bound(const FrameState& fs, unsigned c);

// The same on bare row-major planes of w x h (multiples of 4). With more
// than one thread, planes are cut into strips of `strip_groups` groups of
// four rows (0: the default).
void inverse_wavelet_planes(unsigned kernel, int16_t* const* planes, const int16_t* bounds, unsigned nc, size_t w,
                            size_t h, unsigned threads, size_t strip_groups);

}  // namespace Vantrel::QVX

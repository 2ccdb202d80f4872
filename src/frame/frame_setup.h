// Per-call frame validation and the frame's working planes.
#pragma once

#include <cstdint>

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class ImageMemory;

// The frame checks of setup, in their order and with their messages;
// returns the component count.
uint8_t validate_frame(uint16_t width, uint16_t height, uint8_t component_format, uint8_t bit_depth);

// Validates the header's geometry, component format and bit depth, derives
// the geometry fields of fs, and gives `planes` (kept by the caller between
// calls) the frame's geometry and the storing scheme of the wavelet kernel.
// A failed frame check changes nothing.
void frame_setup(FrameState& fs, ImageMemory& planes);

}  // namespace Vantrel::QVX

// Per-call frame validation, store creation and release.
#pragma once

#include <cstdint>

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class QVXCodec;

void frame_setup(QVXCodec& codec, uint16_t width, uint16_t height, uint8_t component_format,
                 uint8_t bit_depth, frame_state& fs, uint16_t stored_width);

// Destroys every stage store of fs and nulls its pointer.
void frame_release(frame_state& fs);

}  // namespace Vantrel::QVX

// The Bayer writer: rebuilds the single-plane mosaic from the coded components.
#pragma once

#include <cstdint>

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class QVXCodec;

// Returns the bytes written (mosaic width * height * 2).
uint32_t write_bayer(QVXCodec& codec, uint8_t* out, frame_state& fs);

}  // namespace Vantrel::QVX

// Output writers: planar or pixel-interleaved frames, and 4:2:2 Cb Y0 Cr Y1.
// Every sample leaves as 16 bits, high byte first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class QVXCodec;

// Returns the bytes written: num_components * width * height * 2.
uint32_t write_frame(QVXCodec& codec, uint8_t* out, frame_state& fs, bool interleaved);

// Returns the bytes written: 4 * width * height.
uint32_t write_subsampled(uint8_t* out, frame_state& fs);

// Stores 16-bit words high byte first.
void store_big_endian(uint8_t* out, const uint16_t* words, size_t count);

}  // namespace Vantrel::QVX

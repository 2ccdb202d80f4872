// Inverse colour transforms of three-component frames, selected by ct_mode.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/line_sink.h"
#include "codestream/frame_state.h"
#include "frame/parallel.h"

namespace Vantrel::QVX {

class ImageMemory;

// What the transform of one frame needs.
struct ColorRule {
    uint8_t mode;
    int32_t max, half, luma;
    unsigned ict_shift;  // mode 3's down-shift
};

// Everything the transform does before its first sample: checks the bit
// depth, prints the mode's line, and rejects the modes it has no transform
// for, among them 6 to 8 (cell transforms of Bayer frames). Every one of
// these failures carries the same text, "ERROR: Bitdepth not supported!
// (colortransform)", also when the depth is fine: hosts know it that way.
// The mode line goes to sink (null: standard output).
ColorRule prepare_color_transform(const FrameState& fs, const LineSink* sink);

// Converts n positions of components c0..c2 (signed 16-bit) into clamped
// R, G, B words. Outputs must not overlap the inputs.
void color_transform_row(const ColorRule& rule, const int16_t* c0, const int16_t* c1, const int16_t* c2,
                         uint16_t* r, uint16_t* g, uint16_t* b, size_t n);

// The transform in place on components 0..2 of `planes` (the frame of fs),
// rows spread over `workers`.
void color_transform_planes(const ColorRule& rule, const FrameState& fs, ImageMemory& planes,
                            Workers workers = 1);

}  // namespace Vantrel::QVX

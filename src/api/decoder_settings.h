// The opt-in settings of SimpleQvxDecoder beyond the output arrangement:
// pixel limit, where the diagnostic lines go, the Bayer-mode guard, and the
// description of the last decoded frame. Defaults change nothing.
#pragma once

#include <cstdint>

#include "base/line_sink.h"
#include "codestream/frame_state.h"
#include "qvx/qvx.h"

namespace Vantrel::QVX {

struct DecoderSettings {
    uint64_t max_pixels = 0;  // 0: no limit
    bool reject_unsupported_bayer = false;
    // Standard output unless quiet (lines dropped) or a sink is set.
    bool lines_redirected = false;
    LineSink sink;

    qvx_frame_info pending{};  // the frame of the decode in progress
    qvx_frame_info info{};     // the frame of the last successful decode

    const LineSink* line_sink() const { return lines_redirected ? &sink : nullptr; }
};

// Runs right after the header of a decode call is read: records the
// description, and raises the limit and Bayer-mode rejections
// before anything frame-sized is allocated.
void admit_frame(DecoderSettings& settings, const FrameState& fs, bool interleaved);

}  // namespace Vantrel::QVX

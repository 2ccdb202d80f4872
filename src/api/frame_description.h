// What a host receives from a decode, worked out from the stream header
// alone, and a header-only probe of a stream.
#pragma once

#include <cstdint>

#include "codestream/frame_state.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvx/qvx.h"

namespace Vantrel::QVX {

// Header fields as read (before frame setup), plus the output arrangement.
qvx_frame_info describe_frame(const FrameState& fs, bool interleaved);

// Bayer modes above 5 end the process in the geometry conversions.
inline bool bayer_mode_supported(uint8_t bayer_mode) { return bayer_mode <= 5; }

struct ProbeOptions {
    bool interleaved = false;
    uint64_t max_pixels = 0;
};

// Reads the header from a copy of in into a fresh FrameState and applies
// the checks a decode would make before decoding. Throws QvxError with the
// message decode would give.
qvx_frame_info probe_stream(const mem_data& in, const ProbeOptions& options);

}  // namespace Vantrel::QVX

// The private state behind SimpleQvxDecoder: the header record that
// persists between calls, the output arrangement, the tone-table path, and
// the frame's working planes, kept so that the next frame of the same size
// needs no fresh memory for them (a copy of the decoder starts without).
#pragma once

#include <string>

#include "api/decoder_settings.h"
#include "codestream/demultiplexer.h"
#include "codestream/frame_state.h"
#include "entropy/subband_loop.h"
#include "frame/image_memory.h"
#include "frame/parallel.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX {

class SimpleQvxDecoderPrivate {
public:
    SimpleQvxDecoderPrivate() = default;
    SimpleQvxDecoderPrivate(const SimpleQvxDecoderPrivate& o)
        : state(o.state),
          interleaved(o.interleaved),
          threads(o.threads),
          lut_path(o.lut_path),
          last_error(o.last_error),
          host(o.host) {}
    SimpleQvxDecoderPrivate& operator=(const SimpleQvxDecoderPrivate& o) {
        if (this != &o) {
            state = o.state;
            interleaved = o.interleaved;
            threads = o.threads;
            lut_path = o.lut_path;
            last_error = o.last_error;
            host = o.host;
        }
        return *this;
    }

    void set_lut_path(const char* path) { lut_path = path ? path : ""; }

    // Runs one decode call; the body of SimpleQvxDecoder::decode.
    int decode(mem_data* in, mem_data** out);

    FrameState state;
    bool interleaved = false;
    unsigned threads = 1;  // 0: one per core
    std::string lut_path;  // empty: no tone table
    std::string last_error;
    ImageMemory planes;
    // The streams' words and the subband stage's arrays, reused like the planes.
    Demultiplexer streams;
    SubbandScratch subband_scratch;
    DecoderSettings host;  // opt-in host settings and the frame description
    // Threads of the parallel stages, started on the first decode that
    // uses more than one; a copy starts without.
    WorkerPool pool;
};

}  // namespace Vantrel::QVX

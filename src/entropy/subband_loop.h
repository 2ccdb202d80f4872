// Entropy decoding of every subband of every component into the working
// planes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "codestream/demultiplexer.h"
#include "codestream/frame_state.h"
#include "frame/parallel.h"
#include "base/work_array.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX {

class ImageMemory;

// The arrays decode_subbands works in besides the planes and the streams'
// words: a decoder keeps them between calls.
struct SubbandScratch {
    WorkArray<uint32_t> crossings;      // every stream's word crossings
    WorkArray<uint16_t> group_bits;     // code lengths per position and band group
    WorkArray<uint32_t> position_bits;  // code lengths per position
    WorkArray<int8_t> index;            // quantisation index per position
    WorkArray<uint32_t> run_end;        // end of each position's run of equal indices
};

// Runs the rate-control model's setup for fs, demultiplexes the codestream
// at `input` into `demux` (the caller's, so that it can inspect the streams
// afterwards), decodes every subband stream and writes every cell of
// `planes` (shaped for fs by frame setup). Streams decode on up to `workers` threads (0: one
// per core); results and errors are the same for every thread count. When
// words_needed is given, entry s receives the number of words stream s
// took (also past the words it has), before any error is raised; stream
// inspection uses it. `scratch`, when given, lends the working arrays.
//
// `follow`, when given, is work on the finished planes that runs on the
// same threads behind reconstruction: task i of follow->count is called
// with a `ready(c, rows)` that waits until rows [0, rows) of plane c are
// reconstructed, and returns false if they never will be (the decode is
// failing); the task then returns at once. Tasks are started in order.
// All of them have run when the call returns normally.
struct PlaneFollowers {
    using Ready = std::function<bool(unsigned c, size_t rows)>;
    size_t count = 0;
    std::function<void(size_t, const Ready&)> run;
};
void decode_subbands(const FrameState& fs, ImageMemory& planes, mem_data& input, Demultiplexer& demux,
                     Workers workers = 1, uint64_t* words_needed = nullptr, SubbandScratch* scratch = nullptr,
                     const PlaneFollowers* follow = nullptr);

}  // namespace Vantrel::QVX

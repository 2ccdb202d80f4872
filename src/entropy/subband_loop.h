// Entropy decoding of every subband of every component into the working
// planes.
#pragma once

#include <cstdint>

#include "codestream/demultiplexer.h"
#include "codestream/frame_state.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX {

class ImageMemory;

// Runs the rate-control model's setup for fs, demultiplexes the codestream
// at `input` into `demux` (the caller's, so that it can inspect the streams
// afterwards), decodes every subband stream and writes every cell of
// `planes` (shaped for fs by frame setup). Streams decode on up to `threads` threads (0: one
// per core); results and errors are the same for every thread count. When
// words_needed is given, entry s receives the number of words stream s
// took (also past the words it has), before any error is raised; stream
// inspection uses it.
void decode_subbands(const FrameState& fs, ImageMemory& planes, mem_data& input, Demultiplexer& demux,
                     unsigned threads = 1, uint64_t* words_needed = nullptr);

}  // namespace Vantrel::QVX

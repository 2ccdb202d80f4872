// Reading the stream header of every version into a StreamHeader.
#pragma once

#include "codestream/frame_state.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX {

// Reads the header at input's data pointer and leaves input at the first
// byte of the codestream. Throws on an undefined component format, a
// qp_count above the table's room, or a header that runs past the input.
void read_header(mem_data& input, StreamHeader& fs);

}  // namespace Vantrel::QVX

// qvxdec --info: the stream header, packet count and subband stream sizes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codestream/frame_state.h"

namespace qvxtools {

// Prints the report for one stream to standard output. fs carries header
// fields over from earlier streams, as one decoder object would. Returns
// false when the header or the codestream could not be read.
bool print_stream_info(const std::string& path, const std::vector<uint8_t>& bytes,
                       Vantrel::QVX::frame_state& fs);

}  // namespace qvxtools

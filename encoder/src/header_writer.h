// The stream header's byte layout, shared by write_header and by test
// streams that need headers the decoder must refuse.
#pragma once

#include <cstdint>
#include <vector>

#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

// The header bytes of the settings as they stand, padding included, with
// none of write_header's checks: an undefined component format carries no
// parameter blocks from version 4 on, and a qp_table past the room is
// written whole.
std::vector<uint8_t> lay_out_header(const EncoderSettings& settings);

}  // namespace Vantrel::QVX::enc

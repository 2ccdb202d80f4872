// Adaptive Golomb-Rice decoding of one whole subband stream, with the
// zero-run and raw escapes. A stream's values, code lengths and word
// crossings do not depend on the quantisation index, so every stream is
// decoded on its own, ahead of the rate-control model, into plain arrays.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Vantrel::QVX {

struct StreamJob {
    std::span<const uint32_t> words;  // the stream's data words; zeros follow
    uint32_t stream = 0;              // index, for the messages
    uint32_t num_values = 0;
    // Advances of the stream's statistics count per value: 2 when the count
    // is driven by every position but the stream is decoded at every other.
    uint32_t count_step = 1;
    bool fourteen_bit = false;  // 14-bit variant (18-bit raw values)
};

struct StreamResult {
    int16_t* values = nullptr;  // num_values entries
    uint8_t* bits = nullptr;    // code length per value for the fill level; may be null
    // Value indices whose bit accounting completed a 32-bit word, ascending.
    std::vector<uint32_t> crossings;
    uint32_t decoded = 0;  // values decoded: num_values, or the index of the failing value
    std::string error;     // message of the failing value, empty if none
};

// Decodes job.num_values values into `out` (values, and bits when given).
// A failing value stops the stream and is reported in out.error.
void decode_stream(const StreamJob& job, StreamResult& out);

}  // namespace Vantrel::QVX

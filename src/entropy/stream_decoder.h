// Adaptive Golomb-Rice decoding of one whole subband stream, with the
// zero-run and raw escapes. A stream's values, code lengths and word
// crossings do not depend on the quantisation index, so every stream is
// decoded on its own, ahead of the rate-control model. The values go
// straight to the stream's cells of the coefficient plane, where
// reconstruction later picks them up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace Vantrel::QVX {

struct StreamJob {
    std::span<const uint32_t> words;  // the stream's data words; zeros follow
    uint32_t stream = 0;              // index, for the messages
    uint32_t num_values = 0;
    // Advances of the stream's statistics count per value: 2 when the count
    // is driven by every position but the stream is decoded at every other.
    uint32_t count_step = 1;
    bool fourteen_bit = false;  // 14-bit variant (18-bit raw values)

    // Value k is decoded at position k << shift (shift 1: every other
    // position). The values of subband row y go to consecutive cells
    // out + y * row_pitch + i * col_step, i = 0, 1, ...
    unsigned shift = 0;
    uint32_t row_positions = 1;  // positions per subband row
    int16_t* out = nullptr;
    size_t row_pitch = 0;
    uint32_t col_step = 1;

    // When set, each value's code length is added at its position.
    uint16_t* position_bits = nullptr;
};

struct StreamResult {
    // Room the caller lends for the crossings (`room_size` entries); a
    // stream that needs more than the room, or more than it lends, gets
    // an array of its own.
    uint32_t* room = nullptr;
    size_t room_size = 0;
    // Value indices whose bit accounting completed a 32-bit word, ascending.
    uint32_t* crossings = nullptr;
    std::unique_ptr<uint32_t[]> own_crossings;
    size_t num_crossings = 0;
    uint32_t decoded = 0;  // values decoded: num_values, or the index of the failing value
    uint64_t words_needed = 0;  // words the decoded values took, whether or not the stream had them
    std::string error;     // message of the failing value, empty if none

    std::span<const uint32_t> crossing_list() const { return {crossings, num_crossings}; }
};

// First value index of subband row y of a stream.
inline uint32_t first_value_of_row(uint32_t y, uint32_t row_positions, unsigned shift) {
    const uint64_t p = uint64_t(y) * row_positions;
    return uint32_t((p + (uint64_t(1) << shift) - 1) >> shift);
}

// Decodes several streams that share the count step, variant and bit
// summing (the bands of one plane row group), one after the other: each
// job's num_values values. A failing value stops that stream and is
// reported in its result's error.
void decode_streams(const StreamJob* jobs, StreamResult* results, unsigned count);

// The same without the bit-manipulation instructions: what decode_streams
// runs on processors that lack them.
void decode_streams_portable(const StreamJob* jobs, StreamResult* results, unsigned count);

}  // namespace Vantrel::QVX

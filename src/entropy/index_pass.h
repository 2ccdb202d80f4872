// The rate-control model run as its own pass over the positions, once the
// streams are decoded: it needs only the code lengths summed per position
// and each stream's word crossings, and yields the quantisation index of
// every position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "codestream/frame_state.h"
#include "entropy/line_buffer.h"

namespace Vantrel::QVX {

// Word crossings of one stream: value indices, ascending; value k is
// decoded at position k << shift.
struct StreamCrossings {
    std::span<const uint32_t> at;
    unsigned shift = 0;
};

// Told each time the indices of another `row_positions` positions are
// final (rows in order, the last one possibly shorter).
struct IndexRows {
    uint32_t row_positions = 0;
    virtual void row_done(uint32_t row) = 0;

protected:
    ~IndexRows() = default;
};

// Runs the line-buffer steps of positions [0, steps) from the state of `lb`
// and stores in q[p] the index each of those positions is decoded with.
// position_bits[p] is the bit count of position p for the fill level, or
// null with rate control off. Raises the model's errors ("Missing subband data", "ERROR: q > 63")
// at the step that meets them. `rows`, if given, hears of every finished row.
void run_index_pass(const LineBuffer& lb, const FrameState& fs, std::span<const uint8_t> dominant,
                    const uint32_t* position_bits, const StreamCrossings (&crossings)[64], uint32_t steps,
                    int8_t* q, IndexRows* rows = nullptr);

}  // namespace Vantrel::QVX

#include "entropy/index_pass.h"

#include "base/error.h"
#include "base/messages.h"

namespace Vantrel::QVX {

void run_index_pass(LineBuffer& model, const FrameState& fs, std::span<const uint8_t> dominant,
                    const uint32_t* position_bits, const StreamCrossings (&crossings)[64], uint32_t steps,
                    int8_t* q, IndexRows* rows) {
    // A local copy, so the stores of indices do not make the compiler
    // reload the model's fields at every position.
    LineBuffer lb = model;
    // sb_fill of a stream is brought up to date only when it is read: at
    // the dominant stream every step, at every stream on a packet end.
    size_t next[64] = {};
    // Value k is at position k << shift, so it is at or before p when
    // k <= p >> shift. The crossings ascend. At a packet end every stream
    // catches up on several, counted eight at a time without a branch per
    // crossing; between packet ends only the dominant stream moves, by
    // one crossing now and then.
    auto sync = [&](unsigned s, uint32_t p, bool many) {
        const StreamCrossings& c = crossings[s];
        const uint32_t* at = c.at.data();
        const uint32_t last = p >> c.shift;
        const size_t start = next[s], n = c.at.size();
        size_t i = start;
        while (many && i + 8 <= n) {
            unsigned in_block = 0;
            for (unsigned k = 0; k < 8; ++k) in_block += at[i + k] <= last ? 1u : 0u;
            i += in_block;
            if (in_block < 8) break;
        }
        while (i < n && at[i] <= last) ++i;
        next[s] = i;
        lb.sb_fill[s] = int32_t(uint32_t(lb.sb_fill[s]) + 32u * uint32_t(i - start));
    };

    const unsigned streams = 16u * lb.num_components;
    size_t taken = 0;
    uint32_t row = 0, row_left = 0;
    for (uint32_t p = 0; p < steps; ++p) {
        q[p] = int8_t(lb.qt_index());
        if (position_bits) lb.add_bits(int32_t(position_bits[p]));

        if (taken >= dominant.size()) raise(msg::kMissingSubbandData);
        const unsigned d = dominant[taken];
        sync(d, p, false);
        if (lb.closes_packet(d)) {
            lb.packet_done = true;
            ++taken;
        }
        if (lb.packet_done) {
            for (unsigned s = 0; s < streams; ++s) {
                sync(s, p, true);
                LineBuffer::carry_fill(lb.sb_fill[s]);
            }
        }
        lb.finish_step(fs);
        if (rows && ++row_left == rows->row_positions) [[unlikely]] {
            rows->row_done(row++);
            row_left = 0;
        }
    }
    if (rows && row_left != 0) rows->row_done(row);
    model = lb;
}

}  // namespace Vantrel::QVX

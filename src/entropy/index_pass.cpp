#include "entropy/index_pass.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <optional>

#include "base/error.h"
#include "base/messages.h"

namespace Vantrel::QVX {

namespace {

// Each stream's fill, brought up to date only when it is read: at the
// dominant stream every step, at every stream on a packet end.
struct StreamFills {
    const StreamCrossings (&crossings)[64];
    int32_t* fill;
    size_t next[64] = {};

    // Value k is at position k << shift, so it is at or before p when
    // k <= p >> shift. The crossings ascend. At a packet end every stream
    // catches up on several, counted eight at a time without a branch per
    // crossing; between packet ends only the dominant stream moves, by
    // one crossing now and then.
    void sync(unsigned s, uint32_t p, bool many) {
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
        fill[s] = int32_t(uint32_t(fill[s]) + 32u * uint32_t(i - start));
    }

    // A packet ends at p: every stream catches up and keeps what it
    // carries over.
    void packet_end(uint32_t p, unsigned streams) {
        for (unsigned s = 0; s < streams; ++s) {
            sync(s, p, true);
            LineBuffer::carry_fill(fill[s]);
        }
    }

    // The first position at or after p (where stream s is synced and has
    // not closed its packet) at which stream s gathers enough to close
    // one, or none.
    std::optional<uint64_t> close_at(unsigned s) const {
        const StreamCrossings& c = crossings[s];
        // Every crossing adds a word; the fill stays below the close
        // level, so the count needed is positive and nothing wraps.
        const int64_t short_by = int64_t(kPacketCloseBits) - fill[s];
        const uint64_t i = next[s] + uint64_t((short_by + kWordBits - 1) / kWordBits) - 1;
        if (i >= c.at.size()) return std::nullopt;
        return uint64_t(c.at[i]) << c.shift;
    }
};

// Rate control off: the fill level never feeds back into the indices. Every
// position's index is its window's base quantiser, four steps late, and the
// packet ends only decide the step at which the dominant list runs out. The
// packet ends are found from the crossings, one jump per packet.
void run_without_rate_control(const LineBuffer& model, const FrameState& fs, std::span<const uint8_t> dominant,
                              const StreamCrossings (&crossings)[64], uint32_t steps, int8_t* q, IndexRows* rows) {
    // q[p] is what the delay line held at step p: its first four entries,
    // then the base quantiser as it stood after step p - 4, which is that
    // of the window reached after the model's own windows and p - 3 steps.
    // Indices and rows are handed out as soon as a packet end shows that
    // no step before it fails.
    const uint64_t window = uint64_t(std::abs(int64_t(model.window_positions)));
    const uint64_t before = uint64_t(model.window_pos);
    const uint32_t per_row = rows ? rows->row_positions : 0;
    uint64_t filled = 0;
    uint32_t row = 0;
    auto pass = [&](uint64_t stop) {  // steps before `stop` do not fail
        for (; filled < std::min<uint64_t>(4, stop); ++filled) q[filled] = int8_t(model.qt_pipeline[filled]);
        while (filled < stop) {
            const uint64_t crossed = (before + filled - 3) / window;
            const int32_t base =
                crossed == 0 ? model.base_qp : fs.qp_entry(uint32_t(uint64_t(model.qp_index) + crossed));
            const uint64_t next = std::min<uint64_t>(stop, (crossed + 1) * window - before + 3);
            std::fill(q + filled, q + next, int8_t(base));
            filled = next;
        }
        if (per_row != 0)
            while (uint64_t(row + 1) * per_row <= filled) rows->row_done(row++);
    };

    LineBuffer lb = model;
    StreamFills fills{crossings, lb.sb_fill};
    const unsigned streams = kStreamsPerComponent * lb.num_components;
    uint32_t end = steps;  // the failing step, or steps
    size_t taken = 0;
    for (uint64_t p = 0; p < steps; ++p) {
        if (taken >= dominant.size()) {
            end = uint32_t(p);
            break;
        }
        const unsigned d = dominant[taken];
        fills.sync(d, uint32_t(p), false);
        if (!lb.closes_packet(d)) {
            const std::optional<uint64_t> close = fills.close_at(d);
            if (!close || *close >= steps) break;
            p = *close;
            fills.sync(d, uint32_t(p), true);
        }
        ++taken;
        fills.packet_end(uint32_t(p), streams);
        pass(p + 1);
    }
    pass(end);
    if (end < steps) raise(msg::kMissingSubbandData);
    if (per_row != 0 && uint64_t(row) * per_row < steps) rows->row_done(row);
}

}  // namespace

void run_index_pass(const LineBuffer& model, const FrameState& fs, std::span<const uint8_t> dominant,
                    const uint32_t* position_bits, const StreamCrossings (&crossings)[64], uint32_t steps,
                    int8_t* q, IndexRows* rows) {
    if (!position_bits && model.rc_drain == 0)
        return run_without_rate_control(model, fs, dominant, crossings, steps, q, rows);
    // A local copy, so the stores of indices do not make the compiler
    // reload the model's fields at every position.
    LineBuffer lb = model;
    StreamFills fills{crossings, lb.sb_fill};

    const unsigned streams = kStreamsPerComponent * lb.num_components;
    size_t taken = 0;
    uint32_t row = 0, row_left = 0;
    for (uint32_t p = 0; p < steps; ++p) {
        q[p] = int8_t(lb.qt_index());
        if (position_bits) lb.add_bits(int32_t(position_bits[p]));

        if (taken >= dominant.size()) raise(msg::kMissingSubbandData);
        const unsigned d = dominant[taken];
        fills.sync(d, p, false);
        if (lb.closes_packet(d)) {
            lb.packet_done = true;
            ++taken;
        }
        if (lb.packet_done) fills.packet_end(p, streams);
        lb.finish_step(fs);
        if (rows && ++row_left == rows->row_positions) [[unlikely]] {
            rows->row_done(row++);
            row_left = 0;
        }
    }
    if (rows && row_left != 0) rows->row_done(row);
}

}  // namespace Vantrel::QVX

// The rate-control model: a virtual output buffer whose fill level, driven
// by code lengths and packet boundaries, yields the quantisation index of
// every coefficient position. The encoder runs the very same model.
#pragma once

#include <cstdint>

#include "base/error.h"
#include "base/messages.h"
#include "codestream/frame_state.h"

namespace Vantrel::QVX {

struct LineBuffer {
    int32_t fill_level = 0;
    int32_t base_qp = 0;
    int32_t qt_pipeline[4] = {};
    int32_t drain = 0;
    int32_t window_positions = 0;
    int32_t buffer_size = -1;
    int32_t sb_fill[64] = {};
    bool header_pending = false;
    bool packet_done = false;  // the current position closed a packet
    int32_t window_pos = 0;
    int32_t qp_index = 0;
    // Copies of the stream fields the step needs.
    uint16_t rc_drain = 0;
    uint16_t version = 0;
    uint8_t num_components = 0;

    int32_t qt_index() const { return qt_pipeline[0]; }

    void setup(const FrameState& fs);
    // Adds a value's bits to the fill level; wraps like the 32-bit counter
    // it models, since a crafted stream may overflow it.
    void add_bits(int32_t n) {
        if (n < 0) raise(msg::kNegativeBits);
        fill_level = int32_t(uint32_t(fill_level) + uint32_t(n));
    }
    int32_t rate_control(int32_t base) const;

    // Whether stream d has gathered enough bits to close a packet.
    bool closes_packet(unsigned d) const { return sb_fill[d] >= kPacketCloseBits; }
    // What a stream keeps of its fill when a packet closes.
    static void carry_fill(int32_t& f) {
        if (f > kPacketCloseBits) f -= kPacketCloseBits;
        else if (f >= kWordBits) f %= kWordBits;
    }

    // One step after all values of a position. `dominant` supplies the
    // packet boundaries: peek() and next() of the dominant list.
    template <class Dominant>
    void step(const FrameState& fs, Dominant& dominant) {
        const int32_t d = dominant.peek();
        if (closes_packet(unsigned(d))) {
            packet_done = true;
            dominant.next();
        }
        if (packet_done) {
            const unsigned n = kStreamsPerComponent * num_components;
            for (unsigned s = 0; s < n; ++s) carry_fill(sb_fill[s]);
        }
        finish_step(fs);
    }

    // The rest of a step once the packet boundary is known (packet_done):
    // header bits, drain, window and the next index into the delay line.
    void finish_step(const FrameState& fs);
};

// Inline: the index pass runs it once per position.
inline void LineBuffer::finish_step(const FrameState& fs) {
    const int32_t header_bits = kPacketHeaderBits * num_components;
    if (header_pending) {
        add_bits(header_bits);
        header_pending = false;
    }
    if (packet_done) {
        if (version >= 6) header_pending = true;
        else add_bits(header_bits);
        packet_done = false;
    }
    if (drain > 0) fill_level = int32_t(uint32_t(fill_level) - uint32_t(drain));
    else fill_level = 0;
    if (fill_level < 0) fill_level = 0;

    // window_pos counts 0 .. |window_positions| - 1 (the window may be
    // given as a negative count).
    ++window_pos;
    if (window_pos == window_positions || window_pos == -window_positions) {
        window_pos = 0;
        ++qp_index;
        base_qp = fs.qp_entry(uint32_t(qp_index));
    }
    const int32_t q = rc_drain ? rate_control(base_qp) : base_qp;
    qt_pipeline[0] = qt_pipeline[1];
    qt_pipeline[1] = qt_pipeline[2];
    qt_pipeline[2] = qt_pipeline[3];
    qt_pipeline[3] = q;
}

}  // namespace Vantrel::QVX

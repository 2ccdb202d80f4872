#include "entropy/stream_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "entropy/kstatistics.h"

namespace Vantrel::QVX {

namespace {

// All decoder state of one stream; run() copies it into locals so that the
// hot loop keeps it in registers. Double: the statistics count advances
// twice per value.
template <bool Fourteen, bool WithBits, bool Double>
struct StreamState {
    static constexpr uint32_t kRunMask = Fourteen ? 0xFFFC0000u : 0xFFFF0000u;
    static constexpr uint32_t kRunPattern = Fourteen ? 0x00040000u : 0x00010000u;
    static constexpr uint32_t kEscape = Fourteen ? 14u : 15u;
    static constexpr uint32_t kRawMask = Fourteen ? 0x3FFFFu : 0xFFFFu;
    static constexpr unsigned kShift = Double ? 1 : 0;

    int16_t* out;  // cell of the next value
    uint32_t col_step = 1;
    uint16_t* sums = nullptr;  // bits per position
    unsigned position_shift = 0;  // value k lies at position k << position_shift
    const uint32_t* wp;        // next word to load
    uint64_t buf = 0;          // the next `avail` bits of the stream, left-aligned
    uint32_t avail = 64;
    uint32_t k = 0;         // values decoded
    int32_t sum = 0;        // magnitude sum
    uint32_t run_left = 0;  // zeros still to deliver from the current run
    uint32_t run_done = 0;  // zeros delivered from it
    // Accounted bits modulo 32, as the line buffer counts them; a run's 32
    // bits are added when its last zero is delivered, which is the same as
    // counting them with the next value.
    uint32_t phase = 0;
    uint32_t* cross = nullptr;  // next crossing slot
    uint32_t error_m = 0, error_k = 0;
    int error = 0;  // 1: K overflow, 2: mapped value too large

    // Decodes values up to index `end`; each value loads at most one word,
    // so `end - k` words must be readable unless Tail, where all are zero.
    template <bool Tail>
    void run(uint32_t end) {
        const uint32_t* w_at = wp;
        uint64_t b = buf;
        uint32_t av = avail, i = k, s = uint32_t(sum), ph = phase, left = run_left, done = run_done;
        uint32_t* cp = cross;
        int16_t* o = out;
        const size_t cs = col_step;

        auto consume = [&](uint32_t len) {
            b <<= len;
            av -= len;
            if (av < 32) {
                const uint32_t w = Tail ? 0u : *w_at;
                if constexpr (!Tail) ++w_at;
                b |= uint64_t(w) << (32 - av);
                av += 32;
            }
        };
        // Closes one value's accounting; a completed word is recorded.
        auto account = [&](uint32_t at) {
            const uint32_t crossed = ph >= 32 ? 1u : 0u;
            *cp = at;
            cp += crossed;
            ph -= crossed << 5;
        };
        auto add_bits = [&](uint32_t at, uint32_t n) {
            if constexpr (WithBits) {
                uint16_t& slot = sums[size_t(at) << position_shift];
                slot = uint16_t(slot + n);
            }
        };

        while (i < end) {
            // The count after c advances is 1, 2, 3, 4, then 3 and 4 in
            // turn; at 4 the sum halves after the value.
            const uint32_t c = i << kShift;
            const bool halve = c >= 3 && (c & 1u);
            if (left) [[unlikely]] {
                --left;
                ++done;
                if (halve) s = uint32_t(int32_t(s) >> 1);
                account(i);
                *o = 0;
                o += cs;
                add_bits(i, done <= 32 ? 1 : 0);
                // The run's own code is consumed with its last zero.
                if (left == 0) {
                    consume(32);
                    ph += 32;
                }
                ++i;
                continue;
            }
            const uint32_t w = uint32_t(b >> 32);
            if ((w & kRunMask) == kRunPattern) [[unlikely]] {
                left = (w & ~kRunMask) + 31;
                done = 1;
                if (halve) s = uint32_t(int32_t(s) >> 1);
                account(i);
                *o = 0;
                o += cs;
                add_bits(i, 1);
                ++i;
                continue;
            }
            const int32_t n = c < 3 ? int32_t(c) + 1 : 3 + int32_t(c & 1u);
            const int32_t lg = (n >= 2) + (n >= 4);
            int32_t l = (31 - std::countl_zero(s | 1u)) - lg;
            l = l < 0 ? 0 : l;
            const uint32_t K = uint32_t(l) + ((int64_t(n) << l) < int64_t(int32_t(s)) ? 1u : 0u);
            if (K > 16) [[unlikely]] {
                error = 1;
                break;
            }
            const uint32_t z = uint32_t(std::countl_zero(w));  // 32 for w == 0
            uint32_t m, len;
            if (z >= kEscape) [[unlikely]] {
                m = w & kRawMask;
                len = 32;
            } else {
                // z < kEscape and K <= 16 keep the shift in 1..31.
                m = (z << K) + ((w >> (31 - z - K)) & ((1u << K) - 1u));
                len = z + 1 + K;
                if (m > 65535) [[unlikely]] {
                    error = 2;
                    error_m = m;
                    error_k = K;
                    break;
                }
            }
            consume(len);
            ph += len;
            s += m >> 1;
            if (halve) s = uint32_t(int32_t(s) >> 1);
            account(i);
            // Zig-zag: 0, 1, 2, 3, 4 -> 0, -1, 1, -2, 2; wraps to 16 bits.
            const uint32_t mag = (m + (m & 1u)) >> 1;
            *o = int16_t(uint16_t((m & 1u) ? 0u - mag : mag));
            o += cs;
            add_bits(i, len);
            ++i;
        }

        out = o;
        wp = w_at;
        buf = b;
        avail = av;
        k = i;
        sum = int32_t(s);
        phase = ph;
        run_left = left;
        run_done = done;
        cross = cp;
    }
};

template <bool Fourteen, bool WithBits, bool Double>
void decode_variant(const StreamJob& job, StreamResult& out) {
    StreamState<Fourteen, WithBits, Double> st;
    st.col_step = job.col_step;
    st.sums = job.position_bits;
    st.position_shift = job.shift;
    const uint32_t* w = job.words.data();
    const uint32_t* const wend = w + job.words.size();
    const uint32_t w0 = w < wend ? *w++ : 0u;
    const uint32_t w1 = w < wend ? *w++ : 0u;
    st.buf = uint64_t(w0) << 32 | w1;
    st.wp = w;

    // While words remain, at most one crossing per word read, plus the two
    // loaded above; past the end at most one per value.
    size_t capacity = job.words.size() + 2;
    out.crossings.reset(new uint32_t[capacity]);
    st.cross = out.crossings.get();
    const uint32_t n = job.num_values;
    uint32_t y = 0;
    uint32_t row_end = std::min(n, first_value_of_row(1, job.row_positions, job.shift));
    st.out = job.out;
    while (st.k < n && !st.error) {
        if (st.k == row_end) {
            ++y;
            row_end = std::min(n, first_value_of_row(y + 1, job.row_positions, job.shift));
            st.out = job.out + size_t(y) * job.row_pitch;
            continue;
        }
        const bool tail = st.wp >= wend;
        const size_t ncross = size_t(st.cross - out.crossings.get());
        if (tail && capacity < ncross + (row_end - st.k)) {
            const size_t grown = std::max(capacity * 2, ncross + (n - st.k));
            std::unique_ptr<uint32_t[]> more(new uint32_t[grown]);
            std::copy(out.crossings.get(), out.crossings.get() + ncross, more.get());
            out.crossings = std::move(more);
            st.cross = out.crossings.get() + ncross;
            capacity = grown;
        }
        const uint32_t end =
            tail ? row_end : st.k + uint32_t(std::min<uint64_t>(row_end - st.k, uint64_t(wend - st.wp)));
        if (tail) st.template run<true>(end);
        else st.template run<false>(end);
    }
    out.num_crossings = size_t(st.cross - out.crossings.get());
    out.decoded = st.k;
    out.error.clear();
    if (st.error == 1) {
        out.error = "K overflow - fixme (encoder)!";
    } else if (st.error == 2) {
        char text[200];
        std::snprintf(text, sizeof text, "entropy: merv_p: %6u sb %2u k %2u\n", st.error_m, job.stream, st.error_k);
        out.error = text;
    }
}

}  // namespace

void decode_stream(const StreamJob& job, StreamResult& out) {
    const bool bits = job.position_bits != nullptr, twice = job.count_step == 2;
    if (job.fourteen_bit) {
        if (bits) twice ? decode_variant<true, true, true>(job, out) : decode_variant<true, true, false>(job, out);
        else twice ? decode_variant<true, false, true>(job, out) : decode_variant<true, false, false>(job, out);
    } else {
        if (bits) twice ? decode_variant<false, true, true>(job, out) : decode_variant<false, true, false>(job, out);
        else twice ? decode_variant<false, false, true>(job, out) : decode_variant<false, false, false>(job, out);
    }
}

}  // namespace Vantrel::QVX

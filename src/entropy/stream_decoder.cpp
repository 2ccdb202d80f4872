#include "entropy/stream_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>

#include "entropy/kstatistics.h"

namespace Vantrel::QVX {

namespace {

// All decoder state of one stream; run() copies it into locals so that the
// hot loop keeps it in registers.
template <bool Fourteen, bool WithBits>
struct StreamState {
    static constexpr uint32_t kRunMask = Fourteen ? 0xFFFC0000u : 0xFFFF0000u;
    static constexpr uint32_t kRunPattern = Fourteen ? 0x00040000u : 0x00010000u;
    static constexpr uint32_t kEscape = Fourteen ? 14u : 15u;
    static constexpr uint32_t kRawMask = Fourteen ? 0x3FFFFu : 0xFFFFu;

    int16_t* out;        // cell of the next value
    uint32_t col_step = 1;
    unsigned shift = 0;
    uint16_t* sums = nullptr;  // bits per position
    const uint32_t* wp;  // next word to load
    uint64_t buf = 0;    // the next `avail` bits of the stream, left-aligned
    uint32_t avail = 64;
    uint32_t k = 0;        // values decoded
    uint32_t ci = 0;       // statistics count advances so far
    uint32_t step = 1;     // count advances per value
    int32_t sum = 0;       // magnitude sum
    uint32_t run_pos = 0;  // a zero run is active while these differ
    uint32_t run_len = 0;
    uint32_t phase = 0;    // accounted bits modulo 32, as the line buffer counts them
    uint32_t pending = 0;  // bits consumed since the last accounting
    size_t ncross = 0;
    uint32_t error_m = 0, error_k = 0;
    int error = 0;  // 1: K overflow, 2: mapped value too large

    // Decodes values up to index `end`; each value loads at most one word,
    // so `end - k` words must be readable unless Tail, where all are zero.
    template <bool Tail>
    void run(uint32_t end, uint32_t* cross) {
        const uint32_t* w_at = wp;
        uint64_t b = buf;
        uint32_t av = avail, i = k, c = ci, s = sum_u(), rp = run_pos, rl = run_len, ph = phase,
                 pend = pending;
        size_t nc = ncross;
        const uint32_t st = step;
        int16_t* o = out;
        const uint32_t cs = col_step;
        const unsigned sh = shift;
        uint16_t* const bits = sums;

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
            ph += pend;
            pend = 0;
            const uint32_t crossed = ph >= 32 ? 1u : 0u;
            cross[nc] = at;
            nc += crossed;
            ph -= crossed << 5;
        };

        while (i < end) {
            // The sums halve after every value while the count is 4.
            const bool halve = c >= 3 && (c & 1u);
            if (rp != rl) {
                ++rp;
                if (halve) s = uint32_t(int32_t(s) >> 1);
                account(i);
                *o = 0;
                o += cs;
                if constexpr (WithBits) bits[i << sh] = uint16_t(bits[i << sh] + (rp <= 32 ? 1 : 0));
                // The run's own code is consumed with its last zero.
                if (rp == rl) {
                    consume(32);
                    pend = 32;
                }
                ++i;
                c += st;
                continue;
            }
            const uint32_t w = uint32_t(b >> 32);
            if ((w & kRunMask) == kRunPattern) {
                rp = 1;
                rl = (w & ~kRunMask) + 32;
                if (halve) s = uint32_t(int32_t(s) >> 1);
                account(i);
                *o = 0;
                o += cs;
                if constexpr (WithBits) bits[i << sh] = uint16_t(bits[i << sh] + 1);
                ++i;
                c += st;
                continue;
            }
            const int32_t n = KStatistics::countAfter(c);
            const int kk = KStatistics::riceParameter(int32_t(s), n, (n >= 2) + (n >= 4));
            if (kk > 16) {
                error = 1;
                break;
            }
            const uint32_t K = uint32_t(kk);
            const uint32_t z = uint32_t(std::countl_zero(w));  // 32 for w == 0
            uint32_t m, len;
            if (z >= kEscape) {
                m = w & kRawMask;
                len = 32;
            } else {
                // z < kEscape and K <= 16 keep the shift in 1..31.
                m = (z << K) + ((w >> (31 - z - K)) & ((1u << K) - 1u));
                len = z + 1 + K;
                if (m > 65535) {
                    error = 2;
                    error_m = m;
                    error_k = K;
                    break;
                }
            }
            consume(len);
            pend += len;
            s += m >> 1;
            if (halve) s = uint32_t(int32_t(s) >> 1);
            account(i);
            // Zig-zag: 0, 1, 2, 3, 4 -> 0, -1, 1, -2, 2; wraps to 16 bits.
            const uint32_t mag = (m + (m & 1u)) >> 1;
            *o = int16_t(uint16_t((m & 1u) ? 0u - mag : mag));
            o += cs;
            if constexpr (WithBits) bits[i << sh] = uint16_t(bits[i << sh] + len);
            ++i;
            c += st;
        }

        out = o;
        wp = w_at;
        buf = b;
        avail = av;
        k = i;
        ci = c;
        sum = int32_t(s);
        run_pos = rp;
        run_len = rl;
        phase = ph;
        pending = pend;
        ncross = nc;
    }

    uint32_t sum_u() const { return uint32_t(sum); }
};

template <bool Fourteen, bool WithBits>
void decode_variant(const StreamJob& job, StreamResult& out) {
    StreamState<Fourteen, WithBits> st;
    st.col_step = job.col_step;
    st.shift = job.shift;
    st.sums = job.position_bits;
    st.step = job.count_step;
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
        if (tail && capacity < st.ncross + (row_end - st.k)) {
            const size_t grown = std::max(capacity * 2, st.ncross + (n - st.k));
            std::unique_ptr<uint32_t[]> more(new uint32_t[grown]);
            std::copy(out.crossings.get(), out.crossings.get() + st.ncross, more.get());
            out.crossings = std::move(more);
            capacity = grown;
        }
        const uint32_t end =
            tail ? row_end : st.k + uint32_t(std::min<uint64_t>(row_end - st.k, uint64_t(wend - st.wp)));
        if (tail) st.template run<true>(end, out.crossings.get());
        else st.template run<false>(end, out.crossings.get());
    }
    out.num_crossings = st.ncross;
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
    const bool with_bits = job.position_bits != nullptr;
    if (job.fourteen_bit) {
        if (with_bits) decode_variant<true, true>(job, out);
        else decode_variant<true, false>(job, out);
    } else {
        if (with_bits) decode_variant<false, true>(job, out);
        else decode_variant<false, false>(job, out);
    }
}

}  // namespace Vantrel::QVX

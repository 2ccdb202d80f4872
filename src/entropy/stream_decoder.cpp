#include "entropy/stream_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace Vantrel::QVX {

namespace {

// The running state of one stream while values are decoded: local copies
// that the hot loops keep in registers.
struct Regs {
    const uint32_t* w_at;  // next word to load
    uint64_t b;            // the next `av` bits of the stream, left-aligned
    uint32_t av;
    uint32_t s;     // magnitude sum
    uint32_t ph;    // accounted bits modulo 32, as the line buffer counts them
    uint32_t left;  // zeros still to deliver from the current run
    uint32_t done;  // zeros delivered from it
    uint32_t* cp;   // next crossing slot
    int16_t* o;     // cell of the next value
};

// One stream: its state between chunks, its layout and its outputs.
// Double: the statistics count advances twice per value.
template <bool Fourteen, bool WithBits, bool Double>
struct Stream {
    static constexpr uint32_t kRunMask = Fourteen ? 0xFFFC0000u : 0xFFFF0000u;
    static constexpr uint32_t kRunPattern = Fourteen ? 0x00040000u : 0x00010000u;
    static constexpr uint32_t kEscape = Fourteen ? 14u : 15u;
    static constexpr uint32_t kRawMask = Fourteen ? 0x3FFFFu : 0xFFFFu;
    static constexpr unsigned kShift = Double ? 1 : 0;

    const StreamJob* job;
    StreamResult* result;
    const uint32_t* wend;
    size_t cs;                 // column step of the cells
    uint16_t* sums = nullptr;  // bits per position
    unsigned position_shift = 0;
    size_t capacity = 0;  // of the crossing array
    uint32_t k = 0;       // values decoded
    Regs r{};
    uint32_t error_m = 0, error_k = 0;
    int error = 0;  // 1: K overflow, 2: mapped value too large

    Stream(const StreamJob& j, StreamResult& out) : job(&j), result(&out) {
        cs = j.col_step;
        sums = j.position_bits;
        position_shift = j.shift;
        const uint32_t* w = j.words.data();
        wend = w + j.words.size();
        const uint32_t w0 = w < wend ? *w++ : 0u;
        const uint32_t w1 = w < wend ? *w++ : 0u;
        r.b = uint64_t(w0) << 32 | w1;
        r.av = 64;
        r.w_at = w;
        r.o = j.out;
        // While words remain, at most one crossing per word read, plus the
        // two loaded above; past the end at most one per value.
        capacity = j.words.size() + 2;
        out.crossings.reset(new uint32_t[capacity]);
        r.cp = out.crossings.get();
    }

    bool tail() const { return r.w_at >= wend; }
    // Values that can be decoded from the words left: each loads at most one.
    uint64_t reach() const { return tail() ? ~uint64_t(0) : k + uint64_t(wend - r.w_at); }

    // Past the last word every value may record a crossing.
    void make_room(uint32_t upto) {
        const size_t used = size_t(r.cp - result->crossings.get());
        if (capacity >= used + (upto - k)) return;
        const size_t grown = std::max(capacity * 2, used + (job->num_values - k));
        std::unique_ptr<uint32_t[]> more(new uint32_t[grown]);
        std::copy(result->crossings.get(), result->crossings.get() + used, more.get());
        result->crossings = std::move(more);
        r.cp = result->crossings.get() + used;
        capacity = grown;
    }

    // Decodes value i into the registers; false on a failure.
    template <bool Tail>
    [[gnu::always_inline]] inline bool value(Regs& g, uint32_t i) {
        // Without branching on the bit count: the next word is always read
        // (the word array has room for one more) and taken when needed.
        auto consume = [&](uint32_t len) {
            g.b <<= len;
            g.av -= len;
            const uint32_t take = g.av < 32 ? 1u : 0u;
            if constexpr (!Tail) {
                const uint64_t w = *g.w_at;
                g.b |= (w << ((32 - g.av) & 63)) & (0 - uint64_t(take));
                g.w_at += take;
            }
            g.av += take << 5;
        };
        // Closes one value's accounting; a completed word is recorded.
        auto account = [&] {
            const uint32_t crossed = g.ph >= 32 ? 1u : 0u;
            *g.cp = i;
            g.cp += crossed;
            g.ph -= crossed << 5;
        };
        auto put = [&](int16_t v, uint32_t n) {
            *g.o = v;
            g.o += cs;
            if constexpr (WithBits) {
                uint16_t& slot = sums[size_t(i) << position_shift];
                slot = uint16_t(slot + n);
            }
        };
        // The count after c advances is 1, 2, 3, 4, then 3 and 4 in turn;
        // at 4 the sum halves after the value.
        const uint32_t c = i << kShift;
        const bool halve = c >= 3 && (c & 1u);

        if (g.left) [[unlikely]] {
            --g.left;
            ++g.done;
            g.s = uint32_t(int32_t(g.s) >> (halve ? 1 : 0));
            account();
            put(0, g.done <= 32 ? 1 : 0);
            // The run's own code is consumed with its last zero; its bits
            // are counted with the next value.
            if (g.left == 0) {
                consume(32);
                g.ph += 32;
            }
            return true;
        }
        const uint32_t w = uint32_t(g.b >> 32);
        if ((w & kRunMask) == kRunPattern) [[unlikely]] {
            g.left = (w & ~kRunMask) + 31;
            g.done = 1;
            g.s = uint32_t(int32_t(g.s) >> (halve ? 1 : 0));
            account();
            put(0, 1);
            return true;
        }
        const int32_t n = c < 3 ? int32_t(c) + 1 : 3 + int32_t(c & 1u);
        const int32_t lg = (n >= 2) + (n >= 4);
        int32_t l = (31 - std::countl_zero(g.s | 1u)) - lg;
        l = l < 0 ? 0 : l;
        const uint32_t K = uint32_t(l) + ((int64_t(n) << l) < int64_t(int32_t(g.s)) ? 1u : 0u);
        if (K > 16) [[unlikely]] {
            error = 1;
            return false;
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
                return false;
            }
        }
        consume(len);
        g.ph += len;
        g.s += m >> 1;
        g.s = uint32_t(int32_t(g.s) >> (halve ? 1 : 0));
        account();
        // Zig-zag: 0, 1, 2, 3, 4 -> 0, -1, 1, -2, 2; wraps to 16 bits.
        const uint32_t mag = (m + (m & 1u)) >> 1;
        put(int16_t(uint16_t((m & 1u) ? 0u - mag : mag)), len);
        return true;
    }

    // Decodes values up to index `end` (within the words left unless Tail).
    template <bool Tail>
    void run(uint32_t end) {
        Regs g = r;
        uint32_t i = k;
        while (i < end) {
            // The zeros of a run before its last one (which consumes the
            // run's code) need no look at the stream.
            if (g.left > 1) [[unlikely]] {
                const uint32_t stop = i + std::min(g.left - 1, end - i);
                g.left -= stop - i;
                for (; i < stop; ++i) {
                    const uint32_t c = i << kShift;
                    g.s = uint32_t(int32_t(g.s) >> (c >= 3 && (c & 1u) ? 1 : 0));
                    const uint32_t crossed = g.ph >= 32 ? 1u : 0u;
                    *g.cp = i;
                    g.cp += crossed;
                    g.ph -= crossed << 5;
                    *g.o = 0;
                    g.o += cs;
                    ++g.done;
                    if constexpr (WithBits) {
                        uint16_t& slot = sums[size_t(i) << position_shift];
                        slot = uint16_t(slot + (g.done <= 32 ? 1 : 0));
                    }
                }
                continue;
            }
            if (!value<Tail>(g, i)) break;
            ++i;
        }
        r = g;
        k = i;
    }

    // Decodes this stream up to `end` (within one row).
    void run_to(uint32_t end) {
        while (k < end && !error) {
            if (tail()) {
                make_room(end);
                run<true>(end);
            } else {
                run<false>(uint32_t(std::min<uint64_t>(end, reach())));
            }
        }
    }

    void finish() {
        StreamResult& out = *result;
        out.num_crossings = size_t(r.cp - out.crossings.get());
        out.decoded = k;
        out.error.clear();
        if (error == 1) {
            out.error = "K overflow - fixme (encoder)!";
        } else if (error == 2) {
            char text[200];
            std::snprintf(text, sizeof text, "entropy: merv_p: %6u sb %2u k %2u\n", error_m, job->stream, error_k);
            out.error = text;
        }
    }
};

template <bool Fourteen, bool WithBits, bool Double>
void decode_group(const StreamJob* jobs, StreamResult* results, unsigned count) {
    for (unsigned at = 0; at < count; ++at) {
        const StreamJob& job = jobs[at];
        Stream<Fourteen, WithBits, Double> st(job, results[at]);
        const uint32_t n = job.num_values;
        for (uint32_t y = 0; !st.error; ++y) {
            const uint32_t row_start = first_value_of_row(y, job.row_positions, job.shift);
            if (row_start >= n) break;
            st.r.o = job.out + size_t(y) * job.row_pitch;
            st.run_to(std::min(n, first_value_of_row(y + 1, job.row_positions, job.shift)));
        }
        st.finish();
    }
}

}  // namespace

void decode_streams(const StreamJob* jobs, StreamResult* results, unsigned count) {
    if (count == 0) return;
    const StreamJob& j = jobs[0];
    const bool bits = j.position_bits != nullptr, twice = j.count_step == 2;
    if (j.fourteen_bit) {
        if (bits) twice ? decode_group<true, true, true>(jobs, results, count) : decode_group<true, true, false>(jobs, results, count);
        else twice ? decode_group<true, false, true>(jobs, results, count) : decode_group<true, false, false>(jobs, results, count);
    } else {
        if (bits) twice ? decode_group<false, true, true>(jobs, results, count) : decode_group<false, true, false>(jobs, results, count);
        else twice ? decode_group<false, false, true>(jobs, results, count) : decode_group<false, false, false>(jobs, results, count);
    }
}

void decode_stream(const StreamJob& job, StreamResult& out) { decode_streams(&job, &out, 1); }

}  // namespace Vantrel::QVX

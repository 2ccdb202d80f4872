// Adaptive Golomb-Rice coder of the 64 subband streams, with zero-run and
// raw escapes. It keeps the same statistics as the decoder (shared
// KStatistics) and reports, per value, the bit count the decoder's line
// buffer adds and whether the decoder's reader sees a word crossing.
#pragma once

#include <cstdint>
#include <vector>

#include "bit_writer.h"
#include "entropy/kstatistics.h"

namespace Vantrel::QVX::enc {

// Bits of the code for v at Rice parameter k: a raw 32-bit code once the
// prefix would pass max_zeros.
inline uint32_t rice_length(int16_t v, int k, unsigned max_zeros) {
    const uint32_t m = v >= 0 ? uint32_t(v) * 2u : uint32_t(-int32_t(v)) * 2u - 1u;
    const uint32_t zeros = m >> k;
    return zeros <= max_zeros ? zeros + 1 + uint32_t(k) : 32;
}

class RiceEncoder {
public:
    explicit RiceEncoder(bool fourteen_bit);

    KStatistics stats;

    // Longest zero run one code can carry: 32 + the largest length field.
    uint32_t max_run() const { return run_field_mask_ + 32; }
    bool run_active(unsigned s) const { return run_pos_[s] != run_length_[s]; }

    // Rice parameter of stream s for its next value, and the longest prefix
    // a Rice code may have.
    int next_k(unsigned s) const { return stats.compute_k(s); }
    unsigned max_rice_zeros() const { return max_rice_zeros_; }

    // Each returns the bit count n of the value for the line buffer.
    // A Golomb-Rice or raw code for v; k: next_k(s).
    int32_t code_value(unsigned s, int16_t v, int k);
    // The first zero of a run of `length` zeros (32..max_run()).
    int32_t start_run(unsigned s, uint32_t length);
    // A further zero of the active run.
    int32_t continue_run(unsigned s);

    // Word crossing of the value just coded in stream s.
    uint32_t word_crossed(unsigned s) const { return crossed_[s]; }

    const BitWriter& stream(unsigned s) const { return out_[s]; }
    uint64_t runs() const { return runs_; }
    uint64_t raw_escapes() const { return raw_; }

private:
    uint32_t run_pattern_;
    uint32_t run_field_mask_;
    unsigned max_rice_zeros_;  // longest prefix that is neither a run nor a raw code
    uint32_t run_length_[64] = {};
    uint32_t run_pos_[64] = {};
    uint32_t crossed_[64] = {};
    BitWriter out_[64];
    BitAccount account_[64];
    uint64_t runs_ = 0;
    uint64_t raw_ = 0;
};

// Inline: the coder calls these at every value.
inline int32_t RiceEncoder::code_value(unsigned s, int16_t v, int k) {
    const uint32_t m = v >= 0 ? uint32_t(v) * 2u : uint32_t(-int32_t(v)) * 2u - 1u;
    const uint32_t zeros = m >> k;
    uint32_t len;
    if (zeros <= max_rice_zeros_) {
        // The zeros of the prefix lead the same word (at most 13 + 17 bits).
        out_[s].put((1u << k) | (m & ((1u << k) - 1u)), zeros + unsigned(k) + 1);
        len = zeros + 1 + uint32_t(k);
    } else {
        // Raw: the leading zeros of the escape, then the mapped value; both
        // variants fill exactly one 32-bit code.
        out_[s].put(m, 32);
        len = 32;
        ++raw_;
    }
    stats.magnitude_sum[s] += int32_t(m >> 1);
    stats.halve(s);
    account_[s].pending += len;
    crossed_[s] = account_[s].close();
    return int32_t(len);
}

inline int32_t RiceEncoder::continue_run(unsigned s) {
    ++run_pos_[s];
    stats.halve(s);
    crossed_[s] = account_[s].close();
    const int32_t n = run_pos_[s] <= 32 ? 1 : 0;
    if (run_pos_[s] == run_length_[s]) account_[s].pending += 32;
    return n;
}

}  // namespace Vantrel::QVX::enc

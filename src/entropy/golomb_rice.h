// Adaptive Golomb-Rice decoding of one subband stream value, with the
// zero-run and raw escapes. The per-value path is inline: one peek32 and at
// most one skipBits per value.
#pragma once

#include <bit>
#include <cstdint>

#include "codestream/barrel_shifter.h"
#include "entropy/kstatistics.h"

namespace Vantrel::QVX {

// A decoded value and the bits it counts for in the rate-control model.
struct DecodedValue {
    int16_t value;
    uint32_t bits;
};

// Raises the message of a mapped value above 16 bits.
[[noreturn]] void raise_merv_p(uint32_t m, uint32_t stream, uint32_t k);

struct GolombRiceContext {
    uint32_t run_length[64] = {};
    uint32_t run_pos[64] = {};
    uint32_t run_pattern;
    uint32_t run_mask;
    BasicBarrelShifter* const* readers;
    KStatistics* statistics;

    // fourteen_bit: the variant for bit depth 14 (18-bit raw values).
    GolombRiceContext(bool fourteen_bit, BasicBarrelShifter* const* stream_readers, KStatistics* stats)
        : run_pattern(fourteen_bit ? 0x00040000u : 0x00010000u),
          run_mask(fourteen_bit ? 0xFFFC0000u : 0xFFFF0000u),
          readers(stream_readers),
          statistics(stats) {}

    DecodedValue decodeValue(uint32_t s) {
        BasicBarrelShifter& r = *readers[s];
        KStatistics& st = *statistics;

        // Inside a zero run: one zero per call; the run code itself is
        // consumed with the run's last zero.
        if (run_pos[s] != run_length[s]) {
            const uint32_t pos = ++run_pos[s];
            st.halve(s);
            r.accountBits();
            const uint32_t n = pos <= 32 ? 1u : 0u;
            if (pos == run_length[s]) r.skipBits(32);
            return {0, n};
        }

        const uint32_t w = r.peek32();
        if ((w & run_mask) == run_pattern) {
            run_pos[s] = 1;
            run_length[s] = (w & ~run_mask) + 32;
            st.halve(s);
            r.accountBits();
            return {0, 1};
        }

        const uint32_t k = uint32_t(st.computeK(s));
        const uint32_t z = uint32_t(std::countl_zero(w));  // 32 for w == 0
        uint32_t m, len;
        if (z >= st.escape_limit) {
            m = w & st.raw_mask;
            len = 32;
        } else {
            // z < escape_limit and k <= 16 keep the shift in 1..31.
            m = (z << k) + ((w >> (31 - z - k)) & ((1u << k) - 1u));
            len = z + 1 + k;
            if (m > 65535) raise_merv_p(m, s, k);
        }
        r.skipBits(len);
        st.magnitude_sum[s] = int32_t(uint32_t(st.magnitude_sum[s]) + (m >> 1));
        st.halve(s);
        r.accountBits();
        // Zig-zag: 0, 1, 2, 3, 4 -> 0, -1, 1, -2, 2; wraps to 16 bits.
        const uint32_t mag = (m + (m & 1u)) >> 1;
        const uint32_t v = (m & 1u) ? 0u - mag : mag;
        return {int16_t(uint16_t(v)), len};
    }
};

}  // namespace Vantrel::QVX

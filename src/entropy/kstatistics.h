// Running statistics that pick the Rice parameter K of each subband stream.
// Shared by the decoder and the encoder, so both adapt identically.
#pragma once

#include <bit>
#include <cstdint>

#include "base/error.h"

#include "base/messages.h"

namespace Vantrel::QVX {

struct KStatistics {
    uint32_t count_limit = 4;
    uint32_t escape_limit = 15;
    uint32_t raw_mask = 0xFFFF;
    int32_t magnitude_sum[64] = {};
    int32_t count[4] = {1, 1, 1, 1};
    int32_t count_log2[4] = {};

    // fourteen_bit: the variant for bit depth 14.
    explicit KStatistics(bool fourteen_bit = false)
        : escape_limit(fourteen_bit ? 14u : 15u), raw_mask(fourteen_bit ? 0x3FFFFu : 0xFFFFu) {}

    // Rice parameter for magnitude sum a and count n (log2 n = n_log2); the
    // caller rejects values above 16.
    static int rice_parameter(int32_t a, int32_t n, int32_t n_log2) {
        int l = (a > 0 ? 31 - std::countl_zero(uint32_t(a)) : 0) - n_log2;
        if (l < 0) l = 0;
        return (int64_t(n) << l) < int64_t(a) ? l + 1 : l;
    }

    // Rice parameter of stream s, 0..16; throws on overflow.
    int compute_k(unsigned s) const {
        const unsigned g = s >> 4;
        const int k = rice_parameter(magnitude_sum[s], count[g], count_log2[g]);
        if (k > 16) raise(msg::kKOverflow);
        return k;
    }

    // Halving rule, after every value delivered for stream s.
    void halve(unsigned s) {
        if (uint32_t(count[s >> 4]) == count_limit) magnitude_sum[s] >>= 1;
    }

    // Per-position count advance of group g.
    void advance(unsigned g) {
        count[g] = uint32_t(count[g]) == count_limit ? count[g] / 2 + 1 : count[g] + 1;
        count_log2[g] = count[g] > 0 ? 31 - std::countl_zero(uint32_t(count[g])) : 0;
    }
};

}  // namespace Vantrel::QVX

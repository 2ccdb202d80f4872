// Running statistics that pick the Rice parameter K of each subband stream.
// Shared by the decoder and the encoder, so both adapt identically.
#pragma once

#include <bit>
#include <cstdint>

#include "api/error.h"

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

    // Rice parameter of stream s, 0..16; throws on overflow.
    int computeK(unsigned s) const {
        const int32_t a = magnitude_sum[s];
        const unsigned g = s >> 4;
        int l = (a > 0 ? 31 - std::countl_zero(uint32_t(a)) : 0) - count_log2[g];
        if (l < 0) l = 0;
        const int k = (int64_t(count[g]) << l) < int64_t(a) ? l + 1 : l;
        if (k > 16) raise("K overflow - fixme (encoder)!");
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

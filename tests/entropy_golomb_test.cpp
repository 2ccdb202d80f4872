// Adaptive Golomb-Rice decoding: codes, zero runs, raw escapes of both
// variants, the bit counts handed to the line buffer, K selection, halving
// and overflow. The bit reader is covered by the encoder round trips.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "api/error.h"
#include "support/errors.h"
#include "codestream/barrel_shifter.h"
#include "entropy/golomb_rice.h"
#include "entropy/kstatistics.h"

using namespace Vantrel::QVX;
using qvxtest::error_of;

namespace {

class WordSource final : public NXRQvxBasicBarrelShifterPullInputInterfaceAbstract {
public:
    std::vector<uint32_t> words[64];
    size_t pos[64] = {};
    uint32_t nextWord(uint32_t s) override { return pos[s] < words[s].size() ? words[s][pos[s]++] : 0u; }
};

struct Coder {
    WordSource src;
    BasicBarrelShifter readers[64];
    BasicBarrelShifter* ptrs[64];
    KStatistics stats;
    GolombRiceContext ctx;

    explicit Coder(bool fourteen_bit = false) : stats(fourteen_bit), ctx(fourteen_bit, ptrs, &stats) {
        for (uint32_t s = 0; s < 64; ++s) {
            readers[s].source = &src;
            readers[s].stream = s;
            ptrs[s] = &readers[s];
        }
    }
    void load(uint32_t s, std::vector<uint32_t> w) {
        src.words[s] = std::move(w);
        readers[s].init();
    }
    // (value, bits) of the next value of stream s.
    std::pair<int, unsigned> next(uint32_t s) {
        const DecodedValue v = ctx.decodeValue(s);
        return {v.value, v.bits};
    }
};


using VB = std::pair<int, unsigned>;

}  // namespace

TEST(GolombRice, CodesOfFreshStatisticsAndZeroRuns) {
    Coder c;
    c.load(0, {0x90000000});  // "1" then "001" with K 0
    EXPECT_EQ(c.next(0), VB(0, 1));
    EXPECT_EQ(c.next(0), VB(1, 3));
    EXPECT_EQ(c.stats.magnitude_sum[0], 1);

    // 37 zeros, then "001": the run's 32 bits count one per value for the
    // first 32 and are consumed with the value after the run.
    c.load(3, {0x00010005, 0x20000000});
    unsigned total = 0;
    for (int i = 1; i <= 37; ++i) {
        const VB v = c.next(3);
        EXPECT_EQ(v, VB(0, i <= 32 ? 1u : 0u)) << i;
        EXPECT_EQ(c.readers[3].word_crossed, 0u);
        total += v.second;
    }
    EXPECT_EQ(total, 32u);
    EXPECT_EQ(c.next(3), VB(1, 3));
    EXPECT_EQ(c.readers[3].word_crossed, 1u);
    EXPECT_EQ(c.readers[3].last_bits, 35u);
}

TEST(GolombRice, RawEscapesOfBothVariants) {
    Coder c16;
    c16.load(0, {0x00008001, 0x00000000});
    EXPECT_EQ(c16.next(0), VB(-16385, 32));
    EXPECT_EQ(c16.next(0), VB(0, 32));  // w == 0 is a raw zero

    Coder c14(true);
    c14.load(0, {0x00040000, 0x00020001});
    for (int i = 0; i < 32; ++i) EXPECT_EQ(c14.next(0).second, 1u);
    EXPECT_EQ(c14.next(0), VB(-1, 32));  // -65537 taken modulo 2^16
    // In the 14-bit variant 15 leading zeros are a raw code, not a run.
    Coder c14b(true);
    c14b.load(0, {0x00010000});
    EXPECT_EQ(c14b.next(0).first, int16_t(uint16_t(0x8000)));
}

TEST(GolombRice, KCountCycleHalvingAndOverflow) {
    Coder c;
    c.stats.magnitude_sum[17] = 100;
    c.stats.count[1] = 3;
    c.stats.count_log2[1] = 1;
    EXPECT_EQ(c.stats.computeK(17), 6);  // 3 * 32 < 100
    c.stats.magnitude_sum[17] = 96;
    EXPECT_EQ(c.stats.computeK(17), 5);
    std::vector<int32_t> cycle;  // count * 10 + count_log2
    for (int i = 0; i < 6; ++i) {
        c.stats.advance(2);
        cycle.push_back(c.stats.count[2] * 10 + c.stats.count_log2[2]);
    }
    EXPECT_EQ(cycle, (std::vector<int32_t>{21, 31, 42, 31, 42, 31}));

    // At count 4 every delivered value halves its stream's sum, runs included.
    c.stats.count[0] = 4;
    c.stats.count_log2[0] = 2;
    c.stats.magnitude_sum[1] = c.stats.magnitude_sum[2] = 40;
    c.load(1, {0x00010000});
    c.load(2, {0x80000000});
    c.next(1);
    c.next(2);
    EXPECT_EQ(c.stats.magnitude_sum[1], 20);
    EXPECT_EQ(c.stats.magnitude_sum[2], 20);
    c.stats.count[0] = 3;
    c.next(1);
    EXPECT_EQ(c.stats.magnitude_sum[1], 20);

    Coder o;
    o.stats.magnitude_sum[5] = 65536;  // K = 16, and z = 1 makes m >= 65536
    o.load(5, {0x40000000});
    EXPECT_EQ(error_of([&] { o.next(5); }), "entropy: merv_p:  65536 sb  5 k 16\n");
    o.stats.magnitude_sum[6] = 1 << 17;  // K is checked before the code is read
    o.load(6, {0});
    EXPECT_EQ(error_of([&] { o.next(6); }), "K overflow - fixme (encoder)!");
}

// Bit writer, Golomb-Rice code words and the bit accounting mirrored from
// the decoder's reader, against hand-computed bits.
#include <gtest/gtest.h>

#include <vector>

#include "../encoder/src/bit_writer.h"
#include "../encoder/src/rice_encoder.h"
#include "qvx/QvxEncoder.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

TEST(EncoderBitWriter, PacksMsbFirstAndPadsTheLastWord) {
    BitWriter w;
    w.put(1, 1);
    w.put(0b001, 3);
    w.put(0xABCDE, 20);
    w.put(0xFFFFFFFFu, 32);  // straddles the first word boundary
    w.put(0, 0);
    EXPECT_EQ(w.bit_count(), 56u);
    const std::vector<uint32_t> words = w.words();
    ASSERT_EQ(words.size(), 2u);
    EXPECT_EQ(words[0], 0x9ABCDEFFu);  // 1 001 ABCDE then 8 ones
    EXPECT_EQ(words[1], 0xFFFFFF00u);  // 24 ones, zero padding
}

TEST(EncoderBitAccount, AtMostOneCrossingPerValue) {
    BitAccount a;
    const uint32_t lengths[] = {20, 20, 24};
    const uint32_t crossed[] = {0, 1, 1};
    for (int i = 0; i < 3; ++i) {
        a.pending += lengths[i];
        EXPECT_EQ(a.close(), crossed[i]) << i;
    }
    EXPECT_EQ(a.phase, 0u);
    // 64 pending bits report one crossing now and one at the next value.
    a.pending = 64;
    EXPECT_EQ(a.close(), 1u);
    EXPECT_EQ(a.close(), 1u);
    EXPECT_EQ(a.close(), 0u);
}

TEST(EncoderRice, FreshStatisticsCodeWords) {
    RiceEncoder r(false);
    // K = 0: value 0 is "1", value 1 (mapped 2) is "001", value -1 (mapped 1) is "01".
    EXPECT_EQ(r.codeValue(0, 0), 1);
    EXPECT_EQ(r.codeValue(1, 1), 3);
    EXPECT_EQ(r.codeValue(2, -1), 2);
    EXPECT_EQ(r.stream(0).words(), std::vector<uint32_t>{0x80000000u});
    EXPECT_EQ(r.stream(1).words(), std::vector<uint32_t>{0x20000000u});
    EXPECT_EQ(r.stream(2).words(), std::vector<uint32_t>{0x40000000u});
    EXPECT_EQ(r.stats.magnitude_sum[1], 1);
}

TEST(EncoderRice, RiceParameterFollowsTheStatistics) {
    RiceEncoder r(false);
    r.stats.magnitude_sum[5] = 100;
    r.stats.count[0] = 3;
    r.stats.count_log2[0] = 1;
    // K = 6: mapped 2 * 100 = 200 = 3 * 64 + 8 -> "0001" then 001000.
    EXPECT_EQ(r.codeValue(5, 100), 3 + 1 + 6);
    EXPECT_EQ(r.stream(5).words(), std::vector<uint32_t>{0x12000000u});
}

TEST(EncoderRice, RawEscapesInBothVariants) {
    RiceEncoder r16(false);
    // Mapped 0x8001 at K = 0: far too long a prefix.
    EXPECT_EQ(r16.codeValue(0, -16385), 32);
    EXPECT_EQ(r16.stream(0).words(), std::vector<uint32_t>{0x00008001u});
    EXPECT_EQ(r16.rawEscapes(), 1u);
    // The most negative value maps to 0xFFFF.
    r16.codeValue(1, -32768);
    EXPECT_EQ(r16.stream(1).words(), std::vector<uint32_t>{0x0000FFFFu});

    // A prefix of 13 zeros is a Golomb-Rice code in the 16-bit variant but
    // the run pattern in the 14-bit one, which must escape instead.
    RiceEncoder a(false), b(true);
    EXPECT_EQ(a.codeValue(0, -7), 14);
    EXPECT_EQ(a.stream(0).words(), std::vector<uint32_t>{0x00040000u});
    EXPECT_EQ(b.codeValue(0, -7), 32);
    EXPECT_EQ(b.stream(0).words(), std::vector<uint32_t>{13u});
    EXPECT_EQ(b.codeValue(1, 6), 12 + 1);  // mapped 12: 12 zeros still code
}

TEST(EncoderRice, RunCodeAndItsLateAccounting) {
    RiceEncoder r(false);
    EXPECT_EQ(r.maxRun(), 65567u);
    EXPECT_EQ(r.startRun(3, 37), 1);
    EXPECT_EQ(r.stream(3).words(), std::vector<uint32_t>{0x00010005u});
    EXPECT_TRUE(r.runActive(3));
    int bits = 1;
    for (int i = 2; i <= 37; ++i) {
        bits += r.continueRun(3);
        EXPECT_EQ(r.wordCrossed(3), 0u);  // the code is not consumed before the last zero
    }
    EXPECT_EQ(bits, 32);
    EXPECT_FALSE(r.runActive(3));
    // The run's 32 bits are accounted with the next value.
    r.codeValue(3, 0);
    EXPECT_EQ(r.wordCrossed(3), 1u);
    EXPECT_THROW(r.startRun(4, 31), EncodeError);
    EXPECT_THROW(r.startRun(4, 65568), EncodeError);

    RiceEncoder f(true);
    EXPECT_EQ(f.maxRun(), 0x3FFFFu + 32);
    f.startRun(0, 32);
    EXPECT_EQ(f.stream(0).words(), std::vector<uint32_t>{0x00040000u});
}

TEST(EncoderRice, HalvingAppliesOnEveryPath) {
    RiceEncoder r(false);
    r.stats.count[0] = 4;  // count_limit: every value halves its sum
    r.stats.magnitude_sum[0] = 40;
    r.codeValue(0, 3);  // +3, then halved
    EXPECT_EQ(r.stats.magnitude_sum[0], 21);
    r.startRun(0, 33);
    EXPECT_EQ(r.stats.magnitude_sum[0], 10);
    r.continueRun(0);
    EXPECT_EQ(r.stats.magnitude_sum[0], 5);
}

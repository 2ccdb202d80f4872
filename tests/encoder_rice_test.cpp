// Golomb-Rice code words, escapes and the mirrored bit accounting,
// against hand-computed bits.
#include <gtest/gtest.h>

#include <vector>

#include "../encoder/src/rice_encoder.h"
#include "qvx/QvxEncoder.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

using Words = std::vector<uint32_t>;

TEST(EncoderRice, CodeWords) {
    RiceEncoder r(false);
    // K = 0: 0 is "1", 1 (mapped 2) is "001", -1 (mapped 1) is "01".
    EXPECT_EQ(r.codeValue(0, 0), 1);
    EXPECT_EQ(r.codeValue(1, 1), 3);
    EXPECT_EQ(r.codeValue(2, -1), 2);
    EXPECT_EQ(r.stream(0).words(), Words{0x80000000u});
    EXPECT_EQ(r.stream(1).words(), Words{0x20000000u});
    EXPECT_EQ(r.stream(2).words(), Words{0x40000000u});
    // Sum 100 over count 3: K = 6, so 200 = 3 * 64 + 8 is "0001" 001000.
    r.stats.magnitude_sum[5] = 100;
    r.stats.count[0] = 3;
    r.stats.count_log2[0] = 1;
    EXPECT_EQ(r.codeValue(5, 100), 10);
    EXPECT_EQ(r.stream(5).words(), Words{0x12000000u});
    EXPECT_EQ(r.stats.magnitude_sum[5], 200);
}

TEST(EncoderRice, RawEscapesInBothVariants) {
    RiceEncoder r(false);
    EXPECT_EQ(r.codeValue(0, -16385), 32);  // mapped 0x8001
    EXPECT_EQ(r.codeValue(1, -32768), 32);  // mapped 0xFFFF
    EXPECT_EQ(r.stream(0).words(), Words{0x00008001u});
    EXPECT_EQ(r.stream(1).words(), Words{0x0000FFFFu});

    // A prefix of 13 zeros is a code word in the 16-bit variant but the
    // run pattern in the 14-bit one, which has to escape instead.
    RiceEncoder a(false), b(true);
    EXPECT_EQ(a.codeValue(0, -7), 14);
    EXPECT_EQ(a.stream(0).words(), Words{0x00040000u});
    EXPECT_EQ(b.codeValue(0, -7), 32);
    EXPECT_EQ(b.stream(0).words(), Words{13u});
    EXPECT_EQ(b.codeValue(1, 6), 13);  // 12 zeros still code
    EXPECT_EQ(b.rawEscapes(), 1u);
}

TEST(EncoderRice, RunCodeAndItsLateAccounting) {
    RiceEncoder r(false);
    EXPECT_EQ(r.maxRun(), 65567u);
    EXPECT_EQ(r.startRun(3, 37), 1);
    EXPECT_EQ(r.stream(3).words(), Words{0x00010005u});
    int bits = 1;
    for (int i = 2; i <= 37; ++i) {
        bits += r.continueRun(3);
        EXPECT_EQ(r.wordCrossed(3), 0u);  // not consumed before the last zero
    }
    EXPECT_EQ(bits, 32);  // one bit for each of the first 32 zeros
    EXPECT_FALSE(r.runActive(3));
    r.codeValue(3, 0);  // the run's 32 bits are accounted here
    EXPECT_EQ(r.wordCrossed(3), 1u);
    EXPECT_THROW(r.startRun(4, 31), EncodeError);
    EXPECT_THROW(r.startRun(4, 65568), EncodeError);

    RiceEncoder f(true);
    EXPECT_EQ(f.maxRun(), 0x3FFFFu + 32);
    f.startRun(0, 32);
    EXPECT_EQ(f.stream(0).words(), Words{0x00040000u});
}

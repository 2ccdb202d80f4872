// Packet layouts against hand-computed bytes, dominant streams, and the
// planner that closes packets where the decoder's line-buffer model does.
#include <gtest/gtest.h>

#include <vector>

#include "../encoder/src/packet_writer.h"
#include "qvx/QvxEncoder.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

using Bytes = std::vector<uint8_t>;

TEST(EncoderPackets, LayoutsByHand) {
    // Version 3: every length 1 in ten header bytes, two skipped bytes,
    // big-endian words.
    std::vector<uint32_t> words[64];
    PacketLengths ones{};
    for (unsigned s = 0; s < 16; ++s) {
        ones[s] = 1;
        words[s] = {0x11223300u + s};
    }
    Bytes b = write_packets(3, 1, {ones}, words);
    ASSERT_EQ(b.size(), 12u + 16 * 4);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 16),
              (Bytes{0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0, 0, 0x11, 0x22, 0x33, 0x00}));
    // Version 2: the same lengths least significant first, words little-endian.
    b = write_packets(2, 1, {ones}, words);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 16),
              (Bytes{0x21, 0x84, 0x10, 0x42, 0x08, 0x21, 0x84, 0x10, 0x42, 0x08, 0, 0, 0x00, 0x33, 0x22, 0x11}));

    // Version 7, four components: 32-bit rows of 12 padding bits and four
    // lengths; every stream's first word before any second word.
    std::vector<uint32_t> w4[64];
    PacketLengths l4{};
    l4[0] = 16;
    l4[16] = 1;
    l4[32] = 2;
    w4[0].assign(16, 7);
    w4[16] = {0xA1};
    w4[32] = {0xB1, 0xB2};
    b = write_packets(7, 4, {l4}, w4);
    ASSERT_EQ(b.size(), 64u + 19 * 4);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{0x00, 0x08, 0x04, 0x40}));  // 10000 00001 00010 00000
    EXPECT_EQ(b[64 + 4 + 3], 0xA1);
    EXPECT_EQ(b[64 + 8 + 3], 0xB1);
    EXPECT_EQ(b[64 + 12 + 3], 7);
    EXPECT_EQ(b[64 + 16 + 3], 0xB2);
}

TEST(EncoderPackets, Versions0And1ByteOrderAndTrailingPad) {
    std::vector<uint32_t> words[64];
    PacketLengths len{};
    len[0] = 1;
    words[0] = {0x12345678u};
    // The last length byte is 0, so one more byte keeps it from being
    // the end of the input, which the parser would take for a cut packet.
    const Bytes v0 = write_packets(0, 1, {len}, words);
    ASSERT_EQ(v0.size(), 1u + 4 + 15 + 1);
    EXPECT_EQ(v0[1], 0x12);  // reaches the reader through the byte swap
    EXPECT_EQ(write_packets(1, 1, {len}, words)[1], 0x78);
    len[15] = 1;
    words[15] = {9};
    EXPECT_EQ(write_packets(1, 1, {len}, words).size(), 16u + 8);

    std::vector<uint32_t> none[64];
    EXPECT_EQ(write_packets(4, 1, {PacketLengths{}}, none).size(), 12u);  // ends in skipped bytes
    EXPECT_EQ(write_packets(7, 1, {PacketLengths{}}, none).size(), 17u);
    EXPECT_EQ(write_packets(2, 3, {PacketLengths{}}, none).size(), 37u);
}

TEST(EncoderPackets, DominantTiesFollowHeaderOrder) {
    PacketLengths len{};
    len[1] = 4;   // component 0, subband 1
    len[16] = 4;  // component 1, subband 0
    EXPECT_EQ(dominant_of(len, 6, 3), 16);  // stream order
    EXPECT_EQ(dominant_of(len, 7, 3), 1);   // rows: subband before component
    EXPECT_EQ(dominant_of(PacketLengths{}, 7, 3), 47);
}

TEST(EncoderPackets, PlannerClosesAtTheFirstStreamAt512) {
    LineBuffer lb;
    DominantPlanner plan(lb, 7, 3);
    lb.sb_fill[4] = 480;
    EXPECT_LT(lb.sb_fill[plan.peek()], 512);
    lb.sb_fill[4] = 512;
    lb.sb_fill[17] = 512;  // row 1 of component 1: before row 4 in header order
    lb.sb_fill[33] = 64;
    EXPECT_EQ(plan.peek(), 4);
    EXPECT_EQ(plan.next(), 4);
    ASSERT_EQ(plan.closed().size(), 1u);
    EXPECT_EQ(plan.closed()[0][17], 16);
    EXPECT_EQ(plan.closed()[0][33], 2);

    lb.sb_fill[4] = 544;  // more than one packet can carry
    plan.peek();
    EXPECT_THROW(plan.next(), EncodeError);

    const std::vector<PacketLengths> t = tail_packets({20, 3, 0}, 16, true);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0][0] * 100 + t[1][0], 1604);
    EXPECT_EQ(t[0][1] * 100 + t[1][1], 300);
    EXPECT_EQ(tail_packets({0, 0}, 16, true).size(), 1u);
    EXPECT_EQ(tail_packets({0, 0}, 16, false).size(), 0u);
}

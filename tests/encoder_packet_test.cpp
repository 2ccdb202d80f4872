// Packet byte order and padding, dominant streams, and the planner that
// closes packets where the decoder's line-buffer model does.
#include <gtest/gtest.h>

#include <vector>

#include "../encoder/src/packet_writer.h"
#include "qvx/QvxEncoder.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

using Bytes = std::vector<uint8_t>;

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

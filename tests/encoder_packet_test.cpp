// Packet layouts of every version, dominant streams and the planner that
// closes packets where the decoder's line-buffer model sees them close.
#include <gtest/gtest.h>

#include <vector>

#include "../encoder/src/packet_writer.h"
#include "qvx/QvxEncoder.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

namespace {

// One packet, every stream of one component carrying one word s + 1.
struct OnePerStream {
    std::vector<uint32_t> words[64];
    std::vector<PacketLengths> packets;
    explicit OnePerStream(unsigned ncomp) {
        PacketLengths len{};
        for (unsigned s = 0; s < 16 * ncomp; ++s) {
            len[s] = 1;
            words[s] = {0x11223300u + s};
        }
        packets.push_back(len);
    }
};

}  // namespace

TEST(EncoderPackets, Version2LengthWordsLeastSignificantFirst) {
    OnePerStream p(1);
    const std::vector<uint8_t> b = write_packets(2, 1, p.packets, p.words);
    ASSERT_EQ(b.size(), 12u + 16 * 4);
    // Five-bit fields of 1 at bits 0, 5, ..., 75 of a 96-bit number.
    const uint8_t hdr[12] = {0x21, 0x84, 0x10, 0x42, 0x08, 0x21, 0x84, 0x10, 0x42, 0x08, 0, 0};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(b[i], hdr[i]) << i;
    EXPECT_EQ(b[12], 0x00);  // stream 0's word, little-endian
    EXPECT_EQ(b[15], 0x11);
    EXPECT_EQ(dominant_of(p.packets[0], 2, 1), 15);
}

TEST(EncoderPackets, Version3HeaderBytesThenSkippedPairBigEndianWords) {
    OnePerStream p(1);
    const std::vector<uint8_t> b = write_packets(3, 1, p.packets, p.words);
    const std::vector<uint8_t> hdr = {0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0, 0};
    ASSERT_EQ(b.size(), 12u + 16 * 4);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + 12), hdr);
    EXPECT_EQ(b[12], 0x11);
    EXPECT_EQ(b[15], 0x00);
    EXPECT_EQ(b[12 + 15 * 4 + 3], 0x0F);
}

TEST(EncoderPackets, Version7RowsAndInterleavedWords) {
    // One component: 16 one-byte rows; two words for stream 2 come after
    // every stream's first word.
    std::vector<uint32_t> words[64];
    PacketLengths len{};
    len[0] = 1;
    len[2] = 2;
    words[0] = {0xA0};
    words[2] = {0xB0, 0xB1};
    std::vector<uint8_t> b = write_packets(7, 1, {len}, words);
    ASSERT_EQ(b.size(), 16u + 12);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[2], 2);
    EXPECT_EQ(b[19], 0xA0);
    EXPECT_EQ(b[23], 0xB0);
    EXPECT_EQ(b[27], 0xB1);

    // Three components: two-byte rows, lengths of components 0, 1, 2.
    PacketLengths l3{};
    l3[5] = 1;
    l3[16 + 5] = 2;
    l3[32 + 5] = 3;
    std::vector<uint32_t> w3[64];
    w3[5] = {1};
    w3[21] = {2, 3};
    w3[37] = {4, 5, 6};
    b = write_packets(7, 3, {l3}, w3);
    EXPECT_EQ(b[10], 0x04);  // row 5: 0 00001 00010 00011
    EXPECT_EQ(b[11], 0x43);
    // Four components: 32-bit rows, 12 padding bits.
    PacketLengths l4{};
    l4[0] = 16;
    l4[16] = 1;
    l4[32] = 2;
    l4[48] = 3;
    std::vector<uint32_t> w4[64];
    w4[0].assign(16, 7);
    w4[16] = {1};
    w4[32] = {1, 2};
    w4[48] = {1, 2, 3};
    b = write_packets(7, 4, {l4}, w4);
    ASSERT_EQ(b.size(), 64u + 22 * 4);
    EXPECT_EQ(b[0], 0x00);
    EXPECT_EQ(b[1], 0x08);  // 0000 0000 0000 10000 00001 00010 00011
    EXPECT_EQ(b[2], 0x04);
    EXPECT_EQ(b[3], 0x43);
}

TEST(EncoderPackets, Versions0And1ByteOrderAndTrailingPad) {
    std::vector<uint32_t> words[64];
    PacketLengths len{};
    len[0] = 1;
    words[0] = {0x12345678u};
    // The last length byte is 0: one byte more keeps it from being the
    // end of the input.
    std::vector<uint8_t> v0 = write_packets(0, 1, {len}, words);
    ASSERT_EQ(v0.size(), 1u + 4 + 15 + 1);
    EXPECT_EQ(v0[1], 0x12);  // read back through the byte swap
    std::vector<uint8_t> v1 = write_packets(1, 1, {len}, words);
    EXPECT_EQ(v1[1], 0x78);

    len[15] = 1;
    words[15] = {9};
    EXPECT_EQ(write_packets(1, 1, {len}, words).size(), 16u + 8);
    // Version 3 to 6 packets never end in a header unit; version 7 does
    // when the last packet carries nothing.
    std::vector<uint32_t> none[64];
    EXPECT_EQ(write_packets(4, 1, {PacketLengths{}}, none).size(), 12u);
    EXPECT_EQ(write_packets(7, 1, {PacketLengths{}}, none).size(), 17u);
    EXPECT_EQ(write_packets(2, 3, {PacketLengths{}}, none).size(), 37u);
}

TEST(EncoderPackets, DominantTiesFollowHeaderOrder) {
    PacketLengths len{};
    len[1] = 4;   // component 0, subband 1
    len[16] = 4;  // component 1, subband 0
    // Stream order up to version 6, rows (subband-major) from 7 on.
    EXPECT_EQ(dominant_of(len, 6, 3), 16);
    EXPECT_EQ(dominant_of(len, 7, 3), 1);
    EXPECT_EQ(dominant_of(PacketLengths{}, 7, 3), 47);
    EXPECT_EQ(dominant_of(PacketLengths{}, 3, 3), 47);
}

TEST(EncoderPackets, PlannerClosesAtTheFirstStreamAt512) {
    LineBuffer lb;
    DominantPlanner plan(lb, 7, 3);
    lb.sb_fill[4] = 480;
    EXPECT_LT(lb.sb_fill[plan.peek()], 512);
    lb.sb_fill[4] = 512;
    lb.sb_fill[17] = 512;  // row 1, component 1: earlier in header order than row 4
    lb.sb_fill[33] = 64;
    const uint8_t d = plan.peek();
    EXPECT_EQ(d, 4);
    EXPECT_EQ(plan.next(), 4);
    ASSERT_EQ(plan.closed().size(), 1u);
    EXPECT_EQ(plan.closed()[0][17], 16);
    EXPECT_EQ(plan.closed()[0][33], 2);
    EXPECT_EQ(dominant_of(plan.closed()[0], 7, 3), 4);

    lb.sb_fill[4] = 544;  // a span longer than a packet can carry
    plan.peek();
    EXPECT_THROW(plan.next(), EncodeError);
}

TEST(EncoderPackets, TailSplitsAtTheCapacity) {
    const std::vector<PacketLengths> t = tail_packets({20, 3, 0}, 16, true);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0][0], 16);
    EXPECT_EQ(t[1][0], 4);
    EXPECT_EQ(t[0][1], 3);
    EXPECT_EQ(t[1][1], 0);
    EXPECT_EQ(tail_packets({0, 0}, 16, true).size(), 1u);
    EXPECT_EQ(tail_packets({0, 0}, 16, false).size(), 0u);
    EXPECT_EQ(tail_packets({127}, 127, false).size(), 1u);
}

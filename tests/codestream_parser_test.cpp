// Packet parsers: layouts of every version, dominant stream, quiet end,
// truncation and illegal lengths, checked through the callbacks.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codestream/demultiplexer.h"
#include "codestream/parsers.h"
#include "entropy_test_streams.h"

using namespace Vantrel::QVX;
using qvx_test::Bytes;

namespace {

class RecordingParser final : public QVXCodestreamParser_v6 {
public:
    std::vector<std::vector<uint32_t>> words = std::vector<std::vector<uint32_t>>(64);
    std::vector<uint32_t> order;  // stream of every word, in delivery order
    std::vector<uint32_t> packets;
    std::vector<std::string> messages;

    void parse(const frame_state& fs, mem_data& in) override { parse_version(fs, in); }
    void onSubbandWord(uint32_t w, uint32_t s) override {
        words[s].push_back(w);
        order.push_back(s);
    }
    void onHeaderByte(uint8_t) override {}
    void onHeaderWord(uint32_t) override {}
    void onSubbandLength(uint32_t, uint32_t) override {}
    void onSubbandEnd(uint32_t) override {}
    void onPacketEnd(uint32_t s) override { packets.push_back(s); }
    void onMessage(const char* text) override { messages.emplace_back(text); }
};

// Runs a parser over `packets`, placed behind `prefix` bytes of a fake
// header, from a heap buffer of exactly the right size.
struct ParseRun {
    RecordingParser p;
    uint64_t end_count = 0;
    ParseRun(uint16_t version, uint8_t ncomp, const Bytes& packets, uint64_t prefix = 16) {
        frame_state fs;
        fs.version = version;
        fs.num_components = ncomp;
        const size_t n = prefix + packets.size();
        std::unique_ptr<unsigned char[]> buf(new unsigned char[n]);
        std::copy(packets.begin(), packets.end(), buf.get() + prefix);
        mem_data in(buf.get() + prefix, n, prefix);
        p.parse(fs, in);
        end_count = in.bytes_read;
    }
};

Bytes be_words(uint32_t first, unsigned n) {
    Bytes b;
    for (unsigned i = 0; i < n; ++i) qvx_test::put32be(b, first + i);
    return b;
}

}  // namespace

TEST(CodestreamParser, OneWordPerStreamInEveryLayout) {
    // Every length 1 in version 2 (three little-endian words), version 3 to
    // 6 (ten bytes, two skipped) and version 7 (one byte per row).
    Bytes v2;
    for (uint32_t w : {0x42108421u, 0x10842108u, 0x842u}) qvx_test::put32(v2, w);
    for (uint32_t i = 0; i < 16; ++i) qvx_test::put32(v2, 0x100 + i);
    const Bytes v3 = qvx_test::concat({0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0xFF, 0xFF},
                                      be_words(0x100, 16));
    const Bytes v7 = qvx_test::concat(Bytes(16, 0x01), be_words(0x100, 16));
    for (const auto& [version, bytes] : {std::pair{uint16_t(2), v2}, {uint16_t(5), v3}, {uint16_t(7), v7}}) {
        ParseRun r(version, 1, bytes);
        for (uint32_t s = 0; s < 16; ++s) EXPECT_EQ(r.p.words[s], std::vector<uint32_t>{0x100 + s}) << version;
        EXPECT_EQ(r.p.order, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
        EXPECT_EQ(r.p.packets, std::vector<uint32_t>{15});
        EXPECT_TRUE(r.p.messages.empty());
    }
}

TEST(CodestreamParser, Version7ThreeComponentsInterleaved) {
    Bytes b;
    for (int j = 0; j < 16; ++j) b.insert(b.end(), {0x84, 0x21});  // padding bit set, lengths 1 1 1
    b = qvx_test::concat(b, be_words(0, 48));
    ParseRun r(9, 3, b);
    ASSERT_EQ(r.p.order.size(), 48u);
    for (uint32_t j = 0; j < 16; ++j)
        for (uint32_t c = 0; c < 3; ++c) {
            EXPECT_EQ(r.p.order[j * 3 + c], c * 16 + j);
            EXPECT_EQ(r.p.words[c * 16 + j], std::vector<uint32_t>{j * 3 + c});
        }
    // Ties go to the last stream in row-major order: subband 15 of component 2.
    EXPECT_EQ(r.p.packets, std::vector<uint32_t>{47});
}

TEST(CodestreamParser, Version7FourComponentRowsOf32Bits) {
    // Row 0: 12 padding bits (all ones, ignored), lengths 2 0 1 3.
    Bytes b = {0xFF, 0xF1, 0x00, 0x23};
    for (int j = 1; j < 16; ++j) b.insert(b.end(), {0xFF, 0xF0, 0, 0});
    b = qvx_test::concat(b, be_words(0xA0, 6));
    ParseRun r(7, 4, b);
    // First sweep: streams 0, 32, 48; second: 0, 48; third: 48.
    EXPECT_EQ(r.p.order, (std::vector<uint32_t>{0, 32, 48, 0, 48, 48}));
    EXPECT_EQ(r.p.words[0], (std::vector<uint32_t>{0xA0, 0xA3}));
    EXPECT_EQ(r.p.words[48], (std::vector<uint32_t>{0xA2, 0xA4, 0xA5}));
    EXPECT_EQ(r.p.packets, std::vector<uint32_t>{48});
}

TEST(CodestreamParser, DominantStreamTieRule) {
    // Lengths 2, 0, 2, 1, rest 0: the later of the two longest wins.
    Bytes b = {0x10, 0x04, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    b = qvx_test::concat(b, be_words(0, 5));
    // Second packet: every length 0, so the last stream is dominant.
    b.insert(b.end(), 12, 0);
    ParseRun r(3, 1, b);
    EXPECT_EQ(r.p.words[0].size(), 2u);
    EXPECT_EQ(r.p.words[2].size(), 2u);
    EXPECT_EQ(r.p.words[3].size(), 1u);
    EXPECT_EQ(r.p.packets, (std::vector<uint32_t>{2, 15}));
}

TEST(CodestreamParser, Version1LengthBytesAndQuietEnd) {
    Bytes b;
    b.push_back(0x85);  // bit 7 ignored: 5 words
    for (uint32_t i = 0; i < 5; ++i) qvx_test::put32(b, 0x11223344 + i);
    b.insert(b.end(), 14, 0);
    b.push_back(0x01);  // stream 15: one word
    qvx_test::put32(b, 0xCAFE);
    // A second packet whose last length byte is the last byte of the input.
    b.insert(b.end(), 16, 0);
    ParseRun r(1, 1, b);
    EXPECT_EQ(r.p.words[0].size(), 5u);
    EXPECT_EQ(r.p.words[0][4], 0x11223348u);
    EXPECT_EQ(r.p.words[15], std::vector<uint32_t>{0xCAFE});
    EXPECT_EQ(r.p.packets, std::vector<uint32_t>{0});
    EXPECT_TRUE(r.p.messages.empty());
}

TEST(CodestreamParser, QuietEndAfterCompletePacket) {
    Bytes b = {0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0, 0};
    b = qvx_test::concat(b, be_words(0, 16));
    ParseRun exact(3, 1, b);
    EXPECT_EQ(exact.p.packets.size(), 1u);
    EXPECT_TRUE(exact.p.messages.empty());
    // One more byte is the next packet's first unit, which reaches the size.
    b.push_back(0x08);
    ParseRun one_more(3, 1, b);
    EXPECT_EQ(one_more.p.packets.size(), 1u);
    EXPECT_TRUE(one_more.p.messages.empty());
    EXPECT_EQ(one_more.end_count, exact.end_count);
}

TEST(CodestreamParser, TruncatedHeaderMessages) {
    // Version 3: a packet start at offset 16 with 5 header bytes left.
    ParseRun v3(3, 1, Bytes{0x08, 0x42, 0x10, 0x84, 0x21});
    EXPECT_EQ(v3.p.messages,
              (std::vector<std::string>{"Truncated stream after 21 bytes read\n", "Ignored 4 bytes\n"}));
    EXPECT_TRUE(v3.p.packets.empty());
    EXPECT_EQ(v3.end_count, 20u);  // the last byte is never read

    // Version 2: two full header words, a third cut short.
    ParseRun v2(2, 1, Bytes(10, 0));
    EXPECT_EQ(v2.p.messages,
              (std::vector<std::string>{"Truncated stream after 28 bytes read\n", "Ignored 8 bytes\n"}));
    EXPECT_EQ(v2.end_count, 24u);

    // Version 7: three components, the table ends inside row 2.
    ParseRun v7(7, 3, Bytes(5, 0));
    EXPECT_EQ(v7.p.messages,
              (std::vector<std::string>{"Truncated stream after 21 bytes read\n", "Ignored 4 bytes\n"}));
}

TEST(CodestreamParser, IllegalLengthKeepsEarlierComponents) {
    // Component 0: stream 0 carries one word. Component 1: length 17 at j = 4.
    Bytes b = {0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    b = qvx_test::concat(b, be_words(0x77, 1));
    b = qvx_test::concat(b, Bytes{0, 0, 0x08, 0x80, 0, 0, 0, 0, 0, 0, 0, 0});
    b = qvx_test::concat(b, be_words(0, 40));
    ParseRun r(4, 3, b, 96);
    EXPECT_EQ(r.p.words[0], std::vector<uint32_t>{0x77});
    EXPECT_TRUE(r.p.packets.empty());
    // Position: 96 + 16 bytes of component 0 + 10 header bytes = 0x7a.
    EXPECT_EQ(r.p.messages,
              std::vector<std::string>{"Illegal subband length (17) in header at pos 0x0000007a, sb_idx=20\n"});

    // Version 2 reports the same way after its three header words.
    Bytes v2;
    for (uint32_t w : {0x88000u, 0u, 0u}) qvx_test::put32(v2, w);
    v2 = qvx_test::concat(v2, Bytes(64, 0));
    ParseRun r2(2, 1, v2);
    EXPECT_EQ(r2.p.messages,
              std::vector<std::string>{"Illegal subband length (17) in header at pos 0x0000001c, sb_idx=3\n"});
}

TEST(CodestreamParser, WordsPastTheInputEndQuietly) {
    // Every stream announces 16 words; only three and a half follow.
    Bytes b = {0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0, 0};
    b = qvx_test::concat(b, be_words(1, 3));
    b.insert(b.end(), {1, 2});
    ParseRun r(6, 1, b);
    EXPECT_EQ(r.p.words[0], (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_TRUE(r.p.packets.empty());
    EXPECT_TRUE(r.p.messages.empty());

    // Version 3: the two skipped bytes do not fit.
    ParseRun skip(3, 1, Bytes{0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0});
    EXPECT_TRUE(skip.p.messages.empty());
    EXPECT_TRUE(skip.p.packets.empty());
}

TEST(Demultiplexer, ByteOrderOfDataWords) {
    Bytes b = {0x01, 0x12, 0x34, 0x56, 0x78};
    b.insert(b.end(), 15, 0);
    b.push_back(0);  // spare byte: keeps the last length byte off the end
    for (uint16_t version : {0, 1}) {
        frame_state fs;
        fs.version = version;
        fs.num_components = 1;
        std::unique_ptr<unsigned char[]> buf(new unsigned char[b.size()]);
        std::copy(b.begin(), b.end(), buf.get());
        mem_data in(buf.get(), b.size());
        NXRQvxDemultiplexer demux;
        demux.byte_swap = version == 0;
        demux.parse(fs, in);
        ASSERT_EQ(demux.stream_words(0).size(), 1u);
        EXPECT_EQ(demux.stream_words(0)[0], version == 0 ? 0x12345678u : 0x78563412u);
        EXPECT_EQ(demux.dominant_list(), std::vector<uint8_t>{0});
    }
}

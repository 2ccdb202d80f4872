// Packet layouts: the dominant stream, version 1, quiet ends, truncated
// headers and illegal lengths, checked through a recording sink. The layouts
// themselves are covered by the encoder round trips of every version.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "codestream/packet_walk.h"
#include "support/stream_bytes.h"

using namespace Vantrel::QVX;
using qvxtest::Bytes;
using qvxtest::concat;
using U32s = std::vector<uint32_t>;
using Texts = std::vector<std::string>;

namespace {

struct RecordingSink {
    static constexpr bool kCountOnly = false;
    static constexpr bool kDiagnostics = true;
    std::vector<U32s> words = std::vector<U32s>(64);
    U32s order;  // stream of every word, in delivery order
    U32s packets;
    Texts messages;

    void word(uint32_t w, uint32_t s) {
        words[s].push_back(w);
        order.push_back(s);
    }
    void packet_end(uint32_t s) { packets.push_back(s); }
    void diagnostic(const char* text) { messages.emplace_back(text); }
};

// Runs a parser over `packets`, placed behind `prefix` bytes of a fake
// header, from a heap buffer of exactly the right size.
struct ParseRun {
    RecordingSink p;
    uint64_t end_count = 0;
    ParseRun(uint16_t version, uint8_t ncomp, const Bytes& packets, uint64_t prefix = 16) {
        FrameState fs;
        fs.version = version;
        fs.num_components = ncomp;
        const size_t n = prefix + packets.size();
        std::unique_ptr<unsigned char[]> buf(new unsigned char[n]);
        std::copy(packets.begin(), packets.end(), buf.get() + prefix);
        mem_data in(buf.get() + prefix, n, prefix);
        packet_walk::walk(fs, in, p);
        end_count = in.bytes_read;
    }
};

Bytes be_words(uint32_t first, unsigned n) {
    Bytes b;
    for (unsigned i = 0; i < n; ++i) qvxtest::put32be(b, first + i);
    return b;
}

// Version 3 to 6 header of one component, every length 1.
const Bytes kAllOnes = {0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0xFF, 0xFF};

}  // namespace

TEST(CodestreamParser, DominantStreamAndVersion1) {
    // Lengths 2, 0, 2, 1: the later of the two longest wins; an all-zero
    // packet makes the last stream dominant.
    Bytes b = concat({0x10, 0x04, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0}, be_words(0, 5));
    b.insert(b.end(), 12, 0);
    ParseRun r(3, 1, b);
    EXPECT_EQ((U32s{uint32_t(r.p.words[0].size()), uint32_t(r.p.words[2].size()), uint32_t(r.p.words[3].size())}),
              (U32s{2, 2, 1}));
    EXPECT_EQ(r.p.packets, (U32s{2, 15}));

    // Version 1: a length byte per stream (bit 7 ignored), little-endian
    // words; a packet whose last length byte ends the input ends quietly.
    Bytes v1 = {0x85};
    for (uint32_t i = 0; i < 5; ++i) qvxtest::put32(v1, 0x11223344 + i);
    v1.insert(v1.end(), 14, 0);
    v1.push_back(0x01);
    qvxtest::put32(v1, 0xCAFE);
    v1.insert(v1.end(), 16, 0);
    ParseRun one(1, 1, v1);
    EXPECT_EQ(one.p.words[0].size(), 5u);
    EXPECT_EQ(one.p.words[0][4], 0x11223348u);
    EXPECT_EQ(one.p.words[15], U32s{0xCAFE});
    EXPECT_EQ(one.p.packets, U32s{0});
    EXPECT_TRUE(one.p.messages.empty());
}

TEST(CodestreamParser, QuietEnds) {
    Bytes b = concat(kAllOnes, be_words(0, 16));
    ParseRun exact(3, 1, b);
    b.push_back(0x08);  // the next packet's first unit reaches the size
    ParseRun one_more(3, 1, b);
    EXPECT_EQ(one_more.p.packets.size(), 1u);
    EXPECT_TRUE(one_more.p.messages.empty());
    EXPECT_EQ(one_more.end_count, exact.end_count);

    // Every stream announces 16 words; only three and a half follow.
    ParseRun words(6, 1, concat(concat({0x84, 0x21, 0x08, 0x42, 0x10, 0x84, 0x21, 0x08, 0x42, 0x10, 0, 0},
                                       be_words(1, 3)), {1, 2}));
    EXPECT_EQ(words.p.words[0], (U32s{1, 2, 3}));
    EXPECT_TRUE(words.p.packets.empty());
    EXPECT_TRUE(words.p.messages.empty());

    ParseRun skip(3, 1, Bytes(kAllOnes.begin(), kAllOnes.begin() + 11));  // skipped bytes cut short
    EXPECT_TRUE(skip.p.messages.empty());
    EXPECT_TRUE(skip.p.packets.empty());
}

TEST(CodestreamParser, TruncatedHeaderMessages) {
    ParseRun v3(3, 1, Bytes(kAllOnes.begin(), kAllOnes.begin() + 5));
    EXPECT_EQ(v3.p.messages, (Texts{"Truncated stream after 21 bytes read\n", "Ignored 4 bytes\n"}));
    EXPECT_TRUE(v3.p.packets.empty());
    EXPECT_EQ(v3.end_count, 20u);  // the last byte is never read

    ParseRun v2(2, 1, Bytes(10, 0));  // two full header words, a third cut short
    EXPECT_EQ(v2.p.messages, (Texts{"Truncated stream after 28 bytes read\n", "Ignored 8 bytes\n"}));
    EXPECT_EQ(v2.end_count, 24u);

    ParseRun v7(7, 3, Bytes(5, 0));  // the table ends inside row 2
    EXPECT_EQ(v7.p.messages, (Texts{"Truncated stream after 21 bytes read\n", "Ignored 4 bytes\n"}));
}

TEST(CodestreamParser, IllegalLengthKeepsEarlierComponents) {
    // Component 0: stream 0 carries one word. Component 1: length 17 at j = 4.
    Bytes b = concat({0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, be_words(0x77, 1));
    b = concat(concat(b, {0, 0, 0x08, 0x80, 0, 0, 0, 0, 0, 0, 0, 0}), be_words(0, 40));
    ParseRun r(4, 3, b, 96);
    EXPECT_EQ(r.p.words[0], U32s{0x77});
    EXPECT_TRUE(r.p.packets.empty());
    // Position: 96 + 16 bytes of component 0 + 10 header bytes = 0x7a.
    EXPECT_EQ(r.p.messages, Texts{"Illegal subband length (17) in header at pos 0x0000007a, sb_idx=20\n"});

    Bytes v2;
    for (uint32_t w : {0x88000u, 0u, 0u}) qvxtest::put32(v2, w);
    ParseRun r2(2, 1, concat(v2, Bytes(64, 0)));
    EXPECT_EQ(r2.p.messages, Texts{"Illegal subband length (17) in header at pos 0x0000001c, sb_idx=3\n"});
}

// Hand-built streams decoded end to end (w_kernel 6: entropy decoding,
// reconstruction and clipping only), and bad input through the public
// interface from buffers of exactly the stream's size.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "api/QVXDecoder.h"
#include "codestream/header.h"
#include "api/error.h"
#include "entropy/reconstruct.h"
#include "entropy/subband_loop.h"
#include "entropy_test_streams.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"

using namespace qvx_test;

namespace {

// With w_kernel 6 and width 16 every subband is one column wide: subband s
// is output column s, and each coefficient is predicted from the one above.
std::vector<uint16_t> column_sums(const std::vector<std::vector<int>>& vals, unsigned height) {
    std::vector<uint16_t> out(16 * height);
    for (unsigned s = 0; s < 16; ++s) {
        int sum = 0;
        for (unsigned y = 0; y < height; ++y) {
            sum += vals[s][y];
            out[y * 16 + s] = uint16_t(std::clamp(sum, 0, 255));
        }
    }
    return out;
}

Words words_of(const RiceWriter& w, unsigned streams = 16) {
    Words out(64);
    for (unsigned s = 0; s < streams; ++s) out[s] = w.out[s].words();
    return out;
}

// Raw 16-bit codes: one word per value, independent of the statistics.
Words raw_words(const std::vector<std::vector<int>>& vals) {
    Words out(64);
    for (size_t s = 0; s < vals.size(); ++s)
        for (int v : vals[s]) out[s].push_back(zigzag(v));
    return out;
}

struct GolombFrame {
    std::vector<std::vector<int>> vals = std::vector<std::vector<int>>(16, std::vector<int>(4));
    RiceWriter w;
    GolombFrame() {
        for (unsigned s = 0; s < 16; ++s)
            for (unsigned y = 0; y < 4; ++y) vals[s][y] = int((s * 5 + y * 7) % 23) - 6;
        vals[3][1] = 300;  // raw escape, clipped in the output
        vals[7][2] = -40;
        for (unsigned y = 0; y < 4; ++y) {
            for (unsigned s = 0; s < 16; ++s) {
                if (s == 3 && y == 1) w.raw(s, vals[s][y]);
                else w.value(s, vals[s][y]);
            }
            w.stats.advance(0);
        }
    }
};

}  // namespace

TEST(EntropyDecode, GolombCodedFrame) {
    GolombFrame f;
    for (uint16_t version : {3, 7}) {
        HeaderFields h;
        h.version = version;
        const Bytes packet = version == 7 ? packet_v7(words_of(f.w), 1) : packet_v3(words_of(f.w), 1);
        const Decoded d = decode_exact(concat(build_header(h), packet));
        ASSERT_EQ(d.rc, 0) << d.error;
        EXPECT_EQ(d.samples, column_sums(f.vals, 4)) << version;
    }
}

TEST(EntropyDecode, ZeroRunsBetweenCodes) {
    // 40 positions. Stream 0: a run of 37 zeros, then three raw values.
    std::vector<std::vector<int>> vals(16, std::vector<int>(40));
    RiceWriter w;
    w.out[0].bits(0x00010005, 32);
    for (unsigned y = 0; y < 40; ++y) {
        if (y < 37) w.stats.halve(0);
        else w.raw(0, vals[0][y] = (y == 37 ? 100 : y == 38 ? -20 : 50));
        for (unsigned s = 1; s < 16; ++s) w.value(s, vals[s][y] = int((s + y) % 5) - 1);
        w.stats.advance(0);
    }
    HeaderFields h;
    h.height = 40;
    const Decoded d = decode_exact(concat(build_header(h), packet_v3(words_of(w), 1)));
    ASSERT_EQ(d.rc, 0) << d.error;
    EXPECT_EQ(d.samples, column_sums(vals, 40));
}

TEST(EntropyDecode, QuantiserOffsetsPerSubband) {
    // q = 8 from the table; subband s uses offset group s mod 4, byte 0.
    HeaderFields h;
    h.qp_table = {8};
    h.params[0][1 * 4] = 4;   // qq 4
    h.params[0][2 * 4] = 8;   // qq 0
    h.params[0][3 * 4] = 20;  // below 0: qq 0
    std::vector<std::vector<int>> vals(16, std::vector<int>(4));
    const int first[4] = {1, 3, 5, 9};
    for (unsigned s = 0; s < 16; ++s) vals[s][0] = first[s % 4];
    const Decoded d = decode_exact(concat(build_header(h), packet_v3(raw_words(vals), 1)));
    ASSERT_EQ(d.rc, 0) << d.error;
    const uint16_t expected[4] = {6, 7, 5, 9};
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned s = 0; s < 16; ++s) EXPECT_EQ(d.samples[y * 16 + s], expected[s % 4]) << s << "," << y;
}

TEST(EntropyDecode, PacketsConsumedAsTheirWordsAreRead) {
    // 64 positions of raw codes: 64 words per stream in four packets, each
    // taken when its dominant stream has read 16 words.
    std::vector<std::vector<int>> vals(16, std::vector<int>(64));
    for (unsigned s = 0; s < 16; ++s)
        for (unsigned y = 0; y < 64; ++y) vals[s][y] = (y % 3 == 0) ? int(s) : -int(s % 4);
    const Words all = raw_words(vals);
    Bytes packets;
    for (unsigned p = 0; p < 4; ++p) {
        Words part(64);
        for (unsigned s = 0; s < 16; ++s) part[s].assign(all[s].begin() + 16 * p, all[s].begin() + 16 * (p + 1));
        packets = concat(packets, packet_v3(part, 1));
    }
    HeaderFields h;
    h.height = 64;
    h.version = 6;
    const Decoded ok = decode_exact(concat(build_header(h), packets));
    ASSERT_EQ(ok.rc, 0) << ok.error;
    EXPECT_EQ(ok.samples, column_sums(vals, 64));

    // Without the fourth packet the stream runs out of packets.
    packets.resize(packets.size() - (12 + 16 * 16 * 4));
    const Decoded short_stream = decode_exact(concat(build_header(h), packets));
    EXPECT_EQ(short_stream.rc, 1);
    EXPECT_EQ(short_stream.error, "Missing subband data");
    EXPECT_TRUE(short_stream.samples.empty());
}

TEST(EntropyDecode, SubsampledChromaAlternates) {
    // Format 3, width 48 with w_kernel 6: sub-band width 3, so the chroma
    // phase changes from row to row.
    HeaderFields h;
    h.width = 48;
    h.component_format = 3;
    std::vector<std::vector<int>> vals(48);
    vals[32 + 5] = {11, 12, 13, 14, 15, 16};
    Words words = raw_words(vals);
    // Component 1, subband 0 is Rice coded: its K depends on the chroma
    // count, which advances only where chroma is decoded.
    const int cb[6] = {20, 2, 3, 4, 5, 6};
    RiceWriter w;
    bool alternate = true;
    for (unsigned p = 0, i = 0; p < 12; ++p, alternate = !alternate) {
        if (alternate) {
            w.value(16, cb[i++]);
            w.stats.advance(1);
        }
    }
    words[16] = w.out[16].words();
    const Bytes stream = concat(build_header(h), packet_v3(words, 3));

    using namespace Vantrel::QVX;
    std::vector<unsigned char> buf(stream.begin(), stream.end());
    mem_data in(buf.data(), buf.size());
    frame_state fs;
    {
        QVXDecoder dec(&fs, &in);
        read_header(in, fs);
        frame_setup(dec, fs.width, fs.height, fs.component_format, fs.bit_depth, fs, fs.stored_width);
        dec.lb.setup(fs);
        decodeSubbands(dec);
        EXPECT_EQ(dec.entropy, nullptr);
        EXPECT_EQ(dec.statistics, nullptr);
    }
    const image_memory& res = *fs.residual_store;
    auto chroma = [&](unsigned c, unsigned s) {
        std::vector<int> cells;
        for (unsigned y = 0; y < 4; ++y)
            for (unsigned x = 0; x < 3; ++x) cells.push_back(int16_t(res.getDat(uint8_t(c), uint8_t(s), uint16_t(x), uint16_t(y))));
        return cells;
    };
    // Row 0 decodes at x = 0, 2; row 1 at x = 1; row 2 at 0, 2; row 3 at 1.
    EXPECT_EQ(chroma(1, 0), (std::vector<int>{20, 2, 0, 3, 0, 0, 4, 5, 0, 6, 0, 0}));
    EXPECT_EQ(chroma(2, 5), (std::vector<int>{11, 12, 0, 13, 0, 0, 14, 15, 0, 16, 0, 0}));
    // (0,1) = above 11 + 13; (0,2) = 24 + 14. At (1,2) the unwritten (1,1)
    // reads 0: left 38, above 0, aboveleft 24 predict 38 + 0 - 24, plus 15.
    const image_memory& coef = *fs.coef_store;
    EXPECT_EQ(int16_t(coef.getDat(2, 5, 0, 1)), 24);
    EXPECT_EQ(int16_t(coef.getDat(2, 5, 1, 2)), 29);
    frame_release(fs);
}

TEST(EntropyBadInput, PacketProblemsEndInMissingSubbandData) {
    HeaderFields h;
    const Bytes header = build_header(h);
    Words one(64);
    for (unsigned s = 0; s < 16; ++s) one[s] = {0x80000000u};
    const Bytes good = packet_v3(one, 1);

    const Bytes truncated(good.begin(), good.begin() + 6);
    Bytes illegal = good;
    illegal[0] = 0x88;  // length 17 for stream 0
    Bytes too_long = good;
    too_long[0] = 0x80;  // 16 words for stream 0, one present
    for (const Bytes& packet : {truncated, illegal, too_long, Bytes{}}) {
        const Decoded d = decode_exact(concat(header, packet));
        EXPECT_EQ(d.rc, 1);
        EXPECT_EQ(d.error, "Missing subband data");
    }
    EXPECT_EQ(decode_exact(concat(header, good)).rc, 0);
}

TEST(EntropyBadInput, EmptyPacketsLastSixteenPositions) {
    // Empty streams read as raw zeros of 32 bits: the dominant stream 15
    // fills its packet after 16 positions.
    HeaderFields h;
    h.height = 16;
    const Bytes packet(12, 0);
    const Decoded ok = decode_exact(concat(build_header(h), packet));
    ASSERT_EQ(ok.rc, 0) << ok.error;
    EXPECT_EQ(ok.samples, std::vector<uint16_t>(256, 0));
    h.height = 20;
    const Decoded fail = decode_exact(concat(build_header(h), packet));
    EXPECT_EQ(fail.rc, 1);
    EXPECT_EQ(fail.error, "Missing subband data");
}

TEST(EntropyBadInput, DecodingErrors) {
    HeaderFields h;
    h.width = 32;  // sub-band width 2: the first MED sample is at (1, 1)
    h.pred_mode = 9;
    Decoded d = decode_exact(concat(build_header(h), Bytes(12, 0)));
    EXPECT_EQ(d.rc, 1);
    EXPECT_EQ(d.error, "Wrong prediction mode");

    // 14-bit raw codes of 0x3FFFF push stream 0's sum past what K can follow.
    HeaderFields h14;
    h14.bit_depth = 14;
    h14.height = 12;
    Words words(64);
    words[0] = {0x0003FFFF, 0x0003FFFF};
    d = decode_exact(concat(build_header(h14), packet_v3(words, 1)));
    EXPECT_EQ(d.rc, 1);
    EXPECT_EQ(d.error, "K overflow - fixme (encoder)!");

    words[0] = {0x0003FFFF, 0x40000000};  // K 16, then a code with one leading zero
    d = decode_exact(concat(build_header(h14), packet_v3(words, 1)));
    EXPECT_EQ(d.rc, 1);
    EXPECT_EQ(d.error, "entropy: merv_p:  65536 sb  0 k 16\n");
}

TEST(EntropyBadInput, KernelCheckedAfterEntropyDecoding) {
    HeaderFields h;
    h.w_kernel = 7;
    Decoded d = decode_exact(build_header(h));
    EXPECT_EQ(d.error, "Missing subband data");
    d = decode_exact(concat(build_header(h), Bytes(12, 0)));
    EXPECT_EQ(d.rc, 1);
    EXPECT_EQ(d.error, "internal error: default reached (w_kernel switch)");
}

TEST(EntropyBadInput, PoolWithoutBlockYieldsNoPredictionMemory) {
    using namespace Vantrel::QVX;
    frame_state fs;
    image_memory coef(16, 4, 1, 16, 2);
    fs.coef_store = &coef;
    fs.w_kernel = 6;
    QVXDecoder dec(&fs, nullptr);  // frame setup never ran: the pool has no block
    try {
        Reconstructor rec(dec, fs);
        FAIL() << "no error";
    } catch (const QvxError& e) {
        EXPECT_EQ(e.text(), "Error: Could not allocate memory");
    }
    fs.coef_store = nullptr;
}

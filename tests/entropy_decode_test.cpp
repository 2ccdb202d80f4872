// Bad input to the entropy stage: hand-built streams (w_kernel 6) decoded
// through the public interface from buffers of exactly the stream's size.
// Well-formed frames are covered by the encoder round trips; the 32-bit
// dequantisation of the row loops is checked against the 64-bit formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "base/error.h"
#include "codestream/header.h"
#include "entropy/dequantise.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "support/stream_bytes.h"

using namespace qvxtest;

namespace {

HeaderFields v3_header(uint16_t height = 4) {
    HeaderFields h;
    h.version = 3;
    h.mode_byte = 0x10;  // pred_mode 1
    h.height = height;
    return h;
}

// Streams decode in parallel; the message must be the one serial decoding
// meets first, whatever the thread count.
void expect_error(const Bytes& stream, const std::string& message) {
    for (unsigned threads : {1u, 3u}) {
        Vantrel::QVX::SimpleQvxDecoder dec;
        dec.setThreads(threads);
        const Decoded d = decode_exact(stream, &dec);
        EXPECT_EQ(d.rc, 1) << threads << " threads";
        EXPECT_EQ(d.error, message) << threads << " threads";
    }
}

}  // namespace

TEST(EntropyBadInput, PacketProblemsEndInMissingSubbandData) {
    const Bytes header = header_bytes(v3_header());
    Words one(64);
    for (unsigned s = 0; s < 16; ++s) one[s] = {0x80000000u};
    const Bytes good = packet_v3(one, 1);
    Bytes illegal = good, too_long = good;
    illegal[0] = 0x88;   // length 17 for stream 0
    too_long[0] = 0x80;  // 16 words for stream 0, one present
    for (const Bytes& packet : {Bytes(good.begin(), good.begin() + 6), illegal, too_long, Bytes{}})
        expect_error(concat(header, packet), "Missing subband data");
    EXPECT_EQ(decode_exact(concat(header, good)).rc, 0);

    // Empty streams read as raw zeros of 32 bits: the dominant stream 15
    // fills its packet after 16 positions.
    const Decoded ok = decode_exact(concat(header_bytes(v3_header(16)), Bytes(12, 0)));
    ASSERT_EQ(ok.rc, 0) << ok.error;
    EXPECT_EQ(ok.samples, std::vector<uint16_t>(256, 0));
    expect_error(concat(header_bytes(v3_header(20)), Bytes(12, 0)), "Missing subband data");
}

TEST(EntropyBadInput, DecodingErrors) {
    // 14-bit raw codes of 0x3FFFF push stream 0's sum past what K can follow.
    HeaderFields h14 = v3_header(12);
    h14.bit_depth = 14;
    Words words(64);
    words[0] = {0x0003FFFF, 0x0003FFFF};
    expect_error(concat(header_bytes(h14), packet_v3(words, 1)), "K overflow - fixme (encoder)!");

    // Stream 0 would overflow K at position 2, but the packet is cut short
    // and never ends: the step after position 0 fails first.
    words[1] = {0x80000000};
    Bytes cut = packet_v3(words, 1);
    cut.pop_back();
    expect_error(concat(header_bytes(h14), cut), "Missing subband data");
    // Stream 9 failing at position 1 (K 16, then a code with one leading
    // zero) comes before stream 0 failing at 2.
    words[1] = {};
    words[9] = {0x0003FFFF, 0x40000000};
    expect_error(concat(header_bytes(h14), packet_v3(words, 1)), "entropy: merv_p:  65536 sb  9 k 16\n");
}

// The coefficient planes are reused across calls without clearing: the
// entropy stage must define every cell whatever the planes held, on any
// thread count (4:2:2 chroma columns never decoded, odd subband widths,
// failing streams), over the whole regression corpus.
TEST(EntropyStage, EveryCoefficientCellDefinedWhateverThePlanesHeld) {
    using namespace Vantrel::QVX;
    struct Outcome {
        std::string error;
        std::vector<std::vector<uint16_t>> planes;
        bool operator==(const Outcome&) const = default;
    };
    auto run = [](std::vector<uint8_t> bytes, uint16_t fill, unsigned threads) {
        Outcome o;
        FrameState fs;
        mem_data in(bytes.data(), bytes.size(), 0);
        Demultiplexer streams;
        ImageMemory planes;
        try {
            read_header(in, fs);
            frame_setup(fs, planes);
            ImageMemory& coef = planes;
            for (unsigned c = 0; c < coef.num_components(); ++c) std::fill_n(coef.plane(c), coef.plane_size(), fill);
            decode_subbands(fs, coef, in, streams, threads);
            for (unsigned c = 0; c < coef.num_components(); ++c)
                o.planes.emplace_back(coef.plane(c), coef.plane(c) + coef.plane_size());
        } catch (const QvxError& e) {
            o.error = e.text();
        }
        return o;
    };
    unsigned streams = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QVX_SOURCE_DIR "/tests/regression/streams")) {
        std::ifstream f(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
        EXPECT_TRUE(run(bytes, 0, 1) == run(bytes, 0xA5C3, 3)) << entry.path();
        ++streams;
    }
    EXPECT_GT(streams, 100u);
}

// Large inputs are copied in runs of packets on several threads; the runs
// must give the words, packet list and input end of one walk, for every
// layout and for cut and damaged streams.
TEST(Demultiplexer, RunsCopiedApartEqualOneWalk) {
    using namespace Vantrel::QVX;
    unsigned split = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QVX_SOURCE_DIR "/tests/regression/streams")) {
        std::ifstream f(entry.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
        FrameState fs;
        mem_data in(bytes.data(), bytes.size(), 0);
        try {
            read_header(in, fs);
        } catch (const QvxError&) {
            continue;
        }
        Demultiplexer one;
        one.byte_swap = fs.version == 0;
        mem_data whole = in;
        one.parse(fs, whole);
        for (unsigned parts : {2u, 5u}) {
            Demultiplexer runs;
            runs.byte_swap = one.byte_swap;
            mem_data cut = in;
            runs.count(fs, cut, parts);
            split += runs.parts() > 1;
            for (size_t i = runs.parts(); i-- > 0;) runs.copy_part(fs, i);
            EXPECT_EQ(cut.bytes_read, whole.bytes_read) << entry.path();
            EXPECT_EQ(runs.dominant_list(), one.dominant_list()) << entry.path();
            for (unsigned s = 0; s < 64; ++s)
                EXPECT_TRUE(std::ranges::equal(runs.stream_words(s), one.stream_words(s))) << entry.path() << " " << s;
        }
    }
    EXPECT_GT(split, 100u);
}

// The row loops dequantise in 32-bit lanes; they must give what the
// 64-bit formula gives for every value at every index, including the
// shifts where the product no longer fits 32 bits and the left shifts.
TEST(Dequantise, LaneFormulaMatchesForEveryValueAndIndex) {
    using namespace Vantrel::QVX;
    for (int32_t qq = 0; qq <= 127; ++qq) {
        const DequantLane lane = dequant_lane(qq);
        int mismatches = 0;
        for (int32_t v = -32768; v <= 32767; ++v)
            mismatches += dequantise_lane(int16_t(v), lane) != dequantise(int16_t(v), qq, 0);
        EXPECT_EQ(mismatches, 0) << "qq " << qq;
    }
    // An index at or below the offset leaves the value as it is.
    EXPECT_EQ(dequantise_lane(-1234, dequant_lane(-5)), -1234);
}

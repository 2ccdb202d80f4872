// Line buffer and index pass: window lengths, the four-position index delay
// and packet header bits; the 32-bit dequantisation of the row loops.
#include <gtest/gtest.h>

#include <vector>

#include "base/error.h"
#include "entropy/dequantise.h"
#include "entropy/index_pass.h"
#include "entropy/line_buffer.h"
#include "support/errors.h"

using namespace Vantrel::QVX;
using qvxtest::error_of;

namespace {

// Dominant list stand-in: an endless packet whose dominant stream is 0.
struct OnePacket {
    int taken = 0;
    uint8_t peek() const { return 0; }
    uint8_t next() {
        ++taken;
        return 0;
    }
};

FrameState rc_state(int16_t window, uint16_t drain, std::vector<int8_t> table) {
    FrameState fs;
    fs.width = 64;
    fs.num_components = 1;
    fs.rc_window = window;
    fs.rc_drain = drain;
    fs.buffer_size = 1024;
    fs.version = 5;
    fs.qp_count = uint16_t(table.size());
    for (size_t i = 0; i < table.size(); ++i) fs.qp_table[i] = table[i];
    return fs;
}

}  // namespace

TEST(LineBuffer, WindowLengthsIndexDelayAndFillLevel) {
    // rc_window -2 at width 64: windows of 8 positions; a base computed
    // after position p is used from position p + 4.
    FrameState fs = rc_state(-2, 0, {5, 9, 13});
    LineBuffer lb;
    lb.setup(fs);
    OnePacket dom;
    for (int p = 0; p < 30; ++p) {
        EXPECT_EQ(lb.qt_index(), p < 11 ? 5 : p < 19 ? 9 : p < 27 ? 13 : 0) << "position " << p;
        lb.step(fs, dom);
    }
    fs = rc_state(4, 0, {1, 2});  // window of 16: switches after position 15, used from 19
    LineBuffer lb16;
    lb16.setup(fs);
    for (int p = 0; p < 18; ++p) lb16.step(fs, dom);
    EXPECT_EQ(lb16.qt_index(), 1);
    lb16.step(fs, dom);
    EXPECT_EQ(lb16.qt_index(), 2);

    // The fill level drives the curve and never drops below empty.
    fs = rc_state(4, 10, {20});
    fs.fill_level = 512;
    LineBuffer lb2;
    lb2.setup(fs);
    lb2.add_bits(266);  // 778 - 10 = 768 after the step: index 25, four steps later
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lb2.qt_index(), 20);
        lb2.step(fs, dom);
        lb2.add_bits(10);
    }
    EXPECT_EQ(lb2.qt_index(), 25);
    lb2.fill_level = 5;
    lb2.step(fs, dom);
    EXPECT_EQ(lb2.fill_level, 0);  // never below empty
}

TEST(LineBuffer, PacketHeaderBitsAtOnceBeforeVersion6) {
    for (uint16_t version : {5, 6}) {
        FrameState fs = rc_state(4, 10, {20});
        fs.version = version;
        fs.num_components = 3;
        fs.fill_level = 1000;
        LineBuffer lb;
        lb.setup(fs);
        lb.sb_fill[0] = 544;
        lb.sb_fill[1] = 96;
        lb.sb_fill[47] = 16;
        lb.sb_fill[48] = 64;  // beyond 16 * num_components: untouched
        OnePacket dom;
        lb.step(fs, dom);
        EXPECT_EQ(dom.taken, 1);
        EXPECT_EQ(lb.packet_done, 0);
        EXPECT_EQ((std::vector<int>{lb.sb_fill[0], lb.sb_fill[1], lb.sb_fill[47], lb.sb_fill[48]}),
                  (std::vector<int>{32, 0, 16, 64}));
        EXPECT_EQ(lb.fill_level, version == 5 ? 1000 + 288 - 10 : 990);
        lb.step(fs, dom);
        EXPECT_EQ(lb.fill_level, version == 5 ? 1268 : 990 + 288 - 10);
        EXPECT_EQ(dom.taken, 1);
    }
}

TEST(IndexPass, PacketEndsFromCrossingsAndMissingSubbandData) {
    // Stream 15 completes 16 words by position 15. Stream 3 is decoded at
    // every other position: its 8 crossings before that packet end are
    // dropped with it, and its 16 later ones complete the next packet at
    // position 46. Position 47 finds no packet left.
    FrameState fs = rc_state(4, 0, {1, 2, 3, 4});
    std::vector<uint32_t> s15(16), s3(24);
    for (uint32_t k = 0; k < 16; ++k) s15[k] = k;
    for (uint32_t k = 0; k < 24; ++k) s3[k] = k;
    StreamCrossings crossings[64];
    crossings[15] = {s15, 0};
    crossings[3] = {s3, 1};
    const std::vector<uint8_t> dominant = {15, 3};
    auto run = [&](uint32_t steps, std::vector<int8_t>& q) {
        LineBuffer lb;
        lb.setup(fs);
        q.assign(steps, -1);
        run_index_pass(lb, fs, dominant, nullptr, crossings, steps, q.data());
        return lb;
    };
    std::vector<int8_t> q;
    const LineBuffer lb = run(47, q);
    EXPECT_EQ(lb.sb_fill[3], 0);
    EXPECT_EQ(lb.sb_fill[15], 0);
    // Windows of 16 positions; an index is used four positions after it is made.
    EXPECT_EQ((std::vector<int>{q[0], q[18], q[19], q[34], q[35], q[46]}), (std::vector<int>{1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(error_of([&] { run(48, q); }), "Missing subband data");
    // Decoded at every position, stream 3 has 16 crossings by position 15,
    // all dropped with the first packet, and too few after it.
    crossings[3].shift = 0;
    EXPECT_EQ(error_of([&] { run(48, q); }), "(no error)");

    // With rate control on, the bits of each position fill the buffer.
    fs = rc_state(4, 10, {20});
    LineBuffer lb2;
    lb2.setup(fs);
    const uint32_t bits[5] = {522, 10, 10, 10, 10};
    std::vector<int8_t> q2(5);
    const std::vector<uint8_t> endless(1, 0);
    run_index_pass(lb2, fs, endless, bits, crossings, 5, q2.data());
    EXPECT_EQ(lb2.fill_level, 512);
    EXPECT_EQ(q2[3], 0);  // the set-up index of an empty buffer
    EXPECT_EQ(q2[4], 20);
}

// The row loops dequantise in 32-bit lanes; they must give what the
// 64-bit formula gives for every value at every index, including the
// shifts where the product no longer fits 32 bits and the left shifts.
TEST(Dequantise, LaneFormulaMatchesForEveryValueAndIndex) {
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

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/errors.h"
#include "support/frames.h"
#include "support/stream_bytes.h"
#include "support/temp_file.h"

using namespace Vantrel::QVX;
using qvxtest::WriterRig;
using Words = std::vector<uint16_t>;

namespace {

// Writes and returns the mosaic of `count` words; what the writer prints
// goes to *out. Checks the written size and that the tail stays zero.
Words mosaic(WriterRig& rig, size_t count, std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    const auto bytes = rig.write();
    const std::string text = testing::internal::GetCapturedStdout();
    if (out) *out = text;
    EXPECT_EQ(rig.written, count * 2);
    for (size_t i = count * 2; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << "tail byte " << i;
    return qvxtest::words_of(bytes, count);
}

}  // namespace

TEST(BayerWriterTest, QuarterPlanesAndGreenPairs) {
    WriterRig quarter(2, 2, 4, 8, 1);
    const int value[4] = {10, 40, 30, 20};
    for (unsigned c = 0; c < 4; ++c) quarter.fill(c, value[c]);
    EXPECT_EQ(mosaic(quarter, 16), (Words{10, 20, 10, 20, 30, 40, 30, 40, 10, 20, 10, 20, 30, 40, 30, 40}));

    for (uint8_t param = 0; param < 5; ++param) {
        WriterRig rig(4, 1, 3, 8, 2, param);  // 4 x 2 mosaic in a 3 x 4 word buffer
        for (unsigned x = 0; x < 4; ++x) rig.set(0, x, 0, int(0x0100 + x));
        rig.set(1, 0, 0, -2);
        rig.set(1, 1, 0, 2);
        rig.set(2, 0, 0, 0x8001);
        rig.set(2, 1, 0, 4);
        const Words m = mosaic(rig, 8);
        if (param == 4)  // unknown arrangement: nothing placed
            EXPECT_EQ(m, Words(8, 0));
        else if (param == 1 || param == 3)  // greens top-left and bottom-right
            EXPECT_EQ(m, (Words{0x100, 0xFFFE, 0x102, 2, 0x8001, 0x101, 4, 0x103})) << int(param);
        else
            EXPECT_EQ(m, (Words{0xFFFE, 0x101, 2, 0x103, 0x100, 0x8001, 0x102, 4})) << int(param);
    }

    WriterRig strips(336, 1, 3, 12, 5, 0, 0, 1000);  // mode 5: strips of 336, 336 and 328
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned x = 0; x < 336; ++x) strips.set(c, x, 0, int(c * 1000 + x));
    const Words m = mosaic(strips, 1000);
    EXPECT_EQ((Words{m[0], m[335], m[336], m[671], m[672], m[999]}), (Words{0, 335, 1000, 1335, 2000, 2327}));
}

TEST(BayerWriterTest, WaveletModes) {
    for (uint8_t mode : {3, 4}) {  // mosaic depth 8: offsets 512 and 128, then limits
        WriterRig rig(2, 2, 4, 10, mode);
        for (unsigned c = 0; c < 4; ++c) rig.fill(c, 512);
        rig.set(0, 0, 0, 512 + 300);
        rig.set(0, 1, 1, 512 - 300);
        std::string out;
        const Words m = mosaic(rig, 16, &out);
        EXPECT_EQ((Words{m[0], m[1], m[2], m[3], m[15]}), (Words{255, 255, 128, 128, 0})) << int(mode);
        EXPECT_EQ(out, mode == 4 ? "max nach invHaar: 255\nmin nach inv3Haar: 0\n" : "");
    }
    // Haar: low-low 10, horizontal high 3 give 10 - 2 = 8 and 8 + 3 = 11.
    WriterRig haar(1, 1, 4, 10, 4);
    const int cell[4] = {522, 515, 512, 512};
    for (unsigned c = 0; c < 4; ++c) haar.fill(c, cell[c]);
    std::string out;
    EXPECT_EQ(mosaic(haar, 4, &out), (Words{136, 139, 136, 139}));
    EXPECT_EQ(out, "max nach invHaar: 139\nmin nach inv3Haar: 136\n");

    // 5/3 row with mirrored edges. Even: 40 - (6+6+2 >> 2) = 37, -8 - (-2 >> 2)
    // = -7, 16 - (-5 >> 2) = 18, 4 - 3 = 1. Odd: 6 + (37-7+1 >> 1) = 21, -10 + 6
    // = -4, 3 + (18+1+1 >> 1) = 13, 9 + (1+1+1 >> 1) = 10. Both rows equal, plus 128.
    WriterRig lift(4, 1, 4, 10, 3);
    const int low[4] = {40, -8, 16, 4}, high[4] = {6, -10, 3, 9};
    for (unsigned i = 0; i < 4; ++i) {
        lift.set(0, i, 0, 512 + low[i]);
        lift.set(1, i, 0, 512 + high[i]);
        lift.set(2, i, 0, 512);
        lift.set(3, i, 0, 512);
    }
    const Words row = {165, 149, 121, 124, 146, 141, 129, 138};
    Words expected = row;
    expected.insert(expected.end(), row.begin(), row.end());
    EXPECT_EQ(mosaic(lift, 16), expected);
}

TEST(BayerWriterTest, GreenDifferenceAndToneTable) {
    WriterRig rig(1, 1, 4, 10, 1, 0, 7);  // ct_mode 7: R G / G B, mosaic depth 8
    const int cell[4] = {50, 70, 266, 90};  // second green coded as 100 - 90 + 256
    for (unsigned c = 0; c < 4; ++c) rig.fill(c, cell[c]);
    EXPECT_EQ(mosaic(rig, 4), (Words{50, 90, 100, 70}));

    // Entry i = i | 0xFF turns v into v + 1 with shift 8 (the mosaic depth);
    // shift 6 (the coded depth 10) would give v + 4.
    qvxtest::TempFile lut(qvxtest::lut_text([](unsigned i) { return i | 0xFFu; }));
    WriterRig toned(2, 2, 4, 10, 3);
    for (unsigned c = 0; c < 4; ++c) toned.fill(c, 512);
    toned.fs.lut_used = 1;
    toned.fs.lut_path = lut.path().c_str();
    std::string out;
    EXPECT_EQ(mosaic(toned, 16, &out), Words(16, 129));
    EXPECT_EQ(out, "read \" " + lut.path() + " \" as lut!\n");
}

TEST(BayerWriterTest, TooFewComponentsRaiseAfterTheConversions) {
    const std::string message = "Error: Bayer mode needs more components than the stream carries";
    for (auto [mode, nc] : {std::pair{1, 3}, {3, 3}, {4, 1}, {2, 1}, {5, 1}}) {
        WriterRig rig(12, 4, unsigned(nc), 12, uint8_t(mode), 0, 8);
        EXPECT_EQ(qvxtest::error_of([&] { rig.write(); }), message) << "mode " << mode;
        EXPECT_EQ(rig.fs.bit_depth, 12) << mode;  // the writer leaves the header as read
    }
    qvxtest::HeaderFields h;
    h.component_format = 2;
    h.bayer_mode = 1;
    h.width = h.height = 16;
    const qvxtest::Decoded d = qvxtest::decode_exact(qvxtest::concat(qvxtest::header_bytes(h), qvxtest::Bytes(64, 0)));
    EXPECT_EQ(d.rc, 1);
    EXPECT_EQ(d.error, message);
}

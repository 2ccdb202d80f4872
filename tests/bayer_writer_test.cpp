#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "api/error.h"
#include "bayer_support.h"

using namespace Vantrel::QVX;
using bayer_test::WriterRig;
using bayer_test::words_of;
using Words = std::vector<uint16_t>;

namespace {

// Writes and returns the W x H mosaic; what the writer prints goes to *out.
Words mosaic(WriterRig& rig, size_t count, std::string* out = nullptr) {
    testing::internal::CaptureStdout();
    const auto bytes = rig.write();
    const std::string text = testing::internal::GetCapturedStdout();
    if (out) *out = text;
    EXPECT_EQ(rig.written, count * 2);
    for (size_t i = count * 2; i < bytes.size(); ++i) EXPECT_EQ(bytes[i], 0) << "tail byte " << i;
    return words_of(bytes, count);
}

}  // namespace

TEST(BayerWriterTest, QuarterPlanesFillTheirCellSites) {
    WriterRig rig(2, 2, 4, 8, 1);
    const int value[4] = {10, 40, 30, 20};
    for (unsigned c = 0; c < 4; ++c) rig.fill(c, value[c]);
    EXPECT_EQ(mosaic(rig, 16), (Words{10, 20, 10, 20, 30, 40, 30, 40, 10, 20, 10, 20, 30, 40, 30, 40}));
}

TEST(BayerWriterTest, GreenPairArrangementsAndBigEndianLowBits) {
    for (uint8_t param = 0; param < 4; ++param) {
        WriterRig rig(4, 1, 3, 8, 2, param);  // 4 x 2 mosaic in a 3 x 4 word buffer
        for (unsigned x = 0; x < 4; ++x) rig.set(0, x, 0, int(0x0100 + x));
        rig.set(1, 0, 0, -2);
        rig.set(1, 1, 0, 2);
        rig.set(2, 0, 0, 0x8001);
        rig.set(2, 1, 0, 4);
        const Words m = mosaic(rig, 8);
        if (param == 1 || param == 3)  // greens top-left and bottom-right
            EXPECT_EQ(m, (Words{0x100, 0xFFFE, 0x102, 2, 0x8001, 0x101, 4, 0x103})) << int(param);
        else
            EXPECT_EQ(m, (Words{0xFFFE, 0x101, 2, 0x103, 0x100, 0x8001, 0x102, 4})) << int(param);
    }
    WriterRig rig(4, 1, 3, 8, 2, 1);
    rig.set(0, 0, 0, 0x0102);
    const auto bytes = rig.write();
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x02);
}

TEST(BayerWriterTest, GreenPairWithUnknownArrangementGivesZeroMosaic) {
    WriterRig rig(4, 2, 3, 8, 2, 4);
    for (unsigned c = 0; c < 3; ++c) rig.fill(c, 77);
    EXPECT_EQ(mosaic(rig, 16), Words(16, 0));
}

TEST(BayerWriterTest, StripsComeFromThreeComponents) {
    WriterRig rig(336, 1, 3, 12, 5, 0, 0, 1000);  // strips of 336, 336 and 328
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned x = 0; x < 336; ++x) rig.set(c, x, 0, int(c * 1000 + x));
    const Words m = mosaic(rig, 1000);
    EXPECT_EQ((Words{m[0], m[335], m[336], m[671], m[672], m[999]}), (Words{0, 335, 1000, 1335, 2000, 2327}));
}

TEST(BayerWriterTest, WaveletModesRemoveOffsetsAndLimit) {
    for (uint8_t mode : {3, 4}) {
        WriterRig rig(2, 2, 4, 10, mode);  // mosaic depth 8: offsets 512 and 128
        for (unsigned c = 0; c < 4; ++c) rig.fill(c, 512);
        rig.set(0, 0, 0, 512 + 300);
        rig.set(0, 1, 1, 512 - 300);
        std::string out;
        const Words m = mosaic(rig, 16, &out);
        EXPECT_EQ(rig.fs.bit_depth, 8);
        EXPECT_EQ((Words{m[0], m[1], m[2], m[3], m[15]}), (Words{255, 255, 128, 128, 0})) << int(mode);
        EXPECT_EQ(out, mode == 4 ? "max nach invHaar: 255\nmin nach inv3Haar: 0\n" : "");
    }
}

TEST(BayerWriterTest, HaarCellAndItsPrintedRange) {
    WriterRig rig(1, 1, 4, 10, 4);
    rig.fill(0, 522);  // low-low 10
    rig.fill(1, 515);  // horizontal high-pass 3
    rig.fill(2, 512);
    rig.fill(3, 512);
    std::string out;
    // Horizontal: 10 - 2 = 8 and 8 + 3 = 11; the vertical step keeps them.
    EXPECT_EQ(mosaic(rig, 4, &out), (Words{136, 139, 136, 139}));
    EXPECT_EQ(out, "max nach invHaar: 139\nmin nach inv3Haar: 136\n");
}

TEST(BayerWriterTest, FiveThreeLiftingRowWithMirroredEdges) {
    WriterRig rig(4, 1, 4, 10, 3);
    const int low[4] = {40, -8, 16, 4}, high[4] = {6, -10, 3, 9};
    for (unsigned i = 0; i < 4; ++i) {
        rig.set(0, i, 0, 512 + low[i]);
        rig.set(1, i, 0, 512 + high[i]);
        rig.set(2, i, 0, 512);
        rig.set(3, i, 0, 512);
    }
    // Even: 40 - (6+6+2 >> 2) = 37, -8 - (-2 >> 2) = -7, 16 - (-5 >> 2) = 18, 4 - 3 = 1.
    // Odd: 6 + (37-7+1 >> 1) = 21, -10 + 6 = -4, 3 + (18+1+1 >> 1) = 13, 9 + (1+1+1 >> 1) = 10.
    // Vertical high-pass 0: both rows equal. Plus 128.
    const Words row = {165, 149, 121, 124, 146, 141, 129, 138};
    Words expected = row;
    expected.insert(expected.end(), row.begin(), row.end());
    EXPECT_EQ(mosaic(rig, 16), expected);
}

TEST(BayerWriterTest, GreenDifferenceFromCtModeSeven) {
    WriterRig rig(1, 1, 4, 10, 1, 0, 7);  // R G / G B, mosaic depth 8
    rig.fill(0, 50);   // (0,0) red
    rig.fill(3, 90);   // (1,0) first green
    rig.fill(2, 266);  // (0,1) second green, coded as 100 - 90 + 256
    rig.fill(1, 70);   // (1,1) blue
    EXPECT_EQ(mosaic(rig, 4), (Words{50, 90, 100, 70}));
    EXPECT_EQ(rig.fs.ct_index, 2u);
}

TEST(BayerWriterTest, ToneTableUsesTheMosaicDepth) {
    // Entry i = i | 0xFF turns v into v + 1 with shift 8 (mosaic depth 8);
    // shift 6 (coded depth 10) would give v + 4.
    const std::string path = testing::TempDir() + "bayer_lut_or_ff.txt";
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    for (unsigned i = 0; i < 65536; ++i) std::fprintf(f, "%u %u 0 0\n", i, i | 0xFFu);
    std::fclose(f);
    WriterRig rig(2, 2, 4, 10, 3);
    for (unsigned c = 0; c < 4; ++c) rig.fill(c, 512);
    rig.fs.lut_used = 1;
    rig.fs.lut_path = path.c_str();
    std::string out;
    EXPECT_EQ(mosaic(rig, 16, &out), Words(16, 129));
    EXPECT_EQ(out, "read \" " + path + " \" as lut!\n");
    std::remove(path.c_str());
}

TEST(BayerWriterTest, TooFewComponentsRaiseAfterTheConversions) {
    for (auto [mode, nc] : {std::pair{1, 3}, {3, 3}, {4, 1}, {2, 1}, {5, 1}}) {
        WriterRig rig(12, 4, unsigned(nc), 12, uint8_t(mode), 0, 8);
        try {
            rig.write();
            ADD_FAILURE() << "mode " << mode << " accepted " << nc << " components";
        } catch (const QvxError& e) {
            EXPECT_EQ(e.text(), "Error: Bayer mode needs more components than the stream carries");
        }
        EXPECT_EQ(rig.fs.ct_index, 3u);
        EXPECT_EQ(rig.fs.bit_depth, (mode == 3 || mode == 4) ? 8 : 10) << mode;
    }
    // An unsupported mode ends the process in the width conversion first.
    const auto r = bayer_test::run_in_child([] { WriterRig(4, 4, 1, 8, 6).write(); });
    EXPECT_EQ(r, std::make_pair(1, std::string("Bayermode not specified in Width-calculation\n")));
}

TEST(BayerWriterTest, DecodeRejectsTooFewComponents) {
    // Version 7, 16 x 16, three components, w_kernel 6, bayer_mode 1.
    std::vector<unsigned char> s = {0x56, 0x51, 0xFF, 0xFF, 7, 0, 16, 0, 0, 0, 16, 0, 16, 0, 0, 2, 0, 8, 20, 0, 0, 0};
    s.resize(26, 0);
    s.insert(s.end(), {6, 0, 0, 1, 0});  // w_kernel, qp_count, bayer_mode, bayer_param
    s.resize(s.size() + 48 + 2 + 3 + 64, 0);  // component blocks, reserved word, padding, data
    SimpleQvxDecoder dec;
    mem_data in(s.data(), s.size());
    mem_data* out = nullptr;
    const int rc = dec.decode(&in, &out);
    const std::string err = dec.lastError();
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(err, "Error: Bayer mode needs more components than the stream carries");
}

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/image_memory.h"
#include "output/fileio.h"
#include "output/lut.h"
#include "support/temp_file.h"

using namespace Vantrel::QVX;
using qvxtest::TempFile;
using qvxtest::lut_text;

namespace {

TEST(Lut, MappingRoundsTiesDown) {
    std::vector<uint32_t> table(65536);
    for (uint32_t i = 0; i < 65536; ++i) table[i] = i;
    EXPECT_EQ(apply_lut(table.data(), 4, 100), 100);  // identity at 12 bits
    table[1600] = 4736 * 16 / 256;                      // unrelated slot check below
    table[100 << 8] = 4736;                             // 18.5 * 256
    EXPECT_EQ(apply_lut(table.data(), 8, 100), 18);
    table[100 << 8] = 4737;
    EXPECT_EQ(apply_lut(table.data(), 8, 100), 19);
    table[0] = 65535 + 0x10000;  // only the low 16 bits count
    EXPECT_EQ(apply_lut(table.data(), 8, 0), 256);  // not limited to 8 bits
    table[(300 << 8) & 0xFFFF] = 512;                 // index wraps within 16 bits
    EXPECT_EQ(apply_lut(table.data(), 8, 300), 2);
}

TEST(Lut, FileRecordsFillEntriesInOrder) {
    frame_state fs;
    auto codec = std::make_unique<QVXCodec>(&fs);
    codec->lut_table[20] = 999;
    TempFile file("0 5 0 0\n1 -1 7 7   2 4294967297 0 0\n3 +8 -2 -3\n4 9 1\n");
    testing::internal::CaptureStdout();
    read_lut(*codec, file.path().c_str());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read \" " + file.path() + " \" as lut!\n");
    EXPECT_EQ(codec->lut_table[0], 5u);
    EXPECT_EQ(codec->lut_table[1], 0xFFFFFFFFu);  // taken modulo 2^32
    EXPECT_EQ(codec->lut_table[2], 1u);
    EXPECT_EQ(codec->lut_table[3], 8u);
    // Record 4 ends with the file: incomplete, so it fills nothing.
    EXPECT_EQ(codec->lut_table[4], 0u);
    EXPECT_EQ(codec->lut_table[20], 999u);
}

TEST(Lut, ForeignRecordStopsReading) {
    frame_state fs;
    auto codec = std::make_unique<QVXCodec>(&fs);
    TempFile file("0 1 0 0\n1 x 0 0\n2 3 0 0\n");
    testing::internal::CaptureStdout();
    read_lut(*codec, file.path().c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(codec->lut_table[0], 1u);
    EXPECT_EQ(codec->lut_table[2], 0u);
}

TEST(Lut, MissingFile) {
    frame_state fs;
    auto codec = std::make_unique<QVXCodec>(&fs);
    testing::internal::CaptureStdout();
    try {
        read_lut(*codec, "/nonexistent/qvx.lut");
        FAIL();
    } catch (const QvxError& e) {
        EXPECT_EQ(e.text(), "LUT not found!");
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "read \" /nonexistent/qvx.lut \" as lut!\n");
}

// A frame_state with an out_store of the given geometry, samples (c, x, y)
// set to c * 1000 + y * width + x.
struct OutFrame {
    frame_state fs;
    std::unique_ptr<QVXCodec> codec = std::make_unique<QVXCodec>(&fs);
    OutFrame(uint16_t w, uint16_t h, uint8_t nc) {
        fs.width = w;
        fs.height = h;
        fs.num_components = nc;
        fs.bit_depth = 12;
        fs.out_store = new image_memory(w, h, nc, 1, 0);
        for (unsigned c = 0; c < nc; ++c)
            for (unsigned y = 0; y < h; ++y)
                for (unsigned x = 0; x < w; ++x) fs.out_store->at(c, x, y) = uint16_t(c * 1000 + y * w + x);
    }
    ~OutFrame() { delete fs.out_store; }
};

uint16_t word_at(const std::vector<uint8_t>& b, size_t i) { return uint16_t(b[2 * i] << 8 | b[2 * i + 1]); }

TEST(Writers, PlanarAndInterleavedLayouts) {
    OutFrame f(4, 4, 3);
    std::vector<uint8_t> planar(96), inter(96);
    EXPECT_EQ(write_frame(*f.codec, planar.data(), f.fs, false), 96u);
    write_frame(*f.codec, inter.data(), f.fs, true);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(word_at(planar, i), i);
    EXPECT_EQ(word_at(planar, 16), 1000);
    EXPECT_EQ(word_at(planar, 47), 2015);
    const uint16_t first[] = {0, 1000, 2000, 1, 1001, 2001};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(word_at(inter, i), first[i]);
    EXPECT_EQ(word_at(inter, 47), 2015);
}

TEST(Writers, SamplesLeaveHighByteFirst) {
    OutFrame f(4, 4, 1);
    f.fs.out_store->at(0, 0, 0) = 0x0102;
    std::vector<uint8_t> out(32);
    write_frame(*f.codec, out.data(), f.fs, false);
    EXPECT_EQ(out[0], 0x01);
    EXPECT_EQ(out[1], 0x02);
}

TEST(Writers, SubsampledPairsCbYCrY) {
    OutFrame f(4, 4, 3);
    std::vector<uint8_t> out(96, 0);
    EXPECT_EQ(write_subsampled(out.data(), f.fs), 64u);
    // Row 1: Cb(0) Y(0) Cr(0) Y(1) Cb(1) Y(2) Cr(1) Y(3), chroma from columns 0 and 1.
    const uint16_t row1[] = {1004, 4, 2004, 5, 1005, 6, 2005, 7};
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(word_at(out, 8 + i), row1[i]);
    for (size_t i = 64; i < 96; ++i) EXPECT_EQ(out[i], 0);  // the tail is left alone
}

TEST(Writers, SubsampledNeedsThreeComponents) {
    OutFrame f(4, 4, 4);
    std::vector<uint8_t> out(128);
    try {
        write_subsampled(out.data(), f.fs);
        FAIL();
    } catch (const QvxError& e) {
        EXPECT_EQ(e.text(), "ERROR: load_frame() - fileio: only 3 components with color subsampling implemented!");
    }
}

TEST(Writers, FrameWriterAppliesTheToneTable) {
    OutFrame f(4, 4, 1);
    TempFile file(lut_text([](unsigned i) { return 65535u - i; }));
    f.fs.lut_used = 1;
    f.fs.lut_path = file.path().c_str();
    std::vector<uint8_t> out(32);
    testing::internal::CaptureStdout();
    write_frame(*f.codec, out.data(), f.fs, false);
    testing::internal::GetCapturedStdout();
    // 12-bit sample 5: index 80, entry 65455, (65455 + 7) >> 4 = 4091.
    EXPECT_EQ(word_at(out, 5), 4091);
}

}  // namespace

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "output/fileio.h"
#include "output/lut.h"
#include "support/errors.h"
#include "support/frames.h"
#include "support/temp_file.h"

using namespace Vantrel::QVX;
using qvxtest::TempFile;
using Words = std::vector<uint16_t>;

namespace {

// Planes whose sample (c, x, y) is c * 1000 + y * w + x.
struct OutFrame : qvxtest::WriterRig {
    OutFrame(uint16_t w, uint16_t h, uint8_t nc) : WriterRig(w, h, nc, 12, 0) {
        for (unsigned c = 0; c < nc; ++c)
            for (unsigned i = 0; i < unsigned(w * h); ++i) planes.plane(c)[i] = uint16_t(c * 1000 + i);
    }
    // What read_lut prints, or its error text.
    std::string read_lut(const std::string& path) {
        testing::internal::CaptureStdout();
        const std::string error = qvxtest::error_of([&] { Vantrel::QVX::read_lut(*codec, path.c_str()); });
        const std::string printed = testing::internal::GetCapturedStdout();
        return error == "(no error)" ? printed : error;
    }
};

Words words(const std::vector<uint8_t>& b, size_t first, size_t n) {
    Words w;
    for (size_t i = first; i < first + n; ++i) w.push_back(uint16_t(b[2 * i] << 8 | b[2 * i + 1]));
    return w;
}

}  // namespace

TEST(Lut, MappingAndFileRecords) {
    std::vector<uint32_t> table(65536);
    for (uint32_t i = 0; i < 65536; ++i) table[i] = i;
    EXPECT_EQ(apply_lut(table.data(), 4, 100), 100);  // identity at 12 bits
    table[100 << 8] = 4736;                             // 18.5 * 256: ties round down
    EXPECT_EQ(apply_lut(table.data(), 8, 100), 18);
    table[100 << 8] = 4737;
    EXPECT_EQ(apply_lut(table.data(), 8, 100), 19);
    table[0] = 65535 + 0x10000;  // only the low 16 bits count, not limited to 8 bits
    EXPECT_EQ(apply_lut(table.data(), 8, 0), 256);
    table[(300 << 8) & 0xFFFF] = 512;  // the index wraps within 16 bits
    EXPECT_EQ(apply_lut(table.data(), 8, 300), 2);

    OutFrame f(4, 4, 1);
    TempFile file("0 5 0 0\n1 -1 7 7   2 4294967297 0 0\n3 +8 -2 -3\n4 9 1\n");
    EXPECT_EQ(f.read_lut(file.path()), "read \" " + file.path() + " \" as lut!\n");
    // Values are taken modulo 2^32; record 4 ends with the file, so it fills nothing.
    EXPECT_EQ((std::vector<uint32_t>(f.codec->lut_table.get(), f.codec->lut_table.get() + 5)),
              (std::vector<uint32_t>{5, 0xFFFFFFFFu, 1, 8, 0}));
    EXPECT_EQ(f.codec->lut_table[20], 0u);
    // A second read in the same call keeps what the first left past its records.
    f.codec->lut_table[20] = 999;
    TempFile foreign("0 1 0 0\n1 x 0 0\n2 3 0 0\n");  // a foreign record stops reading
    f.read_lut(foreign.path());
    EXPECT_EQ(f.codec->lut_table[0], 1u);
    EXPECT_EQ(f.codec->lut_table[2], 1u);
    EXPECT_EQ(f.codec->lut_table[20], 999u);
    EXPECT_EQ(f.read_lut("/nonexistent/qvx.lut"), "LUT not found!");
}

TEST(Writers, LayoutsAndToneTable) {
    OutFrame f(4, 4, 3);
    std::vector<uint8_t> planar(96), inter(96), sub(96, 0);
    EXPECT_EQ(write_frame(*f.codec, planar.data(), f.fs, false), 96u);
    write_frame(*f.codec, inter.data(), f.fs, true);
    EXPECT_EQ(words(planar, 14, 4), (Words{14, 15, 1000, 1001}));
    EXPECT_EQ(words(inter, 0, 6), (Words{0, 1000, 2000, 1, 1001, 2001}));
    EXPECT_EQ(words(inter, 47, 1), Words{2015});
    // 4:2:2 pairs Cb Y Cr Y, chroma from columns 0 and 1; the tail is left alone.
    EXPECT_EQ(write_subsampled(sub.data(), f.fs), 64u);
    EXPECT_EQ(words(sub, 8, 8), (Words{1004, 4, 2004, 5, 1005, 6, 2005, 7}));
    EXPECT_EQ(words(sub, 32, 16), Words(16, 0));
    OutFrame four(4, 4, 4);
    std::vector<uint8_t> big(128);
    EXPECT_EQ(qvxtest::error_of([&] { write_subsampled(big.data(), four.fs); }),
              "ERROR: load_frame() - fileio: only 3 components with color subsampling implemented!");

    TempFile file(qvxtest::lut_text([](unsigned i) { return 65535u - i; }));
    f.fs.lut_used = 1;
    f.fs.lut_path = file.path().c_str();
    testing::internal::CaptureStdout();
    write_frame(*f.codec, planar.data(), f.fs, false);
    testing::internal::GetCapturedStdout();
    // 12-bit 5: index 80, entry 65455, (65455 + 7) >> 4 = 4091, high byte first.
    EXPECT_EQ(words(planar, 5, 1), Words{4091});
}

#include <gtest/gtest.h>

#include <vector>

#include "output/lut.h"
#include "base/error.h"
#include "support/temp_file.h"

using namespace Vantrel::QVX;
using qvxtest::temp_file;

namespace {

// A tone table read through read_lut.
struct Table {
    ToneTable table;
    // What read_lut prints, or its error text.
    std::string read_lut(const std::string& path) {
        testing::internal::CaptureStdout();
        std::string error;
        try {
            Vantrel::QVX::read_lut(table, path.c_str(), nullptr);
        } catch (const QvxError& e) {
            error = e.text();
        }
        const std::string printed = testing::internal::GetCapturedStdout();
        return error.empty() ? printed : error;
    }
};

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

    Table f;
    f.table.entries[20] = 999;
    const std::string file = temp_file("0 5 0 0\n1 -1 7 7   2 4294967297 0 0\n3 +8 -2 -3\n4 9 1\n");
    EXPECT_EQ(f.read_lut(file), "read \" " + file + " \" as lut!\n");
    // Values are taken modulo 2^32; record 4 ends with the file, so it fills nothing.
    EXPECT_EQ((std::vector<uint32_t>(f.table.entries, f.table.entries + 5)),
              (std::vector<uint32_t>{5, 0xFFFFFFFFu, 1, 8, 0}));
    EXPECT_EQ(f.table.entries[20], 999u);
    f.read_lut(temp_file("0 1 0 0\n1 x 0 0\n2 3 0 0\n"));  // a foreign record stops reading
    EXPECT_EQ(f.table.entries[2], 1u);
    EXPECT_EQ(f.read_lut("/nonexistent/qvx.lut"), "LUT not found!");
}

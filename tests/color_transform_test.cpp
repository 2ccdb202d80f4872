// Inverse colour transforms: per-mode examples, printed mode lines, clamping,
// 16-bit wraps, and the failure cases.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "output/colortransform.h"
#include "support/errors.h"
#include "support/frames.h"

using namespace Vantrel::QVX;
using qvxtest::TestFrame;

namespace {

using Rgb = std::array<int, 3>;

// Runs the transform on an 8 x 4 frame whose samples all hold (c0, c1, c2);
// checks that every position gives the same result and returns it.
Rgb convert(uint8_t mode, uint8_t depth, uint8_t kernel, int c0, int c1, int c2, std::string* printed = nullptr) {
    TestFrame f(8, 4, 3, depth, kernel, mode);
    const int in[3] = {c0, c1, c2};
    for (unsigned i = 0; i < 3 * 32; ++i) f.at(i / 32, i % 8, i / 8 % 4) = int16_t(in[i / 32]);
    testing::internal::CaptureStdout();
    color_transform_planes(prepare_color_transform(f.fs), f.fs);
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed) *printed = out;
    const Rgb first = {f.at(0, 0, 0), f.at(1, 0, 0), f.at(2, 0, 0)};
    for (unsigned i = 0; i < 32; ++i)
        EXPECT_EQ((Rgb{f.at(0, i % 8, i / 8), f.at(1, i % 8, i / 8), f.at(2, i % 8, i / 8)}), first) << i;
    return first;
}

}  // namespace

TEST(ColorTransform, MatrixModes) {
    EXPECT_EQ(convert(1, 8, 0, 16, 128, 128), (Rgb{0, 0, 0}));
    EXPECT_EQ(convert(1, 8, 0, 235, 128, 128), (Rgb{255, 255, 255}));
    EXPECT_EQ(convert(1, 10, 0, 64 + 438, 512, 512), (Rgb{511, 511, 511}));  // 10-bit offsets 64 and 512
    EXPECT_EQ(convert(1, 8, 0, -32768, 128, 128), (Rgb{255, 255, 255}));    // Y' - 16 wraps in 16 bits
    // A pure Cr' step: each channel truncates.
    EXPECT_EQ(convert(1, 8, 0, 16 + 100, 128, 178), (Rgb{(19152 * 100 + 29487 * 50) / 16384,
                                                         (19152 * 100 - 8766 * 50) / 16384,
                                                         (19152 * 100 + 100) / 16384}));
    EXPECT_EQ(convert(2, 8, 0, -50, 128, 128), (Rgb{0, 0, 0}));
    EXPECT_EQ(convert(2, 8, 0, 300, 128, 128), (Rgb{255, 255, 255}));
    // Cb = 10, Cr = -20: R = floor(-28.04 + 100.5), G = floor(100 - 3.4413 + 14.2828 + 0.5),
    // B = floor(17.72 + 100.5).
    EXPECT_EQ(convert(2, 8, 0, 100, 138, 108), (Rgb{72, 111, 118}));
    // Mode 3 shifts down by 4 (Haar kernels, 8 bits) or 2 (5/3 kernels).
    EXPECT_EQ(convert(3, 8, 1, 1600, 128 << 4, 128 << 4), (Rgb{100, 100, 100}));
    EXPECT_EQ(convert(3, 8, 4, 400, 128 << 2, 128 << 2), (Rgb{100, 100, 100}));
    EXPECT_EQ(convert(3, 10, 1, 400, 512 << 2, 512 << 2), (Rgb{100, 100, 100}));
    EXPECT_EQ(convert(3, 10, 3, 100, 512, 512), (Rgb{100, 100, 100}));
    EXPECT_EQ(convert(3, 12, 0, 100, 2048, 2048), (Rgb{100, 100, 100}));
}

TEST(ColorTransform, ReversibleModes) {
    EXPECT_EQ(convert(4, 8, 0, 100, 255, 254), (Rgb{100, 101, 101}));  // U + V = -1, (-1) >> 2 is -1
    EXPECT_EQ(convert(4, 8, 0, 32767, 32767, 32767), (Rgb{255, 255, 255}));  // 32-bit sums clamp
    EXPECT_EQ(convert(9, 8, 0, 100, 128, 128), (Rgb{101, 100, 101}));  // doubled chroma: U = V = 1
    EXPECT_EQ(convert(10, 8, 0, 100, 255, 256), (Rgb{100, 101, 100}));
    // Co = 7, Cg = -3: t = 1000 - (-2) = 1002, G = 999, B = 1002 - 3 = 999, R = 1006.
    EXPECT_EQ(convert(10, 12, 0, 1000, 4095 + 7, 4095 - 3), (Rgb{1006, 999, 999}));
    EXPECT_EQ(convert(11, 8, 0, 100, 128, 128), (Rgb{101, 101, 100}));
    EXPECT_EQ(convert(5, 8, 0, 10, 250, 5), (Rgb{5, 250, 0}));
    EXPECT_EQ(convert(5, 10, 0, 1023, 0, 1000), (Rgb{0, 0, 1000 - 1023 + 1024}));
    // The sums use c1 before clamping: (0 - 255 - 3) AND 255 = 254; G itself clamps to 0.
    EXPECT_EQ(convert(5, 8, 0, 0, -3, 0), (Rgb{254, 0, 254}));
}

TEST(ColorTransform, PrintedModeLines) {
    const std::pair<uint8_t, const char*> lines[] = {
        {1, " -> default transformation \n"},
        {2, " -> JPEG2000 lossy transformation \n"},
        {3, " -> JPEG2000 lossy transformation with shitfting \n"},
        {4, " -> JPEG2000 lossless transformation \n"},
        {5, ""},
        {9, " -> JPEG2000 lossless transformation with clipping \n"},
        {10, " -> YCoCg-R lossless transformation \n"},
        {11, " -> YCoCg-R lossless transformation with clipping \n"},
    };
    for (const auto& [mode, line] : lines) {
        std::string printed;
        convert(mode, 8, 0, 100, 128, 128, &printed);
        EXPECT_EQ(printed, line) << "mode " << int(mode);
    }
}

TEST(ColorTransform, FailuresLeaveStoreUntouched) {
    const std::pair<uint8_t, uint8_t> cases[] = {{1, 16}, {4, 9}, {10, 0}, {0, 8}, {6, 8},
                                                 {7, 8},  {8, 10}, {12, 8}, {255, 14}};
    for (const auto& [mode, depth] : cases) {
        TestFrame f(4, 4, 3, depth, 0, mode);
        for (unsigned comp = 0; comp < 3; ++comp) f.at(comp, 2, 3) = int16_t(1000 + comp);
        testing::internal::CaptureStdout();
        const std::string error = qvxtest::error_of([&] { color_transform_planes(prepare_color_transform(f.fs), f.fs); });
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << int(mode) << "/" << int(depth);
        EXPECT_EQ(error, "ERROR: Bitdepth not supported! (colortransform)") << int(mode) << "/" << int(depth);
        for (unsigned comp = 0; comp < 3; ++comp) EXPECT_EQ(f.at(comp, 2, 3), int(1000 + comp));
    }
}

#include <gtest/gtest.h>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "support/errors.h"

using namespace Vantrel::QVX;
using qvxtest::error_of;

namespace {


TEST(ImageMemory, SchemeAddressingAndHandOver) {
    image_memory s1(8, 8, 1, 0, 1), s2(64, 6, 2, 16, 2), s0(6, 5, 1, 40, 0);
    EXPECT_EQ((std::vector<int>{s1.num_subbands(), s1.sb_width(), int(s1.subbandColumn(9, 1)), int(s1.subbandRow(9, 1)),
                                s2.sb_width(), int(s2.subbandColumn(3, 2)), int(s2.subbandRow(3, 5)),
                                s0.num_subbands(), int(s0.subbandColumn(0, 5))}),
              (std::vector<int>{16, 2, 7, 4, 4, 14, 5, 1, 5}));
    s2.setDat(1, 3, 2, 5, 0xBEEF);
    EXPECT_EQ(s2.at(1, 14, 5), 0xBEEF);
    EXPECT_EQ(s2.getDat(1, 3, 2, 5), 0xBEEF);
    EXPECT_EQ(s2.at(0, 14, 5), 0);  // cells start at 0

    image_memory interleaved(8, 8, 2, 16, 1), plain(8, 8, 2, 1, 0), strips(16, 8, 2, 16, 2), other(16, 8, 2, 16, 1);
    for (unsigned i = 0; i < 128; ++i) interleaved.plane(i / 64)[i % 64] = uint16_t(i / 64 * 1000 + i % 64);
    plain.copyFrom(interleaved);
    EXPECT_EQ(plain.at(1, 7, 4), 1039);
    EXPECT_EQ(error_of([&] { strips.copyFrom(other); }), "Error in image_memory::copyFrom(). Different storing schemes.");
    EXPECT_THROW(strips.takeFrom(other), QvxError);  // schemes 1 and 2 never mix
    image_memory small(4, 4, 1, 1, 0);
    small.takeFrom(interleaved);  // other geometry: a plain copy of the overlap
    EXPECT_EQ(small.at(0, 3, 3), 27);
}

TEST(ImageMemory, ConstructorChecksInOrder) {
    const std::string p = "Error image_memory::image_memory(). ";
    const struct {
        uint16_t w, h;
        uint8_t c, sb, scheme;
        const char* message;
    } cases[] = {{0, 0, 9, 99, 7, "Width must greater than 0."},
                 {4, 0, 9, 99, 7, "Height must greater than 0."},
                 {4, 4, 0, 99, 7, "Number of components out of range."},
                 {4, 4, 5, 99, 7, "Number of components out of range."},
                 {4, 4, 1, 65, 7, "Number of subbands out of range."},
                 {4, 4, 1, 64, 7, "Unsupported storing scheme."},
                 {6, 4, 1, 1, 1, "Image width must be a multiple of 4."},
                 {8, 6, 1, 1, 1, "Image height must be a multiple of 4."},
                 {40, 4, 1, 16, 2, "Image width must be a multiple of the number of subbands."},
                 {40, 4, 1, 0, 2, "Number of subbands out of range."}};
    for (const auto& c : cases)
        EXPECT_EQ(error_of([&] { image_memory m(c.w, c.h, c.c, c.sb, c.scheme); }), p + c.message);
}

TEST(FrameSetup, StoresAndRelease) {
    frame_state fs;
    QVXCodec codec{&fs};
    fs.w_kernel = 6;
    EXPECT_EQ(error_of([&] { frame_setup(codec, 8, 8, 1, 9, fs, 9); }), "ERROR: bitdepth not supported!");
    EXPECT_EQ(fs.width, 0);  // a failed setup leaves the state untouched
    EXPECT_EQ(fs.out_store, nullptr);
    frame_setup(codec, 1920, 8, 2, 10, fs, 1921);
    EXPECT_EQ(fs.residual_store->scheme(), 2);
    EXPECT_EQ(fs.residual_store->sb_width(), 120);
    EXPECT_EQ(fs.out_store->scheme(), 0);
    frame_release(fs);
    for (image_memory* p : {fs.out_store, fs.lut_store, fs.ct_store, fs.wavelet_store, fs.coef_store, fs.residual_store})
        EXPECT_EQ(p, nullptr);

}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/error.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "support/errors.h"

using namespace Vantrel::QVX;
using qvxtest::error_of;

namespace {


TEST(ImageMemory, SchemeAddressing) {
    ImageMemory s1(8, 8, 1, 0, 1), s2(64, 6, 2, 16, 2), s0(6, 5, 1, 40, 0);
    EXPECT_EQ((std::vector<int>{s1.num_subbands(), s1.sb_width(), int(s1.subband_column(9, 1)), int(s1.subband_row(9, 1)),
                                s2.sb_width(), int(s2.subband_column(3, 2)), int(s2.subband_row(3, 5)),
                                s0.num_subbands(), int(s0.subband_column(0, 5))}),
              (std::vector<int>{16, 2, 7, 4, 4, 14, 5, 1, 5}));
    EXPECT_EQ(s2.at(0, 14, 5), 0);  // cells start at 0
}

// A reshaped store keeps planes that are large enough, with their cells, and
// a failed check changes nothing.
TEST(ImageMemory, ReshapeReusesPlanesThatFit) {
    ImageMemory m(16, 8, 2, 16, 2);
    m.at(1, 5, 3) = 77;
    const uint16_t* before = m.plane(1);
    m.reshape(8, 8, 3, 16, 1);
    EXPECT_EQ((std::vector<int>{m.width(), m.height(), m.num_components(), m.scheme(), m.sb_width()}),
              (std::vector<int>{8, 8, 3, 1, 2}));
    EXPECT_EQ(m.plane(1), before);
    EXPECT_EQ(m.plane(1)[3 * 16 + 5], 77);
    EXPECT_EQ(m.at(2, 7, 7), 0);  // a new plane starts at 0
    EXPECT_EQ(error_of([&] { m.reshape(40, 8, 1, 16, 2); }),
              "Error image_memory::image_memory(). Image width must be a multiple of the number of subbands.");
    EXPECT_EQ(m.num_components(), 3);
    m.reshape(64, 64, 1, 1, 0);
    EXPECT_NE(m.plane(0), nullptr);
    EXPECT_EQ(m.at(0, 63, 63), 0);
    m.release();
    EXPECT_EQ(m.plane(0), nullptr);
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
        EXPECT_EQ(error_of([&] { ImageMemory m(c.w, c.h, c.c, c.sb, c.scheme); }), p + c.message);
}

TEST(FrameSetup, PlanesPoolAndRelease) {
    FrameState fs;
    ImageMemory planes;
    auto header = [&fs](uint16_t w, uint16_t h, uint8_t format, uint8_t depth) {
        fs.width = w;
        fs.height = h;
        fs.component_format = format;
        fs.bit_depth = depth;
    };
    fs.w_kernel = 6;
    header(8, 8, 1, 9);
    EXPECT_EQ(error_of([&] { frame_setup(fs, planes); }), "ERROR: bitdepth not supported!");
    EXPECT_EQ(fs.num_components, 0);  // a failed check leaves the state untouched
    EXPECT_EQ(fs.coef_store, nullptr);
    header(1928, 8, 2, 10);
    EXPECT_EQ(error_of([&] { frame_setup(fs, planes); }),
              "Error image_memory::image_memory(). Image width must be a multiple of the number of subbands.");
    header(1920, 8, 2, 10);
    frame_setup(fs, planes);
    EXPECT_EQ(fs.coef_store, &planes);
    EXPECT_EQ((std::vector<int>{planes.scheme(), planes.sb_width(), planes.num_components()}),
              (std::vector<int>{2, 120, 3}));
    frame_release(fs);
    EXPECT_EQ(fs.coef_store, nullptr);
    EXPECT_EQ(planes.width(), 1920);  // the planes outlive the call
}

}  // namespace

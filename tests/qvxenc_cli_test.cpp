// Runs the built qvxenc (and qvxdec on its streams): a lossless round trip
// with a crop, and the rate and quality targets.
#include <gtest/gtest.h>

#include <string>

#include "image_io.h"
#include "support/tool_images.h"
#include "support/tool_run.h"

using namespace qvxtest;

namespace {

const std::string kCrop = std::string(QVX_TEST_DATA_DIR) + "/astronaut_64x48.ppm";

}  // namespace

TEST(QvxencCli, LosslessRoundTripThroughQvxdec) {
    const std::string stream = temp("rgb.qvx"), back = temp("rgb_back.ppm");
    const ToolRun enc = tool("qvxenc", kCrop + " -o " + stream);
    ASSERT_EQ(enc.code, 0) << enc.err;
    EXPECT_TRUE(has(enc.out, "64x48 RGB, 8-bit, kernel 3, colour mode 4"));
    EXPECT_TRUE(has(enc.out, "lossless"));
    ASSERT_EQ(tool("qvxdec", stream + " -o " + back).code, 0);
    const qvxtools::Image a = read_tool_image(kCrop), b = read_tool_image(back);
    EXPECT_EQ(b.samples, a.samples);
    EXPECT_EQ(b.maxval, 255u);

    // A cropped region comes back as that region.
    ASSERT_EQ(tool("qvxenc", kCrop + " --crop 32x16+8+4 -o " + stream).code, 0);
    ASSERT_EQ(tool("qvxdec", stream + " -o " + back).code, 0);
    const qvxtools::Image c = read_tool_image(back);
    ASSERT_EQ(c.width, 32u);
    ASSERT_EQ(c.height, 16u);
    for (unsigned y = 0; y < 16; ++y)
        for (unsigned i = 0; i < 32 * 3; ++i)
            ASSERT_EQ(c.samples[y * 96 + i], a.samples[((y + 4) * 64 + 8) * 3 + i]) << y << " " << i;
}

// Rate and quality targets with both presets; the report names the modes
// chosen, and the decoder's colour-mode line does not leak into it.
TEST(QvxencCli, RateTargetAndLossyReport) {
    const std::string stream = temp("lossy.qvx");
    for (const std::string preset : {"fast", "best"}) {
        const ToolRun r = tool("qvxenc", kCrop + " --bpp 4 --preset " + preset + " -o " + stream);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(has(r.out, "PSNR")) << r.out;
        EXPECT_EQ(r.err, "");  // within 10 % of the target: no warning
        EXPECT_NEAR(double(slurp(stream).size()) * 8 / (64 * 48), 4.0, 0.08) << preset;
        EXPECT_FALSE(has(r.out, "transformation"));
        if (preset == "fast") {
            EXPECT_TRUE(has(r.out, "kernel 4, colour mode 3, prediction 2")) << r.out;
        }
    }
    // Given modes are kept.
    ToolRun r = tool("qvxenc", kCrop + " --bpp 3 --kernel 5 --ct 10 --pred 0 -o " + stream);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "kernel 5, colour mode 10, prediction 0")) << r.out;
    // Other frames do not carry the colour mode: with it, the decoder would
    // clip this 12-bit frame to 10 bits.
    r = tool("qvxenc", kCrop + " --format 422 --depth 12 --ct 3 -o " + stream);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "lossless")) << r.out;
    r = tool("qvxenc", kCrop + " --psnr 37.5 -o " + stream);
    ASSERT_EQ(r.code, 0) << r.err;
    const size_t at = r.out.find("PSNR ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const double db = std::stod(r.out.substr(at + 5));
    EXPECT_GE(db, 37.5);
    EXPECT_LT(db, 38.5);
    // A rate reached more than 10 % off the --bpp target is warned about.
    r = tool("qvxenc", kCrop + " --bpp 0.01 -o " + stream);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "qvxenc: warning: " + kCrop + " reached "));
    EXPECT_TRUE(has(r.err, "off the --bpp target 0.01"));
}

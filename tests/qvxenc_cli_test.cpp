// Runs the built qvxenc (and qvxdec on its streams): a lossless round trip
// with a crop, the rate target, and the messages of bad options and files.
#include <gtest/gtest.h>

#include <fstream>
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
}

// Usage errors exit with 2 and a one-line "qvxenc: " message before any
// work; bad files and settings that do not fit the image exit with 1.
TEST(QvxencCli, BadOptionsAndFilesFailWithTheirMessages) {
    std::ofstream(temp("broken.png"), std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    std::ofstream(temp("odd.pgm"), std::ios::binary) << "P5\n6 4\n255\n" << std::string(24, 'x');
    const std::string grey = std::string(QVX_TEST_DATA_DIR) + "/camera_64x48.pgm";
    const struct {
        int code;
        std::string args, message;
    } cases[] = {
        {2, "", "qvxenc: no input given"},
        {2, kCrop + " --kernel 8", "qvxenc: --kernel takes a whole number from 0 to 7, not '8'"},
        {2, kCrop + " --pred 8", "qvxenc: --pred takes a whole number from 0 to 7, not '8'"},
        {2, kCrop + " --ct 12", "qvxenc: --ct takes 0 to 5, 9, 10 or 11 for RGB frames, 0, 6, 7 or 8 with --bayer-mode, not '12'"},
        {2, kCrop + " --ct 7", "qvxenc: --ct takes 0 to 5, 9, 10 or 11 for RGB frames, 0, 6, 7 or 8 with --bayer-mode, not '7'"},
        {2, grey + " --bayer-mode 1 --ct 4", "qvxenc: --ct takes 0 to 5, 9, 10 or 11 for RGB frames, 0, 6, 7 or 8 with --bayer-mode, not '4'"},
        {2, grey + " --bayer-mode 5 --ct 6", "qvxenc: --ct 6 needs --bayer-mode 1, 3 or 4"},
        {2, kCrop + " --bayer-param 1", "qvxenc: --bayer-param needs --bayer-mode 1 to 5"},
        {2, grey + " --bayer-mode 1 --bayer-param 4", "qvxenc: --bayer-param takes a whole number from 0 to 3"},
        {2, grey + " --bayer-mode 6", "qvxenc: --bayer-mode takes a whole number from 0 to 5, not '6'"},
        {2, grey + " --bayer-mode 1 --bpp 2", "qvxenc: --bpp is not available with --bayer-mode"},
        {2, grey + " --bayer-mode 1 --stream-version 3", "qvxenc: --bayer-mode needs --stream-version 4 or later"},
        {2, kCrop + " --stream-version 65536", "qvxenc: --stream-version takes a whole number from 0 to 65535"},
        {2, kCrop + " --format cmyk", "qvxenc: --format takes 1|gray, 2|rgb, 3|422 or 4|rgba"},
        {2, kCrop + " --format 422 --kernel 6", "qvxenc: --kernel 6 cannot carry --format 422"},
        {2, kCrop + " --qp 1,x", "qvxenc: --qp takes up to 2163 comma-separated numbers"},
        {2, kCrop + " --bpp 0", "qvxenc: --bpp takes a number of bits per pixel above 0 and at most 64, not '0'"},
        {2, kCrop + " --bpp 2 --drain 10", "qvxenc: --bpp and --drain exclude each other"},
        {2, kCrop + " --threads 300", "qvxenc: --threads takes a whole number from 0 to 256, not '300'"},
        {2, kCrop + " --raw 64", "qvxenc: --raw takes WxH with W and H from 1 to 131072, not '64'"},
        {2, kCrop + " --raw-depth 12", "qvxenc: --raw-depth and --raw-endian need --raw WxH"},
        {2, kCrop + " --raw 8x8 --raw-depth 17", "qvxenc: --raw-depth takes a whole number from 8 to 16"},
        {2, kCrop + " --raw 8x8 --raw-endian middle", "qvxenc: --raw-endian takes little or big, not 'middle'"},
        {2, "-", "qvxenc: an image read from standard input needs -o"},
        {2, kCrop + " --psnr 40 --bpp 2", "qvxenc: --psnr excludes --bpp and --drain"},
        {2, kCrop + " --preset best", "qvxenc: --preset needs --bpp or --psnr"},
        {2, kCrop + " --bpp 2 --preset slow", "qvxenc: --preset takes fast or best, not 'slow'"},
        {2, grey + " --bayer-mode 1 --psnr 40", "qvxenc: --psnr is not available with --bayer-mode"},
        {2, kCrop + " --psnr 0", "qvxenc: --psnr takes a number of dB above 0 and at most 200, not '0'"},
        {2, kCrop + " --wavelet 3", "qvxenc: unknown option --wavelet"},
        {2, kCrop + " --crop 10x10", "qvxenc: --crop takes WxH+X+Y, not '10x10'"},
        {2, kCrop + " " + kCrop, "qvxenc: more than one input given"},
        {1, temp("missing.png"), "cannot open"},
        {1, temp("broken.png"), "corrupt PNG file"},
        {1, temp("odd.pgm"), "width and height must be multiples of 4"},
        {1, kCrop + " --raw 64x47 --raw-depth 8", "a raw 64x47 frame of 8-bit samples has 3008 bytes, not 9229"},
        {1, kCrop + " --format gray", "format 1 needs 1 channels; the image has 3"},
        {1, kCrop + " --crop 32x32+40+0", "the crop region lies outside the 64x48 image"},
        {1, kCrop + " --bayer-mode 1", "a Bayer mosaic must be a one-channel (grey) image"},
        {1, kCrop + " -o " + temp("no_dir/x.qvx"), "cannot write"},
    };
    for (const auto& c : cases) {
        const ToolRun r = tool("qvxenc", c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
        EXPECT_TRUE(has(r.err, c.message)) << c.args;
        if (c.code == 2) {
            EXPECT_TRUE(has(r.err, "usage: qvxenc [options] IN [-o OUT]\nTry 'qvxenc --help'"));
        }
    }
    // Every option the table rejects is in the help with its values.
    const std::string help = tool("qvxenc", "--help").out;
    for (const char* opt : {"--pred P         prediction mode 0..7", "--stream-version N", "--bayer-param P  with --bayer-mode only",
                            "--raw WxH", "--raw-depth N", "--raw-endian E", "--threads N", "-V, --version"})
        EXPECT_TRUE(has(help, opt));
}

// --bpp warns when the rate reached misses the target by more than 10 %
// (RateTargetAndLossyReport: none when it does not).
TEST(QvxencCli, MissedRateTargetIsWarnedAbout) {
    const std::string stream = temp("rate.qvx");
    ToolRun r = tool("qvxenc", kCrop + " --bpp 0.01 -o " + stream);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "qvxenc: warning: " + kCrop + " reached "));
    EXPECT_TRUE(has(r.err, "off the --bpp target 0.01"));
}

// Runs the built qvxenc (and qvxdec on its streams): round trips, the PNG
// depth conventions, and the messages of bad options and bad files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "image_io.h"

namespace {

struct ToolRun {
    int code = -1;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// Unique per process and test, so parallel test runs do not share files.
std::string temp(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "/qvxenc_cli_" + std::to_string(::getpid()) + "_" + info->name() + "_" + name;
}

ToolRun tool(const std::string& name, const std::string& args) {
    const std::string out = temp("stdout.txt"), err = temp("stderr.txt");
    const std::string cmd = std::string(QVX_BINARY_DIR "/tools/") + name + " " + args + " >" + out + " 2>" + err;
    const int status = std::system(cmd.c_str());
    ToolRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

const std::string kCrop = std::string(QVX_TEST_DATA_DIR) + "/astronaut_64x48.ppm";

qvxtools::Image read(const std::string& path) {
    qvxtools::Image img;
    std::string error;
    EXPECT_TRUE(qvxtools::read_image(path, img, error)) << error;
    return img;
}

// The crop's samples spread over 12 bits, as a PNM with maxval 4095.
std::string write_12bit_crop() {
    qvxtools::Image img = read(kCrop);
    for (uint16_t& v : img.samples) v = uint16_t(v * 4095u / 255u);
    img.maxval = 4095;
    const std::string path = temp("crop12.ppm");
    std::string error;
    EXPECT_TRUE(qvxtools::write_image(path, img, error)) << error;
    return path;
}

}  // namespace

TEST(QvxencCli, LosslessRoundTripThroughQvxdec) {
    const std::string stream = temp("rgb.qvx"), back = temp("rgb_back.ppm");
    const ToolRun enc = tool("qvxenc", kCrop + " -o " + stream);
    ASSERT_EQ(enc.code, 0) << enc.err;
    EXPECT_TRUE(contains(enc.out, "64x48 RGB, 8-bit, kernel 3, colour mode 4")) << enc.out;
    EXPECT_TRUE(contains(enc.out, "lossless")) << enc.out;
    ASSERT_EQ(tool("qvxdec", stream + " -o " + back).code, 0);
    const qvxtools::Image a = read(kCrop), b = read(back);
    EXPECT_EQ(b.samples, a.samples);
    EXPECT_EQ(b.maxval, 255u);

    // A cropped region comes back as that region.
    ASSERT_EQ(tool("qvxenc", kCrop + " --crop 32x16+8+4 -o " + stream).code, 0);
    ASSERT_EQ(tool("qvxdec", stream + " -o " + back).code, 0);
    const qvxtools::Image c = read(back);
    ASSERT_EQ(c.width, 32u);
    ASSERT_EQ(c.height, 16u);
    for (unsigned y = 0; y < 16; ++y)
        for (unsigned i = 0; i < 32 * 3; ++i)
            ASSERT_EQ(c.samples[y * 96 + i], a.samples[((y + 4) * 64 + 8) * 3 + i]) << y << " " << i;
}

// qvxdec writes an 8-bit frame as an 8-bit PNG and a 12-bit one as a
// bit-replicated 16-bit PNG with sBIT 12, which qvxenc reads back as the
// same 12-bit samples.
TEST(QvxencCli, PngOutputIsViewableAndReadsBack) {
    const std::string s8 = temp("g8.qvx"), p8 = temp("g8.png");
    ASSERT_EQ(tool("qvxenc", std::string(QVX_TEST_DATA_DIR) + "/camera_64x48.pgm -o " + s8).code, 0);
    ASSERT_EQ(tool("qvxdec", s8 + " -o " + p8).code, 0);
    const std::string png8 = slurp(p8);
    ASSERT_GT(png8.size(), 25u);
    EXPECT_EQ(uint8_t(png8[24]), 8) << "IHDR bit depth";

    const std::string src12 = write_12bit_crop(), s12 = temp("c12.qvx"), p12 = temp("c12.png");
    const ToolRun enc = tool("qvxenc", src12 + " -o " + s12);
    ASSERT_EQ(enc.code, 0) << enc.err;
    EXPECT_TRUE(contains(enc.out, "12-bit")) << enc.out;
    ASSERT_EQ(tool("qvxdec", s12 + " -o " + p12).code, 0);
    const std::string png12 = slurp(p12);
    ASSERT_GT(png12.size(), 25u);
    EXPECT_EQ(uint8_t(png12[24]), 16);
    EXPECT_TRUE(contains(png12, "sBIT"));
    // Raw libpng view: samples scaled to 16 bits by bit replication.
    std::vector<uint8_t> bytes(png12.begin(), png12.end());
    qvxtools::Image full;
    std::string error;
    ASSERT_TRUE(qvxtools::decode_png(bytes.data(), bytes.size(), full, error)) << error;
    const qvxtools::Image want = read(src12);
    EXPECT_EQ(full.maxval, 4095u);
    EXPECT_EQ(full.samples, want.samples);

    // qvxenc of qvxdec's PNG: the same 12-bit stream again.
    const std::string again = temp("c12_again.qvx");
    ASSERT_EQ(tool("qvxenc", p12 + " -o " + again).code, 0);
    EXPECT_EQ(slurp(again), slurp(s12));
}

TEST(QvxencCli, RateTargetAndLossyReport) {
    const std::string stream = temp("lossy.qvx");
    const ToolRun r = tool("qvxenc", kCrop + " --bpp 4 -o " + stream);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "PSNR")) << r.out;
    const double bpp = double(slurp(stream).size()) * 8 / (64 * 48);
    EXPECT_NEAR(bpp, 4.0, 0.2);
    // The decoder's printed colour-mode line does not leak into qvxenc's output.
    EXPECT_FALSE(contains(r.out, "transformation")) << r.out;
}

TEST(QvxencCli, EveryFormatAndBayerEncode) {
    const std::string crop = kCrop;
    const ToolRun f422 = tool("qvxenc", crop + " --format 422 -o " + temp("f422.qvx"));
    EXPECT_EQ(f422.code, 0) << f422.err;
    EXPECT_TRUE(contains(f422.out, "4:2:2")) << f422.out;
    EXPECT_TRUE(contains(f422.out, "kernel 3")) << f422.out;
    EXPECT_TRUE(contains(f422.out, "lossless")) << f422.out;
    const ToolRun kernel6 = tool("qvxenc", crop + " --kernel 6 --version 4 -o " + temp("k6.qvx"));
    EXPECT_EQ(kernel6.code, 0) << kernel6.err;
    EXPECT_TRUE(contains(kernel6.out, "lossless")) << kernel6.out;
    // A 64x48 grey image as a Bayer mosaic in mode 3 (wavelet cells).
    const ToolRun bayer =
        tool("qvxenc", std::string(QVX_TEST_DATA_DIR) + "/camera_64x48.pgm --bayer-mode 3 --bayer-param 2 -o " +
                           temp("bayer.qvx"));
    EXPECT_EQ(bayer.code, 0) << bayer.err;
    EXPECT_TRUE(contains(bayer.out, "mode 3, coded 32x24 10-bit")) << bayer.out;
    EXPECT_TRUE(contains(bayer.out, "lossless")) << bayer.out;
}

TEST(QvxencCli, BadOptionsAreUsageErrors) {
    struct Case {
        std::string args, message;
    };
    const Case cases[] = {
        {"", "no input given"},
        {kCrop + " --kernel 8", "--kernel takes a whole number from 0 to 7, not '8'"},
        {kCrop + " --depth 9", "--depth takes 8, 10, 12 or 14"},
        {kCrop + " --format cmyk", "--format takes 1|gray, 2|rgb, 3|422 or 4|rgba"},
        {kCrop + " --qp 1,x", "--qp takes up to 2163 comma-separated numbers"},
        {kCrop + " --offsets 1,2,3", "--offsets takes 16, 32, 48 or 64"},
        {kCrop + " --bpp -1", "--bpp takes a number of bits per pixel"},
        {kCrop + " --bpp 2 --drain 10", "--bpp and --drain exclude each other"},
        {kCrop + " --window 0", "--window takes a non-zero number"},
        {kCrop + " --wavelet 3", "unknown option --wavelet"},
        {kCrop + " --crop 10x10", "--crop takes WxH+X+Y, not '10x10'"},
        {kCrop + " -o", "-o needs a value"},
        {kCrop + " " + kCrop, "more than one input given"},
    };
    for (const Case& c : cases) {
        const ToolRun r = tool("qvxenc", c.args);
        EXPECT_EQ(r.code, 2) << c.args;
        EXPECT_TRUE(contains(r.err, "qvxenc: " + c.message)) << c.args << "\n" << r.err;
    }
    const ToolRun help = tool("qvxenc", "--help");
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(contains(help.out, "--buffer-log2")) << help.out;
}

TEST(QvxencCli, BadFilesAndMismatchesFailCleanly) {
    std::ofstream(temp("broken.png"), std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    std::ofstream(temp("odd.pgm"), std::ios::binary) << "P5\n6 4\n255\n" << std::string(24, 'x');
    std::string two_blocks = "0";
    for (int i = 1; i < 32; ++i) two_blocks += ",1";
    struct Case {
        std::string args, message;
    };
    const Case cases[] = {
        {temp("missing.png"), "cannot open"},
        {temp("broken.png"), "corrupt PNG file"},
        {temp("odd.pgm"), "width and height must be multiples of 4"},
        {kCrop + " --format gray", "format 1 needs 1 channels; the image has 3"},
        {kCrop + " --format 422 --kernel 6", "kernel 6 cannot carry 4:2:2 chroma"},
        {kCrop + " --lut " + temp("no_such.lut"), "cannot read the tone table"},
        {kCrop + " --offsets " + two_blocks, "gives 2 blocks of 16 for 3 components"},
        {kCrop + " --crop 32x32+40+0", "the crop region lies outside the 64x48 image"},
        {kCrop + " --crop 30x32+0+0", "the image is 30x32; width and height must be multiples of 4"},
        {kCrop + " --bayer-mode 1", "a Bayer mosaic must be a one-channel (grey) image"},
        {kCrop + " -o " + temp("no_dir/x.qvx"), "cannot write"},
    };
    for (const Case& c : cases) {
        const ToolRun r = tool("qvxenc", c.args);
        EXPECT_EQ(r.code, 1) << c.args << "\n" << r.err;
        EXPECT_TRUE(contains(r.err, c.message)) << c.args << "\n" << r.err;
    }
}

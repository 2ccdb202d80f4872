// The command-line conventions both tools share: versions, quiet and
// verbose output, pipes, TIFF and raw sensor files; and every tool example
// of the README, run as written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image_io.h"
#include "support/temp_file.h"
#include "support/tool_images.h"
#include "support/tool_run.h"

using namespace qvxtest;

namespace {

const std::string kData = QVX_TEST_DATA_DIR;

}  // namespace

TEST(ToolsConventions, VersionQuietAndVerbose) {
    for (const char* name : {"qvxdec", "qvxenc"})
        for (const char* flag : {"-V", "--version"}) {
            const ToolRun r = tool(name, flag);
            EXPECT_EQ(r.code, 0);
            EXPECT_TRUE(has(r.out, std::string(name) + " " + QVX_VERSION_TEXT + " (libQvxDecode " + QVX_VERSION_TEXT + ")\n"));
        }
    // An RGB stream makes the library print its colour-mode line.
    const std::string stream = temp("rgb.qvx"), out = temp("rgb.png");
    ASSERT_EQ(tool("qvxenc", kData + "/astronaut_64x48.ppm -o " + stream).code, 0);
    const struct {
        std::string args;
        bool lines, times;
    } cases[] = {{"", true, false}, {"-q", false, false}, {"-v", true, true}, {"-q -v", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const ToolRun d = tool("qvxdec", c.args + " " + stream + " -o " + out);
        EXPECT_EQ(d.code, 0);
        EXPECT_EQ(has(d.out, "transformation"), c.lines);
        EXPECT_EQ(has(d.out, " -> " + out + ": 64x48, RGB, 8-bit"), c.lines);
        EXPECT_EQ(has(d.err, "decode"), c.times);
        const ToolRun e = tool("qvxenc", c.args + " " + kData + "/camera_64x48.pgm -o " + temp("g.qvx"));
        EXPECT_EQ(e.code, 0);
        EXPECT_EQ(has(e.out, "lossless"), c.lines);
        EXPECT_EQ(has(e.err, "encode"), c.times);
    }
}

// Usage errors exit with 2 and a one-line "TOOL: " message, followed by the
// usage line, before any work (not the whole help); bad files and settings
// that do not fit the image exit with 1. The help offers every option the
// table rejects, with its values.
TEST(ToolsConventions, BadOptionsAndFilesFailWithTheirMessages) {
    std::ofstream(temp("broken.png"), std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    std::ofstream(temp("odd.pgm"), std::ios::binary) << "P5\n6 4\n255\n" << std::string(24, 'x');
    const std::string rgb = kData + "/astronaut_64x48.ppm", grey = kData + "/camera_64x48.pgm";
    const std::string ct = "--ct takes 0 to 5, 9, 10 or 11 for RGB frames, 0, 6, 7 or 8 with --bayer-mode, not '";
    const struct {
        std::string tool;
        int code;
        std::string args, message;
    } cases[] = {
        {"qvxdec", 2, "--frobnicate x.qvx", "unknown option --frobnicate"},
        {"qvxdec", 2, "", "no input given"},
        {"qvxdec", 2, "x.qvx -o", "-o needs a value"},
        {"qvxdec", 2, "--422 yuv x.qvx", "--422 takes rgb or raw, not 'yuv'"},
        {"qvxdec", 2, "--format jpg x.qvx", "--format takes png, tiff, pgm, ppm, pnm, pam or raw, not 'jpg'"},
        {"qvxdec", 2, "--raw --format png x.qvx", "--raw and --format png exclude each other"},
        {"qvxdec", 2, "--threads 257 x.qvx", "--threads takes a whole number from 0 to 256, not '257'"},
        {"qvxdec", 2, "--threads -1 x.qvx", "--threads takes a whole number from 0 to 256"},
        {"qvxdec", 2, "--max-pixels 0 x.qvx", "--max-pixels takes a whole number from 1 to 4294967295, not '0'"},
        {"qvxdec", 2, "x.qvx -o out.jpg", "cannot tell the format of out.jpg"},
        {"qvxdec", 2, "x.qvx -o -", "-o - needs --format"},
        {"qvxdec", 2, "a.qvx b.qvx -o - --format png", "-o - takes one input"},
        {"qvxdec", 2, "- -", "standard input ('-') can be read once only"},
        {"qvxdec", 2, "-", "a stream read from standard input needs -o"},
        {"qvxdec", 2, "--422 rgb x.qvx -o x.raw", "--422 rgb needs an image format"},
        {"qvxenc", 2, "", "no input given"},
        {"qvxenc", 2, rgb + " --kernel 8", "--kernel takes a whole number from 0 to 7, not '8'"},
        {"qvxenc", 2, rgb + " --pred 8", "--pred takes a whole number from 0 to 7, not '8'"},
        {"qvxenc", 2, rgb + " --ct 12", ct + "12'"},
        {"qvxenc", 2, rgb + " --ct 7", ct + "7'"},
        {"qvxenc", 2, grey + " --bayer-mode 1 --ct 4", ct + "4'"},
        {"qvxenc", 2, grey + " --bayer-mode 5 --ct 6", "--ct 6 needs --bayer-mode 1, 3 or 4"},
        {"qvxenc", 2, rgb + " --bayer-param 1", "--bayer-param needs --bayer-mode 1 to 5"},
        {"qvxenc", 2, grey + " --bayer-mode 1 --bayer-param 4", "--bayer-param takes a whole number from 0 to 3"},
        {"qvxenc", 2, grey + " --bayer-mode 6", "--bayer-mode takes a whole number from 0 to 5, not '6'"},
        {"qvxenc", 2, grey + " --bayer-mode 1 --bpp 2", "--bpp is not available with --bayer-mode"},
        {"qvxenc", 2, grey + " --bayer-mode 1 --stream-version 3", "--bayer-mode needs --stream-version 4 or later"},
        {"qvxenc", 2, rgb + " --stream-version 65536", "--stream-version takes a whole number from 0 to 65535"},
        {"qvxenc", 2, rgb + " --format cmyk", "--format takes 1|gray, 2|rgb, 3|422 or 4|rgba"},
        {"qvxenc", 2, rgb + " --format 422 --kernel 6", "--kernel 6 cannot carry --format 422"},
        {"qvxenc", 2, rgb + " --qp 1,x", "--qp takes up to 2163 comma-separated numbers"},
        {"qvxenc", 2, rgb + " --bpp 0", "--bpp takes a number of bits per pixel above 0 and at most 64, not '0'"},
        {"qvxenc", 2, rgb + " --bpp 2 --drain 10", "--bpp and --drain exclude each other"},
        {"qvxenc", 2, rgb + " --threads 300", "--threads takes a whole number from 0 to 256, not '300'"},
        {"qvxenc", 2, rgb + " --raw 64", "--raw takes WxH with W and H from 1 to 131072, not '64'"},
        {"qvxenc", 2, rgb + " --raw-depth 12", "--raw-depth and --raw-endian need --raw WxH"},
        {"qvxenc", 2, rgb + " --raw 8x8 --raw-depth 17", "--raw-depth takes a whole number from 8 to 16"},
        {"qvxenc", 2, rgb + " --raw 8x8 --raw-endian middle", "--raw-endian takes little or big, not 'middle'"},
        {"qvxenc", 2, "-", "an image read from standard input needs -o"},
        {"qvxenc", 2, rgb + " --psnr 40 --bpp 2", "--psnr excludes --bpp and --drain"},
        {"qvxenc", 2, rgb + " --preset best", "--preset needs --bpp or --psnr"},
        {"qvxenc", 2, rgb + " --bpp 2 --preset slow", "--preset takes fast or best, not 'slow'"},
        {"qvxenc", 2, grey + " --bayer-mode 1 --psnr 40", "--psnr is not available with --bayer-mode"},
        {"qvxenc", 2, rgb + " --psnr 0", "--psnr takes a number of dB above 0 and at most 200, not '0'"},
        {"qvxenc", 2, rgb + " --wavelet 3", "unknown option --wavelet"},
        {"qvxenc", 2, rgb + " --crop 10x10", "--crop takes WxH+X+Y, not '10x10'"},
        {"qvxenc", 2, rgb + " " + rgb, "more than one input given"},
        {"qvxenc", 1, temp("missing.png"), "cannot open"},
        {"qvxenc", 1, temp("broken.png"), "corrupt PNG file"},
        {"qvxenc", 1, temp("odd.pgm"), "width and height must be multiples of 4"},
        {"qvxenc", 1, rgb + " --raw 64x47 --raw-depth 8", "a raw 64x47 frame of 8-bit samples has 3008 bytes, not 9229"},
        {"qvxenc", 1, rgb + " --format gray", "format 1 needs 1 channels; the image has 3"},
        {"qvxenc", 1, rgb + " --crop 32x32+40+0", "the crop region lies outside the 64x48 image"},
        {"qvxenc", 1, rgb + " --bayer-mode 1", "a Bayer mosaic must be a one-channel (grey) image"},
        {"qvxenc", 1, rgb + " -o " + temp("no_dir/x.qvx"), "cannot write"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tool + " " + c.args);
        const ToolRun r = tool(c.tool, c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        if (c.code == 1) {
            EXPECT_TRUE(has(r.err, c.message));
            continue;
        }
        EXPECT_TRUE(has(r.err, c.tool + ": " + c.message));
        EXPECT_TRUE(has(r.err, "usage: " + c.tool + " [options] IN" + (c.tool == "qvxdec" ? "..." : "") +
                                   " [-o OUT]\nTry '" + c.tool + " --help' for the options.\n"));
        EXPECT_FALSE(has(r.err, "Exit status"));
        EXPECT_EQ(r.out, "");
    }
    const std::pair<const char*, std::vector<const char*>> helps[] = {
        {"qvxdec", {"--interleaved", "--lut", "--info", "--json", "--raw", "--422", "--format", "--threads", "--max-pixels",
                    "-o OUT", "-q, --quiet", "-v, --verbose", "-V, --version", "--help"}},
        {"qvxenc", {"--pred P         prediction mode 0..7", "--stream-version N", "--bayer-param P  with --bayer-mode only",
                    "--raw WxH", "--raw-depth N", "--raw-endian E", "--threads N", "-V, --version"}},
    };
    for (const auto& [name, options] : helps) {
        const ToolRun help = tool(name, "--help");
        EXPECT_EQ(help.code, 0);
        for (const char* opt : options) EXPECT_TRUE(has(help.out, opt)) << name;
    }
}

// With the data on standard output nothing else goes there: the colour-mode
// line of the library and the report lines would corrupt it.
TEST(ToolsConventions, PipesCarryExactBytes) {
    for (const std::string image : {"astronaut_64x48.ppm", "camera_64x48.pgm"}) {
        const std::string format = image.ends_with(".ppm") ? "ppm" : "pgm";
        const ToolRun r = shell("cat " + kData + "/" + image + " | " + bin("qvxenc") + " - -o - | " + bin("qvxdec") +
                                " - -o - --format " + format + " | cmp - " + kData + "/" + image);
        EXPECT_EQ(r.code, 0) << image << "\n" << r.out << r.err;
        EXPECT_EQ(r.out, "");
    }
}

// 8 and 16-bit TIFF from qvxdec back into qvxenc: same samples and depth.
TEST(ToolsConventions, TiffRoundTripsKeepDepth) {
    const struct {
        std::string image, args;
        uint32_t maxval;
    } cases[] = {
        {"camera_64x48.pgm", "", 255},
        {"astronaut_64x48.ppm", "", 255},
        {"astronaut_64x48.ppm", "--depth 12", 4095},
        {"camera_64x48.pgm", "--depth 10", 1023},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.image + " " + c.args);
        const std::string a = temp("a.qvx"), tif = temp("a.tif"), b = temp("b.qvx");
        ASSERT_EQ(tool("qvxenc", "-q " + c.args + " " + kData + "/" + c.image + " -o " + a).code, 0);
        ASSERT_EQ(tool("qvxdec", "-q " + a + " -o " + tif).code, 0);
        EXPECT_EQ(read_tool_image(tif).maxval, c.maxval);
        ASSERT_EQ(tool("qvxenc", "-q " + tif + " -o " + b).code, 0);
        EXPECT_EQ(slurp(a), slurp(b));  // same depth chosen, same samples
    }
}

// A 12-bit sensor frame in either byte order encodes to the same stream.
TEST(ToolsConventions, RawSensorInputInBothByteOrders) {
    const unsigned w = 16, h = 8;
    std::string little, big;
    std::vector<uint16_t> samples;
    for (unsigned i = 0; i < w * h; ++i) {
        const uint16_t v = uint16_t(i * 977 % 4096);
        samples.push_back(v);
        little += char(v & 0xFF);
        little += char(v >> 8);
        big += char(v >> 8);
        big += char(v & 0xFF);
    }
    std::ofstream(temp("le.raw"), std::ios::binary) << little;
    std::ofstream(temp("be.raw"), std::ios::binary) << big;
    for (const auto& [file, endian] : {std::pair{"le.raw", "little"}, std::pair{"be.raw", "big"}}) {
        SCOPED_TRACE(endian);
        const std::string stream = temp(std::string(endian) + ".qvx"), back = temp("back.pgm");
        const ToolRun r = tool("qvxenc", temp(file) + " --raw 16x8 --raw-depth 12 --raw-endian " + endian + " -o " + stream);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(has(r.out, "16x8 grey, 12-bit"));
        ASSERT_EQ(tool("qvxdec", "-q " + stream + " -o " + back).code, 0);
        const qvxtools::Image img = read_tool_image(back);
        EXPECT_EQ(img.samples, samples);
        EXPECT_EQ(img.maxval, 4095u);
    }
    // Read in the wrong order, the samples leave the 12-bit range.
    const ToolRun wrong = tool("qvxenc", temp("be.raw") + " --raw 16x8 --raw-depth 12 -o " + temp("x.qvx"));
    EXPECT_EQ(wrong.code, 1);
    EXPECT_TRUE(has(wrong.err, "above the 12-bit range (check --raw-depth and --raw-endian)"));
}

// Runs the ```sh block of each tool section of the README, line by line, in
// a scratch directory holding the files the examples name.
TEST(ToolsConventions, ReadmeExamplesRun) {
    namespace fs = std::filesystem;
    const std::string readme = slurp(QVX_SOURCE_DIR "/README.md");
    auto block = [&](const std::string& heading) {
        const size_t at = readme.find("\n## " + heading + "\n");
        if (at == std::string::npos) return std::string();
        const size_t start = readme.find("```sh\n", at);
        const size_t end = readme.find("```\n", start + 6);
        return readme.substr(start + 6, end - start - 6);
    };
    const fs::path dir = temp("readme");
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(kData + "/astronaut_64x48.ppm", dir / "photo.ppm");
    fs::copy_file(kData + "/camera_64x48.pgm", dir / "mosaic.pgm");
    ASSERT_EQ(tool("qvxdec", "--help").code, 0);
    ASSERT_EQ(shell("cd " + dir.string() + " && " + bin("qvxenc") + " -q photo.ppm -o p.qvx && " + bin("qvxdec") +
                    " -q p.qvx -o photo.png && " + bin("qvxdec") + " -q p.qvx -o photo.tif && rm p.qvx")
                  .code,
              0);
    {
        std::ofstream raw(dir / "sensor.raw", std::ios::binary);
        for (unsigned i = 0; i < 64 * 48; ++i) raw << char((i * 7 % 4096) >> 8) << char(i * 7 % 256);
        std::ofstream(dir / "curve.lut") << lut_text([](unsigned i) { return 65535 - i; });
    }
    unsigned commands = 0;
    for (const char* section : {"qvxenc", "qvxdec"}) {
        const std::string text = block(section);
        ASSERT_FALSE(text.empty()) << section;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t eol = text.find('\n', pos);
            std::string line = text.substr(pos, eol - pos);
            pos = eol + 1;
            if (line.empty()) continue;
            const std::string tools = QVX_BINARY_DIR "/tools/";
            for (size_t at = 0; (at = line.find("build/tools/", at)) != std::string::npos; at += tools.size())
                line.replace(at, 12, tools);
            const ToolRun r = shell("cd " + dir.string() + " && " + line);
            EXPECT_EQ(r.code, 0) << line << "\n" << r.err;
            ++commands;
        }
    }
    EXPECT_GE(commands, 20u);
}

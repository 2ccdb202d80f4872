// The command-line conventions both tools share: versions, quiet and
// verbose output, pipes, TIFF and raw sensor files; and every tool example
// of the README, run as written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image_io.h"
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
        std::ofstream lut(dir / "curve.lut");
        for (unsigned i = 0; i < 65536; ++i) lut << i << ' ' << 65535 - i << " 0 0\n";
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

// Runs the built tools: the command-line conventions both share (versions,
// quiet and verbose output, usage errors, pipes, TIFF and raw sensor files,
// every tool example of the README, run as written), qvxenc's round trips
// and targets, and qvxdec's batches, reports and warnings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "image_io.h"
#include "support/stream_bytes.h"
#include "support/temp_file.h"
#include "support/tool_images.h"
#include "support/tool_run.h"

using namespace qvxtest;

namespace {

const std::string kData = QVX_TEST_DATA_DIR, kPhoto = kData + "/astronaut_64x48.ppm";

ToolRun qvxdec(const std::string& args) { return tool("qvxdec", args); }

// A file holding a version-7 header of one 8x8 12-bit frame, no codestream.
std::string stream_file(const std::string& name, uint8_t component_format, uint8_t bayer_mode) {
    const HeaderFields h{.rc_window = 16, .width = 8, .height = 8, .component_format = component_format,
                          .bit_depth = 12, .w_kernel = 1, .bayer_mode = bayer_mode};
    const Bytes bytes = header_bytes(h);
    const std::string path = temp(name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// A lossless RGB stream of the 64x48 photograph crop.
std::string photo_stream() {
    const std::string path = temp("photo.qvx");
    EXPECT_EQ(tool("qvxenc", "-q " + kPhoto + " -o " + path).code, 0);
    return path;
}

}  // namespace

TEST(ToolsConventions, VersionQuietAndVerbose) {
    for (const char* name : {"qvxdec", "qvxenc"})
        for (const char* flag : {"-V", "--version"}) {
            const ToolRun r = tool(name, flag);
            EXPECT_EQ(r.code, 0);
            EXPECT_TRUE(has(r.out, std::string(name) + " " + QVX_VERSION_TEXT + " (libQvxDecode " + QVX_VERSION_TEXT + ")\n"));
        }
    // An RGB stream makes the library print its colour-mode line.
    const std::string stream = photo_stream(), out = temp("rgb.png");
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
    const std::string rgb = kPhoto, grey = kData + "/camera_64x48.pgm";
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
    std::string little, big;
    std::vector<uint16_t> samples;
    for (unsigned i = 0; i < 16 * 8; ++i) {
        const uint16_t v = uint16_t(i * 977 % 4096);
        samples.push_back(v);
        little += {char(v & 0xFF), char(v >> 8)};
        big += {char(v >> 8), char(v & 0xFF)};
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
    fs::copy_file(kPhoto, dir / "photo.ppm");
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

TEST(QvxencCli, LosslessRoundTripThroughQvxdec) {
    const std::string stream = temp("rgb.qvx"), back = temp("rgb_back.ppm");
    const ToolRun enc = tool("qvxenc", kPhoto + " -o " + stream);
    ASSERT_EQ(enc.code, 0) << enc.err;
    EXPECT_TRUE(has(enc.out, "64x48 RGB, 8-bit, kernel 3, colour mode 4"));
    EXPECT_TRUE(has(enc.out, "lossless"));
    ASSERT_EQ(tool("qvxdec", stream + " -o " + back).code, 0);
    const qvxtools::Image a = read_tool_image(kPhoto), b = read_tool_image(back);
    EXPECT_EQ(b.samples, a.samples);
    EXPECT_EQ(b.maxval, 255u);

    // A cropped region comes back as that region.
    ASSERT_EQ(tool("qvxenc", kPhoto + " --crop 32x16+8+4 -o " + stream).code, 0);
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
        const ToolRun r = tool("qvxenc", kPhoto + " --bpp 4 --preset " + preset + " -o " + stream);
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
    ToolRun r = tool("qvxenc", kPhoto + " --bpp 3 --kernel 5 --ct 10 --pred 0 -o " + stream);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "kernel 5, colour mode 10, prediction 0")) << r.out;
    // Other frames do not carry the colour mode: with it, the decoder would
    // clip this 12-bit frame to 10 bits.
    r = tool("qvxenc", kPhoto + " --format 422 --depth 12 --ct 3 -o " + stream);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "lossless")) << r.out;
    r = tool("qvxenc", kPhoto + " --psnr 37.5 -o " + stream);
    ASSERT_EQ(r.code, 0) << r.err;
    const size_t at = r.out.find("PSNR ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const double db = std::stod(r.out.substr(at + 5));
    EXPECT_GE(db, 37.5);
    EXPECT_LT(db, 38.5);
    // A rate reached more than 10 % off the --bpp target is warned about.
    r = tool("qvxenc", kPhoto + " --bpp 0.01 -o " + stream);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.err, "qvxenc: warning: " + kPhoto + " reached "));
    EXPECT_TRUE(has(r.err, "off the --bpp target 0.01"));
}

TEST(ToolsQvxdecCli, FailuresAreReportedAndTheBatchGoesOn) {
    const std::string missing = temp("missing.qvx");
    const std::string bad_format = stream_file("format5.qvx", 5, 0), bayer6 = stream_file("bayer6.qvx", 1, 6);
    const std::string good = photo_stream();
    ToolRun r = qvxdec(missing + " " + bad_format + " " + bayer6 + " " + good + " -o " + temp("outdir"));
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "cannot open " + missing));
    EXPECT_TRUE(has(r.err, bad_format + ": Error: Undefined component format"));
    EXPECT_TRUE(has(r.err, bayer6 + ": Bayer mode 6 is not supported"));
    EXPECT_FALSE(has(r.out, "Bayermode"));
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(temp("outdir")) / std::filesystem::path(good).filename().replace_extension(".png")));

    // The pixel limit is checked from the header: 64x48 is 3072 pixels.
    r = qvxdec("--max-pixels 3071 " + good + " -o " + temp("limit.png"));
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "the frame has 64x48 pixels, above --max-pixels 3071"));
    EXPECT_EQ(qvxdec("--max-pixels 3072 --threads 2 " + good + " -o " + temp("limit.png")).code, 0);
}

TEST(ToolsQvxdecCli, InfoReportsHeaderPacketsAndMissingData) {
    ToolRun r = qvxdec("--info " + stream_file("info.qvx", 1, 0));
    EXPECT_EQ(r.code, 1) << r.err;  // a header without packets cannot give a frame
    for (const char* line : {"version          7\n", "size             8 x 8 (stored width 8)\n", "bit depth        12\n",
                             "rate control     window 16, drain 0, buffer 1048576, fill level 0\n",
                             "header bytes     52\n", "packets          0\n", "component 0: 0 0 0",
                             "check            FAILED"})
        EXPECT_TRUE(has(r.out, line));
    EXPECT_TRUE(has(r.err, "the packets end before the frame does (Missing subband data)"));

    const std::string good = photo_stream();
    r = qvxdec("--info " + good);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(has(r.out, "check            complete\n"));
    EXPECT_EQ(r.err, "");

    // Cut to a fifth: the packets no longer cover the frame, and the problems
    // go to standard error.
    const std::string whole = slurp(good), cut = temp("cut.qvx");
    std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() / 5);
    r = qvxdec("--info " + cut);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.out, "check            FAILED"));
    EXPECT_TRUE(has(r.err, "qvxdec: " + cut + ": "));
    EXPECT_FALSE(has(r.out, "subband data"));

    r = qvxdec("--info --json " + good + " " + cut);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out.substr(0, 2), "[{");
    EXPECT_EQ(r.out.substr(r.out.size() - 3), "}]\n");
    EXPECT_TRUE(has(r.out, "\"width\": 64, \"height\": 48"));
    EXPECT_TRUE(has(r.out, "\"ok\": true"));
    EXPECT_TRUE(has(r.out, "\"ok\": false"));

    const ToolRun bad = qvxdec("--info " + stream_file("info5.qvx", 5, 0));
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(has(bad.err, "header: Error: Undefined component format"));
}

// A tone table that yields no records would decode to black: warned about.
TEST(ToolsQvxdecCli, ToneTableWithoutRecordsIsWarnedAbout) {
    const std::string garbage = temp("garbage.lut"), partial = temp("partial.lut"), good = temp("good.lut");
    std::ofstream(garbage) << "this is not a tone table\n";
    std::ofstream(partial) << "0 1 2 3\n4 5 6 7\n";
    std::ofstream(good) << lut_text([](unsigned i) { return i; });
    const std::string stream = photo_stream();
    const struct {
        std::string lut, warning;
    } cases[] = {
        {garbage, "warning: the tone table " + garbage + " yields no records"},
        {::testing::TempDir(), "yields no records"},  // a directory
        {partial, "yields 2 of 65536 records"},
        {good, ""},
    };
    for (const auto& c : cases) {
        const ToolRun r = qvxdec("--lut " + c.lut + " " + stream + " -o " + temp("lut.png"));
        EXPECT_EQ(r.code, 1) << c.lut;  // the stream was not coded through a table
        if (c.warning.empty()) {
            EXPECT_FALSE(has(r.err, "warning")) << r.err;
        } else {
            EXPECT_TRUE(has(r.err, c.warning)) << c.lut;
        }
    }
}

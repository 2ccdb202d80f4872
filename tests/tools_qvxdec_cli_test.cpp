// Runs the built qvxdec and checks its exit codes, messages and reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/stream_bytes.h"
#include "support/temp_file.h"
#include "support/tool_run.h"

namespace {

using namespace qvxtest;

ToolRun qvxdec(const std::string& args) { return tool("qvxdec", args); }

const std::string kPhoto = std::string(QVX_TEST_DATA_DIR) + "/astronaut_64x48.ppm";

// A file holding a version-7 header of one 8x8 12-bit frame, no codestream.
std::string stream_file(const std::string& name, uint8_t component_format, uint8_t bayer_mode) {
    const qvxtest::HeaderFields h{.rc_window = 16, .width = 8, .height = 8, .component_format = component_format,
                                  .bit_depth = 12, .w_kernel = 1, .bayer_mode = bayer_mode};
    const qvxtest::Bytes bytes = qvxtest::header_bytes(h);
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

// Runs the built qvxdec and checks its exit codes and messages.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/stream_bytes.h"
#include "support/tool_run.h"

namespace {

using namespace qvxtest;

ToolRun qvxdec(const std::string& args) { return tool("qvxdec", args); }

// A file holding a version-7 header of one 8x8 12-bit frame, no codestream.
std::string stream_file(const std::string& name, uint8_t component_format, uint8_t bayer_mode) {
    const qvxtest::HeaderFields h{.rc_window = 16, .width = 8, .height = 8, .component_format = component_format,
                                  .bit_depth = 12, .w_kernel = 1, .bayer_mode = bayer_mode};
    const qvxtest::Bytes bytes = qvxtest::header_bytes(h);
    const std::string path = temp(name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

}  // namespace

TEST(ToolsQvxdecCli, HelpAndUsageErrors) {
    const ToolRun help = qvxdec("--help");
    EXPECT_EQ(help.code, 0);
    for (const char* opt : {"--interleaved", "--lut", "--info", "--raw", "--422", "-o OUT", "--help"})
        EXPECT_TRUE(has(help.out, opt));
    const std::pair<const char*, const char*> cases[] = {{"--frobnicate x.qvx", "unknown option --frobnicate"},
                                                         {"", "no input given"},
                                                         {"x.qvx -o", "-o needs an argument"},
                                                         {"--422 yuv x.qvx", "--422 takes rgb or raw"},
                                                         {"--lut", "--lut needs an argument"}};
    for (const auto& [args, message] : cases) {
        const ToolRun r = qvxdec(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_TRUE(has(r.err, message));
        EXPECT_TRUE(has(r.err, "usage: qvxdec"));
    }
}

TEST(ToolsQvxdecCli, FailuresAreReportedAndTheBatchGoesOn) {
    const std::string missing = temp("missing.qvx");
    const std::string bad_format = stream_file("format5.qvx", 5, 0), bayer6 = stream_file("bayer6.qvx", 1, 6);
    ToolRun r = qvxdec(missing + " " + bad_format + " " + bayer6 + " -o " + temp("outdir"));
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "cannot open " + missing));
    EXPECT_TRUE(has(r.err, bad_format + ": Error: Undefined component format"));
    EXPECT_TRUE(has(r.err, bayer6 + ": Bayer mode 6 is not supported"));
    EXPECT_FALSE(has(r.out, "Bayermode"));

    r = qvxdec(stream_file("plain.qvx", 1, 0) + " -o " + temp("out.jpg"));
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.err, "unknown output extension"));
}

TEST(ToolsQvxdecCli, InfoListsHeaderAndPackets) {
    const ToolRun r = qvxdec("--info " + stream_file("info.qvx", 1, 0));
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* line : {"version          7\n", "size             8 x 8 (stored width 8)\n", "bit depth        12\n",
                             "rate control     window 16, drain 0, buffer 1048576, fill level 0\n",
                             "header bytes     52\n", "packets          0\n", "component 0: 0 0 0"})
        EXPECT_TRUE(has(r.out, line));
    const ToolRun bad = qvxdec("--info " + stream_file("info5.qvx", 5, 0));
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(has(bad.out, "header error     Error: Undefined component format"));
}

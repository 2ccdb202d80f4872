// Runs the built qvxdec and checks its exit codes and messages.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
    return ::testing::TempDir() + "/tools_cli_" + std::to_string(::getpid()) + "_" + info->name() + "_" + name;
}

ToolRun qvxdec(const std::string& args) {
    const std::string out = temp("stdout.txt"), err = temp("stderr.txt");
    const std::string cmd = std::string(QVX_BINARY_DIR "/tools/qvxdec ") + args + " >" + out + " 2>" + err;
    const int status = std::system(cmd.c_str());
    ToolRun r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
}

// A version-7 header of one 8x8 12-bit component, no codestream after it.
std::vector<uint8_t> header_v7(uint8_t component_format, uint8_t bayer_mode) {
    std::vector<uint8_t> h = {0x56, 0x51, 0xFF, 0xFF, 7, 0,    // magic, version
                              16, 0, 0, 0,                     // rc_window, rc_drain
                              8, 0, 8, 0,                      // width, height
                              0, component_format, 0, 12,      // modes, format, lut, depth
                              20, 0, 0, 0, 0, 0, 0, 0,         // buffer exponent, fill level
                              1, 0, 0,                         // kernel, qp_count
                              bayer_mode, 0};
    h.resize(h.size() + 16 + 2 + 3);  // component block, reserved word, padding
    return h;
}

std::string write_temp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = temp(name);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST(ToolsQvxdecCli, HelpNamesEveryOption) {
    const ToolRun r = qvxdec("--help");
    EXPECT_EQ(r.code, 0);
    for (const char* opt : {"--interleaved", "--lut", "--info", "--raw", "--422", "-o OUT", "--help"})
        EXPECT_TRUE(contains(r.out, opt)) << opt;
    EXPECT_TRUE(r.err.empty());
}

TEST(ToolsQvxdecCli, UsageErrorsExitWithTwo) {
    struct Case {
        const char* args;
        const char* message;
    };
    for (const Case& c : {Case{"--frobnicate x.qvx", "unknown option --frobnicate"},
                          Case{"", "no input given"},
                          Case{"x.qvx -o", "-o needs an argument"},
                          Case{"--422 yuv x.qvx", "--422 takes rgb or raw"},
                          Case{"--lut", "--lut needs an argument"}}) {
        const ToolRun r = qvxdec(c.args);
        EXPECT_EQ(r.code, 2) << c.args;
        EXPECT_TRUE(contains(r.err, c.message)) << c.args << ": " << r.err;
        EXPECT_TRUE(contains(r.err, "usage: qvxdec")) << c.args;
    }
}

TEST(ToolsQvxdecCli, FailuresAreReportedAndTheBatchGoesOn) {
    const std::string missing = temp("missing.qvx");
    std::remove(missing.c_str());
    const std::string bad_format = write_temp("format5.qvx", header_v7(5, 0));
    const std::string bayer6 = write_temp("bayer6.qvx", header_v7(1, 6));

    ToolRun r = qvxdec(missing);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "cannot open " + missing)) << r.err;

    // Every input is tried; the library's message is passed on.
    r = qvxdec(missing + " " + bad_format + " " + bayer6 + " -o " + temp("outdir"));
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "cannot open " + missing)) << r.err;
    EXPECT_TRUE(contains(r.err, bad_format + ": Error: Undefined component format")) << r.err;
    EXPECT_TRUE(contains(r.err, bayer6 + ": Bayer mode 6 is not supported")) << r.err;
    EXPECT_FALSE(contains(r.out, "Bayermode")) << r.out;

    r = qvxdec(write_temp("plain.qvx", header_v7(1, 0)) + " -o " + temp("out.jpg"));
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.err, "unknown output extension")) << r.err;
}

TEST(ToolsQvxdecCli, InfoListsHeaderAndPackets) {
    const ToolRun r = qvxdec("--info " + write_temp("info.qvx", header_v7(1, 0)));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(contains(r.out, "version          7\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "size             8 x 8 (stored width 8)\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "bit depth        12\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "rate control     window 16, drain 0, buffer 1048576, fill level 0\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "header bytes     52\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "packets          0\n")) << r.out;
    EXPECT_TRUE(contains(r.out, "component 0: 0 0 0")) << r.out;

    const ToolRun bad = qvxdec("--info " + write_temp("info5.qvx", header_v7(5, 0)));
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(contains(bad.out, "header error     Error: Undefined component format")) << bad.out;
}

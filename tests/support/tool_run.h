// Runs a built command-line tool with its output captured in files unique to
// the process and test, so parallel test runs do not share files.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace qvxtest {

struct ToolRun {
    int code = -1;
    std::string out, err;
};

inline std::string temp(const std::string& name) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "/qvx_cli_" + std::to_string(::getpid()) + "_" + info->name() + "_" + name;
}

inline std::string slurp(const std::string& path) {
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

inline std::string bin(const std::string& name) { return QVX_BINARY_DIR "/tools/" + name; }

// Runs a shell command line (pipes allowed) with its output captured.
inline ToolRun shell(const std::string& command) {
    const std::string out = temp("stdout.txt"), err = temp("stderr.txt");
    const int status = std::system(("{ " + command + "\n} >" + out + " 2>" + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

inline ToolRun tool(const std::string& name, const std::string& args) { return shell(bin(name) + " " + args); }

inline ::testing::AssertionResult has(const std::string& s, const std::string& part) {
    if (s.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "'" << part << "' not in:\n" << s;
}

}  // namespace qvxtest

// Files in the temp directory for tests: a file of given contents, and the
// text of a tone table.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace qvxtest {

// Writes `contents` to a new file in the temp directory; returns its path.
// The files go when the test program ends.
inline std::string temp_file(const std::string& contents, const std::string& suffix = ".txt") {
    struct Written {
        std::vector<std::string> paths;
        ~Written() {
            for (const std::string& p : paths) std::remove(p.c_str());
        }
    };
    static Written written;
    const std::string path = ::testing::TempDir() + "/qvx_test_" + std::to_string(::getpid()) + "_" +
                             std::to_string(written.paths.size()) + suffix;
    written.paths.push_back(path);
    std::ofstream(path, std::ios::binary) << contents;
    return path;
}

// A tone-table file whose entry i is f(i), one record per line.
template <class F>
std::string lut_text(F f, unsigned records = 65536) {
    std::string s;
    s.reserve(records * 20);
    for (unsigned i = 0; i < records; ++i)
        s += std::to_string(i) + " " + std::to_string(f(i)) + " 0 0\n";
    return s;
}

}  // namespace qvxtest

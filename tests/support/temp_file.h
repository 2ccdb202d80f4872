// A file in the temp directory that is removed with the object.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace qvxtest {

class TempFile {
public:
    explicit TempFile(const std::string& contents, const std::string& suffix = ".txt") {
        static int counter = 0;
        path_ = (std::filesystem::temp_directory_path() /
                 ("qvx_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + suffix))
                    .string();
        std::ofstream(path_, std::ios::binary) << contents;
    }
    ~TempFile() { std::remove(path_.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

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

#include <unistd.h>

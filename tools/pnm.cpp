#include "pnm.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace qvxtools {

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;
}  // namespace

bool write_file(const std::string& path, const uint8_t* data, size_t size, std::string& error) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f || std::fwrite(data, 1, size, f.get()) != size) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool read_file(const std::string& path, std::vector<uint8_t>& data, std::string& error) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    data.clear();
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) data.insert(data.end(), chunk, chunk + n);
    if (std::ferror(f.get())) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

bool write_pnm16(const std::string& path, unsigned width, unsigned height, unsigned channels,
                 unsigned maxval, const uint8_t* be_samples, std::string& error) {
    std::string header;
    if (channels == 1 || channels == 3) {
        header = (channels == 1 ? "P5\n" : "P6\n") + std::to_string(width) + " " +
                 std::to_string(height) + "\n" + std::to_string(maxval) + "\n";
    } else {
        header = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                 "\nDEPTH " + std::to_string(channels) + "\nMAXVAL " + std::to_string(maxval) +
                 "\nTUPLTYPE " + (channels == 4 ? "RGB_ALPHA" : "GRAYSCALE") + "\nENDHDR\n";
    }
    File f(std::fopen(path.c_str(), "wb"));
    const size_t bytes = size_t(width) * height * channels * 2;
    if (!f || std::fwrite(header.data(), 1, header.size(), f.get()) != header.size() ||
        std::fwrite(be_samples, 1, bytes, f.get()) != bytes) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace qvxtools

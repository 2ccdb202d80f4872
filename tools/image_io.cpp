// Whole-file reading and writing, and the choice of image format by content
// (reading) or by file name (writing).
#include "image_io.h"

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

std::string lower_extension(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

}  // namespace

bool check_image(const Image& image, std::string& error) {
    if (image.channels < 1 || image.channels > 4) {
        error = "cannot store " + std::to_string(image.channels) + " channels";
    } else if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide ||
               image.height > kMaxImageSide) {
        error = "bad image size " + std::to_string(image.width) + "x" + std::to_string(image.height);
    } else if (image.maxval == 0 || image.maxval > 65535) {
        error = "bad maximum sample value " + std::to_string(image.maxval);
    } else if (image.samples.size() != image.sample_count()) {
        error = "sample count does not match the image size";
    } else {
        return true;
    }
    return false;
}

bool write_file(const std::string& path, const uint8_t* data, size_t size, std::string& error) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f || std::fwrite(data, 1, size, f.get()) != size || std::fflush(f.get()) != 0) {
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
        error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool is_image_extension(const std::string& path) {
    const std::string ext = lower_extension(path);
    return ext == ".png" || ext == ".pgm" || ext == ".ppm" || ext == ".pnm" || ext == ".pam";
}

bool read_image(const std::string& path, Image& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!read_file(path, bytes, error)) return false;
    const bool ok = bytes.size() >= 8 && bytes[0] == 0x89 && bytes[1] == 'P'
                        ? decode_png(bytes.data(), bytes.size(), image, error)
                        : decode_pnm(bytes.data(), bytes.size(), image, error);
    if (!ok) error = path + ": " + error;
    return ok;
}

bool write_image(const std::string& path, const Image& image, std::string& error, bool png16) {
    const std::string ext = lower_extension(path);
    std::vector<uint8_t> bytes;
    bool ok;
    if (ext == ".png") {
        ok = encode_png(image, bytes, error, png16);
    } else if (ext == ".pam") {
        ok = encode_pnm(image, bytes, error, true);
    } else if (ext == ".pgm" || ext == ".ppm" || ext == ".pnm") {
        const uint32_t wanted = ext == ".pgm" ? 1 : ext == ".ppm" ? 3 : image.channels;
        if (image.channels != wanted || (wanted != 1 && wanted != 3)) {
            error = std::to_string(image.channels) + " channels cannot be stored as " + ext +
                    " (use .pam or .png)";
            ok = false;
        } else {
            ok = encode_pnm(image, bytes, error);
        }
    } else {
        error = "unknown image file extension '" + ext + "' (use .png, .pgm, .ppm, .pnm or .pam)";
        ok = false;
    }
    if (!ok) {
        error = path + ": " + error;
        return false;
    }
    return write_file(path, bytes.data(), bytes.size(), error);
}

}  // namespace qvxtools

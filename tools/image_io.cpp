// Whole-file reading and writing, and the choice of image format by content
// (reading) or by file name (writing).
#include "image_io.h"

#include "cli_common.h"

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

std::string format_of_path(const std::string& path) {
    const std::string ext = lower_extension(path);
    if (ext == ".tif" || ext == ".tiff") return "tiff";
    if (ext == ".png" || ext == ".pgm" || ext == ".ppm" || ext == ".pnm" || ext == ".pam") return ext.substr(1);
    return "";
}

bool is_image_format(const std::string& format) {
    return format == "png" || format == "pgm" || format == "ppm" || format == "pnm" || format == "pam" ||
           format == "tiff";
}

bool decode_raw(const uint8_t* data, size_t size, uint32_t width, uint32_t height, unsigned depth,
                bool big_endian, Image& image, std::string& error) {
    const size_t bytes_per = depth > 8 ? 2 : 1;
    const size_t count = size_t(width) * height;
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide || count > kMaxImageSamples) {
        error = "bad raw frame size " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    if (size != count * bytes_per) {
        error = "a raw " + std::to_string(width) + "x" + std::to_string(height) + " frame of " +
                std::to_string(depth) + "-bit samples has " + std::to_string(count * bytes_per) +
                " bytes, not " + std::to_string(size);
        return false;
    }
    image.width = width;
    image.height = height;
    image.channels = 1;
    image.maxval = depth >= 16 ? 65535 : (1u << depth) - 1;
    image.samples.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t v = bytes_per == 1 ? data[i]
                           : big_endian   ? uint16_t(data[2 * i] << 8 | data[2 * i + 1])
                                          : uint16_t(data[2 * i + 1] << 8 | data[2 * i]);
        if (v > image.maxval) {
            error = "raw sample " + std::to_string(i) + " is " + std::to_string(v) + ", above the " +
                    std::to_string(depth) + "-bit range (check --raw-depth and --raw-endian)";
            return false;
        }
        image.samples[i] = v;
    }
    return true;
}

bool decode_image(const std::vector<uint8_t>& bytes, Image& image, std::string& error) {
    if (bytes.size() >= 8 && bytes[0] == 0x89 && bytes[1] == 'P')
        return decode_png(bytes.data(), bytes.size(), image, error);
    if (is_tiff(bytes.data(), bytes.size())) return decode_tiff(bytes.data(), bytes.size(), image, error);
    return decode_pnm(bytes.data(), bytes.size(), image, error);
}

bool read_image(const std::string& path, Image& image, std::string& error) {
    std::vector<uint8_t> bytes;
    if (!read_input(path, bytes, error)) return false;
    const bool ok = decode_image(bytes, image, error);
    if (!ok) error = (path == "-" ? std::string("standard input") : path) + ": " + error;
    return ok;
}

bool encode_image(const std::string& format, const Image& image, std::vector<uint8_t>& out, std::string& error,
                  bool png16) {
    if (format == "png") return encode_png(image, out, error, png16);
    if (format == "tiff") return encode_tiff(image, out, error);
    if (format == "pam") return encode_pnm(image, out, error, true);
    if (format == "pgm" || format == "ppm" || format == "pnm") {
        const uint32_t wanted = format == "pgm" ? 1 : format == "ppm" ? 3 : image.channels;
        if (image.channels != wanted || (wanted != 1 && wanted != 3)) {
            error = std::to_string(image.channels) + " channels cannot be stored as " + format +
                    " (use pam, png or tiff)";
            return false;
        }
        return encode_pnm(image, out, error);
    }
    error = "unknown image format '" + format + "'";
    return false;
}

bool write_image(const std::string& path, const Image& image, std::string& error, bool png16) {
    const std::string format = format_of_path(path);
    std::vector<uint8_t> bytes;
    if (format.empty()) {
        error = path + ": unknown image file extension '" + lower_extension(path) +
                "' (use .png, .pgm, .ppm, .pnm, .pam, .tif or .tiff)";
        return false;
    }
    if (!encode_image(format, image, bytes, error, png16)) {
        error = path + ": " + error;
        return false;
    }
    return write_output(path, bytes.data(), bytes.size(), error);
}

}  // namespace qvxtools

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

void check_image(const Image& image) {
    if (image.channels < 1 || image.channels > 4)
        throw ToolError("cannot store " + std::to_string(image.channels) + " channels");
    if (image.width == 0 || image.height == 0 || image.width > kMaxImageSide || image.height > kMaxImageSide)
        throw ToolError("bad image size " + std::to_string(image.width) + "x" + std::to_string(image.height));
    if (image.maxval == 0 || image.maxval > 65535)
        throw ToolError("bad maximum sample value " + std::to_string(image.maxval));
    if (image.samples.size() != image.sample_count()) throw ToolError("sample count does not match the image size");
}

void write_file(const std::string& path, const uint8_t* data, size_t size) {
    File f(std::fopen(path.c_str(), "wb"));
    if (!f || std::fwrite(data, 1, size, f.get()) != size || std::fflush(f.get()) != 0)
        throw ToolError("cannot write " + path + ": " + std::strerror(errno));
}

std::vector<uint8_t> read_file(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) throw ToolError("cannot open " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> data;
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) data.insert(data.end(), chunk, chunk + n);
    if (std::ferror(f.get())) throw ToolError("cannot read " + path + ": " + std::strerror(errno));
    return data;
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

Image decode_raw(const uint8_t* data, size_t size, uint32_t width, uint32_t height, unsigned depth,
                 bool big_endian) {
    const size_t bytes_per = depth > 8 ? 2 : 1;
    const size_t count = size_t(width) * height;
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide || count > kMaxImageSamples)
        throw ToolError("bad raw frame size " + std::to_string(width) + "x" + std::to_string(height));
    if (size != count * bytes_per)
        throw ToolError("a raw " + std::to_string(width) + "x" + std::to_string(height) + " frame of " +
                        std::to_string(depth) + "-bit samples has " + std::to_string(count * bytes_per) +
                        " bytes, not " + std::to_string(size));
    Image image;
    image.width = width;
    image.height = height;
    image.channels = 1;
    image.maxval = depth >= 16 ? 65535 : (1u << depth) - 1;
    image.samples.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t v = bytes_per == 1 ? data[i]
                           : big_endian   ? uint16_t(data[2 * i] << 8 | data[2 * i + 1])
                                          : uint16_t(data[2 * i + 1] << 8 | data[2 * i]);
        if (v > image.maxval)
            throw ToolError("raw sample " + std::to_string(i) + " is " + std::to_string(v) + ", above the " +
                            std::to_string(depth) + "-bit range (check --raw-depth and --raw-endian)");
        image.samples[i] = v;
    }
    return image;
}

Image decode_image(const std::vector<uint8_t>& bytes) {
    if (bytes.size() >= 8 && bytes[0] == 0x89 && bytes[1] == 'P') return decode_png(bytes.data(), bytes.size());
    if (is_tiff(bytes.data(), bytes.size())) return decode_tiff(bytes.data(), bytes.size());
    return decode_pnm(bytes.data(), bytes.size());
}

namespace {

// Reads path and decodes its bytes, naming the file in a decoding failure.
template <class Decode>
Image read_named(const std::string& path, Decode&& decode) {
    const std::vector<uint8_t> bytes = read_input(path);
    try {
        return decode(bytes);
    } catch (const ToolError& e) {
        throw ToolError((is_stdio(path) ? std::string("standard input") : path) + ": " + e.what());
    }
}

}  // namespace

Image read_image(const std::string& path) { return read_named(path, decode_image); }

Image read_raw(const std::string& path, uint32_t width, uint32_t height, unsigned depth, bool big_endian) {
    return read_named(path, [&](const std::vector<uint8_t>& bytes) {
        return decode_raw(bytes.data(), bytes.size(), width, height, depth, big_endian);
    });
}

std::vector<uint8_t> encode_image(const std::string& format, const Image& image, bool png16) {
    if (format == "png") return encode_png(image, png16);
    if (format == "tiff") return encode_tiff(image);
    if (format == "pam") return encode_pnm(image, true);
    if (format == "pgm" || format == "ppm" || format == "pnm") {
        const uint32_t wanted = format == "pgm" ? 1 : format == "ppm" ? 3 : image.channels;
        if (image.channels != wanted || (wanted != 1 && wanted != 3))
            throw ToolError(std::to_string(image.channels) + " channels cannot be stored as " + format +
                            " (use pam, png or tiff)");
        return encode_pnm(image);
    }
    throw ToolError("unknown image format '" + format + "'");
}

void write_image(const std::string& path, const Image& image, bool png16) {
    const std::string format = format_of_path(path);
    if (format.empty())
        throw ToolError(path + ": unknown image file extension '" + lower_extension(path) +
                        "' (use .png, .pgm, .ppm, .pnm, .pam, .tif or .tiff)");
    std::vector<uint8_t> bytes;
    try {
        bytes = encode_image(format, image, png16);
    } catch (const ToolError& e) {
        throw ToolError(path + ": " + e.what());
    }
    write_output(path, bytes.data(), bytes.size());
}

}  // namespace qvxtools

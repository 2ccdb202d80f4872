// Image files for the command-line tools: PNG (libpng), TIFF (libtiff), PNM/PAM
// and raw sensor frames, read and written through one in-memory image type.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tool_error.h"

namespace qvxtools {

// Pixel-interleaved samples, rows top to bottom; every sample is at most maxval.
struct Image {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t channels = 0;  // 1 grey, 2 grey+alpha, 3 RGB, 4 RGBA
    uint32_t maxval = 0;    // 1..65535; above 255 the files hold two bytes a sample
    std::vector<uint16_t> samples;

    size_t sample_count() const { return size_t(width) * height * channels; }
};

// Largest accepted width or height, and largest accepted sample count: far
// above any camera frame, low enough that a forged header cannot make a
// reader allocate gigabytes.
inline constexpr uint32_t kMaxImageSide = 1u << 17;
inline constexpr size_t kMaxImageSamples = size_t(1) << 27;

// Every function that can fail returns its result and throws ToolError with
// a readable message on failure; no input makes them crash.
// Throws unless image is consistent and storable.
void check_image(const Image& image);

// A 16-bit PNG with an sBIT chunk of d = 9..15 bits (the same for every
// channel) is read as d-bit samples (shifted down) with maxval 2^d - 1.
Image decode_png(const uint8_t* data, size_t size);
// Eight bits a sample when maxval fits, else sixteen. A maxval of 2^d - 1
// with d = 9..15 is scaled to the 16-bit range by bit replication and
// recorded in an sBIT chunk; other values are written unchanged. force16
// always writes sixteen bits, with the sample values unchanged.
std::vector<uint8_t> encode_png(const Image& image, bool force16 = false);

// P5, P6 (binary PGM/PPM) and P7 (PAM with DEPTH 1 to 4).
Image decode_pnm(const uint8_t* data, size_t size);
// P5 for one channel, P6 for three, P7 for two or four; force_pam always writes P7.
std::vector<uint8_t> encode_pnm(const Image& image, bool force_pam = false);

// 8 or 16-bit unsigned grey, grey+alpha, RGB or RGBA, interleaved. Samples
// above 8 bits whose SMaxSampleValue is 2^d - 1 (d = 9..15) are read with
// that maxval; encode_tiff writes maxval there for every 16-bit image.
bool is_tiff(const uint8_t* data, size_t size);
Image decode_tiff(const uint8_t* data, size_t size);
std::vector<uint8_t> encode_tiff(const Image& image);

// One channel of width x height samples of `depth` bits (8: one byte each,
// 9..16: two bytes, big or little endian), as a sensor writes its frame.
Image decode_raw(const uint8_t* data, size_t size, uint32_t width, uint32_t height, unsigned depth,
                 bool big_endian);

// Output formats by name: "png", "pgm", "ppm", "pnm", "pam", "tiff".
// format_of_path gives the name for a file's extension (".tif" too), or "".
std::string format_of_path(const std::string& path);
bool is_image_format(const std::string& format);
std::vector<uint8_t> encode_image(const std::string& format, const Image& image, bool png16 = false);

// By content: PNG or TIFF signature, else PNM. decode_image works on bytes
// already read; read_image reads path ("-": standard input), read_raw a raw
// frame as decode_raw takes it. Both readers put the file's name ("standard
// input" for "-") in front of a decoding failure.
Image decode_image(const std::vector<uint8_t>& bytes);
Image read_image(const std::string& path);
Image read_raw(const std::string& path, uint32_t width, uint32_t height, unsigned depth, bool big_endian);
// By extension: .png, .pgm/.ppm/.pnm (P5 or P6), .pam (P7), .tif/.tiff.
// png16 as force16.
void write_image(const std::string& path, const Image& image, bool png16 = false);

std::vector<uint8_t> read_file(const std::string& path);
void write_file(const std::string& path, const uint8_t* data, size_t size);

}  // namespace qvxtools

// Minimal 16-bit PNM/PAM writing for the command-line tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvxtools {

// Writes big-endian 16-bit samples, pixel-interleaved, as PGM (1 channel),
// PPM (3) or PAM (other counts). Returns false with a message on failure.
bool write_pnm16(const std::string& path, unsigned width, unsigned height, unsigned channels,
                 unsigned maxval, const uint8_t* be_samples, std::string& error);

bool write_file(const std::string& path, const uint8_t* data, size_t size, std::string& error);
bool read_file(const std::string& path, std::vector<uint8_t>& data, std::string& error);

}  // namespace qvxtools

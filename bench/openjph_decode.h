// The competitor's decoder, driven the way a host program would: codestream
// read from memory, every line pulled into one planar 16-bit frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qvxbench {

struct OpenjphFrame {
    uint32_t width = 0, height = 0, components = 0;
    uint32_t levels = 0;  // decomposition levels of the codestream
    bool reversible = false;
    std::unique_ptr<uint16_t[]> samples;  // plane after plane, clamped to each component's range
    size_t size() const { return size_t(width) * height * components; }
};

// Decodes one codestream; false with a message if it cannot.
bool openjph_decode(const uint8_t* data, size_t size, OpenjphFrame& out, std::string& error);

}  // namespace qvxbench

// Appends fields to a byte vector in the byte orders the stream uses.
#pragma once

#include <cstdint>
#include <vector>

namespace Vantrel::QVX::enc {

struct ByteSink {
    std::vector<uint8_t> bytes;

    void u8(uint8_t b) { bytes.push_back(b); }
    void u16(uint16_t w) {
        u8(uint8_t(w));
        u8(uint8_t(w >> 8));
    }
    void u32(uint32_t w) {  // little-endian
        u16(uint16_t(w));
        u16(uint16_t(w >> 16));
    }
    void u32be(uint32_t w) {
        u8(uint8_t(w >> 24));
        u8(uint8_t(w >> 16));
        u8(uint8_t(w >> 8));
        u8(uint8_t(w));
    }
};

}  // namespace Vantrel::QVX::enc

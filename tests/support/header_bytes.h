// Builds stream header bytes field by field for tests.
#pragma once

#include <cstdint>
#include <vector>

namespace qvxtest {

struct HeaderFields {
    bool versioned = true;
    uint16_t version = 7;
    int16_t rc_window = 4;
    uint16_t rc_drain = 0;
    uint16_t width = 16;
    uint16_t height = 4;
    uint8_t mode_byte = 0;  // ct_mode | pred_mode << 4 from version 3 on
    uint8_t component_format = 1;
    uint8_t lut_used = 0;
    uint8_t bit_depth = 8;
    uint32_t buffer_field = 20;
    uint32_t fill_level = 0;
    uint8_t w_kernel = 6;
    std::vector<uint8_t> qp_table;
    uint8_t bayer_mode = 0;
    uint8_t bayer_param = 0;
    uint8_t param_byte = 0;  // value of every component parameter byte
    uint16_t trailer = 0;    // reserved_word, or pred_mode before version 3
    uint16_t v5_word = 0;
};

inline void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, uint16_t(v));
    put16(b, uint16_t(v >> 16));
}

inline unsigned components_of(uint8_t format) { return format == 1 ? 1 : format == 4 ? 4 : 3; }

// The header as the encoder lays it out, padding included.
inline std::vector<uint8_t> header_bytes(const HeaderFields& f) {
    std::vector<uint8_t> b;
    const uint16_t v = f.versioned ? f.version : 0;
    if (f.versioned) {
        put16(b, 0x5156);
        put16(b, 0xFFFF);
        put16(b, f.version);
    }
    put16(b, uint16_t(f.rc_window));
    put16(b, f.rc_drain);
    put16(b, f.width);
    put16(b, f.height);
    b.push_back(f.mode_byte);
    b.push_back(f.component_format);
    b.push_back(f.lut_used);
    b.push_back(f.bit_depth);
    put32(b, f.buffer_field);
    put32(b, f.fill_level);
    b.push_back(f.w_kernel);
    put16(b, uint16_t(f.qp_table.size()));
    b.insert(b.end(), f.qp_table.begin(), f.qp_table.end());
    if (v >= 4) {
        b.push_back(f.bayer_mode);
        b.push_back(f.bayer_param);
    }
    const unsigned blocks = v >= 4 ? components_of(f.component_format) : 1;
    b.insert(b.end(), 16 * blocks, f.param_byte);
    if (v >= 3) put16(b, f.trailer);
    else b.push_back(uint8_t(f.trailer));
    const size_t align = (v >= 2 && v <= 6) ? 16 : v >= 7 ? 4 : 1;
    while (b.size() % align) b.push_back(0xEE);
    if (v == 5)
        for (int i = 0; i < 8; ++i) put16(b, uint16_t(f.v5_word + i));
    return b;
}

}  // namespace qvxtest

// Test helpers: hand-built stream headers, packets and Golomb-Rice bit
// strings, and a decode through the public interface from a heap buffer of
// exactly the stream's size.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "entropy/kstatistics.h"
#include "qvx/SimpleQvxDecoder.h"

namespace qvx_test {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::vector<uint32_t>>;  // per stream index

struct HeaderFields {
    uint16_t version = 3;
    int16_t rc_window = 4;
    uint16_t rc_drain = 0;
    uint16_t width = 16;
    uint16_t height = 4;
    uint8_t ct_mode = 0;
    uint8_t pred_mode = 1;
    uint8_t component_format = 1;
    uint8_t bit_depth = 8;
    uint32_t buffer_field = 20;
    uint32_t fill_level = 0;
    uint8_t w_kernel = 6;
    std::vector<uint8_t> qp_table;
    uint8_t params[4][16] = {};
};

inline unsigned components(const HeaderFields& h) { return h.component_format == 1 ? 1u : h.component_format == 4 ? 4u : 3u; }

inline void put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void put32be(Bytes& b, uint32_t v) {
    for (int sh = 24; sh >= 0; sh -= 8) b.push_back(uint8_t(v >> sh));
}

// Versioned header, version 3 or later.
inline Bytes build_header(const HeaderFields& h) {
    Bytes b = {0x56, 0x51, 0xFF, 0xFF};
    put16(b, h.version);
    put16(b, uint16_t(h.rc_window));
    put16(b, h.rc_drain);
    put16(b, h.width);
    put16(b, h.height);
    b.push_back(uint8_t(h.ct_mode | h.pred_mode << 4));
    b.push_back(h.component_format);
    b.push_back(0);  // lut_used
    b.push_back(h.bit_depth);
    put32(b, h.buffer_field);
    put32(b, h.fill_level);
    b.push_back(h.w_kernel);
    put16(b, uint16_t(h.qp_table.size()));
    b.insert(b.end(), h.qp_table.begin(), h.qp_table.end());
    const unsigned blocks = h.version >= 4 ? components(h) : 1;
    if (h.version >= 4) b.insert(b.end(), {0, 0});  // bayer_mode, bayer_param
    for (unsigned c = 0; c < blocks; ++c) b.insert(b.end(), h.params[c], h.params[c] + 16);
    put16(b, 0);  // reserved_word
    const size_t align = h.version >= 7 ? 4 : 16;
    while (b.size() % align) b.push_back(0xEE);
    if (h.version == 5) b.insert(b.end(), 16, 0);
    return b;
}

// Versions 3 to 6: per component ten bytes of five-bit lengths (most
// significant first), two skipped bytes, then big-endian words.
inline Bytes packet_v3(const Words& words, unsigned nc) {
    Bytes b;
    for (unsigned c = 0; c < nc; ++c) {
        uint8_t h[10] = {};
        for (unsigned j = 0; j < 16; ++j) {
            const uint32_t len = uint32_t(words[c * 16 + j].size());
            for (unsigned i = 0; i < 5; ++i)
                if (len >> (4 - i) & 1) {
                    const unsigned bit = 5 * j + i;
                    h[bit / 8] |= uint8_t(0x80 >> (bit % 8));
                }
        }
        for (uint8_t byte : h) b.push_back(byte);
        b.insert(b.end(), {0xAB, 0xCD});
        for (unsigned j = 0; j < 16; ++j)
            for (uint32_t w : words[c * 16 + j]) put32be(b, w);
    }
    return b;
}

// Version 7 and later: 16 rows of lengths, then words interleaved.
inline Bytes packet_v7(const Words& words, unsigned nc) {
    Bytes b;
    const unsigned row_bytes = nc == 1 ? 1 : nc == 4 ? 4 : 2;
    for (unsigned j = 0; j < 16; ++j) {
        uint32_t row = 0;
        for (unsigned c = 0; c < nc; ++c) row = row << 5 | uint32_t(words[c * 16 + j].size());
        for (int i = int(row_bytes) - 1; i >= 0; --i) b.push_back(uint8_t(row >> (8 * i)));
    }
    for (unsigned k = 0; k < 16; ++k)
        for (unsigned j = 0; j < 16; ++j)
            for (unsigned c = 0; c < nc; ++c)
                if (words[c * 16 + j].size() > k) put32be(b, words[c * 16 + j][k]);
    return b;
}

// MSB-first bit string of one subband stream, packed into 32-bit words.
class BitWriter {
public:
    void bits(uint32_t value, unsigned n) {
        for (unsigned i = n; i-- > 0;) bit(value >> i & 1);
    }
    void bit(uint32_t b) {
        if (used_ % 32 == 0) words_.push_back(0);
        if (b) words_.back() |= 0x80000000u >> (used_ % 32);
        ++used_;
    }
    std::vector<uint32_t> words() const { return words_; }

private:
    std::vector<uint32_t> words_;
    unsigned used_ = 0;
};

inline uint32_t zigzag(int v) { return v >= 0 ? uint32_t(2 * v) : uint32_t(-2 * v - 1); }

// Golomb-Rice writer for the 16-bit variant, adapting like the decoder.
class RiceWriter {
public:
    Vantrel::QVX::KStatistics stats;
    BitWriter out[64];

    void value(unsigned s, int v) {
        const uint32_t m = zigzag(v);
        const int k = stats.computeK(s);
        const uint32_t z = m >> k;
        if (z >= 15) {
            raw(s, v);
            return;
        }
        for (uint32_t i = 0; i < z; ++i) out[s].bit(0);
        out[s].bit(1);
        out[s].bits(m, unsigned(k));
        update(s, m);
    }
    void raw(unsigned s, int v) {
        const uint32_t m = zigzag(v);
        stats.computeK(s);
        out[s].bits(0, 16);
        out[s].bits(m, 16);
        update(s, m);
    }

private:
    void update(unsigned s, uint32_t m) {
        stats.magnitude_sum[s] += int32_t(m >> 1);
        stats.halve(s);
    }
};

struct Decoded {
    int rc = -1;
    std::string error;
    std::vector<uint16_t> samples;  // big-endian output words, in buffer order
};

// Decodes from a heap copy of exactly bytes.size() bytes, so a read past the
// end is caught by AddressSanitizer.
inline Decoded decode_exact(const Bytes& bytes) {
    const size_t n = bytes.size();
    std::unique_ptr<unsigned char[]> buf(new unsigned char[n]);
    std::memcpy(buf.get(), bytes.data(), n);
    mem_data in(buf.get(), n);
    mem_data* out = nullptr;
    Vantrel::QVX::SimpleQvxDecoder dec;
    Decoded r;
    r.rc = dec.decode(&in, &out);
    r.error = dec.lastError();
    if (out) {
        for (uint64_t i = 0; i + 1 < out->size; i += 2)
            r.samples.push_back(uint16_t(out->data[i] << 8 | out->data[i + 1]));
        dec.deleteBuffer(&out);
    }
    return r;
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace qvx_test

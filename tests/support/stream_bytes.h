// Hand-built streams for tests: header fields, version 3 to 6 packets, and
// a decode from an exact-size heap buffer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../encoder/src/header_writer.h"
#include "qvx/SimpleQvxDecoder.h"

namespace qvxtest {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::vector<uint32_t>>;  // per stream index

struct HeaderFields {
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
    uint8_t w_kernel = 6;
    uint8_t bayer_mode = 0;
};

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The header as the encoder lays it out, padding included: the fields go
// through the encoder's header layout unchecked, so that tests can build
// headers the decoder must refuse.
inline Bytes header_bytes(const HeaderFields& f) {
    Vantrel::QVX::enc::EncoderSettings s;
    s.version = f.version;
    s.version0_magic = true;
    s.rc_window = f.rc_window;
    s.rc_drain = f.rc_drain;
    s.width = f.width;
    s.height = f.height;
    s.component_format = f.component_format;
    s.lut_used = f.lut_used;
    s.bit_depth = f.bit_depth;
    s.buffer_size = s.buffer_size_log2 = f.buffer_field;
    s.w_kernel = f.w_kernel;
    s.bayer_mode = f.bayer_mode;
    s.ct_mode = f.mode_byte;  // from version 3 on ct_mode | pred_mode << 4, as one byte
    return Vantrel::QVX::enc::lay_out_header(s);
}

// Versions 3 to 6: per component ten bytes of five-bit lengths (most
// significant first), two skipped bytes, then big-endian words.
inline Bytes packet_v3(const Words& words, unsigned nc) {
    Bytes b;
    for (unsigned c = 0; c < nc; ++c) {
        uint8_t h[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xAB, 0xCD};
        for (unsigned j = 0; j < 16; ++j)
            for (unsigned i = 0; i < 5; ++i)
                if (words[c * 16 + j].size() >> (4 - i) & 1) h[(5 * j + i) / 8] |= uint8_t(0x80 >> ((5 * j + i) % 8));
        for (uint8_t byte : h) b.push_back(byte);
        for (unsigned j = 0; j < 16; ++j)
            for (uint32_t w : words[c * 16 + j])
                for (int sh = 24; sh >= 0; sh -= 8) b.push_back(uint8_t(w >> sh));
    }
    return b;
}

struct Decoded {
    int rc = -1;
    std::string error, printed;
    bool out_untouched = false;  // on failure the output pointer keeps its value
    std::vector<uint16_t> samples;  // big-endian output words, in buffer order
    Bytes out;                      // the output buffer
    Vantrel::QVX::SimpleQvxDecoder::FrameInfo info{};  // as described after the call
};

// Decodes from a heap copy of exactly bytes.size() bytes, so a read past the
// end is caught by AddressSanitizer.
inline Decoded decode_exact(const Bytes& bytes, Vantrel::QVX::SimpleQvxDecoder* dec = nullptr) {
    Vantrel::QVX::SimpleQvxDecoder own;
    if (!dec) dec = &own;
    std::unique_ptr<unsigned char[]> buf(new unsigned char[bytes.size()]);
    if (!bytes.empty()) std::memcpy(buf.get(), bytes.data(), bytes.size());
    mem_data in(buf.get(), bytes.size());
    mem_data* const sentinel = reinterpret_cast<mem_data*>(0x1234);
    mem_data* out = sentinel;
    Decoded r;
    testing::internal::CaptureStdout();
    r.rc = dec->decode(&in, &out);
    r.printed = testing::internal::GetCapturedStdout();
    r.error = dec->lastError();
    r.out_untouched = out == sentinel;
    r.info = dec->frameInfo();
    if (r.rc == 0) {
        r.out.assign(out->data, out->data + out->size);
        for (uint64_t i = 0; i + 1 < out->size; i += 2)
            r.samples.push_back(uint16_t(out->data[i] << 8 | out->data[i + 1]));
        dec->deleteBuffer(&out);
    }
    return r;
}

}  // namespace qvxtest

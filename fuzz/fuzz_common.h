// What the fuzz targets share: the settings byte of a stream input and a
// decode whose result contract is checked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qvx/SimpleQvxDecoder.h"

namespace qvxfuzz {

// The last byte chooses the settings; the stream is the whole input, so that
// the seeds are plain streams.
inline uint8_t settings_byte(const uint8_t* data, size_t size) { return size ? data[size - 1] : 0; }

struct Decoded {
    int code = 1;
    std::vector<uint8_t> bytes;
    Vantrel::QVX::SimpleQvxDecoder::FrameInfo info{};

    uint16_t sample(size_t i) const { return uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]); }
};

// One decode of an exact-size heap copy, so that a read past the end is
// caught by the address sanitizer. Traps unless the call ends in 0 with a
// buffer its description matches and no message, or in 1 with nothing
// handed out and a message left.
inline Decoded decode(Vantrel::QVX::SimpleQvxDecoder& decoder, const uint8_t* data, size_t size) {
    std::vector<uint8_t> copy(data, data + size);
    mem_data in(copy.empty() ? nullptr : copy.data(), size, 0);
    mem_data* out = nullptr;
    Decoded r;
    r.code = decoder.decode(&in, &out);
    if (r.code != 0 && r.code != 1) __builtin_trap();
    if (r.code == 0) {
        if (!out || in.bytes_read > size || decoder.lastError()[0] != '\0') __builtin_trap();
        r.bytes.assign(out->data, out->data + out->size);
        r.info = decoder.frameInfo();
        if (r.info.buffer_bytes != out->size || r.info.sample_bytes > out->size) __builtin_trap();
        decoder.deleteBuffer(&out);
        if (out != nullptr) __builtin_trap();
    } else if (out != nullptr || decoder.lastError()[0] == '\0') {
        __builtin_trap();
    }
    return r;
}

}  // namespace qvxfuzz

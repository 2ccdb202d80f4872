// Feeds arbitrary bytes to SimpleQvxDecoder::decode: every input must end in
// result 0 or 1, with no access outside the buffers and no leak.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "base/error.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "qvx/SimpleQvxDecoder.h"

namespace {

// Frames above this many samples per component are skipped: every stage store
// of such a frame is allocated in full, which only measures the machine.
constexpr uint64_t kMaxFrameSamples = uint64_t(1) << 20;

// Whether decoding the input is worth running: the header must not ask for a
// giant frame, and must not select a Bayer mode above 5, for which the
// library ends the process on purpose.
bool worth_decoding(const uint8_t* data, size_t size) {
    Vantrel::QVX::FrameState fs;
    mem_data probe(const_cast<uint8_t*>(data), size, 0);
    try {
        Vantrel::QVX::read_header(probe, fs);
    } catch (const Vantrel::QVX::QvxError&) {
        return true;  // decode fails at the same place; cheap to run
    }
    if (fs.bayer_mode > 5) return false;
    return uint64_t(fs.width) * fs.height <= kMaxFrameSamples;
}

// One decode of an exact-size heap copy, so that any read past the end is
// caught by the address sanitizer.
int decode_copy(Vantrel::QVX::SimpleQvxDecoder& decoder, const uint8_t* data, size_t size,
                std::unique_ptr<uint8_t[]>& out_bytes, uint64_t& out_size) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(copy.get(), data, size);
    mem_data in(copy.get(), size, 0);
    mem_data* out = nullptr;
    const int result = decoder.decode(&in, &out);
    if (result != 0 && result != 1) __builtin_trap();
    if (result == 0) {
        if (!out || in.bytes_read > size) __builtin_trap();
        out_size = out->size;
        out_bytes.reset(new uint8_t[out_size ? out_size : 1]);
        if (out_size) std::memcpy(out_bytes.get(), out->data, out_size);
        decoder.deleteBuffer(&out);
    } else if (out != nullptr || decoder.lastError()[0] == '\0') {
        __builtin_trap();  // a failure hands out nothing and leaves a message
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!worth_decoding(data, size)) return -1;  // keep such inputs out of the corpus

    Vantrel::QVX::SimpleQvxDecoder decoder;
    std::unique_ptr<uint8_t[]> first, second;
    uint64_t first_size = 0, second_size = 0;
    const int r1 = decode_copy(decoder, data, size, first, first_size);

    // The same stream again on the same object, with the output order chosen
    // by the first byte: the size never changes, and with the order unchanged
    // neither do the bytes.
    const bool interleaved = size > 0 && (data[0] & 1);
    decoder.setInterleaved(interleaved);
    const int r2 = decode_copy(decoder, data, size, second, second_size);
    if (r1 != r2) __builtin_trap();
    if (r1 == 0) {
        if (first_size != second_size) __builtin_trap();
        if (!interleaved && std::memcmp(first.get(), second.get(), first_size) != 0) __builtin_trap();
    }
    return 0;
}

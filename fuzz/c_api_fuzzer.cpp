// Feeds arbitrary bytes to the C interface and to the static probe. No call
// may crash, end the process or leak; a frame that decodes must have been
// described by the probes exactly as it came out, and a frame the probes
// reject must not decode.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_common.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvx/qvx.h"

namespace {

using Vantrel::QVX::SimpleQvxDecoder;

bool same_info(const qvx_frame_info& a, const qvx_frame_info& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool is_result(int r) { return r <= QVX_OK && r >= QVX_ERROR_INTERNAL; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t pick = qvxfuzz::settings_byte(data, size);
    qvx_settings settings;
    qvx_settings_init(&settings);
    settings.interleaved = pick & 1;
    settings.max_pixels = pick & 2 ? uint64_t(1) << 12 : uint64_t(1) << 18;
    if (pick & 4) settings.reserved[pick >> 5] = 1;  // must be refused as an argument error
    const bool bad_settings = pick & 4;

    std::vector<uint8_t> copy(data, data + size);
    const uint8_t* bytes = copy.empty() ? nullptr : copy.data();

    qvx_frame_info probed;
    const char* error = nullptr;
    const int pr = qvx_probe(bytes, size, &settings, &probed, &error);
    if (!is_result(pr) || (pr != QVX_OK && (!error || !*error))) __builtin_trap();
    if (bad_settings && pr != QVX_ERROR_ARGUMENT) __builtin_trap();

    // The C++ probe reads the header the same way (without the pixel limit).
    mem_data in(const_cast<uint8_t*>(bytes), size, 0);
    SimpleQvxDecoder::FrameInfo cpp_info;
    const char* cpp_error = nullptr;
    const int cr = SimpleQvxDecoder::probe(&in, &cpp_info, settings.interleaved, &cpp_error);
    if ((cr != 0 && cr != 1) || in.bytes_read != 0 || in.data != bytes) __builtin_trap();
    if (cr != 0 && (!cpp_error || !*cpp_error)) __builtin_trap();
    if (pr == QVX_OK && (cr != 0 || !same_info(probed, cpp_info))) __builtin_trap();

    qvx_decoder* decoder = nullptr;
    const int created = qvx_decoder_create(&settings, &decoder);
    if (bad_settings) {
        if (created != QVX_ERROR_ARGUMENT || decoder) __builtin_trap();
        return 0;
    }
    if (created != QVX_OK || !decoder) __builtin_trap();
    qvx_frame frame;
    std::memset(&frame, 0xA5, sizeof frame);
    const int dr = qvx_decode(decoder, bytes, size, &frame);
    if (!is_result(dr)) __builtin_trap();
    if (dr == QVX_OK) {
        // What the probes said a fresh decoder would return.
        if (pr != QVX_OK || !same_info(frame.info, probed) || !frame.data || qvx_last_error(decoder)[0]) __builtin_trap();
        volatile uint8_t sink = 0;
        if (frame.info.buffer_bytes) sink = sink ^ frame.data[0] ^ frame.data[frame.info.buffer_bytes - 1];
        qvx_frame_free(&frame);
        if (frame.data || frame.owner) __builtin_trap();
    } else {
        // Nothing handed out, a message left; a header the probe rejects
        // does not decode (the two messages may differ).
        if (frame.data || frame.owner || frame.info.buffer_bytes || !qvx_last_error(decoder)[0]) __builtin_trap();
        if (pr == QVX_OK && (dr == QVX_ERROR_LIMIT || dr == QVX_ERROR_UNSUPPORTED)) __builtin_trap();
        if ((pr == QVX_ERROR_LIMIT || pr == QVX_ERROR_UNSUPPORTED) && dr != pr) __builtin_trap();
    }
    qvx_decoder_destroy(decoder);

    // Null arguments are refused, never followed.
    if (qvx_decode(nullptr, bytes, size, &frame) != QVX_ERROR_ARGUMENT) __builtin_trap();
    if (qvx_probe(bytes, size, &settings, nullptr, nullptr) != QVX_ERROR_ARGUMENT) __builtin_trap();
    return 0;
}

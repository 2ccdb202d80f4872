// Feeds arbitrary bytes to SimpleQvxDecoder::decode on one decoder object
// that lives across inputs, so the state one stream leaves behind meets the
// next. Every call must end in result 0 or 1 with no access outside the
// buffers and no leak; the same stream decoded again, in the other sample
// order or on more threads, must give the same frame.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "fuzz_common.h"
#include "qvx/SimpleQvxDecoder.h"

namespace {

using Vantrel::QVX::SimpleQvxDecoder;

// Frames above this many samples fail at once with the pixel-limit message:
// every stage store is allocated in full, which only measures the machine.
constexpr uint64_t kMaxSamples = uint64_t(1) << 14;

// A planar and an interleaved decode of one frame hold the same samples.
bool same_frame(const qvxfuzz::Decoded& planar, const qvxfuzz::Decoded& interleaved) {
    if (planar.bytes.size() != interleaved.bytes.size()) return false;
    const SimpleQvxDecoder::FrameInfo& p = planar.info;
    if (p.layout != QVX_LAYOUT_PLANAR) return planar.bytes == interleaved.bytes;
    if (interleaved.info.layout != QVX_LAYOUT_INTERLEAVED) return false;
    const size_t n = size_t(p.width) * p.height, ch = p.channels;
    for (size_t c = 0; c < ch; ++c)
        for (size_t i = 0; i < n; ++i)
            if (planar.sample(c * n + i) != interleaved.sample(i * ch + c)) return false;
    return true;
}

std::string g_lut_path;

}  // namespace

// A short tone table: the entries past its records read 0.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_lut_path = "/tmp/qvx_decode_fuzzer_" + std::to_string(::getpid()) + ".lut";
    if (std::FILE* f = std::fopen(g_lut_path.c_str(), "w")) {
        for (unsigned i = 0; i < 4096; ++i) std::fprintf(f, "%u %u 0 0\n", i, (i * 40503u) & 0xFFFFu);
        std::fclose(f);
    }
    std::atexit([] { std::remove(g_lut_path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SimpleQvxDecoder decoder = [] {
        SimpleQvxDecoder d;
        d.setMaxPixels(kMaxSamples);
        d.setQuiet(true);
        d.setRejectUnsupportedBayerModes(true);
        return d;
    }();
    const uint8_t pick = qvxfuzz::settings_byte(data, size);
    const bool interleaved = pick & 1;
    decoder.setLutPath(pick & 2 ? g_lut_path.c_str() : nullptr);

    decoder.setInterleaved(interleaved);
    decoder.setThreads(1);
    const qvxfuzz::Decoded first = qvxfuzz::decode(decoder, data, size);
    // The header has been read into the object now; decoding again sees the
    // same state and must give the same frame, on any thread count and in
    // the other order.
    // (More threads on one input in eight: starting threads is slow.)
    decoder.setThreads((pick & 0x1C) == 0x1C ? 3 : 1);
    const qvxfuzz::Decoded again = qvxfuzz::decode(decoder, data, size);
    decoder.setInterleaved(!interleaved);
    decoder.setThreads(1);
    const qvxfuzz::Decoded other = qvxfuzz::decode(decoder, data, size);

    if (first.code != again.code || first.code != other.code) __builtin_trap();
    if (first.code == 0) {
        if (first.bytes != again.bytes) __builtin_trap();
        if (!same_frame(interleaved ? other : first, interleaved ? first : other)) __builtin_trap();
    }
    return 0;
}

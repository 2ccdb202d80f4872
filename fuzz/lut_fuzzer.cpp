// Feeds arbitrary text to the tone-table reader. The records it takes must
// be those a loop of fscanf("%d %u %d %d") takes from the same text, and a
// decode through the table read from a file of that text must map every
// sample through exactly those entries, once in the tone-table stage and
// once in the writer.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#include "fuzz_common.h"
#include "output/lut.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"

namespace {

using namespace Vantrel::QVX;

constexpr uint32_t kEntries = 65536;
constexpr unsigned kDepth = 12;

// The records fscanf takes, with the entries no record fills left at 0.
// Only for text whose numbers have at most nine digits: fscanf saturates
// where the reader wraps.
uint32_t scanf_records(const uint8_t* data, size_t size, uint32_t* table) {
    std::FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!f) __builtin_trap();
    uint32_t i = 0;
    int a, c, d;
    unsigned b;
    while (i < kEntries && std::fscanf(f, "%d %u %d %d", &a, &b, &c, &d) == 4) table[i++] = b;
    std::fclose(f);
    return i;
}

bool short_numbers(const uint8_t* data, size_t size) {
    size_t run = 0;
    for (size_t i = 0; i < size; ++i) {
        run = data[i] >= '0' && data[i] <= '9' ? run + 1 : 0;
        if (run > 9) return false;
    }
    return true;
}

// A 16 x 16 frame of the samples 0 to 255, coded with and without the
// tone-table flag.
struct Streams {
    std::vector<uint8_t> plain, toned;
    std::string lut_path;
};

Streams make_streams() {
    enc::EncoderSettings s;
    s.width = 16;
    s.height = 16;
    s.bit_depth = kDepth;
    enc::ImagePlanes image(16, 16, 1);
    for (unsigned i = 0; i < 256; ++i) image.planes[0][i] = uint16_t(i);
    Streams st;
    st.plain = enc::encode_image(s, image).bytes;
    s.lut_used = 1;
    st.toned = enc::encode_image(s, image).bytes;
    st.lut_path = "/tmp/qvx_lut_fuzzer_" + std::to_string(::getpid()) + ".lut";
    return st;
}

std::vector<uint8_t> decode(const std::vector<uint8_t>& stream, const char* lut_path) {
    static SimpleQvxDecoder decoder = [] {
        SimpleQvxDecoder d;
        d.setQuiet(true);
        return d;
    }();
    decoder.setLutPath(lut_path);
    qvxfuzz::Decoded r = qvxfuzz::decode(decoder, stream.data(), stream.size());
    if (r.code != 0) __builtin_trap();
    return std::move(r.bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Streams streams = make_streams();
    static const std::vector<uint8_t> plain = decode(streams.plain, nullptr);
    static std::vector<uint32_t> table(kEntries), expected(kEntries);

    // The reader on an exact-size copy: it must not look past the end.
    std::vector<char> text(data, data + size);
    std::memset(table.data(), 0, kEntries * sizeof(uint32_t));
    const uint32_t n = parse_lut_records(text.data(), text.size(), table.data());
    if (n > kEntries) __builtin_trap();
    if (short_numbers(data, size)) {
        std::memset(expected.data(), 0, kEntries * sizeof(uint32_t));
        if (scanf_records(data, size, expected.data()) != n ||
            std::memcmp(table.data(), expected.data(), kEntries * sizeof(uint32_t)) != 0)
            __builtin_trap();
    }

    // The same text as a file, applied by a decode: for one input length in
    // eight, since a decode through a table costs ten parses.
    if (size % 8 != 0) return 0;
    std::FILE* f = std::fopen(streams.lut_path.c_str(), "wb");
    if (!f) __builtin_trap();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    const std::vector<uint8_t> toned = decode(streams.toned, streams.lut_path.c_str());
    std::remove(streams.lut_path.c_str());
    if (toned.size() != plain.size()) __builtin_trap();
    for (size_t i = 0; i + 1 < plain.size(); i += 2) {
        const uint16_t v = uint16_t(plain[i] << 8 | plain[i + 1]);
        // The tone-table stage and the writer each apply the table.
        const uint16_t once = apply_lut(table.data(), 16 - kDepth, v);
        const uint16_t want = apply_lut(table.data(), 16 - kDepth, once);
        if (toned[i] != (want >> 8) || toned[i + 1] != (want & 0xFF)) __builtin_trap();
    }
    return 0;
}

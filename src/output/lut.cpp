#include "output/lut.h"

#include <cstdio>
#include <vector>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/image_memory.h"
#include "output/line_sink.h"

namespace Vantrel::QVX {

namespace {

bool is_space(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

// One signed decimal integer after optional white space, kept modulo 2^32.
bool read_number(const char*& p, const char* end, uint32_t& out) {
    while (p < end && is_space(*p)) ++p;
    const char* q = p;
    bool negative = false;
    if (q < end && (*q == '+' || *q == '-')) negative = *q++ == '-';
    if (q >= end || *q < '0' || *q > '9') return false;
    uint32_t v = 0;
    while (q < end && *q >= '0' && *q <= '9') v = v * 10u + uint32_t(*q++ - '0');
    out = negative ? 0u - v : v;
    p = q;
    return true;
}

}  // namespace

void read_lut(QVXCodec& codec, const char* path) {
    print_line(codec.fs->sink, "read \" %s \" as lut!\n", path);
    std::FILE* f = std::fopen(path, "r");
    if (!f) raise("LUT not found!");
    std::vector<char> text;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.insert(text.end(), chunk, chunk + n);
    std::fclose(f);

    const char* p = text.data();
    const char* end = p + text.size();
    for (uint32_t i = 0; i < 65536; ++i) {
        uint32_t a, b, c, d;
        if (!read_number(p, end, a) || !read_number(p, end, b) || !read_number(p, end, c) ||
            !read_number(p, end, d))
            break;  // an incomplete or foreign record ends the table
        codec.lut_table[i] = b;
    }
}

void load_lut(QVXCodec& codec, const char* path, uint8_t bit_depth) {
    read_lut(codec, path);
    codec.lut_shift = uint8_t(16 - bit_depth);
}

void map_samples(const QVXCodec& codec, uint16_t* samples, size_t count) {
    const uint8_t shift = codec.lut_shift;
    const uint32_t* table = codec.lut_table;
    for (size_t i = 0; i < count; ++i) samples[i] = apply_lut(table, shift, samples[i]);
}

void apply_lut_to_store(QVXCodec& codec, frame_state& fs) {
    image_memory& store = *fs.lut_store;
    load_lut(codec, fs.lut_path, fs.bit_depth);
    for (unsigned c = 0; c < store.num_components(); ++c)
        map_samples(codec, store.plane(c), store.plane_size());
}

}  // namespace Vantrel::QVX

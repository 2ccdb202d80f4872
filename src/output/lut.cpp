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

    if (!codec.lut_table) codec.lut_table.reset(new uint32_t[65536]());
    parse_lut_records(text.data(), text.size(), codec.lut_table.get());
}

uint32_t parse_lut_records(const char* text, size_t size, uint32_t* table) {
    const char* p = text;
    const char* end = p + size;
    uint32_t i = 0;
    for (; i < 65536; ++i) {
        uint32_t a, b, c, d;
        if (!read_number(p, end, a) || !read_number(p, end, b) || !read_number(p, end, c) ||
            !read_number(p, end, d))
            break;  // an incomplete or foreign record ends the table
        table[i] = b;
    }
    return i;
}

void load_lut(QVXCodec& codec, const char* path, uint8_t bit_depth) {
    read_lut(codec, path);
    codec.lut_shift = uint8_t(16 - bit_depth);
}

SampleMap sample_map(const QVXCodec& codec) {
    const unsigned bits = codec.lut_shift >= 16 ? 0u : 16u - codec.lut_shift;
    SampleMap m;
    m.mask = uint16_t((1u << bits) - 1u);
    m.map.resize(size_t(1) << bits);
    for (uint32_t v = 0; v < m.map.size(); ++v) m.map[v] = apply_lut(codec.lut_table.get(), codec.lut_shift, uint16_t(v));
    return m;
}

SampleMap compose(const SampleMap& first, const SampleMap& second) {
    SampleMap m;
    m.mask = first.mask;
    m.map.resize(first.map.size());
    for (size_t v = 0; v < m.map.size(); ++v) m.map[v] = second(first.map[v]);
    return m;
}

void map_store(const SampleMap& map, image_memory& store) {
    for (unsigned c = 0; c < store.num_components(); ++c) {
        uint16_t* s = store.plane(c);
        for (size_t i = 0; i < store.plane_size(); ++i) s[i] = map(s[i]);
    }
}

}  // namespace Vantrel::QVX

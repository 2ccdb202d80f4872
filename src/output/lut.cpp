#include "output/lut.h"

#include <cstdio>
#include <vector>

#include "base/error.h"
#include "base/line_sink.h"
#include "base/messages.h"
#include "frame/image_memory.h"

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

void read_lut(ToneTable& table, const char* path, const LineSink* sink) {
    print_line(sink, msg::kReadLut, path);
    std::FILE* f = std::fopen(path, "r");
    if (!f) raise(msg::kLutNotFound);
    std::vector<char> text;
    char chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.insert(text.end(), chunk, chunk + n);
    std::fclose(f);

    parse_lut_records(text.data(), text.size(), table.entries);
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

void load_lut(ToneTable& table, const char* path, uint8_t bit_depth, const LineSink* sink) {
    read_lut(table, path, sink);
    table.shift = uint8_t(16 - bit_depth);
}

SampleMap sample_map(const ToneTable& table) {
    const unsigned bits = table.shift >= 16 ? 0u : 16u - table.shift;
    SampleMap m;
    m.mask = uint16_t((1u << bits) - 1u);
    m.map.resize(size_t(1) << bits);
    for (uint32_t v = 0; v < m.map.size(); ++v) m.map[v] = apply_lut(table.entries, table.shift, uint16_t(v));
    return m;
}

SampleMap compose(const SampleMap& first, const SampleMap& second) {
    SampleMap m;
    m.mask = first.mask;
    m.map.resize(first.map.size());
    for (size_t v = 0; v < m.map.size(); ++v) m.map[v] = second(first.map[v]);
    return m;
}

void map_store(const SampleMap& map, ImageMemory& store) {
    for (unsigned c = 0; c < store.num_components(); ++c) {
        uint16_t* s = store.plane(c);
        for (size_t i = 0; i < store.plane_size(); ++i) s[i] = map(s[i]);
    }
}

}  // namespace Vantrel::QVX

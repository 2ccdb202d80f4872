// Tone look-up table: a 65,536-entry curve read from a text file, applied
// to samples scaled up to 16 bits and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class ImageMemory;
struct LineSink;

// A loaded tone table and the shift that scales samples of the frame's bit
// depth to the table's 16-bit index and back.
struct ToneTable {
    uint32_t entries[65536] = {};
    uint8_t shift = 0;
};

// Prints the "read ... as lut!" line through sink, then fills
// table.entries from the file (records of four integers, the second being
// the entry). Throws "LUT not found!" when the file cannot be opened.
void read_lut(ToneTable& table, const char* path, const LineSink* sink);

// Reads up to 65,536 records from a table file's text into table (the
// second number of each); returns how many it found.
uint32_t parse_lut_records(const char* text, size_t size, uint32_t* table);

// Maps one sample through table entries with the given shift.
inline uint16_t apply_lut(const uint32_t* table, uint8_t shift, uint16_t v) {
    const uint32_t index = (uint32_t(v) << shift) & 0xFFFFu;
    const uint32_t e = table[index] & 0xFFFFu;
    const uint32_t half = shift ? (1u << (shift - 1)) : 0u;
    return uint16_t((e + half - 1u) >> shift);
}

// One application of the table: read_lut, then the shift from bit_depth.
void load_lut(ToneTable& table, const char* path, uint8_t bit_depth, const LineSink* sink);

// The loaded table as a direct map: a sample v maps to map[v & mask]
// (the table index only sees the low 16 - shift bits of a sample).
struct SampleMap {
    std::vector<uint16_t> map;
    uint16_t mask = 0;
    uint16_t operator()(uint16_t v) const { return map[v & mask]; }
};
SampleMap sample_map(const ToneTable& table);

// first, then second, as one map.
SampleMap compose(const SampleMap& first, const SampleMap& second);

// Maps every sample of every component of a store in place.
void map_store(const SampleMap& map, ImageMemory& store);

}  // namespace Vantrel::QVX

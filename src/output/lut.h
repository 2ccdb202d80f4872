// Tone look-up table: a 65,536-entry curve read from a text file, applied
// to samples scaled up to 16 bits and back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class QVXCodec;

// Prints the "read ... as lut!" line, then fills codec.lut_table from the
// file (records of four integers, the second being the entry). Throws
// "LUT not found!" when the file cannot be opened.
void read_lut(QVXCodec& codec, const char* path);

// Reads up to 65,536 records from a table file's text into table (the
// second number of each); returns how many it found.
uint32_t parse_lut_records(const char* text, size_t size, uint32_t* table);

// Maps one sample through the table with shift codec.lut_shift.
inline uint16_t apply_lut(const uint32_t* table, uint8_t shift, uint16_t v) {
    const uint32_t index = (uint32_t(v) << shift) & 0xFFFFu;
    const uint32_t e = table[index] & 0xFFFFu;
    const uint32_t half = shift ? (1u << (shift - 1)) : 0u;
    return uint16_t((e + half - 1u) >> shift);
}

// One application of the table: read_lut, then the shift from bit_depth.
void load_lut(QVXCodec& codec, const char* path, uint8_t bit_depth);

// Maps `count` samples in place with the loaded table.
void map_samples(const QVXCodec& codec, uint16_t* samples, size_t count);

// The pipeline's look-up stage, in place on lut_store.
void apply_lut_to_store(QVXCodec& codec, frame_state& fs);

}  // namespace Vantrel::QVX

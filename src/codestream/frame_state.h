// What the stages of one decode call read: the stream header as read
// (StreamHeader) and the geometry frame setup derives from it (FrameState).
// The working planes, the tone table's file and the line sink are not part
// of it: the decode call hands them to the stages that use them.
#pragma once

#include <cstdint>

#include "base/format.h"

namespace Vantrel::QVX {

// The stream header's fields as read_header parses them, with what follows
// from the fields alone (component count, the coded width of a mode-5
// mosaic).
struct StreamHeader {
    uint16_t version = 0;
    int16_t rc_window = 0;
    uint16_t rc_drain = 0;
    uint16_t stored_width = 0;  // the width field as carried
    uint16_t width = 0;         // the coded planes' width
    uint16_t height = 0;
    uint8_t ct_mode = 0;
    uint8_t pred_mode = 0;
    uint8_t component_format = 0;
    uint8_t num_components = 0;
    uint8_t lut_used = 0;
    uint8_t bit_depth = 0;
    uint32_t buffer_size = 0;
    uint32_t fill_level = 0;
    uint8_t w_kernel = 0;
    uint16_t qp_count = 0;
    int8_t qp_table[kQpTableRoom + 1] = {};
    uint8_t bayer_mode = 0;
    uint8_t bayer_param = 0;
    // [component][group = column mod 4][byte = row mod 4]
    uint8_t component_params[4][4][4] = {};

    // qp_table entry i; entries at and past qp_count read as 0.
    int8_t qp_entry(uint32_t i) const { return i < qp_count ? qp_table[i] : int8_t(0); }
};

struct FrameState : StreamHeader {
    // Derived by frame setup.
    uint8_t subsampled = 0;  // 4:2:2: chroma decoded at every other position
};

}  // namespace Vantrel::QVX

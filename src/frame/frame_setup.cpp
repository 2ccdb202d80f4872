#include "frame/frame_setup.h"

#include <algorithm>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/image_memory.h"

namespace Vantrel::QVX {

uint8_t validate_frame(uint16_t width, uint16_t height, uint8_t component_format, uint8_t bit_depth) {
    if (width == 0 || width % 4 != 0) raise("Error: Width must be a mulitple of 4 and != 0");
    if (height == 0 || height % 4 != 0) raise("Error: Height must be a multiple of 4 and != 0");
    const uint8_t nc = components_for_format(component_format);
    if (bit_depth != 8 && bit_depth != 10 && bit_depth != 12 && bit_depth != 14)
        raise("ERROR: bitdepth not supported!");
    return nc;
}

void frame_setup(QVXCodec& codec, uint16_t width, uint16_t height, uint8_t component_format,
                 uint8_t bit_depth, frame_state& fs, uint16_t stored_width, image_memory& planes) {
    const uint8_t nc = validate_frame(width, height, component_format, bit_depth);
    const uint8_t subsampled = component_format == 3 ? 1 : 0;

    fs.num_components = nc;
    fs.width = width;
    fs.height = height;
    fs.subsampled = subsampled;
    fs.packet_done = 0;
    fs.component_format = component_format;
    fs.bit_depth = bit_depth;
    fs.stored_width = stored_width;

    codec.width = width;
    codec.height = height;
    codec.num_components = nc;

    uint8_t subbands = 16, scheme = 1;
    if (fs.w_kernel == 6) scheme = 2;
    else if (fs.w_kernel > 6) subbands = 1, scheme = 0;
    planes.reshape(width, height, nc, subbands, scheme);
    // Reused planes keep an earlier frame's cells: the entropy stage
    // defines every cell, also those a 4:2:2 frame never codes.
    fs.coef_store = &planes;
}

void frame_release(frame_state& fs) { fs.coef_store = nullptr; }

}  // namespace Vantrel::QVX

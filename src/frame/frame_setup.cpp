#include "frame/frame_setup.h"

#include "base/error.h"
#include "base/format.h"
#include "base/messages.h"
#include "frame/image_memory.h"

namespace Vantrel::QVX {

uint8_t validate_frame(uint16_t width, uint16_t height, uint8_t component_format, uint8_t bit_depth) {
    if (width == 0 || width % 4 != 0) raise(msg::kWidthNotMultipleOf4);
    if (height == 0 || height % 4 != 0) raise(msg::kHeightNotMultipleOf4);
    const uint8_t nc = components_for_format(component_format);
    if (!bit_depth_supported(bit_depth)) raise(msg::kBitDepthNotSupported);
    return nc;
}

void frame_setup(FrameState& fs, ImageMemory& planes) {
    const uint8_t nc = validate_frame(fs.width, fs.height, fs.component_format, fs.bit_depth);
    const SubbandLayout layout = subband_layout(fs.w_kernel);
    fs.num_components = nc;
    fs.subsampled = fs.component_format == kFormatSubsampled ? 1 : 0;
    planes.reshape(fs.width, fs.height, nc, layout.subbands, uint8_t(layout.scheme));
    // Reused planes keep an earlier frame's cells: the entropy stage
    // defines every cell, also those a 4:2:2 frame never codes.
}

}  // namespace Vantrel::QVX

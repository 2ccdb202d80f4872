// The Bayer writer: rebuilds the single-plane mosaic from the coded components.
#pragma once

#include <cstdint>

#include "base/line_sink.h"
#include "codestream/frame_state.h"

namespace Vantrel::QVX {

class ImageMemory;
struct ToneTable;

// Rebuilds the mosaic from `planes` (the frame of fs). Returns the bytes
// written (mosaic width * height * 2). With lut_used 1 the writer loads the
// table from lut_path into `table` (not null then) and maps the mosaic at
// the mosaic's bit depth. Lines go to sink (null: standard output).
uint32_t write_bayer(ToneTable* table, const char* lut_path, const LineSink* sink, uint8_t* out,
                     const FrameState& fs, const ImageMemory& planes);

// Coded component planes as the reconstruction reads them: signed 16-bit
// samples, row-major, `width` x `height` each.
struct BayerComponents {
    const int16_t* plane[4] = {};
    int width = 0;
    int height = 0;
};

// Rebuilds the row-major W x H mosaic of depth d from the components, then
// runs the cell post-processing when ct_index is not 0. d lies in 1 .. 16;
// the planes must cover what the mode reads. A bayer_mode above 5
// prints "Bayermode not implemented." and ends the process with code 1.
void bayer_reconstruct(int32_t* mosaic, const BayerComponents& planes, int W, int H, uint32_t bayer_mode,
                       uint8_t bayer_param, int d, uint32_t ct_index, const LineSink* sink = nullptr);

// Number of component planes a reconstruction mode reads (0 for modes above 5).
unsigned bayer_components_needed(uint32_t bayer_mode);

}  // namespace Vantrel::QVX

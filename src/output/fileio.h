// Output writers: planar or pixel-interleaved frames, and 4:2:2 Cb Y0 Cr Y1.
// They read the working planes and write every output byte once, with the
// colour transform and the tone maps applied on the way. Every sample
// leaves as 16 bits, high byte first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/line_sink.h"
#include "codestream/frame_state.h"
#include "frame/parallel.h"

namespace Vantrel::QVX {

class ImageMemory;
struct ToneTable;
struct ColorRule;
struct SampleMap;

// What happens to the samples of the planes before a writer lays them out:
// the colour transform of components 0..2, then the look-up stage's map.
struct SampleFinish {
    const ColorRule* color = nullptr;
    const SampleMap* lut = nullptr;
};

// Lays out `planes` (the frame of fs). Returns the bytes written:
// num_components * width * height * 2. With lut_used 1 the writer loads the
// table from lut_path into `table` (not null then) once more, its line going
// to sink (null: standard output), and maps every sample again. Rows are
// spread over `workers`.
uint32_t write_frame(ToneTable* table, const char* lut_path, const LineSink* sink, uint8_t* out,
                     const FrameState& fs, const ImageMemory& planes, bool interleaved,
                     const SampleFinish& finish = {}, Workers workers = 1);

// Returns the bytes written: 4 * width * height; the rest of the buffer
// (num_components * width * height * 2 bytes in all) is set to 0.
uint32_t write_subsampled(uint8_t* out, const FrameState& fs, const ImageMemory& planes,
                          const SampleFinish& finish = {}, Workers workers = 1);

}  // namespace Vantrel::QVX

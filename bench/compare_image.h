// Reference images of the decoder comparison: PNG/PNM files turned into the
// PGM/PPM both encoders read, and checks of a decoded frame against them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image_io.h"

namespace qvxbench {

// Reads IN (PNG or PNM), keeps the largest top-left region whose sides are
// multiples of 4 (the QVX frame rule), gives a 16-bit file without a
// significant-bits chunk the smallest depth of 10, 12, 14 or 16 that holds
// its samples (as qvxenc does) and writes OUT as binary PGM/PPM. Grey and
// RGB only. Throws qvxtools::ToolError.
void make_reference_pnm(const std::string& in, const std::string& out);

// Decoded frame: planar, one plane per component, rows top to bottom.
struct Planes {
    uint32_t width = 0, height = 0, components = 0;
    std::vector<uint16_t> samples;
};

// Our decoder's output record (planar, high byte first) as Planes.
Planes planes_from_be16(const uint8_t* data, uint64_t size, const qvxtools::Image& ref);

// Whether frame equals ref sample for sample; on a mismatch, where.
bool same_samples(const Planes& frame, const qvxtools::Image& ref, std::string& where);

// Peak signal-to-noise ratio over all samples, against ref.maxval; +inf if equal.
double psnr(const Planes& frame, const qvxtools::Image& ref);

}  // namespace qvxbench

// The decoder's stages up to the coefficient store, run as the decode
// pipeline runs them: what an encoder round trip compares with the encoder's
// reconstruction.
#pragma once

#include <cstdint>
#include <vector>

#include "codestream/demultiplexer.h"
#include "codestream/header.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"

namespace qvxtest {

// One row-major plane per component; throws the stage's QvxError.
inline std::vector<std::vector<int16_t>> decode_coefficients(std::vector<uint8_t> bytes) {
    using namespace Vantrel::QVX;
    FrameState fs;
    ImageMemory planes;
    mem_data in(bytes.data(), bytes.size());
    Demultiplexer streams;
    read_header(in, fs);
    frame_setup(fs, planes);
    decode_subbands(fs, planes, in, streams);
    std::vector<std::vector<int16_t>> out;
    for (unsigned c = 0; c < fs.num_components; ++c) {
        const int16_t* p = planes.splane(c);
        out.emplace_back(p, p + planes.plane_size());
    }
    return out;
}

}  // namespace qvxtest

// The decoder's stages up to the coefficient store, run as the decode
// pipeline runs them: what an encoder round trip compares with the encoder's
// reconstruction.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "api/QVXDecoder.h"
#include "codestream/header.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"

namespace qvxtest {

// One row-major plane per component; throws the stage's QvxError.
inline std::vector<std::vector<int16_t>> decode_coefficients(std::vector<uint8_t> bytes) {
    using namespace Vantrel::QVX;
    frame_state fs;
    image_memory planes;
    mem_data in(bytes.data(), bytes.size());
    auto dec = std::make_unique<QVXDecoder>(&fs, &in);
    struct Release {
        frame_state& fs;
        ~Release() { frame_release(fs); }
    } release{fs};
    read_header(in, fs);
    frame_setup(*dec, fs.width, fs.height, fs.component_format, fs.bit_depth, fs, fs.stored_width, planes);
    dec->lb.setup(fs);
    decodeSubbands(*dec);
    std::vector<std::vector<int16_t>> out;
    for (unsigned c = 0; c < fs.num_components; ++c) {
        const int16_t* p = fs.coef_store->splane(c);
        out.emplace_back(p, p + fs.coef_store->plane_size());
    }
    return out;
}

}  // namespace qvxtest

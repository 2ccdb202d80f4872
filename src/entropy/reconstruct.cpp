#include "entropy/reconstruct.h"

#include <cstring>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/image_memory.h"

namespace Vantrel::QVX {

Reconstructor::Reconstructor(QVXCodec& codec, const frame_state& fs) {
    const image_memory& coef = *fs.coef_store;
    const unsigned nc = coef.num_components();
    num_subbands_ = coef.num_subbands();
    stride_ = coef.sb_width();
    pred_mode_ = fs.pred_mode;
    const size_t plane = size_t(coef.sb_width()) * coef.sb_height();

    const bool fresh = !codec.pred_buffers;
    if (fresh) {
        void* mem = codec.pool.allocate(plane * num_subbands_ * nc * sizeof(int16_t));
        if (!mem) raise("Error: Could not allocate memory");
        codec.pred_buffers = static_cast<int16_t*>(mem);
    }

    for (unsigned c = 0; c < nc; ++c) {
        for (unsigned s = 0; s < num_subbands_; ++s) {
            Band& b = bands_[c * num_subbands_ + s];
            const unsigned group = coef.subbandColumn(uint8_t(s), 0) % 4;
            const unsigned byte = coef.subbandRow(uint8_t(s), 0) % 4;
            b.qp_offset = fs.component_params[c][group][byte];
            b.mode = predictionMode(s, fs.w_kernel, fs.pred_mode);
            b.pred = codec.pred_buffers + (size_t(s) * nc + c) * plane;
            // Only predicted planes are ever read. They start at 0, so chroma
            // columns that an odd subsampled width never writes read as 0.
            if (fresh && b.mode != kNoPrediction) std::memset(b.pred, 0, plane * sizeof(int16_t));
        }
    }
}

}  // namespace Vantrel::QVX

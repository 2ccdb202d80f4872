// Coefficient reconstruction: dequantisation and, for predicted subbands,
// the prediction from already reconstructed neighbours in pred_buffers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codestream/frame_state.h"
#include "entropy/dequantise.h"
#include "entropy/prediction.h"

namespace Vantrel::QVX {

class QVXCodec;

class Reconstructor {
public:
    // Takes the zeroed prediction planes from the codec's pool unless it
    // has them already (one row-major sb_width x sb_height plane per
    // (subband, component), subband-major), and resolves the qp offset and
    // prediction mode of every (component, subband) of coef_store once.
    Reconstructor(QVXCodec& codec, const frame_state& fs);

    int16_t reconstruct(int16_t value, unsigned c, unsigned s, unsigned x, unsigned y, int32_t q) const {
        const Band& b = bands_[c * num_subbands_ + s];
        const int16_t d = dequantise(value, q, b.qp_offset);
        if (b.mode == kNoPrediction) return d;
        int16_t* plane = b.pred;
        const int16_t p = predict(b.mode, pred_mode_, plane, stride_, x, y);
        const auto r = int16_t(uint16_t(uint32_t(uint16_t(p)) + uint16_t(d)));
        plane[size_t(y) * stride_ + x] = r;
        return r;
    }

    uint8_t qpOffset(unsigned c, unsigned s) const { return bands_[c * num_subbands_ + s].qp_offset; }

private:
    struct Band {
        int16_t* pred = nullptr;
        uint8_t qp_offset = 0;
        int mode = kNoPrediction;
    };
    Band bands_[64];
    unsigned num_subbands_ = 1;
    unsigned stride_ = 0;
    uint8_t pred_mode_ = 0;
};

}  // namespace Vantrel::QVX

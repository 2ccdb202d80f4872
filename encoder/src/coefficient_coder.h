// The coefficient coder for callers that code one frame many times.
#pragma once

#include <cstdint>
#include <vector>

#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

// The residual every value of each stream has when all earlier values are
// exact: it depends on the coefficients, the kernel, the prediction mode
// and the component format, not on quantisation.
struct StreamResiduals {
    std::vector<int16_t> stream[64];
    bool ready = false;
};

// encode_coefficients, with the residuals kept in `residuals`: filled by
// the first call, reused by later ones, which must pass the same frame and
// settings that differ at most in the quantiser table and offsets.
EncodedFrame encode_coefficients(const EncoderSettings& settings, const CoefficientFrame& frame,
                                 StreamResiduals& residuals);

}  // namespace Vantrel::QVX::enc

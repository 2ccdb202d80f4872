// The image encoder in its two stages, for callers that code one image
// many times: the coefficients depend only on the transform settings
// (component format, colour mode, bit depth, kernel), not on the
// quantisation.
#pragma once

#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

// coded_image, then the colour transform and the forward wavelet.
CoefficientFrame transform_image(const EncoderSettings& settings, const ImagePlanes& image, Input422 input422);

// The coefficient coder's stream of transform_image's result.
EncodedImage encode_transformed(const EncoderSettings& settings, const CoefficientFrame& coefficients);

}  // namespace Vantrel::QVX::enc

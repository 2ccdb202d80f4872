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

namespace Vantrel::QVX::enc {

// Whether rebuild_image serves frames of these settings: not 4:2:2, tone
// tables or Bayer mosaics, which only the full decoder lays out.
bool can_rebuild(const EncoderSettings& settings);

// The samples the decoder outputs for a stream whose coefficients it
// rebuilds as `coefficients` (encode_coefficients' reconstruction), which
// are taken over as working planes.
ImagePlanes rebuild_image(const EncoderSettings& settings, CoefficientFrame&& coefficients);

}  // namespace Vantrel::QVX::enc

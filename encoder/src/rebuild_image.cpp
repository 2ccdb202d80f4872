// The decoder's last stages run straight on the coder's reconstruction:
// the coefficients it rebuilds are those, so the samples are the decoded
// ones without reading the stream back.
#include <cstring>

#include "base/line_sink.h"
#include "codestream/frame_state.h"
#include "image_transform.h"
#include "output/colortransform.h"
#include "wavelet/wavelet.h"

namespace Vantrel::QVX::enc {

bool can_rebuild(const EncoderSettings& s) {
    return s.bayer_mode == 0 && s.lut_used == 0 && s.component_format != kFormatSubsampled && s.w_kernel <= 6;
}

ImagePlanes rebuild_image(const EncoderSettings& s, CoefficientFrame&& coefficients) {
    FrameState fs{};
    fs.width = s.width;
    fs.height = s.height;
    fs.bit_depth = s.bit_depth;
    fs.ct_mode = s.ct_mode;
    fs.w_kernel = s.w_kernel;
    fs.component_format = s.component_format;
    fs.num_components = coefficients.num_components;
    const unsigned nc = coefficients.num_components;
    int16_t* planes[4] = {};
    int16_t bounds[4] = {};
    for (unsigned c = 0; c < nc; ++c) {
        planes[c] = coefficients.planes[c].data();
        bounds[c] = clip_bound(fs, c);
    }
    inverse_wavelet_planes(s.w_kernel, planes, bounds, nc, s.width, s.height, Workers{1}, 0);
    ImagePlanes out;
    out.width = s.width;
    out.height = s.height;
    out.num_components = coefficients.num_components;
    const size_t n = size_t(s.width) * s.height;
    if (nc >= 3 && color_transformed(s.component_format, s.ct_mode)) {
        const LineSink quiet{};  // no write function: the mode line is dropped
        const ColorRule rule = prepare_color_transform(fs, &quiet);
        for (unsigned c = 0; c < 3; ++c) out.planes[c].resize(n);
        color_transform_row(rule, planes[0], planes[1], planes[2], out.planes[0].data(), out.planes[1].data(),
                            out.planes[2].data(), n);
    }
    // The rest are the clipped samples themselves, in the same bits.
    for (unsigned c = 0; c < nc; ++c) {
        if (!out.planes[c].empty()) continue;
        out.planes[c].resize(n);
        std::memcpy(out.planes[c].data(), planes[c], n * sizeof(int16_t));
    }
    return out;
}

}  // namespace Vantrel::QVX::enc

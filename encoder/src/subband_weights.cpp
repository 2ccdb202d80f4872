#include "subband_weights.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/format.h"
#include "qvx/QvxEncoder.h"
#include "wavelet/passes.h"

namespace Vantrel::QVX::enc {

double band_synthesis_gain(unsigned kernel, unsigned band) {
    if (kernel >= wavelet::kNumKernels || band >= 16) return 1.0;
    // A cell far from the edges of a plane large enough for the 5/3 support
    // of both levels; the amplitude keeps integer rounding small without
    // reaching the 16-bit range.
    constexpr unsigned kSize = 64, kCell = 8;
    constexpr double kAmp = 1024.0;
    const unsigned cx = 2 * (band & 1) + ((band >> 3) & 1), cy = (band >> 1) & 3;
    std::vector<int16_t> plane(kSize * kSize, 0);
    plane[size_t(4 * kCell + cy) * kSize + 4 * kCell + cx] = int16_t(kAmp);
    wavelet::transform_plane<wavelet::Direction::Inverse>(kernel, plane.data(), kSize, kSize);
    double energy = 0;
    for (int16_t v : plane) energy += double(v) * v;
    return energy / (kAmp * kAmp);
}

double component_gain(uint8_t ct_mode, uint8_t component_format, unsigned c) {
    if (component_format != 2 || c > 2) return 1.0;
    // Per mode, the change of R, G and B for a unit change of each component.
    // Doubled-chroma modes carry each chroma unit as two.
    double d[3][3];  // [component][R, G, B]
    switch (ct_mode) {
        case 1: {
            const double s = 1.0 / 16384;
            const double m[3][3] = {{19152, 19152, 19152}, {-1, -3507, 34745}, {29487, -8766, 2}};
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j) d[i][j] = m[i][j] * s;
            break;
        }
        case 2:
        case 3: {
            const double m[3][3] = {{1, 1, 1}, {0, -0.34413, 1.772}, {1.402, -0.71414, 0}};
            std::copy(&m[0][0], &m[0][0] + 9, &d[0][0]);
            break;
        }
        case 4:
        case 9: {
            const double k = ct_mode == 9 ? 2.0 : 1.0;
            const double m[3][3] = {{1, 1, 1}, {-0.25 * k, -0.25 * k, 0.75 * k}, {0.75 * k, -0.25 * k, -0.25 * k}};
            std::copy(&m[0][0], &m[0][0] + 9, &d[0][0]);
            break;
        }
        case 10:
        case 11: {
            const double k = ct_mode == 11 ? 2.0 : 1.0;
            const double m[3][3] = {{1, 1, 1}, {0.5 * k, 0, -0.5 * k}, {-0.5 * k, 0.5 * k, -0.5 * k}};
            std::copy(&m[0][0], &m[0][0] + 9, &d[0][0]);
            break;
        }
        default:
            return 1.0;  // no transform, or the green difference (a unit error stays one)
    }
    return d[c][0] * d[c][0] + d[c][1] * d[c][1] + d[c][2] * d[c][2];
}

void set_weighted_offsets(EncoderSettings& s, int chroma_bias) {
    const unsigned ncomp = format_components(s.component_format);
    double log_gain[4][16];
    double lowest = INFINITY;
    for (unsigned c = 0; c < ncomp; ++c)
        for (unsigned b = 0; b < 16; ++b) {
            log_gain[c][b] = 2.0 * std::log2(band_synthesis_gain(s.w_kernel, b) *
                                             component_gain(s.ct_mode, s.component_format, c));
            lowest = std::min(lowest, log_gain[c][b]);
        }
    for (unsigned c = 0; c < 4; ++c)
        for (unsigned b = 0; b < 16; ++b) {
            // Band b's cell: group = column mod 4, byte = row mod 4.
            const unsigned g = 2 * (b & 1) + ((b >> 3) & 1), r = (b >> 1) & 3;
            double v = c < ncomp ? log_gain[c][b] - lowest : 0.0;
            if (c > 0 && c < ncomp && color_transformed(s.component_format, s.ct_mode)) v += chroma_bias;
            s.component_params[c][g][r] = uint8_t(std::clamp(std::lround(v), 0L, 255L));
        }
}

}  // namespace Vantrel::QVX::enc

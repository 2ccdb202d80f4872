// Image-domain weights of quantisation errors: how much squared error one
// unit of error in a subband coefficient, or in a coded colour component,
// leaves in the rebuilt R, G, B (or grey) samples. They set the quantiser
// offsets that give every subband and component the same distortion slope.
#pragma once

#include <cstdint>

namespace Vantrel::QVX::enc {

// Energy of the inverse wavelet of kernel 0..5 applied to a unit impulse in
// band b (0..15, interleaved numbering); 1 for other kernels.
double band_synthesis_gain(unsigned kernel, unsigned band);

// Squared error in R, G, B summed that a unit error in component c leaves
// after the inverse colour transform of ct_mode (linearised); 1 when no
// transform runs.
double component_gain(uint8_t ct_mode, uint8_t component_format, unsigned component);

}  // namespace Vantrel::QVX::enc

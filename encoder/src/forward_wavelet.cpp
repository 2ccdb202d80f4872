#include "forward_wavelet.h"

#include "wavelet/passes.h"

namespace Vantrel::QVX::enc {

void forward_wavelet(unsigned kernel, uint16_t* plane, unsigned width, unsigned height) {
    if (kernel >= wavelet::kNumKernels) return;
    // Samples are reinterpreted as signed 16-bit, as the decoder reads them.
    wavelet::transform_plane<wavelet::Direction::Forward>(kernel, reinterpret_cast<int16_t*>(plane), width,
                                                          height);
}

}  // namespace Vantrel::QVX::enc

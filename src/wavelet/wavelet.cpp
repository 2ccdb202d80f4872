#include "wavelet/wavelet.h"

#include "api/error.h"

namespace Vantrel::QVX {

void inverse_wavelet(unsigned, frame_state&) { raise("Inverse wavelet kernels are not available in this build"); }

}  // namespace Vantrel::QVX

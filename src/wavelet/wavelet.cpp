// Inverse kernels 0..5: the same pass routines for every kernel, picked by
// the kernel's shape, run in place on each component of wavelet_store.
#include "wavelet/wavelet.h"

#include "frame/image_memory.h"
#include "wavelet/passes.h"

namespace Vantrel::QVX {

void inverse_wavelet(unsigned kernel, frame_state& fs) {
    image_memory& store = *fs.wavelet_store;
    if (kernel < wavelet::kNumKernels) {
        for (unsigned c = 0; c < fs.num_components; ++c)
            wavelet::transform_plane<wavelet::Direction::Inverse>(kernel, store.splane(c), fs.width, fs.height);
    }
    clip_frame(fs);
}

}  // namespace Vantrel::QVX

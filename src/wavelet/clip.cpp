// The clipping step that ends every kernel: samples into 0..bound.
#include "frame/image_memory.h"
#include "wavelet/wavelet.h"

namespace Vantrel::QVX {

void clip_frame(frame_state& fs) {
    uint16_t bound = uint16_t((1u << fs.bit_depth) - 1u);
    if (fs.ct_mode == 3) bound = fs.w_kernel >= 3 ? 1023 : 4095;
    // Reversible colour modes carry chroma with one more bit.
    const bool wide_chroma = fs.ct_mode == 4 || fs.ct_mode == 10;
    image_memory& store = *fs.wavelet_store;
    const size_t w = fs.width;
    for (unsigned c = 0; c < fs.num_components; ++c) {
        const int32_t b = (c > 0 && wide_chroma) ? int16_t(uint16_t(bound * 2)) : int16_t(bound);
        for (unsigned y = 0; y < fs.height; ++y) {
            int16_t* row = store.splane(c) + y * w;
            for (size_t x = 0; x < w; ++x) {
                int32_t v = row[x];
                if (v > b) v = b;
                if (v < 0) v = 0;
                row[x] = int16_t(v);
            }
        }
    }
}

}  // namespace Vantrel::QVX

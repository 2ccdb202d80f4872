// The decode call: every stage in its fixed order over the chain of stores.
#include <memory>

#include "api/QVXDecoder.h"
#include "api/SimpleQvxDecoderPrivate.h"
#include "api/error.h"
#include "codestream/header.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "output/bayer.h"
#include "output/colortransform.h"
#include "output/fileio.h"
#include "output/lut.h"
#include "wavelet/wavelet.h"

namespace Vantrel::QVX {

namespace {

// Destroys the call's decoder object and releases the stores on every exit.
struct CallGuard {
    SimpleQvxDecoderPrivate& p;
    ~CallGuard() {
        delete p.decoder;
        p.decoder = nullptr;
        frame_release(p.state);
    }
};

void run_stages(SimpleQvxDecoderPrivate& p, mem_data* in, mem_data** out) {
    frame_state& fs = p.state;
    QVXDecoder& dec = *p.decoder;

    read_header(*in, fs);
    admit_frame(p.host, fs, p.interleaved);

    if (fs.lut_path && fs.lut_used == 0) raise("The file is encoded without using a LUT!");
    if (!fs.lut_path && fs.lut_used == 1) raise("Missing LUT!");

    frame_setup(dec, fs.width, fs.height, fs.component_format, fs.bit_depth, fs, fs.stored_width);
    dec.lb.setup(fs);
    decodeSubbands(dec, p.threads);

    // Each stage's source store is not read again, so its planes move on.
    fs.wavelet_store->takeFrom(*fs.coef_store);
    if (fs.w_kernel <= 5) inverse_wavelet(fs.w_kernel, fs);
    else if (fs.w_kernel == 6) clip_frame(fs);
    else raise("internal error: default reached (w_kernel switch)");

    fs.ct_store->takeFrom(*fs.wavelet_store);
    if (fs.component_format == 2 && fs.ct_mode != 0) inverse_color_transform(fs);

    fs.lut_store->takeFrom(*fs.ct_store);
    if (fs.lut_used == 1) apply_lut_to_store(dec, fs);

    fs.out_store->takeFrom(*fs.lut_store);

    const uint32_t bytes = uint32_t(fs.num_components) * fs.height * fs.width * 2u;
    // The product is taken in 32 bits; a frame whose samples would not fit
    // that count cannot be handed out without writing past the buffer.
    if (uint64_t(fs.num_components) * fs.height * fs.width * 2u != bytes)
        raise("Error: Frame too large for one output buffer");
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes ? bytes : 1]());

    if (fs.bayer_mode != 0) write_bayer(dec, buffer.get(), fs);
    else if (fs.subsampled == 1) write_subsampled(buffer.get(), fs);
    else write_frame(dec, buffer.get(), fs, p.interleaved);

    *out = new mem_data(buffer.release(), bytes, 0);
}

}  // namespace

int SimpleQvxDecoderPrivate::decode(mem_data* in, mem_data** out) {
    decoder = new QVXDecoder(&state, in);
    CallGuard guard{*this};
    try {
        run_stages(*this, in, out);
    } catch (const QvxError& e) {
        last_error = e.text();
        return 1;
    }
    last_error.clear();
    return 0;
}

}  // namespace Vantrel::QVX

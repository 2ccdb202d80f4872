// The decode call: every stage in its fixed order over the frame's working
// planes, which the private state keeps from call to call.
#include <memory>
#include <optional>

#include "api/QVXDecoder.h"
#include "api/SimpleQvxDecoderPrivate.h"
#include "api/error.h"
#include "codestream/header.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "frame/parallel.h"
#include "output/bayer.h"
#include "output/colortransform.h"
#include "output/fileio.h"
#include "output/lut.h"
#include "wavelet/wavelet.h"

namespace Vantrel::QVX {

namespace {

// Destroys the call's decoder object and ends the use of the planes on
// every exit.
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
    const unsigned threads = resolve_thread_count(p.threads);

    read_header(*in, fs);
    admit_frame(p.host, fs, p.interleaved);

    if (fs.lut_path && fs.lut_used == 0) raise("The file is encoded without using a LUT!");
    if (!fs.lut_path && fs.lut_used == 1) raise("Missing LUT!");

    frame_setup(dec, fs.width, fs.height, fs.component_format, fs.bit_depth, fs, fs.stored_width, p.planes);
    dec.lb.setup(fs);
    decodeSubbands(dec, p.threads);

    if (fs.w_kernel > 6) raise("internal error: default reached (w_kernel switch)");
    inverse_wavelet(fs.w_kernel, fs, threads);

    // Colour and the look-up stage print and fail here, in the stages'
    // order; their arithmetic runs inside the writer, row by row.
    std::optional<ColorRule> color;
    if (fs.component_format == 2 && fs.ct_mode != 0) color = prepare_color_transform(fs);
    std::optional<SampleMap> lut;
    if (fs.lut_used == 1) {
        load_lut(dec, fs.lut_path, fs.bit_depth);
        lut = sample_map(dec);
    }

    const uint32_t bytes = uint32_t(fs.num_components) * fs.height * fs.width * 2u;
    // The product is taken in 32 bits; a frame whose samples would not fit
    // that count cannot be handed out without writing past the buffer.
    if (uint64_t(fs.num_components) * fs.height * fs.width * 2u != bytes)
        raise("Error: Frame too large for one output buffer");
    // Not zeroed: every writer fills or clears each byte.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes ? bytes : 1]);

    if (fs.bayer_mode != 0) {
        // The mosaic is rebuilt from finished component samples.
        if (color) color_transform_planes(*color, fs, threads);
        if (lut) map_store(*lut, *fs.coef_store);
        write_bayer(dec, buffer.get(), fs);
    } else {
        const SampleFinish finish{color ? &*color : nullptr, lut ? &*lut : nullptr};
        if (fs.subsampled == 1) write_subsampled(buffer.get(), fs, finish, threads);
        else write_frame(dec, buffer.get(), fs, p.interleaved, finish, threads);
    }

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

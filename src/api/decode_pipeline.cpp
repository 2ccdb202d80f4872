// The decode call: every stage in its fixed order over the frame's working
// planes, which the private state keeps from call to call.
#include <memory>
#include <optional>

#include "api/SimpleQvxDecoderPrivate.h"
#include "base/error.h"
#include "base/messages.h"
#include "codestream/demultiplexer.h"
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

// The stages in their order. The private state owns what they work on: the
// header record kept between calls, the working planes, the tone table's
// path and the line sink; each stage gets the parts it uses as arguments.
void run_stages(SimpleQvxDecoderPrivate& p, mem_data* in, mem_data** out) {
    FrameState& fs = p.state;
    ImageMemory& planes = p.planes;
    const unsigned threads = resolve_thread_count(p.threads);
    const Workers workers{threads, &p.pool};

    read_header(*in, fs);
    admit_frame(p.host, fs, p.interleaved);
    const LineSink* sink = p.host.line_sink();
    const char* lut_path = p.lut_path.empty() ? nullptr : p.lut_path.c_str();

    if (lut_path && fs.lut_used == 0) raise(msg::kLutNotUsed);
    if (!lut_path && fs.lut_used == 1) raise(msg::kLutMissing);

    frame_setup(fs, planes);
    // With threads, the wavelet runs on the planes' rows as reconstruction
    // finishes them.
    std::optional<WaveletTasks> wavelet;
    PlaneFollowers follow;
    if (threads > 1 && fs.w_kernel <= 6) {
        int16_t* rows[4] = {};
        int16_t bounds[4] = {};
        for (unsigned c = 0; c < fs.num_components; ++c) {
            rows[c] = planes.splane(c);
            bounds[c] = clip_bound(fs, c);
        }
        wavelet.emplace(fs.w_kernel, rows, bounds, fs.num_components, fs.width, fs.height);
        follow.count = wavelet->count();
        follow.run = [&](size_t i, const PlaneFollowers::Ready& ready) { wavelet->run(i, ready); };
    }
    decode_subbands(fs, planes, *in, p.streams, workers, nullptr, &p.subband_scratch, wavelet ? &follow : nullptr);

    if (fs.w_kernel > 6) raise(msg::kKernelSwitch);
    if (!wavelet) inverse_wavelet(fs.w_kernel, fs, planes, workers);

    // Colour and the look-up stage print and fail here, in the stages'
    // order; their arithmetic runs inside the writer, row by row.
    std::optional<ColorRule> color;
    if (color_transformed(fs.component_format, fs.ct_mode)) color = prepare_color_transform(fs, sink);
    // The tone table, loaded by this stage and once more by the writer.
    std::unique_ptr<ToneTable> tone;
    std::optional<SampleMap> lut;
    if (fs.lut_used == 1) {
        tone = std::make_unique<ToneTable>();
        load_lut(*tone, lut_path, fs.bit_depth, sink);
        lut = sample_map(*tone);
    }

    const uint32_t bytes = uint32_t(fs.num_components) * fs.height * fs.width * 2u;
    // The product is taken in 32 bits; a frame whose samples would not fit
    // that count cannot be handed out without writing past the buffer.
    if (uint64_t(fs.num_components) * fs.height * fs.width * 2u != bytes)
        raise(msg::kFrameTooLarge);
    // Not zeroed: every writer fills or clears each byte.
    std::unique_ptr<uint8_t[]> buffer(new uint8_t[bytes ? bytes : 1]);

    if (fs.bayer_mode != 0) {
        // The mosaic is rebuilt from finished component samples.
        if (color) color_transform_planes(*color, fs, planes, workers);
        if (lut) map_store(*lut, planes);
        write_bayer(tone.get(), lut_path, sink, buffer.get(), fs, planes);
    } else {
        const SampleFinish finish{color ? &*color : nullptr, lut ? &*lut : nullptr};
        if (fs.subsampled == 1)
            write_subsampled(buffer.get(), fs, planes, finish, workers);
        else
            write_frame(tone.get(), lut_path, sink, buffer.get(), fs, planes, p.interleaved, finish, workers);
    }

    *out = new mem_data(buffer.release(), bytes, 0);
}

}  // namespace

int SimpleQvxDecoderPrivate::decode(mem_data* in, mem_data** out) {
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

#include "qvxenc_encode.h"

#include <algorithm>
#include <cmath>

#include "base/format.h"

namespace qvxtools {

namespace {

using namespace Vantrel::QVX::enc;

unsigned bits_for(uint32_t v) {
    unsigned b = 0;
    while (v >> b) ++b;
    return b;
}

// The default bit depth: 8 for 8-bit files, the file's own range for PNM and
// for PNG with an sBIT chunk (the reader already undid its scaling), and for
// full-range 16-bit files the smallest depth that holds the largest sample.
unsigned default_depth(const qvxtools::Image& image) {
    if (image.maxval <= 255) return 8;
    uint32_t top = image.maxval;
    if (image.maxval == 65535) {
        top = 0;
        for (uint16_t v : image.samples) top = v > top ? v : top;
    }
    const unsigned b = bits_for(top);
    return b <= 10 ? 10 : b <= 12 ? 12 : 14;
}

ImagePlanes to_planes(const qvxtools::Image& image, unsigned depth) {
    if (image.width % 4 || image.height % 4)
        fail("the image is " + std::to_string(image.width) + "x" + std::to_string(image.height) +
             "; width and height must be multiples of 4 (crop it)");
    if (image.width > 65532 || image.height > 65532) fail("the image is too large for a QVX frame");
    const unsigned n = image.channels;
    ImagePlanes p(uint16_t(image.width), uint16_t(image.height), uint8_t(n));
    uint32_t top = 0;
    for (uint16_t v : image.samples) top = v > top ? v : top;
    const uint32_t max = (1u << depth) - 1;
    // Samples beyond the chosen depth are scaled from the file's range.
    const bool scale = top > max;
    const size_t count = size_t(image.width) * image.height;
    for (size_t i = 0; i < count; ++i)
        for (unsigned c = 0; c < n; ++c) {
            const uint32_t v = image.samples[i * n + c];
            p.planes[c][i] = uint16_t(scale ? (uint64_t(v) * max + image.maxval / 2) / image.maxval : v);
        }
    return p;
}

// Rate control as the options give it; the --bpp and --psnr searches set
// the drain and quantiser table of their own later.
void set_rate_control(const EncOptions& o, EncoderSettings& s) {
    const unsigned w4 = s.width / 4u, h4 = s.height / 4u;
    int window = o.window.value_or(4);
    if (!o.window && h4 > Vantrel::QVX::kQpTableRoom)
        window = int(4 * ((h4 + Vantrel::QVX::kQpTableRoom - 1) / Vantrel::QVX::kQpTableRoom));
    s.rc_window = int16_t(window);
    s.rc_drain = uint16_t(o.drain.value_or(0));
    const bool rc = s.rc_drain != 0 || o.bpp || o.psnr;
    // An eighth of the frame's bits at the drain rate: room to even out the
    // detail of the frame, while the final fill level moves the size of the
    // stream by little.
    unsigned log2 = 20;
    if (o.buffer_log2) {
        log2 = *o.buffer_log2;
    } else if (rc) {
        const double drain = o.bpp ? *o.bpp * 16 : double(s.rc_drain);
        log2 = unsigned(std::clamp(std::lround(std::log2(drain * w4 * h4 / 8 + 1)), 10L, 31L));
    }
    s.buffer_size_log2 = log2;
    s.buffer_size = log2 >= 32 ? 0xFFFFFFFFu : (1u << log2);
    s.fill_level = o.fill ? uint32_t(*o.fill) : uint32_t((uint64_t(1) << log2) / 2);
    if (o.qp) {
        s.qp_table = *o.qp;
        // One value serves every window.
        if (s.qp_table.size() == 1) s.qp_table.assign(window_count(s), s.qp_table[0]);
    } else if (rc) {
        // A base step of 8 for 8-bit samples, the same share of the range
        // for deeper ones.
        s.qp_table.assign(window_count(s), int8_t(12 + 4 * (s.bit_depth - 8)));
    }
}

void apply_offsets(const EncOptions& o, EncoderSettings& s, unsigned num_components) {
    if (!o.offsets) {
        set_weighted_offsets(s);
        return;
    }
    const std::vector<uint8_t>& off = *o.offsets;
    const unsigned blocks = unsigned(off.size() / 16);
    if (blocks != 1 && blocks != num_components)
        fail("--offsets gives " + std::to_string(blocks) + " blocks of 16 for " +
             std::to_string(num_components) + " components");
    for (unsigned c = 0; c < 4; ++c)
        for (unsigned i = 0; i < 16; ++i)
            s.component_params[c][i / 4][i % 4] = off[(blocks == 1 ? 0 : std::min(c, blocks - 1)) * 16 + i];
}

EncoderSettings make_settings(const EncOptions& o, const ImagePlanes& p, unsigned format, unsigned depth) {
    EncoderSettings s;
    s.version = uint16_t(o.version.value_or(7));
    s.width = p.width;
    s.height = p.height;
    s.component_format = uint8_t(format);
    s.bit_depth = uint8_t(depth);
    s.w_kernel = uint8_t(o.kernel.value_or(3));
    // A colour mode belongs to RGB frames and Bayer mosaics only: the decoder
    // narrows the sample range of any frame by modes 3, 4 and 10.
    const bool colour = format == 2 || o.bayer_mode.value_or(0) != 0;
    s.ct_mode = uint8_t(colour ? o.ct.value_or(format == 2 ? 4 : 0) : 0);
    s.pred_mode = uint8_t(o.pred.value_or(0));
    s.lut_used = o.lut.empty() ? 0 : 1;
    s.bayer_mode = uint8_t(o.bayer_mode.value_or(0));
    s.bayer_param = uint8_t(o.bayer_param.value_or(0));
    apply_offsets(o, s, p.num_components);
    set_rate_control(o, s);
    return s;
}

// Lossy coding at --bpp or --psnr: the preset picks the modes not given and
// the offsets that follow them (they depend on kernel, colour mode and
// quality); --offsets replaces those.
EncodedImage encode_lossy(const EncOptions& o, EncoderSettings& s, const ImagePlanes& planes, Input422 in422) {
    const double target = o.bpp ? *o.bpp : *o.psnr;
    if (!o.best && !o.offsets)
        return encode_image_fast(s, planes, in422, o.bpp.has_value(), target, o.kernel.has_value(),
                                 o.ct.has_value(), o.pred.has_value(), o.threads);
    if (o.best)
        set_best_lossy_modes(s, planes, in422, o.bpp.has_value(), target, o.kernel.has_value(), o.ct.has_value(),
                             o.pred.has_value());
    else
        set_fast_lossy_modes(s, planes, in422, o.bpp.has_value(), target, o.kernel.has_value(), o.ct.has_value(),
                             o.pred.has_value());
    if (o.offsets) apply_offsets(o, s, planes.num_components);
    return o.bpp ? encode_image_at_rate(s, planes, *o.bpp, in422) : encode_image_at_psnr(s, planes, *o.psnr, in422);
}

}  // namespace

EncResult encode_for_options(const EncOptions& o, const Image& image) {
    EncResult r;
    if (o.bayer_mode.value_or(0) != 0) {
        if (image.channels != 1) fail("a Bayer mosaic must be a one-channel (grey) image");
        if (o.bpp || o.psnr) fail("--bpp and --psnr are not available for Bayer mosaics; use --drain");
        const unsigned depth = o.depth.value_or(image.maxval <= 255 ? 8 : default_depth(image));
        std::vector<uint16_t> mosaic = image.samples;
        if (image.maxval > (1u << depth) - 1)
            for (uint16_t& v : mosaic)
                v = uint16_t((uint64_t(v) * ((1u << depth) - 1) + image.maxval / 2) / image.maxval);
        // The coded frame's size comes from the split, so the first encoding
        // (rate control off) finds it; rate control, sized for that frame,
        // needs a second one.
        ImagePlanes probe(4, 4, 1);
        EncoderSettings s = make_settings(o, probe, 1, depth);
        const EncoderSettings first = s;
        s.rc_drain = 0;
        s.qp_table.clear();
        r.encoded = encode_mosaic(s, mosaic.data(), image.width, image.height, depth);
        if (first.rc_drain != 0 || o.qp) {
            set_rate_control(o, s);
            r.encoded = encode_mosaic(s, mosaic.data(), image.width, image.height, depth);
        }
        r.settings = s;
        r.depth = depth;
        r.mosaic = std::move(mosaic);
        return r;
    }
    if (image.channels == 2) fail("grey+alpha images are not supported; drop the alpha channel");
    const unsigned format = o.format.value_or(image.channels == 1 ? 1 : image.channels == 3 ? 2 : 4);
    const unsigned needed = format == 1 ? 1 : format == 4 ? 4 : 3;
    if (image.channels != needed)
        fail("format " + std::to_string(format) + " needs " + std::to_string(needed) +
             " channels; the image has " + std::to_string(image.channels));
    if (format == 3 && o.kernel.value_or(0) == 6)
        fail("kernel 6 cannot carry 4:2:2 chroma (only the left half of each chroma strip is coded)");
    const unsigned depth = o.depth.value_or(default_depth(image));
    r.planes = to_planes(image, depth);
    EncoderSettings s = make_settings(o, r.planes, format, depth);
    if (s.w_kernel == 6 && s.width % 16)
        fail("kernel 6 needs a width that is a multiple of 16, not " + std::to_string(s.width));
    const Input422 in422 = Input422::Rgb;
    r.encoded = o.bpp || o.psnr ? encode_lossy(o, s, r.planes, in422) : encode_image(s, r.planes, in422);
    r.settings = s;
    r.depth = depth;
    r.format = format;
    return r;
}

}  // namespace qvxtools

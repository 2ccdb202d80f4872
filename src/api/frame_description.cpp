#include "api/frame_description.h"

#include "api/decoder_settings.h"
#include "base/error.h"
#include "base/messages.h"
#include "base/mosaic_geometry.h"
#include "codestream/header.h"
#include "frame/frame_setup.h"
#include "output/bayer.h"

namespace Vantrel::QVX {

namespace {

uint32_t pattern_of(uint8_t bayer_param) {
    switch (bayer_param) {
        case 0: return QVX_BAYER_RGGB;
        case 1: return QVX_BAYER_GRBG;
        case 2: return QVX_BAYER_BGGR;
        case 3: return QVX_BAYER_GBRG;
        default: return QVX_BAYER_NONE;
    }
}

}  // namespace

qvx_frame_info describe_frame(const FrameState& fs, bool interleaved) {
    qvx_frame_info info{};
    info.components = fs.num_components;
    info.bit_depth = fs.bit_depth;
    info.color_mode = fs.ct_mode;
    info.color_transform = color_transformed(fs.component_format, fs.ct_mode);
    info.tone_table = fs.lut_used == 1;
    info.stream_version = fs.version;
    info.buffer_bytes = uint64_t(fs.num_components) * fs.width * fs.height * 2u;
    info.width = fs.width;
    info.height = fs.height;
    if (fs.bayer_mode != 0) {
        info.layout = QVX_LAYOUT_BAYER;
        info.bayer_mode = fs.bayer_mode;
        info.channels = 1;
        if (bayer_mode_supported(fs.bayer_mode)) {
            const uint32_t ct_index = ct_index_for_mode(fs.ct_mode);
            info.width = uint32_t(mosaic_width(fs.width, fs.bayer_mode, 1, fs.stored_width));
            info.height = uint32_t(mosaic_height(fs.height, fs.bayer_mode, 1));
            info.bit_depth = uint32_t(mosaic_bit_depth(fs.bit_depth, fs.bayer_mode, 1, ct_index));
            info.bayer_pattern = pattern_of(fs.bayer_param);
            info.cell_transform = ct_index;
        } else {
            info.width = info.height = 0;
        }
    } else if (fs.component_format == kFormatSubsampled) {
        info.layout = QVX_LAYOUT_CBYCRY;
        info.channels = 2;
    } else {
        info.layout = interleaved ? QVX_LAYOUT_INTERLEAVED : QVX_LAYOUT_PLANAR;
        info.channels = fs.num_components;
    }
    info.sample_bytes = uint64_t(info.width) * info.height * info.channels * 2u;
    return info;
}

void admit_frame(DecoderSettings& settings, const FrameState& fs, bool interleaved) {
    settings.pending = describe_frame(fs, interleaved);
    const uint64_t samples = uint64_t(fs.width) * fs.height * fs.num_components;
    if (settings.max_pixels != 0 && samples > settings.max_pixels) raise(msg::kPixelLimit);
    if (settings.reject_unsupported_bayer && !bayer_mode_supported(fs.bayer_mode)) raise(msg::kUnsupportedBayer);
}

qvx_frame_info probe_stream(const mem_data& in, const ProbeOptions& options) {
    mem_data copy = in;
    FrameState fs{};
    read_header(copy, fs);
    DecoderSettings settings;
    settings.max_pixels = options.max_pixels;
    settings.reject_unsupported_bayer = true;
    admit_frame(settings, fs, options.interleaved);
    // The checks that frame setup and the writers make, with their messages.
    validate_frame(fs.width, fs.height, fs.component_format, fs.bit_depth);
    if (settings.pending.buffer_bytes > 0xFFFFFFFFu) raise(msg::kFrameTooLarge);
    if (fs.bayer_mode != 0 && fs.num_components < bayer_components_needed(fs.bayer_mode))
        raise(msg::kBayerComponents);
    return settings.pending;
}

}  // namespace Vantrel::QVX

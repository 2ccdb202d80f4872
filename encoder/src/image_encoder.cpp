// Image encoder: checks the samples against the settings, builds the coded
// frame (colour transform or 4:2:2 subsampling), runs the forward wavelet
// and hands the coefficient planes to the coefficient coder. The way back
// goes through the decoding library itself, which is the reference.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "base/error.h"
#include "base/format.h"
#include "bayer_forward.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "forward_color.h"
#include "forward_wavelet.h"
#include "image_transform.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"
#include "wavelet/passes.h"

namespace Vantrel::QVX::enc {

namespace {

unsigned components_of(uint8_t format) {
    const unsigned n = format_components(format);
    if (n == 0) throw EncodeError("component format must be 1, 2, 3 or 4");
    return n;
}

void check_image(const EncoderSettings& s, const ImagePlanes& image) {
    if (s.bayer_mode != 0) throw EncodeError("Bayer streams are encoded from a mosaic, not from image planes");
    if (s.bit_depth != 8 && s.bit_depth != 10 && s.bit_depth != 12 && s.bit_depth != 14)
        throw EncodeError("bit depth must be 8, 10, 12 or 14");
    if (image.width != s.width || image.height != s.height)
        throw EncodeError("image size " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                          " differs from the settings' " + std::to_string(s.width) + "x" +
                          std::to_string(s.height));
    const unsigned n = components_of(s.component_format);
    if (image.num_components != n)
        throw EncodeError("component format " + std::to_string(s.component_format) + " needs " + std::to_string(n) +
                          " components, the image has " + std::to_string(image.num_components));
    const uint32_t max = (1u << s.bit_depth) - 1;
    for (unsigned c = 0; c < n; ++c) {
        if (image.planes[c].size() != size_t(image.width) * image.height)
            throw EncodeError("image plane of the wrong size");
        for (uint16_t v : image.planes[c])
            if (v > max)
                throw EncodeError("sample value " + std::to_string(v) + " does not fit " +
                                  std::to_string(s.bit_depth) + " bits");
    }
}

// Y at full resolution; each chroma plane averaged over column pairs into
// its first width/2 columns.
ImagePlanes subsample_422(const EncoderSettings& s, const ImagePlanes& image, Input422 input) {
    ImagePlanes out = image;
    const size_t n = size_t(image.width) * image.height;
    if (input == Input422::Rgb)
        forward_color_transform(1, s.bit_depth, s.w_kernel, out.planes[0].data(), out.planes[1].data(),
                                out.planes[2].data(), n);
    const unsigned w = image.width, half = w / 2;
    for (unsigned c = 1; c < 3; ++c) {
        std::vector<uint16_t> full = out.planes[c];
        for (unsigned y = 0; y < image.height; ++y) {
            const uint16_t* src = full.data() + size_t(y) * w;
            uint16_t* dst = out.planes[c].data() + size_t(y) * w;
            for (unsigned x = 0; x < half; ++x) dst[x] = uint16_t((src[2 * x] + src[2 * x + 1] + 1) >> 1);
            for (unsigned x = half; x < w; ++x) dst[x] = 0;
        }
    }
    return out;
}

}  // namespace

ImagePlanes coded_image(const EncoderSettings& settings, const ImagePlanes& image, Input422 input422) {
    check_image(settings, image);
    if (settings.component_format == kFormatSubsampled) return subsample_422(settings, image, input422);
    return image;
}

namespace {

// Which 4x4 blocks of a 4:2:2 chroma plane the coefficient coder codes: at
// every other position of the subband grid (the alternation runs on across
// rows), the block at half the position's column. With an odd number of
// block columns the last one is coded only in every other block row.
std::vector<bool> coded_chroma_blocks(unsigned w, unsigned h) {
    const unsigned bw = w / 4, bh = h / 4;
    std::vector<bool> coded(size_t(bw) * bh, false);
    bool alt = true;
    for (unsigned y = 0; y < bh; ++y)
        for (unsigned x = 0; x < bw; ++x) {
            if (alt) coded[size_t(y) * bw + x / 2] = true;
            alt = !alt;
        }
    return coded;
}

// The decoder rebuilds a 4:2:2 chroma plane from the coded blocks alone,
// the others reading 0. With the 5/3 kernels the first width/2 columns also
// depend on coefficients past the coded blocks. Rounds of "transform, drop
// the uncoded blocks, inverse, take the right-hand columns as the new guess"
// look for a right-hand part whose coefficients there are 0, so that the
// decoder rebuilds the chroma columns exactly (on photograph crops within two
// or three rounds); the round with the fewest wrong chroma samples wins.
// Leaves the coefficients in plane.
void fit_chroma(unsigned kernel, int16_t* plane, unsigned w, unsigned h) {
    const size_t n = size_t(w) * h;
    const std::vector<bool> coded = coded_chroma_blocks(w, h);
    const std::vector<int16_t> target(plane, plane + n);
    std::vector<int16_t> guess = target, coef(n), back(n), best;
    size_t best_wrong = SIZE_MAX;
    for (int round = 0; round < 12 && best_wrong != 0; ++round) {
        coef = guess;
        wavelet::transform_plane<wavelet::Direction::Forward>(kernel, coef.data(), w, h);
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x)
                if (!coded[size_t(y / 4) * (w / 4) + x / 4]) coef[size_t(y) * w + x] = 0;
        back = coef;
        wavelet::transform_plane<wavelet::Direction::Inverse>(kernel, back.data(), w, h);
        size_t wrong = 0;
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w / 2; ++x) wrong += back[size_t(y) * w + x] != target[size_t(y) * w + x];
        if (wrong < best_wrong) best_wrong = wrong, best = coef;
        for (unsigned y = 0; y < h; ++y)
            std::copy(back.begin() + ptrdiff_t(size_t(y) * w + w / 2), back.begin() + ptrdiff_t(size_t(y + 1) * w),
                      guess.begin() + ptrdiff_t(size_t(y) * w + w / 2));
    }
    std::copy(best.begin(), best.end(), plane);
}

// The coded frame (after any colour transform or subsampling) through the
// forward wavelet.
CoefficientFrame frame_coefficients(const EncoderSettings& settings, ImagePlanes frame) {
    const unsigned w = frame.width, h = frame.height;
    const size_t n = size_t(w) * h;
    const bool subsampled = settings.component_format == kFormatSubsampled;
    if (subsampled) {
        // The chroma columns past width/2 are never coded; the first ones
        // still share wavelet blocks with the coded columns, so they repeat
        // the last chroma column rather than jump to 0.
        for (unsigned c = 1; c < 3; ++c)
            for (unsigned y = 0; y < h; ++y) {
                uint16_t* row = frame.planes[c].data() + size_t(y) * w;
                for (unsigned x = w / 2; x < w; ++x) row[x] = row[w / 2 - 1];
            }
    }
    const bool wavelet = settings.w_kernel <= 5 && w % 4 == 0 && h % 4 == 0;
    CoefficientFrame coef(frame.width, frame.height, frame.num_components);
    for (unsigned c = 0; c < frame.num_components; ++c) {
        int16_t* plane = reinterpret_cast<int16_t*>(frame.planes[c].data());
        if (wavelet && subsampled && c > 0 && settings.w_kernel >= 3)
            fit_chroma(settings.w_kernel, plane, w, h);
        else if (wavelet)
            forward_wavelet(settings.w_kernel, frame.planes[c].data(), w, h);
        std::memcpy(coef.planes[c].data(), plane, n * sizeof(int16_t));
    }
    return coef;
}

EncodedImage encode_frame(const EncoderSettings& settings, ImagePlanes frame) {
    return encode_transformed(settings, frame_coefficients(settings, std::move(frame)));
}

}  // namespace

CoefficientFrame transform_image(const EncoderSettings& settings, const ImagePlanes& image, Input422 input422) {
    ImagePlanes frame = coded_image(settings, image, input422);
    if (color_transformed(settings.component_format, settings.ct_mode))
        forward_color_transform(settings.ct_mode, settings.bit_depth, settings.w_kernel, frame.planes[0].data(),
                                frame.planes[1].data(), frame.planes[2].data(), size_t(frame.width) * frame.height);
    return frame_coefficients(settings, std::move(frame));
}

EncodedImage encode_transformed(const EncoderSettings& settings, const CoefficientFrame& coefficients) {
    EncodedFrame coded = encode_coefficients(settings, coefficients);
    return EncodedImage{std::move(coded.bytes), coded.stats};
}

EncodedImage encode_image(const EncoderSettings& settings, const ImagePlanes& image, Input422 input422) {
    return encode_transformed(settings, transform_image(settings, image, input422));
}

EncodedImage encode_mosaic(EncoderSettings& settings, const uint16_t* mosaic, unsigned W, unsigned H,
                           unsigned mosaic_depth) {
    if (settings.bayer_mode < 1 || settings.bayer_mode > 5) throw EncodeError("Bayer mode must be 1 to 5");
    BayerPlanes bp =
        bayer_forward(mosaic, W, H, mosaic_depth, settings.bayer_mode, settings.bayer_param, settings.ct_mode);
    if (bp.width > 65535 || bp.height > 65535 || W > 65535) throw EncodeError("the mosaic is too large");
    settings.width = uint16_t(settings.bayer_mode == 5 ? W : bp.width);
    settings.height = uint16_t(bp.height);
    settings.bit_depth = uint8_t(bp.bit_depth);
    settings.component_format = bp.num_components == 1 ? 1 : bp.num_components == 3 ? 2 : 4;
    if (settings.version < 4) throw EncodeError("Bayer streams need version 4 or later");
    ImagePlanes frame(uint16_t(bp.width), uint16_t(bp.height), uint8_t(bp.num_components));
    for (unsigned c = 0; c < bp.num_components; ++c) frame.planes[c] = std::move(bp.planes[c]);
    return encode_frame(settings, std::move(frame));
}

double bits_per_pixel(const EncodedImage& e, const EncoderSettings& s) {
    return double(e.bytes.size()) * 8.0 / (double(s.width) * s.height);
}

size_t window_count(const EncoderSettings& s) {
    if (s.rc_window == 0) return 1;
    // Bayer mode 5 decodes a frame narrower than the stored width.
    const long width = s.bayer_mode == 5 ? 4 * ((long(s.width) + 11) / 12) : long(s.width);
    const long w4 = width / 4, positions = w4 * (s.height / 4);
    const long per_window = s.rc_window > 0 ? w4 * s.rc_window / 4 : w4 / s.rc_window;
    if (per_window == 0) return 1;
    return size_t(std::min((positions + std::labs(per_window) - 1) / std::labs(per_window), long(kQpTableRoom)));
}

ImagePlanes decode_image(const std::vector<uint8_t>& stream, const char* lut_path, unsigned threads) {
    std::vector<uint8_t> bytes = stream;
    FrameState fs{};
    try {
        mem_data header(bytes.data(), bytes.size());
        read_header(header, fs);
    } catch (const QvxError& e) {
        throw EncodeError(e.text());
    }
    if (fs.bayer_mode != 0) throw EncodeError("decode_image does not rebuild Bayer mosaics");

    const unsigned w = fs.width, h = fs.height, nc = fs.num_components;
    ImagePlanes image(fs.width, fs.height, fs.num_components);
    SimpleQvxDecoder decoder;
    decoder.setLutPath(lut_path);
    decoder.setThreads(threads);
    // Callers want the samples only; the rate searches decode many trials.
    decoder.setQuiet(true);
    mem_data in(bytes.data(), bytes.size());
    mem_data* out = nullptr;
    if (decoder.decode(&in, &out) != 0) throw EncodeError(decoder.lastError());
    const uint8_t* b = out->data;
    auto word = [b](size_t i) { return uint16_t(b[2 * i] << 8 | b[2 * i + 1]); };
    if (fs.component_format == kFormatSubsampled) {
        // Cb Y0 Cr Y1 per pixel pair.
        size_t i = 0;
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x + 1 < w; x += 2, i += 4) {
                image.at(1, x / 2, y) = word(i);
                image.at(0, x, y) = word(i + 1);
                image.at(2, x / 2, y) = word(i + 2);
                image.at(0, x + 1, y) = word(i + 3);
            }
    } else {
        for (unsigned c = 0; c < nc; ++c)
            for (size_t i = 0; i < size_t(w) * h; ++i) image.planes[c][i] = word(size_t(c) * w * h + i);
    }
    decoder.deleteBuffer(&out);
    return image;
}

double psnr(const ImagePlanes& a, const ImagePlanes& b, unsigned bit_depth, bool half_chroma) {
    if (a.width != b.width || a.height != b.height || a.num_components != b.num_components)
        throw EncodeError("psnr of images of different shapes");
    double sum = 0;
    size_t count = 0;
    for (unsigned c = 0; c < a.num_components; ++c) {
        const unsigned cols = half_chroma && c > 0 ? a.width / 2u : a.width;
        for (unsigned y = 0; y < a.height; ++y)
            for (unsigned x = 0; x < cols; ++x) {
                const double d = double(a.at(c, x, y)) - double(b.at(c, x, y));
                sum += d * d;
            }
        count += size_t(cols) * a.height;
    }
    if (sum == 0 || count == 0) return std::numeric_limits<double>::infinity();
    const double peak = double((1u << bit_depth) - 1);
    return 10.0 * std::log10(peak * peak * double(count) / sum);
}

}  // namespace Vantrel::QVX::enc

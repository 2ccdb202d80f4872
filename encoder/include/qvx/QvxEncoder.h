// Encoder library QvxEncode: the decoder's exact partner. From the bottom
// up: the header writer, the coefficient coder (subband coefficient planes
// to a complete stream that libQvxDecode reads back exactly), image encoding
// with the forward colour transform and wavelet in front of it, the rate and
// quality searches, mode choices, Bayer mosaics, and a decode helper for
// measuring what an encoding gives back.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace Vantrel::QVX::enc {

// Every failure of the encoder (bad settings, bad planes, and failures of
// the shared rate-control model) and of the encoding tools built on it is
// thrown as this, with its message text. The source says how a tool shows
// the text: an encoder failure is about the image handed in, so the tool
// puts the input's name in front; a tool's own failure names its subject
// itself; a usage error comes with the short usage.
class EncodeError : public std::runtime_error {
public:
    enum class Source { Encoder, Tool, Usage };
    explicit EncodeError(const std::string& text, Source source = Source::Encoder)
        : std::runtime_error(text), source_(source) {}
    Source source() const { return source_; }

private:
    Source source_;
};

// Every header field. Which of them a stream carries depends on `version`.
struct EncoderSettings {
    uint16_t version = 7;
    // Version 0 only: write the magic and a version word of 0 instead of
    // the bare unversioned header.
    bool version0_magic = false;
    uint16_t width = 0;   // as carried in the stream (Bayer mode 5: the mosaic width)
    uint16_t height = 0;
    uint8_t component_format = 1;  // 1..4
    uint8_t bit_depth = 12;        // 8, 10, 12, 14; 14 selects the 14-bit entropy variant
    uint8_t w_kernel = 0;
    uint8_t ct_mode = 0;    // below 16 from version 3 on
    uint8_t pred_mode = 0;  // below 16 from version 3 on
    uint8_t lut_used = 0;
    uint8_t bayer_mode = 0;   // versions 4 and later
    uint8_t bayer_param = 0;  // versions 4 and later
    int16_t rc_window = 4;
    uint16_t rc_drain = 0;            // 0: rate control off
    uint32_t buffer_size = 0;         // versions 0 to 4
    uint32_t buffer_size_log2 = 20;   // versions 5 and later
    uint32_t fill_level = 0;
    std::vector<int8_t> qp_table;     // at most 2163 entries
    // [component][group = column mod 4][byte = row mod 4]; before version 4
    // only component 0 is carried and serves every component.
    uint8_t component_params[4][4][4] = {};
    uint16_t reserved_word = 0;  // versions 3 and later
    uint16_t v5_words[8] = {};   // version 5 only

    bool operator==(const EncoderSettings&) const = default;
};

// Row-major width x height planes of one frame, one per component.
template <class Sample>
struct FramePlanes {
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t num_components = 0;
    std::vector<Sample> planes[4];

    FramePlanes() = default;
    FramePlanes(uint16_t w, uint16_t h, uint8_t components) : width(w), height(h), num_components(components) {
        for (unsigned c = 0; c < components && c < 4; ++c) planes[c].assign(size_t(w) * h, Sample(0));
    }

    Sample& at(unsigned c, unsigned x, unsigned y) { return planes[c][size_t(y) * width + x]; }
    Sample at(unsigned c, unsigned x, unsigned y) const { return planes[c][size_t(y) * width + x]; }
};

// Coefficient planes in the layout of the decoder's coefficient store, the
// subbands placed by the storing scheme of `w_kernel` (4x4 cells for 0..5,
// side-by-side strips for 6, a single plain subband for 7 and above).
using CoefficientFrame = FramePlanes<int16_t>;

struct EncodeStats {
    uint64_t packets = 0;
    uint64_t runs = 0;  // zero-run codes
    uint64_t raw_escapes = 0;
    // Bits the rate-control model counted in each rate-control window
    // (values only; packet headers are not included).
    std::vector<uint32_t> window_bits;
};

struct EncodedFrame {
    std::vector<uint8_t> bytes;
    // The coefficients the decoder rebuilds from `bytes`: cells that no
    // value is coded for (the unused chroma columns of 4:2:2) are 0.
    CoefficientFrame reconstruction;
    EncodeStats stats;
};

// The stream header of settings.version, padding (and version-5 words)
// included.
std::vector<uint8_t> write_header(const EncoderSettings& settings);

// Codes coefficient planes. The frame's size must be the decoded frame size
// (settings.width, or the Bayer mode 5 width rule) and its component count
// that of settings.component_format. Quantisation is closed-loop, so with a
// quantisation index of 0 everywhere the reconstruction equals the input
// on every coded cell.
EncodedFrame encode_coefficients(const EncoderSettings& settings, const CoefficientFrame& frame);

// ---------------------------------------------------------------------------
// Image encoder: samples in, stream out, through the colour and wavelet
// stages in front of the coefficient coder.

// Sample planes of one frame.
using ImagePlanes = FramePlanes<uint16_t>;

// What the planes handed to encode_image hold for component_format 3.
enum class Input422 {
    YCbCr,  // full-resolution Y, Cb, Cr; the chroma is averaged over column pairs
    Rgb,    // R, G, B, turned into video-range Y Cb Cr first (colour mode 1's rule)
};

struct EncodedImage {
    std::vector<uint8_t> bytes;
    EncodeStats stats;
};

// The frame the decoder is meant to rebuild from the encoding of image: the
// image itself, except for component_format 3, where it is Y at full
// resolution and Cb, Cr in the first width/2 columns (the rest 0), as the
// decoder's 4:2:2 writer reads them. Throws EncodeError when the image does
// not fit the settings (size, component count, samples above the bit depth).
ImagePlanes coded_image(const EncoderSettings& settings, const ImagePlanes& image,
                        Input422 input422 = Input422::YCbCr);

// Colour transform (component_format 2, ct_mode not 0), forward wavelet of
// w_kernel (none for 6 and above) and coefficient coding. settings.width and
// height must be the image's; the Bayer settings must be 0.
EncodedImage encode_image(const EncoderSettings& settings, const ImagePlanes& image,
                          Input422 input422 = Input422::YCbCr);

// Stream bits per pixel of an encoding of a settings.width x height frame.
double bits_per_pixel(const EncodedImage& encoded, const EncoderSettings& settings);

// Number of rate-control windows of the frame (qp_table entries it uses),
// at most 2163.
size_t window_count(const EncoderSettings& settings);

// Quantiser offsets (component_params) that give every subband and
// component the same distortion slope in the rebuilt samples: 2 log2 of the
// band's synthesis gain times the component's gain through the inverse
// colour transform of ct_mode, in quarter-octave steps, the smallest 0.
// Depends on w_kernel, ct_mode and component_format. chroma_bias quarter
// steps more, i.e. finer steps, go to the chroma components of transformed
// RGB (at low rates chroma buys more per bit than the equal-slope model says).
void set_weighted_offsets(EncoderSettings& settings, int chroma_bias = 0);

// Lossy coding at a target, rate control off: every rate-control window
// (as fine as the table allows) takes its quantisation index from a
// Lagrangian choice among neighbouring indices, by the window's measured
// bits and squared error. Sets rc_drain (0), rc_window and qp_table of
// settings to those of the returned stream; the offsets, kernel and modes
// are used as given.
// At about `target` bits per pixel (within 2 % where the index steps allow),
// the lowest error found; the lossless stream when it fits.
EncodedImage encode_image_at_rate(EncoderSettings& settings, const ImagePlanes& image, double target,
                                  Input422 input422 = Input422::YCbCr);
// The smallest stream found whose PSNR (as psnr() over the coded frame)
// reaches target_db.
EncodedImage encode_image_at_psnr(EncoderSettings& settings, const ImagePlanes& image, double target_db,
                                  Input422 input422 = Input422::YCbCr);

// Lossy choices of kernel, colour transform (component_format 2) and
// prediction mode, each unless fixed; both also set the weighted offsets.
// Fast: fixed choices by format and depth, for 8-bit RGB at high quality
// one more colour transform tried on the image, and kernel 4 or 5 by a
// score on the image. Best: tries the candidates on
// the image around the target (rate in bits per pixel when rate_target,
// else PSNR in dB) and keeps the one that scores best.
void set_fast_lossy_modes(EncoderSettings& settings, const ImagePlanes& image, Input422 input422, bool rate_target,
                          double target, bool fix_kernel, bool fix_ct, bool fix_pred);
void set_best_lossy_modes(EncoderSettings& settings, const ImagePlanes& image, Input422 input422, bool rate_target,
                          double target, bool fix_kernel, bool fix_ct, bool fix_pred);
// set_fast_lossy_modes, then encode_image_at_rate (rate_target) or
// encode_image_at_psnr with the same stream as a result, sooner: the final
// search reuses the trials that scored the modes. `threads` (0: one per
// core) code the trials that do not depend on each other at once: the
// colour modes' and the kernels' scores and the final search's constant
// trials. The stream is the same for every count; more threads take less
// time but a little more processor time.
EncodedImage encode_image_fast(EncoderSettings& settings, const ImagePlanes& image, Input422 input422,
                               bool rate_target, double target, bool fix_kernel, bool fix_ct, bool fix_pred,
                               unsigned threads = 1);

// Encodes a Bayer mosaic (W x H row-major samples of mosaic_depth bits)
// in settings.bayer_mode (1..5) with settings.bayer_param and ct_mode: the
// forward Bayer split gives the coded planes, which then take the wavelet
// path of encode_image. Sets width, height, component_format and bit_depth
// of settings from the split (width: the mosaic width for mode 5).
EncodedImage encode_mosaic(EncoderSettings& settings, const uint16_t* mosaic, unsigned W, unsigned H,
                           unsigned mosaic_depth);

// Decodes a stream with libQvxDecode into planes laid out as coded_image
// gives them. lut_path is handed to the decoder (null: none), threads to
// its setThreads; the decoder's own lines are dropped. Throws
// EncodeError with the decoder's message on failure.
ImagePlanes decode_image(const std::vector<uint8_t>& stream, const char* lut_path = nullptr,
                         unsigned threads = 1);

// Peak signal-to-noise ratio in dB over every sample of every component,
// peak 2^bit_depth - 1; infinity for identical planes. half_chroma counts
// only the first width/2 columns of components 1 and up (4:2:2 frames).
double psnr(const ImagePlanes& a, const ImagePlanes& b, unsigned bit_depth, bool half_chroma = false);

}  // namespace Vantrel::QVX::enc

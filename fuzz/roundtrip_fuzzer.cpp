// The input chooses encoder settings and a small frame; the encoder library
// codes it and the decoder must rebuild exactly what the encoder says it
// rebuilds: its coefficient reconstruction, and for lossless coding through
// reversible stages the frame itself. A mismatch is a fault in one of the two.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "base/error.h"
#include "base/format.h"
#include "fuzz_common.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"
#include "support/coefficient_stages.h"

namespace {

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

constexpr uint16_t kVersions[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 100};
constexpr uint8_t kDepths[] = {8, 10, 12, 14};
constexpr uint8_t kColourModes[] = {0, 1, 2, 3, 4, 5, 9, 10, 11};

// The settings of the current input, printed with a failure.
EncoderSettings g_settings;

[[noreturn]] void fail(const char* what) {
    const EncoderSettings& s = g_settings;
    std::fprintf(stderr,
                 "roundtrip: %s\nversion %u format %u depth %u kernel %u ct %u pred %u lut %u bayer %u/%u %ux%u "
                 "rc_window %d rc_drain %u buffer %u/2^%u fill %u qp_table %zu reserved %u\n",
                 what, s.version, s.component_format, s.bit_depth, s.w_kernel, s.ct_mode, s.pred_mode, s.lut_used,
                 s.bayer_mode, s.bayer_param, s.width, s.height, s.rc_window, s.rc_drain, s.buffer_size,
                 s.buffer_size_log2, s.fill_level, s.qp_table.size(), s.reserved_word);
    __builtin_trap();
}

// The decoder's coefficient store must equal the encoder's reconstruction.
void check_coefficients(std::vector<uint8_t> bytes, const CoefficientFrame& expected) {
    std::vector<std::vector<int16_t>> planes;
    try {
        planes = qvxtest::decode_coefficients(std::move(bytes));
    } catch (const QvxError& e) {
        fail(e.text().c_str());  // a stream the encoder wrote must decode
    }
    if (planes.size() != expected.num_components) fail("coefficient store with the wrong components");
    for (unsigned c = 0; c < expected.num_components; ++c)
        if (planes[c] != expected.planes[c]) fail("coefficient store differs from the encoder's reconstruction");
}

// A full decode, planar, on a new decoder: header fields that a stream's
// version does not carry keep what earlier streams left in a decoder object.
// Fails on a decode error. Returns the samples.
std::vector<uint16_t> decode(const std::vector<uint8_t>& bytes) {
    SimpleQvxDecoder decoder;
    decoder.setQuiet(true);
    const qvxfuzz::Decoded r = qvxfuzz::decode(decoder, bytes.data(), bytes.size());
    if (r.code != 0) fail(decoder.lastError());
    std::vector<uint16_t> samples(r.bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = r.sample(i);
    return samples;
}

EncoderSettings pick_settings(FuzzedDataProvider& in, bool lossless) {
    EncoderSettings s;
    s.version = in.ConsumeBool() ? in.ConsumeIntegral<uint16_t>() : in.PickValueInArray(kVersions);
    s.version0_magic = in.ConsumeBool();
    s.component_format = in.ConsumeIntegralInRange<uint8_t>(1, 4);
    s.bit_depth = in.PickValueInArray(kDepths);
    s.pred_mode = in.ConsumeIntegralInRange<uint8_t>(0, 15);
    // The decoder's colour stage takes these modes for three-component
    // frames and refuses the others (qvxenc offers only these); other
    // formats ignore the mode.
    s.ct_mode = s.component_format == 2 ? in.PickValueInArray(kColourModes) : in.ConsumeIntegralInRange<uint8_t>(0, 15);
    s.reserved_word = in.ConsumeBool() ? in.ConsumeIntegral<uint16_t>() : 0;
    if (lossless) return s;
    s.rc_window = in.ConsumeIntegralInRange<int16_t>(-8, 8);
    s.rc_drain = in.ConsumeBool() ? in.ConsumeIntegral<uint16_t>() : 0;
    s.buffer_size = in.ConsumeIntegral<uint32_t>() >> in.ConsumeIntegralInRange(0, 31);
    s.buffer_size_log2 = in.ConsumeIntegralInRange<uint32_t>(0, 31);
    s.fill_level = in.ConsumeIntegral<uint32_t>() >> in.ConsumeIntegralInRange(0, 31);
    s.qp_table.resize(in.ConsumeIntegralInRange<size_t>(0, 64));
    for (int8_t& q : s.qp_table) q = in.ConsumeIntegral<int8_t>();
    if (in.ConsumeBool())
        for (auto& component : s.component_params)
            for (auto& group : component)
                for (uint8_t& b : group) b = in.ConsumeIntegralInRange<uint8_t>(0, 15);
    return s;
}

// Multiples of 4 from 4 to 32: small frames keep thousands of round trips a
// second within reach, and 32 still gives every kernel two full levels.
uint16_t pick_size(FuzzedDataProvider& in) { return uint16_t(4 * in.ConsumeIntegralInRange(1, 8)); }

// Coefficient planes straight from the input, coded with any settings.
void coefficients(FuzzedDataProvider& in) {
    EncoderSettings s = pick_settings(in, false);
    s.w_kernel = in.ConsumeIntegralInRange<uint8_t>(0, 7);
    s.width = pick_size(in);
    s.height = pick_size(in);
    CoefficientFrame frame(s.width, s.height, uint8_t(format_components(s.component_format)));
    const bool large = in.ConsumeBool();
    for (unsigned c = 0; c < frame.num_components; ++c)
        for (int16_t& v : frame.planes[c])
            v = large ? in.ConsumeIntegral<int16_t>() : in.ConsumeIntegralInRange<int16_t>(-20, 20);
    g_settings = s;
    EncodedFrame e;
    try {
        e = encode_coefficients(s, frame);
    } catch (const EncodeError&) {
        return;  // settings the encoder refuses
    }
    check_coefficients(e.bytes, e.reconstruction);
    // Kernel 7 and above are rejected by the decoder's wavelet stage.
    if (s.w_kernel <= 6) {
        const std::vector<uint16_t> samples = decode(e.bytes);
        if (s.component_format != 3 && samples.size() != size_t(s.width) * s.height * frame.num_components)
            fail("decoded frame of the wrong size");
    }
}

// Image samples through the encoder's colour and wavelet stages.
void image(FuzzedDataProvider& in) {
    // Lossless, lossy settings, or (one input in eight: the rate search
    // codes the frame many times) a rate target.
    const int pick = in.ConsumeIntegralInRange(0, 7);
    const int how = pick == 7 ? 2 : pick & 1;
    EncoderSettings s = pick_settings(in, how == 0);
    s.w_kernel = in.ConsumeIntegralInRange<uint8_t>(0, 6);
    s.width = pick_size(in);
    s.height = pick_size(in);
    if (how == 2) {
        s.width = uint16_t(std::min<unsigned>(s.width, 16));
        s.height = uint16_t(std::min<unsigned>(s.height, 16));
    }
    // Combinations the encoding tool refuses.
    if (s.w_kernel == 6 && (s.component_format == 3 || s.width % 16)) return;
    // As qvxenc writes them: a colour mode only for RGB frames (the decoder
    // narrows the sample range of any frame by modes 3, 4 and 10).
    if (s.component_format != 2) s.ct_mode = 0;
    const unsigned nc = format_components(s.component_format);
    ImagePlanes img(s.width, s.height, uint8_t(nc));
    const uint16_t mask = uint16_t((1u << s.bit_depth) - 1);
    for (unsigned c = 0; c < nc; ++c)
        for (uint16_t& v : img.planes[c]) v = in.ConsumeIntegral<uint16_t>() & mask;
    const Input422 input = in.ConsumeBool() ? Input422::Rgb : Input422::YCbCr;
    g_settings = s;
    EncodedImage e;
    ImagePlanes want;
    try {
        want = coded_image(s, img, input);
        if (how == 2)
            e = encode_image_at_rate(s, img, 0.25 + in.ConsumeIntegralInRange(0, 63) / 4.0, input);
        else
            e = encode_image(s, img, input);
    } catch (const EncodeError&) {
        return;
    }
    g_settings = s;  // as the rate search left them
    const std::vector<uint16_t> samples = decode(e.bytes);
    const size_t n = size_t(s.width) * s.height;
    if (samples.size() != n * nc) fail("decoded frame of the wrong size");
    if (how != 0) return;
    // Lossless coding. The colour modes 1, 2, 3, 9, 11 round; the others
    // give the samples back.
    const unsigned ct = s.component_format == 2 ? s.ct_mode : 0;
    if (ct == 1 || ct == 2 || ct == 3 || ct == 9 || ct == 11 || ct > 11) return;
    if (s.component_format != 3) {
        for (unsigned c = 0; c < nc; ++c)
            for (size_t i = 0; i < n; ++i)
                if (samples[c * n + i] != want.planes[c][i]) {
                    char what[128];
                    std::snprintf(what, sizeof what, "lossless frame not rebuilt: component %u x %zu y %zu: %u, not %u",
                                  c, i % s.width, i / s.width, samples[c * n + i], want.planes[c][i]);
                    fail(what);
                }
        return;
    }
    // 4:2:2, written as Cb Y0 Cr Y1: the luma always comes back. The chroma
    // comes back with the Haar kernels when the width is a multiple of 8; the
    // 5/3 kernels rebuild it only where the encoder's fitted right half
    // succeeds, which random samples do not ensure.
    const bool chroma = s.w_kernel <= 2 && s.width % 8 == 0;
    size_t i = 0;
    for (unsigned y = 0; y < s.height; ++y)
        for (unsigned x = 0; x < s.width; x += 2, i += 4) {
            if (samples[i + 1] != want.at(0, x, y) || samples[i + 3] != want.at(0, x + 1, y)) fail("4:2:2 luma not rebuilt");
            if (chroma && (samples[i] != want.at(1, x / 2, y) || samples[i + 2] != want.at(2, x / 2, y)))
                fail("4:2:2 chroma not rebuilt");
        }
}

// A Bayer mosaic through the forward Bayer split.
void mosaic(FuzzedDataProvider& in) {
    EncoderSettings s;
    s.version = in.ConsumeIntegralInRange<uint16_t>(4, 8);
    s.bayer_mode = in.ConsumeIntegralInRange<uint8_t>(1, 5);
    s.bayer_param = in.ConsumeIntegralInRange<uint8_t>(0, 3);
    s.ct_mode = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint8_t>(6, 8) : 0;
    s.w_kernel = in.ConsumeIntegralInRange<uint8_t>(0, 5);
    s.pred_mode = in.ConsumeIntegralInRange<uint8_t>(0, 7);
    // The cell transforms leave a three-component split (modes 2 and 5) at a
    // depth and colour mode the decoder's colour stage refuses; qvxenc
    // refuses that pairing.
    if (s.ct_mode != 0 && (s.bayer_mode == 2 || s.bayer_mode == 5)) return;
    const unsigned depth = in.PickValueInArray(kDepths);
    const unsigned W = 8u * in.ConsumeIntegralInRange(1, 6), H = 8u * in.ConsumeIntegralInRange(1, 4);
    std::vector<uint16_t> m(size_t(W) * H);
    for (uint16_t& v : m) v = in.ConsumeIntegral<uint16_t>() & ((1u << depth) - 1);
    g_settings = s;
    EncodedImage e;
    try {
        e = encode_mosaic(s, m.data(), W, H, depth);
    } catch (const EncodeError&) {
        return;
    }
    g_settings = s;
    const std::vector<uint16_t> samples = decode(e.bytes);
    if (samples.size() < m.size()) fail("mosaic of the wrong size");
    // Without cell transforms every mode rebuilds the mosaic exactly (with
    // them, values the green difference pushes out of range are limited).
    if (s.ct_mode == 0 && !std::equal(m.begin(), m.end(), samples.begin())) fail("lossless mosaic not rebuilt");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0: coefficients(in); break;
        case 1: image(in); break;
        default: mosaic(in); break;
    }
    return 0;
}

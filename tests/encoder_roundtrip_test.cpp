// Round trips: coefficient planes through the encoder and back through the
// decoder, compared coefficient for coefficient.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "codestream/header.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "qvx/QvxEncoder.h"
#include "support/coefficient_stages.h"
#include "../encoder/src/quantiser.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

namespace {

// The decoder's coefficient store for the stream equals `expected`.
void expect_decodes_to(std::vector<uint8_t> bytes, const CoefficientFrame& expected, const std::string& what) {
    try {
        const std::vector<std::vector<int16_t>> planes = qvxtest::decode_coefficients(std::move(bytes));
        ASSERT_EQ(planes.size(), expected.num_components) << what;
        for (unsigned k = 0; k < expected.num_components; ++k) EXPECT_EQ(planes[k], expected.planes[k]) << what << " c" << k;
    } catch (const QvxError& e) {
        ADD_FAILURE() << what << ": " << e.text();
    }
}

// Deterministic data with the mix a wavelet leaves: mostly zeros and small
// values, some large ones, a few extremes, and a stretch of zeros for runs.
CoefficientFrame make_frame(uint16_t w, uint16_t h, uint8_t nc, uint32_t seed) {
    CoefficientFrame f(w, h, nc);
    auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (unsigned c = 0; c < nc; ++c)
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                if (y >= h / 2 && y < h / 2 + h / 8) continue;
                const uint32_t k = next() % 100;
                f.at(c, x, y) = int16_t(k < 45   ? 0
                                        : k < 85 ? int32_t(next() % 17) - 8
                                        : k < 97 ? int32_t(next() % 601) - 300
                                        : k < 99 ? int32_t(next() % 65536) - 32768
                                                 : ((k & 1) ? -32768 : 32767));
            }
    return f;
}

EncoderSettings settings(uint16_t version, uint8_t format, uint8_t depth, uint8_t kernel, uint8_t pred, uint16_t w,
                         uint16_t h) {
    EncoderSettings s;
    s.version = version;
    s.version0_magic = version == 0 && format == 2;
    s.width = w;
    s.height = h;
    s.component_format = format;
    s.bit_depth = depth;
    s.w_kernel = kernel;
    s.pred_mode = pred;
    return s;
}

// Lossless: the encoder's reconstruction and the decoder's store both equal
// the input. 4:2:2 chroma is coded in the left half of every subband row
// only; the rest of those planes is made 0 first.
void expect_lossless(const EncoderSettings& s, uint32_t seed, const std::string& what) {
    CoefficientFrame in = make_frame(s.width, s.height, s.component_format == 1 ? 1 : s.component_format == 4 ? 4 : 3, seed);
    if (s.component_format == 3) {
        const uint8_t k = s.w_kernel, nsb = k >= 7 ? 1 : 16;
        ImageMemory layout(in.width, in.height, 3, nsb, k <= 5 ? 1 : k == 6 ? 2 : 0);
        for (unsigned c = 1; c < 3; ++c)
            for (unsigned sb = 0; sb < nsb; ++sb)
                for (unsigned y = 0; y < layout.sb_height(); ++y)
                    for (unsigned x = layout.sb_width() / 2; x < layout.sb_width(); ++x)
                        in.at(c, layout.subband_column(uint8_t(sb), uint16_t(x)), layout.subband_row(uint8_t(sb), uint16_t(y))) = 0;
    }
    const EncodedFrame e = encode_coefficients(s, in);
    for (unsigned c = 0; c < in.num_components; ++c) ASSERT_EQ(e.reconstruction.planes[c], in.planes[c]) << what;
    expect_decodes_to(e.bytes, in, what);
}

}  // namespace

TEST(EncoderRoundTrip, LosslessEveryVersionFormatDepthKernelAndPredMode) {
    unsigned n = 0;
    for (uint16_t version = 0; version <= 8; ++version)
        for (uint8_t format = 1; format <= 4; ++format, ++n)
            expect_lossless(settings(version, format, uint8_t(8 + 2 * (n % 4)), uint8_t(n % 6), uint8_t(n % 8), 96, 48),
                            n, "version " + std::to_string(version) + " format " + std::to_string(format));
    for (uint8_t pred = 0; pred <= 7; ++pred)
        for (uint8_t kernel = 0; kernel <= 7; ++kernel)
            expect_lossless(settings(7, pred % 2 ? 2 : 1, 12, kernel, pred, kernel == 6 ? 128 : 64, 32), 100 + pred * 8 + kernel,
                            "pred " + std::to_string(pred) + " kernel " + std::to_string(kernel));
    // Subbands 3 wide: the 4:2:2 chroma columns alternate from row to row.
    for (uint8_t pred : {0, 1, 7}) expect_lossless(settings(7, 3, 10, 0, pred, 12, 16), 7 + pred, "odd 4:2:2");
}

TEST(EncoderRoundTrip, LongRunsAndRawEscapesInBothVariants) {
    // Kernel 7 has one subband: a zero plane is one stream of zeros longer
    // than one run code carries (65,567 zeros in the 16-bit variant, 262,175
    // in the 14-bit one); extreme values need raw codes.
    const struct {
        uint8_t depth;
        uint16_t w, h;
        uint64_t runs;
    } cases[] = {{12, 512, 160, 2}, {14, 1024, 272, 2}, {14, 512, 160, 1}};
    for (const auto& c : cases) {
        CoefficientFrame f(c.w, c.h, 1);
        f.at(0, 5, 0) = -32768;
        f.at(0, 9, 0) = 32767;
        f.at(0, c.w - 1, c.h - 1) = -5;
        const EncodedFrame e = encode_coefficients(settings(7, 1, c.depth, 7, 0, c.w, c.h), f);
        EXPECT_EQ(e.stats.runs, c.runs) << int(c.depth);
        EXPECT_GT(e.stats.raw_escapes, 0u);
        expect_decodes_to(e.bytes, f, "depth " + std::to_string(c.depth));
    }
}

TEST(EncoderRoundTrip, RateControlReconstructionMatchesDecoder) {
    const struct {
        uint16_t version;
        uint8_t format, depth, kernel, pred;
        int16_t window;
        uint16_t drain;
    } cases[] = {
        {7, 2, 12, 0, 1, 4, 900},  {6, 1, 10, 3, 0, -2, 300}, {5, 4, 14, 6, 7, 2, 1500}, {3, 3, 8, 1, 3, 1, 700},
        {2, 2, 12, 5, 1, 8, 2000}, {1, 1, 12, 7, 4, 4, 200},  {0, 4, 10, 2, 6, 3, 2500}, {4, 3, 14, 4, 5, -1, 500},
        {7, 1, 12, 0, 1, 16, 0},  // drain 0: each window's entry as it stands
        {5, 1, 12, 7, 0, 1, 5},   // one stream closes every packet, runs move the boundaries
    };
    unsigned n = 0;
    for (const auto& c : cases) {
        EncoderSettings s = settings(c.version, c.format, c.depth, c.kernel, c.pred, 128, 64);
        s.rc_window = c.window;
        s.rc_drain = c.drain;
        s.buffer_size = 60000;
        s.buffer_size_log2 = c.drain == 5 ? 12 : 16;
        s.fill_level = c.drain == 5 ? 1500 : 20000;
        s.qp_table = {20, 30, 12, 40, 0, 25, 60, 33, 8, 17, 45, 22};
        if (c.drain == 0) s.qp_table = {0, 9, 70, 3};  // 70 is only an error with rate control on
        for (unsigned i = 0; i < 64; ++i) s.component_params[i / 16][i / 4 % 4][i % 4] = uint8_t((i * 7 + n) % 12);
        const CoefficientFrame in = make_frame(128, 64, c.format == 1 ? 1 : c.format == 4 ? 4 : 3, 500 + n++);
        const EncodedFrame e = encode_coefficients(s, in);
        bool changed = false;
        for (unsigned k = 0; k < in.num_components; ++k) changed = changed || e.reconstruction.planes[k] != in.planes[k];
        EXPECT_TRUE(changed) << "case " << n;  // the rate control did quantise
        EXPECT_GT(e.stats.packets, 1u) << "case " << n;
        if (c.drain == 5) {
            EXPECT_GT(e.stats.runs, 5u);
        }
        expect_decodes_to(e.bytes, e.reconstruction, "case " + std::to_string(n));
    }
    EncoderSettings bad = settings(7, 1, 12, 0, 0, 64, 32);
    bad.rc_drain = 10;
    bad.qp_table = {64};  // the curve passes 63
    bad.buffer_size_log2 = 10;
    try {
        encode_coefficients(bad, make_frame(64, 32, 1, 3));
        ADD_FAILURE();
    } catch (const EncodeError& err) {
        EXPECT_STREQ(err.what(), "ERROR: q > 63");
    }
}

// The lossy search's streams: rate control off, one quantiser per window of
// a quarter block row (windows of 4 positions here), weighted offsets for
// each kernel, colour mode and prediction mode the presets choose from. The
// decoder's coefficients equal the encoder's reconstruction.
TEST(EncoderRoundTrip, PerWindowQuantisersWithWeightedOffsets) {
    const struct {
        uint8_t format, depth, kernel, ct, pred;
    } cases[] = {
        {2, 8, 4, 3, 2}, {2, 8, 3, 10, 0}, {2, 12, 5, 2, 2}, {2, 10, 0, 4, 1},
        {1, 8, 4, 0, 2}, {1, 14, 6, 0, 0}, {4, 12, 1, 0, 7}, {3, 8, 2, 1, 3},
    };
    unsigned n = 0;
    for (const auto& c : cases) {
        EncoderSettings s = settings(7, c.format, c.depth, c.kernel, c.pred, 64, 32);
        s.ct_mode = c.ct;
        s.rc_window = 1;
        set_weighted_offsets(s);
        s.qp_table.resize(window_count(s));
        ASSERT_EQ(s.qp_table.size(), 32u);
        for (size_t i = 0; i < s.qp_table.size(); ++i) s.qp_table[i] = int8_t(4 + (i * 5 + n) % 24);
        const CoefficientFrame in = make_frame(64, 32, c.format == 1 ? 1 : c.format == 4 ? 4 : 3, 900 + n++);
        const EncodedFrame e = encode_coefficients(s, in);
        expect_decodes_to(e.bytes, e.reconstruction, "case " + std::to_string(n));
        EXPECT_EQ(e.stats.window_bits.size(), 32u);
    }
}

// The rate-aware value choice at step 16 (index 16, offset 0), where 1 and
// 2 rebuild as 24 and 40: a target of 33 is nearest 2, but at Rice
// parameter 0 the code of 1 is two bits shorter, which outweighs its larger
// error; at parameter 4 both codes are 5 bits and the nearest stays. A code
// that would escape to 32 raw bits loses even when far nearer. Prediction
// and sign carry through.
TEST(EncoderQuantiser, RateAwareChoiceWeighsBitsAgainstError) {
    const RateState k0{0, 13, kRateSlope}, k4{4, 13, kRateSlope}, short_prefix{0, 2, kRateSlope};
    EXPECT_EQ(choose_value(33, 0, 16, 0, k0), 1);
    EXPECT_EQ(choose_value(33, 0, 16, 0, k4), 2);
    EXPECT_EQ(choose_value(-33, 0, 16, 0, k0), -1);
    EXPECT_EQ(choose_value(133, 100, 16, 0, k0), 1);
    EXPECT_EQ(choose_value(38, 0, 16, 0, k0), 2);
    EXPECT_EQ(choose_value(38, 0, 16, 0, short_prefix), 1);
    EXPECT_EQ(choose_value(10, 0, 16, 0, k0), 0);
    EXPECT_EQ(choose_value(33, 0, 16, 16, k0), 33);  // offset cancels the index: exact
}

// Parts the rate searches lean on: the samples rebuilt from the coder's own
// reconstruction must be those the decoder outputs, and the quantiser's
// nearest value must be nearest.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "../encoder/src/coefficient_coder.h"
#include "../encoder/src/image_transform.h"
#include "../encoder/src/quantiser.h"
#include "entropy/dequantise.h"
#include "image_io.h"
#include "qvx/QvxEncoder.h"
#include "support/sample_planes.h"
#include "support/tool_images.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

namespace {

ImagePlanes load_spread(const std::string& name, unsigned depth) {
    const qvxtools::Image img = qvxtest::read_tool_image(std::string(QVX_TEST_DATA_DIR) + "/" + name);
    ImagePlanes p(uint16_t(img.width), uint16_t(img.height), uint8_t(img.channels));
    const uint32_t max = (1u << depth) - 1;
    for (size_t i = 0; i < size_t(img.width) * img.height; ++i)
        for (unsigned c = 0; c < img.channels; ++c)
            p.planes[c][i] = uint16_t((img.samples[i * img.channels + c] * max + 127) / 255);
    return p;
}

// RGBA: the colour planes plus a fourth from the first one, reversed.
ImagePlanes with_alpha(const ImagePlanes& rgb, unsigned depth) {
    ImagePlanes p(rgb.width, rgb.height, 4);
    for (unsigned c = 0; c < 3; ++c) p.planes[c] = rgb.planes[c];
    for (size_t i = 0; i < p.planes[3].size(); ++i) p.planes[3][i] = uint16_t(((1u << depth) - 1) - rgb.planes[0][i]);
    return p;
}

void expect_rebuild_matches_decoder(EncoderSettings s, const ImagePlanes& img) {
    s.width = img.width;
    s.height = img.height;
    set_weighted_offsets(s);
    const CoefficientFrame coefficients = transform_image(s, img, Input422::Rgb);
    // Coarse enough that samples clip and chroma is rounded away; 0 is exact.
    for (const int q : {0, 9, 30}) {
        SCOPED_TRACE("index " + std::to_string(q));
        s.qp_table.assign(window_count(s), int8_t(q));
        ASSERT_TRUE(can_rebuild(s));
        EncodedFrame coded = encode_coefficients(s, coefficients);
        const ImagePlanes decoded = decode_image(coded.bytes);
        const ImagePlanes rebuilt = rebuild_image(s, std::move(coded.reconstruction));
        ASSERT_EQ(rebuilt.num_components, decoded.num_components);
        for (unsigned c = 0; c < decoded.num_components; ++c)
            EXPECT_EQ(rebuilt.planes[c], decoded.planes[c]) << "component " << c;
    }
}

}  // namespace

// Every kernel with grey, RGB in each colour mode that suits the depth, and
// RGBA.
TEST(EncoderTrialParts, RebuiltSamplesAreTheDecodedOnes) {
    for (const unsigned depth : {8u, 12u}) {
        const ImagePlanes grey = load_spread("camera_64x48.pgm", depth);
        const ImagePlanes rgb = load_spread("astronaut_64x48.ppm", depth);
        for (unsigned kernel = 0; kernel <= 6; ++kernel) {
            SCOPED_TRACE("depth " + std::to_string(depth) + " kernel " + std::to_string(kernel));
            EncoderSettings s;
            s.bit_depth = uint8_t(depth);
            s.w_kernel = uint8_t(kernel);
            s.pred_mode = 2;
            s.component_format = 1;
            expect_rebuild_matches_decoder(s, grey);
            s.component_format = 2;
            for (const unsigned ct : {0u, 1u, 2u, 3u, 4u, 5u, 9u, 10u, 11u}) {
                if (ct == 3 && depth != 8) continue;  // the up-shift clips deeper samples
                SCOPED_TRACE("colour mode " + std::to_string(ct));
                s.ct_mode = uint8_t(ct);
                expect_rebuild_matches_decoder(s, rgb);
            }
            s.component_format = 4;
            s.ct_mode = 0;
            expect_rebuild_matches_decoder(s, with_alpha(rgb, depth));
        }
    }
    EncoderSettings s;
    s.component_format = 3;  // 4:2:2
    EXPECT_FALSE(can_rebuild(s));
    s.component_format = 2;
    s.lut_used = 1;
    EXPECT_FALSE(can_rebuild(s));
}

// Residuals kept from an earlier coding of the frame give the stream and
// reconstruction a fresh coding gives, for predicted and unpredicted
// subbands, tables of one index or several, and 4:2:2 chroma.
TEST(EncoderTrialParts, KeptResidualsCodeAsFreshOnes) {
    const ImagePlanes rgb = load_spread("astronaut_64x48.ppm", 8);
    for (const unsigned format : {2u, 3u})
        for (const unsigned kernel : {0u, 4u, 6u}) {
            SCOPED_TRACE("format " + std::to_string(format) + " kernel " + std::to_string(kernel));
            EncoderSettings s;
            s.width = rgb.width;
            s.height = rgb.height;
            s.component_format = uint8_t(format);
            s.w_kernel = uint8_t(kernel);
            s.ct_mode = format == 2 ? 10 : 0;
            s.pred_mode = 2;
            s.rc_window = 1;
            set_weighted_offsets(s);
            const CoefficientFrame coefficients = transform_image(s, rgb, Input422::Rgb);
            StreamResiduals kept;
            for (const int q : {12, 0, 20, -1}) {
                if (q >= 0) s.qp_table.assign(window_count(s), int8_t(q));
                else for (size_t w = 0; w < s.qp_table.size(); ++w) s.qp_table[w] = int8_t(4 * (w % 5));
                const EncodedFrame again = encode_coefficients(s, coefficients, kept);
                const EncodedFrame fresh = encode_coefficients(s, coefficients);
                EXPECT_EQ(again.bytes, fresh.bytes) << q;
                for (unsigned c = 0; c < 3; ++c) EXPECT_EQ(again.reconstruction.planes[c], fresh.reconstruction.planes[c]);
            }
            EXPECT_TRUE(kept.ready);
        }
}

// Without a rate term the chosen value reconstructs at least as near the
// target as the magnitudes next to it, over indices from exact to steps of
// thousands (targets and steps kept where no reconstruction wraps).
TEST(EncoderTrialParts, NearestValueIsNearest) {
    const auto miss = [](int16_t target, int16_t pred, int16_t v, int32_t q, uint8_t offset) {
        const int16_t recon = int16_t(uint16_t(uint16_t(pred) + uint16_t(dequantise(v, q, offset))));
        return std::abs(int32_t(target) - int32_t(recon));
    };
    const RateState exact{0, 13, 0.0};
    uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
    for (int n = 0; n < 200000; ++n) {
        const int16_t target = int16_t(int32_t(next() >> 17) - 16384);
        const int16_t pred = int16_t(int32_t(next() >> 21) - 1024);
        const int32_t q = int32_t(next() % 48);
        const uint8_t offset = uint8_t(next() % 12);
        const int16_t v = choose_value(target, pred, q, offset, exact);
        const int best = miss(target, pred, v, q, offset);
        const std::string at = std::to_string(target) + " from " + std::to_string(pred) + " at " + std::to_string(q);
        if (v < 32767) {
            ASSERT_LE(best, miss(target, pred, int16_t(v + 1), q, offset)) << at;
        }
        if (v > -32767) {
            ASSERT_LE(best, miss(target, pred, int16_t(v - 1), q, offset)) << at;
        }
    }
}

// Threads code the trials that do not depend on each other at once; the
// stream and settings are those of one thread, with the colour modes scored
// side by side (8-bit RGB at 8 bpp) and at a quality target.
TEST(EncoderTrialParts, FastPresetStreamDoesNotDependOnThreads) {
    const ImagePlanes p = qvxtest::sample_planes("chelsea_320x240.png");
    EncoderSettings base;
    base.width = p.width;
    base.height = p.height;
    base.component_format = 2;
    for (const auto& [rate_target, target] : {std::pair{true, 8.0}, std::pair{true, 1.5}, std::pair{false, 40.0}}) {
        SCOPED_TRACE(std::to_string(target));
        EncoderSettings one = base;
        const EncodedImage expected = encode_image_fast(one, p, Input422::Rgb, rate_target, target, false, false, false, 1);
        for (const unsigned threads : {2u, 3u}) {
            EncoderSettings more = base;
            EXPECT_EQ(encode_image_fast(more, p, Input422::Rgb, rate_target, target, false, false, false, threads).bytes,
                      expected.bytes)
                << threads;
            EXPECT_TRUE(more == one);
        }
    }
}

// Round trips: coefficient planes through the encoder and back through the
// decoder, compared coefficient for coefficient.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "codestream/header.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

namespace {

struct Decoded {
    std::string error;  // empty on success
    CoefficientFrame coef;
};

// Runs the decoder's stages up to the coefficient store, as the decode
// pipeline does, and returns that store.
Decoded decode_coefficients(std::vector<uint8_t> bytes) {
    Decoded out;
    frame_state fs;
    mem_data in(bytes.data(), bytes.size());
    auto dec = std::make_unique<QVXDecoder>(&fs, &in);
    try {
        read_header(in, fs);
        frame_setup(*dec, fs.width, fs.height, fs.component_format, fs.bit_depth, fs, fs.stored_width);
        dec->lb.setup(fs);
        decodeSubbands(*dec);
        const image_memory& c = *fs.coef_store;
        out.coef = CoefficientFrame(c.width(), c.height(), c.num_components());
        for (unsigned k = 0; k < c.num_components(); ++k)
            out.coef.planes[k].assign(c.splane(k), c.splane(k) + c.plane_size());
    } catch (const QvxError& e) {
        out.error = e.text();
    }
    frame_release(fs);
    return out;
}

// Deterministic test data with the mix a wavelet leaves: mostly zeros and
// small values, some large ones, a few at the extremes, and stretches of
// zeros long enough for runs.
class Lcg {
public:
    explicit Lcg(uint32_t seed) : s_(seed) {}
    uint32_t next() {
        s_ = s_ * 1664525u + 1013904223u;
        return s_ >> 8;
    }

private:
    uint32_t s_;
};

CoefficientFrame make_frame(uint16_t w, uint16_t h, uint8_t nc, uint32_t seed, int16_t range = 32767) {
    CoefficientFrame f(w, h, nc);
    Lcg r(seed);
    for (unsigned c = 0; c < nc; ++c)
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                if (y >= h / 2 && y < h / 2 + h / 8) continue;  // zero stretch
                const uint32_t k = r.next() % 100;
                int32_t v = 0;
                if (k < 45) v = 0;
                else if (k < 85) v = int32_t(r.next() % 17) - 8;
                else if (k < 97) v = int32_t(r.next() % 601) - 300;
                else if (k < 99) v = int32_t(r.next() % 65536) - 32768;
                else v = (k & 1) ? -32768 : 32767;
                if (v > range) v = range;
                if (v < -range - 1) v = -range - 1;
                f.at(c, x, y) = int16_t(v);
            }
    return f;
}

EncoderSettings lossless(uint16_t version, uint8_t format, uint8_t depth, uint8_t kernel, uint8_t pred,
                         uint16_t w, uint16_t h) {
    EncoderSettings s;
    s.version = version;
    s.width = w;
    s.height = h;
    s.component_format = format;
    s.bit_depth = depth;
    s.w_kernel = kernel;
    s.pred_mode = pred;
    s.rc_window = 4;
    return s;
}

uint8_t components(uint8_t format) { return format == 1 ? 1 : format == 4 ? 4 : 3; }

// 4:2:2 chroma is coded in the left half of every subband row only (even
// subband widths); the rest of those planes must be 0 to come back.
void clear_uncoded_chroma(CoefficientFrame& f, uint8_t kernel) {
    const unsigned nsb = kernel >= 7 ? 1 : 16;
    image_memory layout(f.width, f.height, f.num_components, uint8_t(nsb), kernel <= 5 ? 1 : kernel == 6 ? 2 : 0);
    for (unsigned c = 1; c < f.num_components; ++c)
        for (unsigned sb = 0; sb < nsb; ++sb)
            for (unsigned y = 0; y < layout.sb_height(); ++y)
                for (unsigned x = layout.sb_width() / 2; x < layout.sb_width(); ++x)
                    f.at(c, layout.subbandColumn(uint8_t(sb), uint16_t(x)), layout.subbandRow(uint8_t(sb), uint16_t(y))) = 0;
}

void expect_lossless(const EncoderSettings& s, CoefficientFrame in, const std::string& what) {
    if (s.component_format == 3) clear_uncoded_chroma(in, s.w_kernel);
    const EncodedFrame e = encode_coefficients(s, in);
    const Decoded d = decode_coefficients(e.bytes);
    ASSERT_EQ(d.error, "") << what;
    for (unsigned c = 0; c < in.num_components; ++c) {
        ASSERT_EQ(e.reconstruction.planes[c], in.planes[c]) << what << " component " << c;
        ASSERT_EQ(d.coef.planes[c], in.planes[c]) << what << " component " << c;
    }
}

}  // namespace

TEST(EncoderRoundTrip, LosslessEveryVersionFormatAndDepth) {
    const uint8_t depths[] = {8, 10, 12, 14};
    const uint8_t formats[] = {1, 2, 3, 4};
    unsigned n = 0;
    for (uint16_t version = 0; version <= 8; ++version)
        for (uint8_t format : formats) {
            const uint8_t depth = depths[n % 4];
            const uint8_t kernel = uint8_t(n % 6);
            const uint8_t pred = uint8_t(n % 8);
            ++n;
            EncoderSettings s = lossless(version, format, depth, kernel, pred, 96, 48);
            if (version == 0 && format == 2) s.version0_magic = true;
            expect_lossless(s, make_frame(96, 48, components(format), n),
                            "version " + std::to_string(version) + " format " + std::to_string(format));
        }
}

TEST(EncoderRoundTrip, LosslessEveryPredictionModeAndKernel) {
    for (uint8_t pred = 0; pred <= 7; ++pred)
        for (uint8_t kernel = 0; kernel <= 7; ++kernel) {
            const uint16_t w = kernel == 6 ? 128 : 64;
            EncoderSettings s = lossless(7, pred % 2 ? 2 : 1, 12, kernel, pred, w, 32);
            expect_lossless(s, make_frame(w, 32, pred % 2 ? 3 : 1, 100 + pred * 8 + kernel),
                            "pred " + std::to_string(pred) + " kernel " + std::to_string(kernel));
        }
}

TEST(EncoderRoundTrip, OddSubbandWidthOf422) {
    // Subbands 3 wide: chroma columns alternate from row to row and some
    // prediction cells are never written.
    for (uint8_t pred : {0, 1, 7}) {
        const CoefficientFrame in = make_frame(12, 16, 3, 7 + pred, 500);
        const EncodedFrame e = encode_coefficients(lossless(7, 3, 10, 0, pred, 12, 16), in);
        const Decoded d = decode_coefficients(e.bytes);
        ASSERT_EQ(d.error, "");
        for (unsigned c = 0; c < 3; ++c) EXPECT_EQ(d.coef.planes[c], e.reconstruction.planes[c]);
        EXPECT_EQ(e.reconstruction.planes[0], in.planes[0]);
    }
}

TEST(EncoderRoundTrip, LongRunsAndRawEscapesInBothVariants) {
    // One subband per component (kernel 7): a zero plane is one stream of
    // zeros longer than one run code can carry (65,567 zeros in the 16-bit
    // variant, 262,175 in the 14-bit one); extreme values need raw codes.
    struct Case {
        uint8_t depth;
        uint16_t w, h;
        uint64_t runs;
    };
    for (const Case& c : {Case{12, 512, 160, 2}, Case{14, 1024, 272, 2}, Case{14, 512, 160, 1}}) {
        CoefficientFrame f(c.w, c.h, 1);
        f.at(0, 5, 0) = -32768;
        f.at(0, 9, 0) = 32767;
        f.at(0, c.w - 1, c.h - 1) = -5;
        const EncodedFrame e = encode_coefficients(lossless(7, 1, c.depth, 7, 0, c.w, c.h), f);
        EXPECT_EQ(e.stats.runs, c.runs) << int(c.depth);
        EXPECT_GT(e.stats.raw_escapes, 0u);
        const Decoded d = decode_coefficients(e.bytes);
        ASSERT_EQ(d.error, "");
        EXPECT_EQ(d.coef.planes[0], f.planes[0]);
    }
}

TEST(EncoderRoundTrip, RateControlReconstructionMatchesDecoder) {
    struct Case {
        uint16_t version;
        uint8_t format;
        uint8_t depth;
        uint8_t kernel;
        uint8_t pred;
        int16_t window;
        uint16_t drain;
    };
    const Case cases[] = {
        {7, 2, 12, 0, 1, 4, 900},  {6, 1, 10, 3, 0, -2, 300}, {5, 4, 14, 6, 7, 2, 1500},
        {3, 3, 8, 1, 3, 1, 700},   {2, 2, 12, 5, 1, 8, 2000}, {1, 1, 12, 7, 4, 4, 200},
        {0, 4, 10, 2, 6, 3, 2500}, {4, 3, 14, 4, 5, -1, 500},
        {7, 1, 12, 0, 1, 16, 0},  // drain 0: each window's entry as it stands
    };
    unsigned n = 0;
    for (const Case& c : cases) {
        const uint16_t w = 128, h = 64;
        EncoderSettings s = lossless(c.version, c.format, c.depth, c.kernel, c.pred, w, h);
        s.rc_window = c.window;
        s.rc_drain = c.drain;
        s.buffer_size = 60000;
        s.buffer_size_log2 = 16;
        s.fill_level = 20000;
        s.qp_table = {20, 30, 12, 40, 0, 25, 60, 33, 8, 17, 45, 22};
        if (c.drain == 0) s.qp_table = {0, 9, 70, 3};  // 70 is only an error with rate control on
        for (unsigned k = 0; k < 4; ++k)
            for (unsigned g = 0; g < 4; ++g)
                for (unsigned b = 0; b < 4; ++b) s.component_params[k][g][b] = uint8_t((k * 5 + g * 3 + b * 7 + n) % 12);
        const CoefficientFrame in = make_frame(w, h, components(c.format), 500 + n++);
        const EncodedFrame e = encode_coefficients(s, in);
        const Decoded d = decode_coefficients(e.bytes);
        const std::string what = "version " + std::to_string(c.version);
        ASSERT_EQ(d.error, "") << what;
        bool changed = false;
        for (unsigned k = 0; k < in.num_components; ++k) {
            ASSERT_EQ(d.coef.planes[k], e.reconstruction.planes[k]) << what << " component " << k;
            changed = changed || e.reconstruction.planes[k] != in.planes[k];
        }
        EXPECT_TRUE(changed) << what;  // the rate control did quantise
        EXPECT_GT(e.stats.packets, 1u) << what;
    }
}

TEST(EncoderRoundTrip, RunsInTheStreamThatClosesPackets) {
    // One stream only (kernel 7, one component): it closes every packet,
    // so the late accounting of each run code moves the boundaries, the
    // header bits and with them the rate control's indices.
    CoefficientFrame f(256, 32, 1);
    Lcg r(11);
    for (unsigned i = 0; i < 256u * 32; ++i)
        if (i % 50 >= 40) f.planes[0][i] = int16_t(int32_t(r.next() % 4001) - 2000);
    for (uint16_t version : {5, 6, 7}) {
        EncoderSettings s = lossless(version, 1, 12, 7, 0, 256, 32);
        s.rc_window = 1;
        s.rc_drain = 5;
        s.buffer_size = 1u << 12;
        s.buffer_size_log2 = 12;
        s.fill_level = 1500;
        s.qp_table.assign(40, 20);
        const EncodedFrame e = encode_coefficients(s, f);
        EXPECT_GT(e.stats.runs, 50u);
        EXPECT_GT(e.stats.packets, 10u);
        const Decoded d = decode_coefficients(e.bytes);
        ASSERT_EQ(d.error, "") << version;
        EXPECT_EQ(d.coef.planes[0], e.reconstruction.planes[0]) << version;
    }
}

TEST(EncoderRoundTrip, PublicDecoderOutputsClippedCoefficients) {
    // Kernel 6 only clips, so the decoded frame is the clipped input.
    EncoderSettings s = lossless(7, 2, 12, 6, 0, 64, 16);
    const CoefficientFrame in = make_frame(64, 16, 3, 9);
    const EncodedFrame e = encode_coefficients(s, in);
    std::vector<uint8_t> bytes = e.bytes;
    mem_data input(bytes.data(), bytes.size());
    mem_data* out = nullptr;
    SimpleQvxDecoder dec;
    ASSERT_EQ(dec.decode(&input, &out), 0) << dec.lastError();
    ASSERT_EQ(out->size, 3u * 64 * 16 * 2);
    size_t i = 0;
    for (unsigned c = 0; c < 3; ++c)
        for (unsigned y = 0; y < 16; ++y)
            for (unsigned x = 0; x < 64; ++x, i += 2) {
                const int32_t v = std::clamp<int32_t>(in.at(c, x, y), 0, 4095);
                ASSERT_EQ((out->data[i] << 8) | out->data[i + 1], v) << c << " " << x << " " << y;
            }
    dec.deleteBuffer(&out);

    // Kernel 7 and above is refused, but only after the whole codestream.
    s.w_kernel = 7;
    const EncodedFrame e7 = encode_coefficients(s, in);
    bytes = e7.bytes;
    mem_data input7(bytes.data(), bytes.size());
    EXPECT_EQ(dec.decode(&input7, &out), 1);
    EXPECT_STREQ(dec.lastError(), "internal error: default reached (w_kernel switch)");
    EXPECT_EQ(input7.bytes_read, bytes.size());
    EXPECT_EQ(decode_coefficients(e7.bytes).coef.planes[0], in.planes[0]);
}

TEST(EncoderRoundTrip, ReportsWhatTheDecoderWouldReject) {
    const CoefficientFrame in = make_frame(64, 32, 1, 3);
    EncoderSettings s = lossless(7, 1, 12, 0, 0, 64, 32);
    s.rc_window = 0;  // no positions per window
    EXPECT_THROW(encode_coefficients(s, in), EncodeError);
    s = lossless(7, 1, 16, 0, 0, 64, 32);
    EXPECT_THROW(encode_coefficients(s, in), EncodeError);
    s = lossless(7, 1, 12, 0, 0, 64, 32);
    s.rc_drain = 10;
    s.qp_table = {64};  // the curve passes 63
    s.buffer_size_log2 = 10;
    try {
        encode_coefficients(s, in);
        FAIL();
    } catch (const EncodeError& err) {
        EXPECT_STREQ(err.what(), "ERROR: q > 63");
    }
    s = lossless(7, 2, 12, 0, 0, 64, 32);  // three components expected
    EXPECT_THROW(encode_coefficients(s, in), EncodeError);
}

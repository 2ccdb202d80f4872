// Stage-level round trips: a mosaic sampled from a photograph goes through
// the encoder's forward split and back through the decoder's Bayer writer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../encoder/src/bayer_forward.h"
#include "base/mosaic_geometry.h"
#include "codestream/frame_state.h"
#include "frame/image_memory.h"
#include "output/bayer.h"
#include "output/lut.h"
#include "qvx/QvxEncoder.h"
#include "support/tool_images.h"

using namespace Vantrel::QVX;

namespace {

constexpr unsigned W = 40, H = 24;

// Samples the crop through a 2x2 pattern (sites top-left, top-right,
// bottom-left, bottom-right) for bayer_param 0 .. 3, widened to d bits by
// bit replication or narrowed by dropping bits.
std::vector<uint16_t> sample_mosaic(uint8_t param, unsigned d) {
    static const qvxtools::Image img = qvxtest::read_tool_image(QVX_TEST_DATA_DIR "/bayer_astronaut_40x24.ppm");
    static const char* const patterns[4] = {"RGGB", "GRBG", "BGGR", "GBRG"};
    std::vector<uint16_t> m(W * H);
    for (unsigned i = 0; i < W * H; ++i) {
        const char colour = patterns[param][(i / W & 1) * 2 + (i & 1)];
        const unsigned v = img.samples[3 * i + (colour == 'R' ? 0 : colour == 'G' ? 1 : 2)];
        m[i] = d >= 8 ? uint16_t(v << (d - 8) | v >> (16 - d)) : uint16_t(v >> (8 - d));
    }
    return m;
}

// Forward split, then the writer on the coded planes, which must fit the
// coded bit depth, into a zeroed buffer of the size the pipeline allocates.
std::vector<uint16_t> round_trip(const std::vector<uint16_t>& m, unsigned d, uint8_t mode, uint8_t param, uint8_t ct) {
    const enc::BayerPlanes bp = enc::bayer_forward(m.data(), W, H, d, mode, param, ct);
    FrameState fs;
    fs.width = uint16_t(bp.width);
    fs.height = uint16_t(bp.height);
    fs.stored_width = uint16_t(W);
    fs.num_components = uint8_t(bp.num_components);
    fs.bit_depth = uint8_t(bp.bit_depth);
    fs.bayer_mode = mode;
    fs.bayer_param = param;
    fs.ct_mode = ct;
    ImageMemory planes;
    planes.reshape(fs.width, fs.height, fs.num_components, 1, 0);
    for (unsigned c = 0; c < bp.num_components; ++c) {
        EXPECT_EQ(bp.planes[c].size(), size_t(bp.width) * bp.height);
        for (uint16_t v : bp.planes[c]) EXPECT_EQ(v >> bp.bit_depth, 0) << "mode " << int(mode) << " depth " << d;
        std::copy(bp.planes[c].begin(), bp.planes[c].end(), planes.plane(c));
    }
    std::vector<uint8_t> bytes(size_t(fs.num_components) * fs.width * fs.height * 2, 0);
    ToneTable tone;
    testing::internal::CaptureStdout();  // mode 4 prints its range
    write_bayer(&tone, nullptr, nullptr, bytes.data(), fs, planes);
    testing::internal::GetCapturedStdout();
    // The writer's mosaic depth is the one the split started from.
    EXPECT_EQ(mosaic_bit_depth(bp.bit_depth, mode, 1, ct_index_for_mode(ct)), int(d));
    std::vector<uint16_t> words(W * H);
    for (size_t i = 0; i < words.size(); ++i) words[i] = uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return words;
}

}  // namespace

// Green difference adds two coded bits, the wavelet modes two more. In the
// wavelet modes a coded second green above 2^d - 1 (second green not below
// the first) is limited before the green difference is undone, and comes
// back as the first green minus one.
TEST(BayerRoundTripTest, LosslessInEveryModeArrangementAndDepth) {
    for (uint8_t ct : {0, 7})
        for (uint8_t mode = 1; mode <= 5; ++mode)
            for (unsigned coded : {8u, 10u, 12u, 14u})
                for (uint8_t param = 0; param < 4; ++param) {
                    const bool wavelet = mode == 3 || mode == 4;
                    if (wavelet && ct == 7 && coded != 12) continue;
                    const unsigned d = coded - (wavelet ? 2 : 0) - (ct == 7 ? 2 : 0);
                    const auto m = sample_mosaic(param, d);
                    const auto back = round_trip(m, d, mode, param, ct);
                    if (!(wavelet && ct == 7)) {
                        EXPECT_EQ(back, m) << "mode " << int(mode) << " ct " << int(ct) << " d " << d << " p " << int(param);
                        continue;
                    }
                    const bool diagonal = param == 1 || param == 3;  // greens top-left, bottom-right
                    size_t limited = 0;
                    for (unsigned y = 0; y < H; y += 2)
                        for (unsigned x = 0; x < W; x += 2) {
                            const size_t g0 = y * W + x + (diagonal ? 0 : 1), g1 = (y + 1) * W + x + (diagonal ? 1 : 0);
                            EXPECT_EQ(back[g1], m[g1] < m[g0] ? m[g1] : std::max(m[g0] - 1, 0));
                            EXPECT_EQ(back[g0], m[g0]);
                            limited += back[g1] != m[g1];
                        }
                    EXPECT_GT(limited, 0u);
                }
}

// Cell YCbCr rounds each coded value once. Measured on this crop (every mode
// and arrangement; ct_mode 6 and 8 alike): 52.6 to 52.9 dB at 8 bits, 64.7
// to 64.9 dB at 10. The floor, 50 dB at 8 bits plus 6 dB a bit, leaves about
// 2.5 dB; a wrong site, sign, offset or coefficient costs far more. Modes 3
// and 4 with ct_mode 8 limit the green difference before undoing it.
TEST(BayerRoundTripTest, CellYCbCrStaysAboveThePsnrFloor) {
    for (auto [mode, ct] : {std::pair{1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}, {1, 8}, {2, 8}, {5, 8}})
        for (unsigned d : {8u, 10u})
            for (uint8_t param = 0; param < 4; ++param) {
                const auto m = sample_mosaic(param, d);
                const auto back = round_trip(m, d, uint8_t(mode), param, uint8_t(ct));
                enc::ImagePlanes a(W, H, 1), b(W, H, 1);
                a.planes[0] = back;
                b.planes[0] = m;
                EXPECT_GT(enc::psnr(a, b, d), 50.0 + 6.0 * (d - 8.0)) << "mode " << mode << " ct " << ct;
            }
}

// The forward cell YCbCr at 12 bits, worked out on four cells: a change in
// the fourth decimal of a weight moves some coded value (the PSNR floor
// above cannot see it).
TEST(BayerRoundTripTest, CellYCbCrForwardWorkedExample) {
    const std::vector<uint16_t> m = {4095, 0, 1000, 3000, 17, 4000, 2222, 0,  //
                                     0, 4095, 2500, 123, 3900, 9, 1111, 4095};
    const enc::BayerPlanes bp = enc::bayer_forward(m.data(), 8, 2, 12, 1, 0, 6);
    ASSERT_EQ(bp.num_components, 4u);
    // Cb, Cr (offset by 2048), then the luma with each green: the first cell
    // has R = B = 4095, greens 0, so Y = 0.413 * 4095 = 1691.2.
    EXPECT_EQ(bp.planes[0], (std::vector<uint16_t>{3405, 1030, 741, 3537}));
    EXPECT_EQ(bp.planes[1], (std::vector<uint16_t>{3763, 1387, 402, 2593}));
    EXPECT_EQ(bp.planes[2], (std::vector<uint16_t>{1691, 1781, 2295, 1783}));
    EXPECT_EQ(bp.planes[3], (std::vector<uint16_t>{1691, 2074, 2354, 1131}));
}

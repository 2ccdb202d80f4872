// What a host gets beyond the sample bytes: the frame description, the
// header probe, the pixel limit, the line sink, the Bayer-mode guard, and
// the C interface with its failure paths.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "alloc_hook.h"
#include "qvx/QvxEncoder.h"
#include "qvx/SimpleQvxDecoder.h"
#include "qvx/qvx.h"
#include "support/stream_bytes.h"
#include "support/temp_file.h"

using Vantrel::QVX::SimpleQvxDecoder;
namespace enc = Vantrel::QVX::enc;
using Bytes = std::vector<uint8_t>;
using Info = SimpleQvxDecoder::FrameInfo;

namespace {

constexpr unsigned kW = 16, kH = 8;         // image frames
constexpr unsigned kMosaicW = 24, kMosaicH = 8;  // Bayer mosaics
constexpr unsigned kDepth = 10;

Bytes image_stream(uint8_t format, uint8_t ct_mode = 0, uint8_t lut_used = 0) {
    const unsigned nc = format == 1 ? 1 : format == 4 ? 4 : 3;
    enc::EncoderSettings s;
    s.width = kW;
    s.height = kH;
    s.component_format = format;
    s.bit_depth = kDepth;
    s.w_kernel = 3;
    s.ct_mode = ct_mode;
    s.lut_used = lut_used;
    enc::ImagePlanes img(kW, kH, uint8_t(nc));
    for (unsigned c = 0; c < nc; ++c)
        for (unsigned i = 0; i < kW * kH; ++i) img.planes[c][i] = uint16_t((i * 37 + c * 101) % 1024);
    return enc::encode_image(s, img).bytes;
}

Bytes bayer_stream(uint8_t mode, uint8_t param = 1) {
    enc::EncoderSettings s;
    s.bayer_mode = mode;
    s.bayer_param = param;
    s.w_kernel = 3;
    std::vector<uint16_t> m(kMosaicW * kMosaicH);
    for (unsigned i = 0; i < m.size(); ++i) m[i] = uint16_t((i * 53) % 1024);
    return enc::encode_mosaic(s, m.data(), kMosaicW, kMosaicH, kDepth).bytes;
}

// A version 7 header announcing size x size, three components; no packets.
Bytes hostile_header(uint16_t size) {
    Bytes b = {0x56, 0x51, 0xFF, 0xFF, 7, 0, 4, 0, 0, 0, uint8_t(size), uint8_t(size >> 8),
               uint8_t(size), uint8_t(size >> 8), 0, 2, 0, 8};
    b.resize(84, 0);
    return b;
}

using Result = qvxtest::Decoded;
Result decode(SimpleQvxDecoder& d, const Bytes& stream) { return qvxtest::decode_exact(stream, &d); }

bool same(const Info& a, const Info& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void collect(void* context, const char* line) { static_cast<std::vector<std::string>*>(context)->push_back(line); }

}  // namespace

// Every layout: the description matches the buffer, both probes of the
// header agree with it, and the samples past sample_bytes are the zero tail.
TEST(FrameDescriptionTest, EveryLayoutDescribesItsBuffer) {
    struct Case {
        const char* name;
        Bytes stream;
        bool interleaved;
        uint32_t width, height, channels, components, layout, pattern, cell;
    };
    const uint32_t P = QVX_LAYOUT_PLANAR, I = QVX_LAYOUT_INTERLEAVED, B = QVX_LAYOUT_BAYER;
    const Case cases[] = {
        {"grey", image_stream(1), false, kW, kH, 1, 1, P, 0, 0},
        {"rgb planar", image_stream(2, 4), false, kW, kH, 3, 3, P, 0, 0},
        {"rgb interleaved", image_stream(2, 4), true, kW, kH, 3, 3, I, 0, 0},
        {"4:2:2", image_stream(3), true, kW, kH, 2, 3, QVX_LAYOUT_CBYCRY, 0, 0},
        {"four components", image_stream(4), true, kW, kH, 4, 4, I, 0, 0},
        {"bayer 1", bayer_stream(1), false, kMosaicW, kMosaicH, 1, 4, B, QVX_BAYER_GRBG, 0},
        {"bayer 2", bayer_stream(2, 2), false, kMosaicW, kMosaicH, 1, 3, B, QVX_BAYER_BGGR, 0},
        {"bayer 3", bayer_stream(3, 0), false, kMosaicW, kMosaicH, 1, 4, B, QVX_BAYER_RGGB, 0},
        {"bayer 4", bayer_stream(4, 3), false, kMosaicW, kMosaicH, 1, 4, B, QVX_BAYER_GBRG, 0},
        {"bayer 5", bayer_stream(5), true, kMosaicW, kMosaicH, 1, 3, B, QVX_BAYER_GRBG, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimpleQvxDecoder d;
        d.setInterleaved(c.interleaved);
        const Result r = decode(d, c.stream);
        ASSERT_EQ(r.rc, 0) << r.error;
        const Info& i = r.info;
        EXPECT_EQ(i.width, c.width);
        EXPECT_EQ(i.height, c.height);
        EXPECT_EQ(i.channels, c.channels);
        EXPECT_EQ(i.components, c.components);
        EXPECT_EQ(i.layout, c.layout);
        EXPECT_EQ(i.bit_depth, kDepth);
        EXPECT_EQ(i.bayer_pattern, c.pattern);
        EXPECT_EQ(i.bayer_mode, c.layout == B ? uint32_t(c.stream[29]) : 0u);
        EXPECT_EQ(i.color_transform, c.components == 3 && c.layout != QVX_LAYOUT_CBYCRY && c.layout != B);
        EXPECT_EQ(i.stream_version, 7u);
        EXPECT_EQ(i.tone_table, 0u);
        EXPECT_EQ(i.sample_bytes, uint64_t(c.width) * c.height * c.channels * 2);
        EXPECT_EQ(i.buffer_bytes, r.out.size());
        ASSERT_LE(i.sample_bytes, r.out.size());
        for (size_t k = i.sample_bytes; k < r.out.size(); ++k) ASSERT_EQ(r.out[k], 0) << k;

        Info probed{};
        mem_data in(const_cast<uint8_t*>(c.stream.data()), c.stream.size());
        ASSERT_EQ(SimpleQvxDecoder::probe(&in, &probed, c.interleaved), 0);
        EXPECT_TRUE(same(probed, i));
        EXPECT_EQ(in.bytes_read, 0u);

        qvx_settings s;
        qvx_settings_init(&s);
        s.interleaved = c.interleaved;
        qvx_frame_info cprobed;
        EXPECT_EQ(qvx_probe(c.stream.data(), c.stream.size(), &s, &cprobed, nullptr), QVX_OK);
        EXPECT_TRUE(same(cprobed, i));
    }
}

// The description follows the last call (zero after a failure), and a
// Bayer colour mode shows as the cell transform and the mosaic depth.
TEST(FrameDescriptionTest, FollowsTheLastCallAndTheHeaderFlags) {
    SimpleQvxDecoder d;
    EXPECT_EQ(d.frameInfo().layout, uint32_t(QVX_LAYOUT_NONE));
    ASSERT_EQ(decode(d, image_stream(2, 4)).rc, 0);
    Bytes cut = image_stream(1);
    cut.resize(20);
    const Result bad = decode(d, cut);
    EXPECT_EQ(bad.rc, 1);
    EXPECT_TRUE(same(bad.info, Info{}));

    Info i{};
    const Bytes cells = bayer_stream(1, 0);
    Bytes v = cells;
    v[14] = 7;  // colour mode 7 on a Bayer stream: green-difference cells, two bits fewer
    mem_data in(v.data(), v.size());
    ASSERT_EQ(SimpleQvxDecoder::probe(&in, &i), 0);
    EXPECT_EQ(i.cell_transform, 2u);
    EXPECT_EQ(i.bit_depth, kDepth - 2);
    EXPECT_EQ(i.color_transform, 0u);
}

namespace {

// Refused from the header: result 1 with the message, nothing handed out and
// nothing frame-sized allocated.
void expect_header_refusal(SimpleQvxDecoder& d, Bytes b, const char* message) {
    mem_data in(b.data(), b.size());
    mem_data* out = nullptr;
    alloc_hook::arm();
    const int rc = d.decode(&in, &out);
    const alloc_hook::Report r = alloc_hook::disarm();
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(out, nullptr);
    EXPECT_STREQ(d.lastError(), message);
    EXPECT_LT(r.largest, size_t(1) << 20) << b.size();
}

}  // namespace

// The limit counts width x height x components of the header in 64 bits
// and rejects before anything frame-sized is allocated.
TEST(PixelLimitTest, RejectsAboveTheLimitOnly) {
    const struct {
        Bytes stream;
        uint64_t limit;
        bool accepted;
    } cases[] = {
        {image_stream(1), kW * kH - 1, false},
        {image_stream(1), kW * kH, true},
        {image_stream(2, 4), kW * kH * 3 - 1, false},
        {image_stream(2, 4), kW * kH * 3, true},
    };
    for (const auto& c : cases) {
        SimpleQvxDecoder d;
        d.setMaxPixels(c.limit);
        const Result r = decode(d, c.stream);
        EXPECT_EQ(r.rc, c.accepted ? 0 : 1) << c.limit;
        if (!c.accepted) {
            EXPECT_EQ(r.error, "Error: frame exceeds the pixel limit");
        }
    }
    for (uint16_t size : {uint16_t(65532), uint16_t(65535)}) {
        SimpleQvxDecoder d;
        d.setMaxPixels(uint64_t(1) << 24);
        const Bytes b = hostile_header(size);
        expect_header_refusal(d, b, "Error: frame exceeds the pixel limit");
        qvx_settings s;
        qvx_settings_init(&s);
        s.max_pixels = uint64_t(1) << 24;
        qvx_frame_info i;
        const char* error = nullptr;
        EXPECT_EQ(qvx_probe(b.data(), b.size(), &s, &i, &error), QVX_ERROR_LIMIT);
        EXPECT_STREQ(error, "Error: frame exceeds the pixel limit");
    }
}

// A sink receives exactly what standard output would have, line by line,
// and standard output then stays empty; quiet drops the lines. The samples
// do not change. (The regression corpus compares every stream's sunk text
// with its stored output; this adds a line longer than a short buffer.)
TEST(LineSinkTest, SinkGetsTheStandardOutputLines) {
    const std::string lut = qvxtest::temp_file(qvxtest::lut_text([](unsigned i) { return i; }), std::string(220, 'x') + ".lut");
    ASSERT_GT(lut.size(), 240u);
    const Bytes stream = image_stream(1, 0, 1);
    SimpleQvxDecoder plain;
    plain.setLutPath(lut.c_str());
    const Result expected = decode(plain, stream);
    ASSERT_EQ(expected.rc, 0) << expected.error;

    SimpleQvxDecoder sunk = plain;
    std::vector<std::string> lines;
    sunk.setMessageSink(collect, &lines);
    const Result r = decode(sunk, stream);
    EXPECT_EQ(r.printed, "");
    EXPECT_EQ(r.out, expected.out);
    ASSERT_EQ(lines.size(), 2u) << expected.printed;
    EXPECT_EQ(lines[0].back(), '\n');
    EXPECT_EQ(lines[0] + lines[1], expected.printed);

    sunk.setQuiet(true);
    const Result quiet = decode(sunk, stream);
    EXPECT_EQ(quiet.printed, "");
    EXPECT_EQ(quiet.out, expected.out);
    EXPECT_EQ(lines.size(), 2u);
    sunk.setQuiet(false);
    EXPECT_EQ(decode(sunk, stream).printed, expected.printed);
}

// Mode 6 ends the process in the default class; with the guard, in the
// probe and through the C interface it is a rejection made from the header.
TEST(BayerGuardTest, ModeSixIsRejectedOnlyWhenAsked) {
    Bytes b = image_stream(1);
    b[29 + (b[27] | b[28] << 8)] = 6;  // bayer_mode, after the qp table
    EXPECT_EXIT(
        {
            dup2(2, 1);  // the message goes to standard output
            SimpleQvxDecoder d;
            Bytes copy = b;
            mem_data in(copy.data(), copy.size());
            mem_data* out = nullptr;
            d.decode(&in, &out);
        },
        testing::ExitedWithCode(1), "^Bayermode not specified in Width-calculation\n$");

    SimpleQvxDecoder d;
    d.setRejectUnsupportedBayerModes(true);
    expect_header_refusal(d, b, "Error: unsupported Bayer mode");
    Info i;
    const char* error = nullptr;
    mem_data again(const_cast<uint8_t*>(b.data()), b.size());
    EXPECT_EQ(SimpleQvxDecoder::probe(&again, &i, false, &error), 1);
    EXPECT_STREQ(error, "Error: unsupported Bayer mode");

    qvx_decoder* cd = nullptr;
    ASSERT_EQ(qvx_decoder_create(nullptr, &cd), QVX_OK);
    qvx_frame f;
    EXPECT_EQ(qvx_decode(cd, b.data(), b.size(), &f), QVX_ERROR_UNSUPPORTED);
    EXPECT_STREQ(qvx_last_error(cd), "Error: unsupported Bayer mode");
    EXPECT_EQ(f.data, nullptr);
    qvx_decoder_destroy(cd);
}

// Bad arguments, bad settings structs and bad streams each get their code;
// lines are dropped unless the host gives a callback.
TEST(CInterfaceTest, ErrorCodesAndSettingsStruct) {
    const Bytes good = image_stream(2, 4);
    qvx_decoder* d = nullptr;
    qvx_frame f;
    EXPECT_EQ(qvx_decoder_create(nullptr, nullptr), QVX_ERROR_ARGUMENT);
    ASSERT_EQ(qvx_decoder_create(nullptr, &d), QVX_OK);
    EXPECT_EQ(qvx_decode(d, nullptr, 10, &f), QVX_ERROR_ARGUMENT);
    EXPECT_EQ(qvx_decode(d, good.data(), good.size(), nullptr), QVX_ERROR_ARGUMENT);
    EXPECT_EQ(qvx_decode(nullptr, good.data(), good.size(), &f), QVX_ERROR_ARGUMENT);
    EXPECT_EQ(qvx_decode(d, good.data(), 20, &f), QVX_ERROR_STREAM);
    EXPECT_STREQ(qvx_last_error(d), "Error: Stream header truncated");
    testing::internal::CaptureStdout();
    EXPECT_EQ(qvx_decode(d, good.data(), good.size(), &f), QVX_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_STREQ(qvx_last_error(d), "");
    qvx_frame_free(&f);
    qvx_frame_free(&f);
    qvx_frame_free(nullptr);
    qvx_decoder_destroy(d);
    EXPECT_STREQ(qvx_version(), QVX_PROJECT_VERSION);

    // A host built against a longer struct: accepted while its extra bytes
    // are 0. A struct shorter than the first release, or reserved fields
    // set, are refused.
    struct Longer {
        qvx_settings s;
        uint64_t more;
    } longer;
    std::memset(&longer, 0, sizeof longer);
    qvx_settings_init(&longer.s);
    longer.s.struct_size = sizeof longer;
    std::vector<std::string> lines;
    longer.s.message = collect;
    longer.s.message_user = &lines;
    EXPECT_EQ(qvx_decoder_create(&longer.s, &d), QVX_OK);
    EXPECT_EQ(qvx_decode(d, good.data(), good.size(), &f), QVX_OK);
    EXPECT_EQ(lines, std::vector<std::string>{" -> JPEG2000 lossless transformation \n"});
    qvx_frame_free(&f);
    qvx_decoder_destroy(d);
    longer.more = 1;
    EXPECT_EQ(qvx_decoder_create(&longer.s, &d), QVX_ERROR_ARGUMENT);
    qvx_settings s;
    qvx_settings_init(&s);
    s.reserved[7] = 1;
    EXPECT_EQ(qvx_decoder_create(&s, &d), QVX_ERROR_ARGUMENT);
    qvx_settings_init(&s);
    s.struct_size = 8;
    EXPECT_EQ(qvx_decoder_create(&s, &d), QVX_ERROR_ARGUMENT);
    EXPECT_EQ(d, nullptr);
}

// The shared library exports the C functions and the decoding class, and
// nothing else.
TEST(CInterfaceTest, SharedLibraryExportsOnlyTheInterface) {
    const std::string command = std::string("nm -D --defined-only -C ") + QVX_SHARED_LIBRARY;
    std::FILE* p = popen(command.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::vector<std::string> names;
    char line[1024];
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        s = s.substr(s.find(' ', s.find(' ') + 1) + 1);
        s.pop_back();
        names.push_back(s);
    }
    ASSERT_EQ(pclose(p), 0);
    size_t c_functions = 0;
    for (const std::string& n : names) {
        const bool c = n.rfind("qvx_", 0) == 0;
        c_functions += c;
        EXPECT_TRUE(c || n.rfind("Vantrel::QVX::SimpleQvxDecoder::", 0) == 0 || n.rfind("mem_data::", 0) == 0) << n;
    }
    EXPECT_EQ(c_functions, 8u);
}

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qvx/SimpleQvxDecoder.h"
#include "support/stream_bytes.h"

using Vantrel::QVX::SimpleQvxDecoder;
using qvxtest::Bytes;
using qvxtest::Decoded;
using qvxtest::HeaderFields;
using qvxtest::decode_exact;
using qvxtest::header_bytes;

namespace {

// The failure contract: result 1, output pointer untouched, the message
// kept, nothing printed.
void expect_failure(SimpleQvxDecoder& d, const Bytes& bytes, const std::string& message) {
    const Decoded r = decode_exact(bytes, &d);
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.out_untouched);
    EXPECT_EQ(r.error, message);
    EXPECT_EQ(r.printed, "");
}

// A 16x4 frame (w_kernel 6) in one version-7 packet; stream s carries the
// raw code of values[s] if that is non-zero. Prediction repeats each value
// down its column.
Bytes tiny_stream(uint8_t format, const std::vector<int>& values) {
    HeaderFields f;
    f.component_format = format;
    qvxtest::Words words(64);
    for (size_t s = 0; s < values.size(); ++s)
        if (values[s]) words[s] = {qvxtest::raw_code(values[s])};
    return qvxtest::concat(header_bytes(f), qvxtest::packet_v7(words, qvxtest::components_of(format)));
}

TEST(Decoder, EveryEarlyFailureReturnsOneWithItsMessage) {
    SimpleQvxDecoder d;
    const Bytes ok = header_bytes(HeaderFields{});
    expect_failure(d, {}, "Error: Stream header truncated");
    expect_failure(d, Bytes(ok.begin(), ok.begin() + 30), "Error: Stream header truncated");
    const struct {
        void (*edit)(HeaderFields&);
        const char* message;
    } cases[] = {
        {[](HeaderFields& f) { f.component_format = 0; }, "Error: Undefined component format"},
        {[](HeaderFields& f) { f.width = 1922, f.height = 1082; }, "Error: Width must be a mulitple of 4 and != 0"},
        {[](HeaderFields& f) { f.width = 8, f.height = 1082; }, "Error: Height must be a multiple of 4 and != 0"},
        {[](HeaderFields& f) { f.width = 8, f.height = 8, f.bit_depth = 16; }, "ERROR: bitdepth not supported!"},
        // A multiple of 4 but not of 16: kernel 6 stores reject it.
        {[](HeaderFields& f) { f.width = 24; },
         "Error image_memory::image_memory(). Image width must be a multiple of the number of subbands."},
        {[](HeaderFields& f) { f.version = 4, f.rc_drain = 10, f.buffer_field = 0xFFFFFFFF; },
         "Error: Buffersize not specified"},
        {[](HeaderFields& f) { f.rc_window = 0; }, "Error: rate-control window of 0 positions"},
        {[](HeaderFields& f) { f.lut_used = 1; }, "Missing LUT!"},
        // Kernels above 6 fail only after the codestream has been decoded.
        {[](HeaderFields& f) { f.w_kernel = 7; }, "Missing subband data"},
    };
    for (const auto& c : cases) {
        HeaderFields f;
        c.edit(f);
        expect_failure(d, header_bytes(f), c.message);
    }
    HeaderFields k7;
    k7.w_kernel = 7;
    expect_failure(d, qvxtest::concat(header_bytes(k7), Bytes(17, 0)), "internal error: default reached (w_kernel switch)");
}

TEST(Decoder, ToneTablePathIsOwnedAndCopied) {
    SimpleQvxDecoder a;
    std::string path = "/tmp/a.lut";
    a.setLutPath(path.c_str());
    path = "garbage";  // the decoder keeps its own copy
    SimpleQvxDecoder b(a), c;
    c = b;
    b.setLutPath(nullptr);  // clearing one leaves the others
    SimpleQvxDecoder moved(std::move(c));
    HeaderFields f;
    for (SimpleQvxDecoder* d : {&a, &moved}) expect_failure(*d, header_bytes(f), "The file is encoded without using a LUT!");
    f.lut_used = 2;  // asks for neither check
    const Decoded r = decode_exact(header_bytes(f), &a);
    EXPECT_NE(r.error, "The file is encoded without using a LUT!");
    EXPECT_NE(r.error, "Missing LUT!");
    f.lut_used = 1;
    expect_failure(b, header_bytes(f), "Missing LUT!");
}

TEST(Decoder, SuccessfulDecodesAndReuseAfterFailure) {
    SimpleQvxDecoder d;
    const Bytes mono = tiny_stream(1, {2});
    expect_failure(d, Bytes(mono.begin(), mono.begin() + 60), "Missing subband data");  // packet cut short
    Decoded r = decode_exact(mono, &d);
    ASSERT_EQ(r.rc, 0) << r.error;
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.printed, "");
    ASSERT_EQ(r.samples.size(), 16u * 4);
    for (unsigned y = 0; y < 4; ++y) EXPECT_EQ((std::vector<int>{r.samples[y * 16], r.samples[y * 16 + 1]}),
                                               (std::vector<int>{2, 0})) << y;

    // Interleaving changes the order, not the size; repeated calls agree.
    std::vector<int> values(48, 0);
    values[0] = 1;
    values[16] = 2;
    values[32] = 3;
    const Bytes rgb = tiny_stream(2, values);
    const Decoded planar = decode_exact(rgb, &d);
    d.setInterleaved(true);
    const Decoded inter = decode_exact(rgb, &d);
    ASSERT_EQ(planar.samples.size(), 16u * 4 * 3);
    ASSERT_EQ(inter.samples.size(), planar.samples.size());
    EXPECT_EQ((std::vector<int>{planar.samples[0], planar.samples[64], planar.samples[128]}),
              (std::vector<int>{1, 2, 3}));
    EXPECT_EQ((std::vector<int>{inter.samples[0], inter.samples[1], inter.samples[2]}), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(decode_exact(rgb, &d).samples, inter.samples);
}

TEST(Decoder, InputAndBufferBookkeeping) {
    SimpleQvxDecoder d;
    HeaderFields f;
    f.rc_window = 0;  // fails right after the header
    Bytes bytes = header_bytes(f);
    mem_data in(bytes.data(), bytes.size(), 0);
    mem_data* out = nullptr;
    testing::internal::CaptureStdout();
    EXPECT_EQ(d.decode(&in, &out), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(in.bytes_read, 52u);
    EXPECT_EQ(in.data, bytes.data() + 52);
    d.deleteBuffer(nullptr);
    d.deleteBuffer(&out);
    EXPECT_EQ(out, nullptr);

    // Rewinding goes back n bytes; past the start, or without n, to the start.
    mem_data m(bytes.data() + 10, 16, 10);
    m.rewind(4);
    EXPECT_EQ(m.data, bytes.data() + 6);
    EXPECT_EQ(m.bytes_read, 6u);
    m.rewind(7);
    EXPECT_EQ(m.data, bytes.data());
    EXPECT_EQ(m.get_num_bytes_read(), 0u);
    EXPECT_EQ(m.size, 16u);
}

}  // namespace

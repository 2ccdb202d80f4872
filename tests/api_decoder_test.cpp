#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "qvx/SimpleQvxDecoder.h"
#include "support/header_bytes.h"
#include "support/temp_file.h"

using Vantrel::QVX::SimpleQvxDecoder;
using qvxtest::HeaderFields;
using qvxtest::header_bytes;

namespace {

// Decodes `bytes` from an exact-size heap copy; returns the result and
// checks the failure contract: output pointer untouched, nothing printed.
struct Attempt {
    int result = -1;
    std::string error;
    std::string printed;
    mem_data* out = nullptr;
};

mem_data* const kSentinel = reinterpret_cast<mem_data*>(0x1234);

Attempt attempt(SimpleQvxDecoder& d, const std::vector<uint8_t>& bytes) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + 1]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    mem_data in(copy.get(), bytes.size(), 0);
    Attempt a;
    a.out = kSentinel;
    testing::internal::CaptureStdout();
    a.result = d.decode(&in, &a.out);
    a.printed = testing::internal::GetCapturedStdout();
    a.error = d.lastError();
    if (a.result == 0) d.deleteBuffer(&a.out);
    return a;
}

void expect_failure(SimpleQvxDecoder& d, const std::vector<uint8_t>& bytes, const std::string& message,
                    const std::string& printed = "") {
    const Attempt a = attempt(d, bytes);
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(a.out, kSentinel);
    EXPECT_EQ(a.error, message);
    EXPECT_EQ(a.printed, printed);
}

TEST(Decoder, EveryEarlyFailureReturnsOneWithItsMessage) {
    SimpleQvxDecoder d;
    HeaderFields f;
    std::vector<uint8_t> ok = header_bytes(f);

    expect_failure(d, {}, "Error: Stream header truncated");
    expect_failure(d, std::vector<uint8_t>(ok.begin(), ok.begin() + 30), "Error: Stream header truncated");

    HeaderFields bad = f;
    bad.component_format = 0;
    expect_failure(d, header_bytes(bad), "Error: Undefined component format");

    bad = f;
    bad.width = 1922;
    bad.height = 1082;
    expect_failure(d, header_bytes(bad), "Error: Width must be a mulitple of 4 and != 0");
    bad.width = 8;
    expect_failure(d, header_bytes(bad), "Error: Height must be a multiple of 4 and != 0");
    bad.height = 8;
    bad.bit_depth = 16;
    expect_failure(d, header_bytes(bad), "ERROR: bitdepth not supported!");

    bad = f;
    bad.width = 24;  // a multiple of 4 but not of 16: kernel 6 stores reject it
    expect_failure(d, header_bytes(bad),
                   "Error image_memory::image_memory(). Image width must be a multiple of the number of subbands.");

    bad = f;
    bad.version = 4;
    bad.rc_drain = 10;
    bad.buffer_field = 0xFFFFFFFF;
    expect_failure(d, header_bytes(bad), "Error: Buffersize not specified");

    bad = f;
    bad.rc_window = 0;
    expect_failure(d, header_bytes(bad), "Error: rate-control window of 0 positions");
}

TEST(Decoder, ToneTableChecks) {
    SimpleQvxDecoder d;
    HeaderFields f;
    f.lut_used = 1;
    expect_failure(d, header_bytes(f), "Missing LUT!");

    d.setLutPath("/some/table.lut");
    f.lut_used = 0;
    expect_failure(d, header_bytes(f), "The file is encoded without using a LUT!");

    d.setLutPath("");  // clears the path
    f.lut_used = 2;     // neither 0 nor 1: no tone-table message either way
    const Attempt a = attempt(d, header_bytes(f));
    EXPECT_NE(a.error, "Missing LUT!");
    EXPECT_NE(a.error, "The file is encoded without using a LUT!");
}

TEST(Decoder, CopiesOwnTheirToneTablePath) {
    SimpleQvxDecoder a;
    std::string path = "/tmp/a.lut";
    a.setLutPath(path.c_str());
    path = "garbage";  // the decoder keeps its own copy
    SimpleQvxDecoder b(a);
    SimpleQvxDecoder c;
    c = b;
    b.setLutPath(nullptr);

    HeaderFields f;  // lut_used 0
    expect_failure(a, header_bytes(f), "The file is encoded without using a LUT!");
    expect_failure(c, header_bytes(f), "The file is encoded without using a LUT!");
    f.lut_used = 1;
    expect_failure(b, header_bytes(f), "Missing LUT!");

    SimpleQvxDecoder moved(std::move(c));
    f.lut_used = 0;
    expect_failure(moved, header_bytes(f), "The file is encoded without using a LUT!");
}

TEST(Decoder, DeleteBufferIgnoresNull) {
    SimpleQvxDecoder d;
    d.deleteBuffer(nullptr);
    mem_data* none = nullptr;
    d.deleteBuffer(&none);
    EXPECT_EQ(none, nullptr);
    EXPECT_STREQ(d.lastError(), "");
}

TEST(Decoder, InputAdvancesPastTheHeader) {
    SimpleQvxDecoder d;
    HeaderFields f;
    f.rc_window = 0;  // fails right after the header
    std::vector<uint8_t> bytes = header_bytes(f);
    mem_data in(bytes.data(), bytes.size(), 0);
    mem_data* out = nullptr;
    testing::internal::CaptureStdout();
    EXPECT_EQ(d.decode(&in, &out), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(in.bytes_read, 52u);
    EXPECT_EQ(in.data, bytes.data() + 52);
}

}  // namespace

namespace {

// A 16x4 frame with w_kernel 6: one version-7 packet whose rows give each
// subband stream of each component at most one word. A raw code 0x0000000N
// decodes to the value N/2 (N even); prediction then repeats it down the
// strip's first column.
std::vector<uint8_t> tiny_stream(uint8_t format, const std::vector<uint32_t>& first_words) {
    HeaderFields f;
    f.component_format = format;
    std::vector<uint8_t> b = header_bytes(f);
    const unsigned nc = qvxtest::components_of(format);
    auto length = [&](unsigned s) { return s < first_words.size() && first_words[s] ? 1u : 0u; };
    for (unsigned j = 0; j < 16; ++j) {  // one row per subband, a length per component
        uint32_t row = 0;
        for (unsigned c = 0; c < nc; ++c) row = row << 5 | length(c * 16 + j);
        if (nc == 1) b.push_back(uint8_t(row));
        else for (int k = nc == 3 ? 1 : 3; k >= 0; --k) b.push_back(uint8_t(row >> (8 * k)));
    }
    for (unsigned j = 0; j < 16; ++j)
        for (unsigned c = 0; c < nc; ++c)
            if (length(c * 16 + j)) {
                const uint32_t w = first_words[c * 16 + j];
                for (int k = 3; k >= 0; --k) b.push_back(uint8_t(w >> (8 * k)));
            }
    return b;
}

std::vector<uint8_t> decode_ok(SimpleQvxDecoder& d, const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> copy = stream;
    mem_data in(copy.data(), copy.size());
    mem_data* out = nullptr;
    testing::internal::CaptureStdout();
    const int result = d.decode(&in, &out);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(result, 0) << d.lastError();
    if (result != 0) return {};
    EXPECT_EQ(out->bytes_read, 0u);
    std::vector<uint8_t> bytes(out->data, out->data + out->size);
    d.deleteBuffer(&out);
    EXPECT_EQ(out, nullptr);
    return bytes;
}

TEST(Decoder, OutputRecordOfASuccessfulDecode) {
    SimpleQvxDecoder d;
    const std::vector<uint8_t> out = decode_ok(d, tiny_stream(1, {4}));
    ASSERT_EQ(out.size(), 16u * 4 * 1 * 2);
    EXPECT_STREQ(d.lastError(), "");
    for (unsigned y = 0; y < 4; ++y) {
        EXPECT_EQ(out[2 * (y * 16) + 1], 2) << y;  // column 0 of each row
        EXPECT_EQ(out[2 * (y * 16 + 1) + 1], 0);
    }
}

TEST(Decoder, InterleavedChangesOrderNotSize) {
    SimpleQvxDecoder d;
    // Component 0 -> 1, component 1 -> 2, component 2 -> 3 in column 0.
    std::vector<uint32_t> words(48, 0);
    words[0] = 2;
    words[16] = 4;
    words[32] = 6;
    const std::vector<uint8_t> stream = tiny_stream(2, words);
    const std::vector<uint8_t> planar = decode_ok(d, stream);
    d.setInterleaved(true);
    const std::vector<uint8_t> inter = decode_ok(d, stream);
    ASSERT_EQ(planar.size(), 16u * 4 * 3 * 2);
    ASSERT_EQ(inter.size(), planar.size());
    EXPECT_EQ(planar[1], 1);
    EXPECT_EQ(planar[2 * 64 + 1], 2);  // start of the second plane
    EXPECT_EQ(inter[1], 1);
    EXPECT_EQ(inter[3], 2);
    EXPECT_EQ(inter[5], 3);
    EXPECT_EQ(decode_ok(d, stream), inter);  // a repeated call gives the same bytes
}

TEST(Decoder, AFailedCallLeavesTheObjectReady) {
    SimpleQvxDecoder d;
    const std::vector<uint8_t> good = tiny_stream(1, {4});
    std::vector<uint8_t> cut(good.begin(), good.begin() + 60);  // packet header cut short
    const Attempt a = attempt(d, cut);
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(a.error, "Missing subband data");
    EXPECT_EQ(decode_ok(d, good).size(), 128u);
    EXPECT_STREQ(d.lastError(), "");
}

TEST(Decoder, KernelAboveSixFailsAfterTheCodestream) {
    HeaderFields f;
    f.w_kernel = 7;  // one subband per component: a single stream
    std::vector<uint8_t> b = header_bytes(f);
    b.insert(b.end(), 16, 0);  // one packet of empty streams
    b.push_back(0);
    SimpleQvxDecoder d;
    expect_failure(d, b, "internal error: default reached (w_kernel switch)");
    expect_failure(d, header_bytes(f), "Missing subband data");  // no packets: entropy fails first
}

}  // namespace

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

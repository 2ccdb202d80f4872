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

TEST(Decoder, EveryEarlyFailureReturnsOneWithItsMessage) {
    SimpleQvxDecoder d;
    expect_failure(d, {}, "Error: Stream header truncated");
    // The regression corpus records the other header failures; these two
    // need fields its streams do not combine.
    const struct {
        void (*edit)(HeaderFields&);
        const char* message;
    } cases[] = {
        // A multiple of 4 but not of 16: kernel 6 stores reject it.
        {[](HeaderFields& f) { f.width = 24; },
         "Error image_memory::image_memory(). Image width must be a multiple of the number of subbands."},
        {[](HeaderFields& f) { f.version = 4, f.rc_drain = 10, f.buffer_field = 0xFFFFFFFF; },
         "Error: Buffersize not specified"},
    };
    for (const auto& c : cases) {
        HeaderFields f;
        c.edit(f);
        expect_failure(d, header_bytes(f), c.message);
    }
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

// What the input record holds after a call is in every regression record.
TEST(Decoder, InputAndBufferBookkeeping) {
    SimpleQvxDecoder d;
    mem_data* out = nullptr;
    d.deleteBuffer(nullptr);
    d.deleteBuffer(&out);  // nothing handed out: nothing to free

    // Rewinding goes back n bytes; past the start, or without n, to the start.
    Bytes bytes(26, 0);
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

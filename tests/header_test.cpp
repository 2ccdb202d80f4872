#include <gtest/gtest.h>

#include "api/error.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "support/header_bytes.h"

using namespace Vantrel::QVX;
using qvxtest::HeaderFields;
using qvxtest::header_bytes;

namespace {

// Reads a header from bytes followed by `tail` codestream bytes and returns
// the codestream offset.
uint64_t read(frame_state& fs, std::vector<uint8_t> bytes, size_t tail = 8) {
    bytes.resize(bytes.size() + tail, 0xAB);
    mem_data in(bytes.data(), bytes.size(), 0);
    read_header(in, fs);
    EXPECT_EQ(in.data, bytes.data() + in.bytes_read);
    return in.bytes_read;
}

std::string error_of(frame_state& fs, std::vector<uint8_t> bytes) {
    mem_data in(bytes.data(), bytes.size(), 0);
    try {
        read_header(in, fs);
    } catch (const QvxError& e) {
        return e.text();
    }
    return "";
}

TEST(Header, CodestreamOffsetsOfEveryVersion) {
    struct Case {
        uint16_t version;
        uint8_t format;
        size_t qp;
        uint64_t offset;
    } cases[] = {
        {0, 1, 0, 46}, {1, 1, 0, 46},  {2, 1, 0, 48},  {3, 1, 0, 48},   {4, 2, 5, 96},
        {5, 1, 0, 80}, {6, 4, 3, 112}, {7, 1, 0, 52},  {7, 3, 1, 84},   {9, 1, 2, 52},
    };
    for (const Case& c : cases) {
        HeaderFields f;
        f.version = c.version;
        f.component_format = c.format;
        f.qp_table.assign(c.qp, 7);
        frame_state fs;
        EXPECT_EQ(read(fs, header_bytes(f)), c.offset) << "version " << c.version;
        EXPECT_EQ(fs.version, c.version);
        EXPECT_EQ(fs.qp_count, c.qp);
    }
    HeaderFields f;
    f.versioned = false;
    f.qp_table.assign(3, 1);
    frame_state fs;
    EXPECT_EQ(read(fs, header_bytes(f)), 43u);  // 40 + N, no padding
    EXPECT_EQ(fs.version, 0);
}

TEST(Header, FieldsLandWhereTheLayoutSays) {
    HeaderFields f;
    f.version = 4;
    f.rc_window = -2;
    f.rc_drain = 300;
    f.width = 1920;
    f.height = 1080;
    f.mode_byte = 0x37;
    f.component_format = 2;
    f.lut_used = 2;
    f.bit_depth = 12;
    f.buffer_field = 123456;
    f.fill_level = 777;
    f.w_kernel = 3;
    f.qp_table = {1, 0xFF, 63};
    f.bayer_mode = 2;
    f.bayer_param = 3;
    f.param_byte = 9;
    f.trailer = 0xBEEF;
    frame_state fs;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.rc_window, -2);
    EXPECT_EQ(fs.rc_drain, 300);
    EXPECT_EQ(fs.width, 1920);
    EXPECT_EQ(fs.stored_width, 1920);
    EXPECT_EQ(fs.height, 1080);
    EXPECT_EQ(fs.ct_mode, 7);
    EXPECT_EQ(fs.pred_mode, 3);
    EXPECT_EQ(fs.ct_index, 2u);
    EXPECT_EQ(fs.num_components, 3);
    EXPECT_EQ(fs.lut_used, 2);
    EXPECT_EQ(fs.bit_depth, 12);
    EXPECT_EQ(fs.buffer_size, 123456u);
    EXPECT_EQ(fs.fill_level, 777u);
    EXPECT_EQ(fs.w_kernel, 3);
    EXPECT_EQ(fs.qp_table[1], -1);
    EXPECT_EQ(fs.qp_table[3], 0);
    EXPECT_EQ(fs.bayer_mode, 2);
    EXPECT_EQ(fs.bayer_param, 3);
    EXPECT_EQ(fs.component_params[2][3][3], 9);
    EXPECT_EQ(fs.reserved_word, 0xBEEF);
}

TEST(Header, ModeByteBeforeVersion3IsWholeCtMode) {
    HeaderFields f;
    f.version = 2;
    f.mode_byte = 0x37;
    f.trailer = 5;  // pred_mode byte
    frame_state fs;
    fs.ct_index = 3;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.ct_mode, 0x37);
    EXPECT_EQ(fs.pred_mode, 5);
    EXPECT_EQ(fs.ct_index, 3u);  // untouched before version 3
    EXPECT_EQ(fs.reserved_word, 0);
}

TEST(Header, Version5BufferExponentAndWords) {
    HeaderFields f;
    f.version = 5;
    f.buffer_field = 20;
    f.v5_word = 100;
    frame_state fs;
    EXPECT_EQ(read(fs, header_bytes(f)), 80u);  // 49 read, padded to 64, then 16
    EXPECT_EQ(fs.buffer_size, 1048576u);
    EXPECT_EQ(fs.buffer_size_log2, 20u);
    EXPECT_EQ(fs.v5_words[7], 107);
    f.buffer_field = 36;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.buffer_size, 16u);
}

TEST(Header, OneBlockIsCopiedToEveryComponentBeforeVersion4) {
    HeaderFields f;
    f.version = 2;
    f.component_format = 2;
    std::vector<uint8_t> b = header_bytes(f);
    for (int i = 0; i < 16; ++i) b[29 + i] = uint8_t(i + 1);
    frame_state fs;
    read(fs, b);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(fs.component_params[c][0][0], 1);
        EXPECT_EQ(fs.component_params[c][3][3], 16);
        EXPECT_EQ(fs.component_params[c][1][2], 7);
    }
}

TEST(Header, BayerMode5NarrowsTheWidth) {
    HeaderFields f;
    f.version = 4;
    f.width = 100;
    f.bayer_mode = 5;
    frame_state fs;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.width, 36);
    EXPECT_EQ(fs.stored_width, 100);
}

TEST(Header, UnversionedStreamLookingLikeMagicIsVersioned) {
    HeaderFields f;
    f.versioned = false;
    f.rc_window = 0x5156;
    f.rc_drain = 0xFFFF;
    std::vector<uint8_t> b = header_bytes(f);
    frame_state fs;
    mem_data in(b.data(), b.size(), 0);
    try {
        read_header(in, fs);
    } catch (const QvxError&) {
    }
    EXPECT_EQ(fs.version, f.width);  // the width word became the version
}

TEST(Header, FieldsPersistWhenALaterStreamDoesNotCarryThem) {
    frame_state fs;
    HeaderFields v4;
    v4.version = 4;
    v4.bayer_mode = 1;
    v4.bayer_param = 2;
    v4.mode_byte = 0x08;  // ct_mode 8 -> ct_index 3
    read(fs, header_bytes(v4));
    ASSERT_EQ(fs.ct_index, 3u);

    HeaderFields v2;
    v2.version = 2;
    v2.mode_byte = 6;
    read(fs, header_bytes(v2));
    EXPECT_EQ(fs.bayer_mode, 1);
    EXPECT_EQ(fs.bayer_param, 2);
    EXPECT_EQ(fs.ct_index, 3u);
    EXPECT_EQ(fs.ct_mode, 6);
}

TEST(Header, UndefinedComponentFormat) {
    HeaderFields f;
    f.component_format = 5;
    frame_state fs;
    EXPECT_EQ(error_of(fs, header_bytes(f)), "Error: Undefined component format");
    EXPECT_EQ(fs.component_format, 5);  // read before the failure
    EXPECT_EQ(fs.width, 16);
}

TEST(Header, NeverReadsPastTheInput) {
    HeaderFields f;
    f.version = 4;
    f.qp_table.assign(10, 3);
    const std::vector<uint8_t> full = header_bytes(f);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        // An exact-size heap copy, so a sanitizer sees any read past it.
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[cut + 1]);
        std::copy(full.begin(), full.begin() + long(cut), bytes.get());
        frame_state fs;
        mem_data in(bytes.get(), cut, 0);
        EXPECT_THROW(read_header(in, fs), QvxError) << cut;
        EXPECT_LE(in.bytes_read, cut);
    }
    frame_state fs;
    EXPECT_EQ(error_of(fs, std::vector<uint8_t>(full.begin(), full.begin() + 20)), "Error: Stream header truncated");
    EXPECT_EQ(fs.width, 16);  // fields before the cut keep their values
}

TEST(Header, QpCountAboveTheTableIsRejectedBeforeTheTable) {
    std::vector<uint8_t> b = header_bytes(HeaderFields{});
    b[27] = uint8_t(2164 & 0xFF);
    b[28] = uint8_t(2164 >> 8);
    b.resize(4000, 0);
    frame_state fs;
    EXPECT_EQ(error_of(fs, b), "Error: qp_count exceeds the table size");
    b[27] = uint8_t(2163 & 0xFF);
    b[28] = uint8_t(2163 >> 8);
    EXPECT_EQ(error_of(fs, b), "");
    EXPECT_EQ(fs.qp_count, 2163);
}

TEST(Header, TableEntriesPastTheCountReadAsZero) {
    HeaderFields f;
    f.qp_table = {5, 6, 7, 8};
    frame_state fs;
    read(fs, header_bytes(f));
    f.qp_table = {9};
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.qp_entry(0), 9);
    EXPECT_EQ(fs.qp_entry(1), 0);
    EXPECT_EQ(fs.qp_entry(3), 0);
    EXPECT_EQ(fs.qp_entry(100000), 0);
}

}  // namespace

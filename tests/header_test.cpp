#include <gtest/gtest.h>

#include "api/error.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "support/stream_bytes.h"

using namespace Vantrel::QVX;
using qvxtest::HeaderFields;
using qvxtest::header_bytes;

namespace {

// Reads a header followed by eight codestream bytes; returns the codestream
// offset, or the error text through *error.
uint64_t read(frame_state& fs, std::vector<uint8_t> bytes, std::string* error = nullptr) {
    bytes.resize(bytes.size() + 8, 0xAB);
    mem_data in(bytes.data(), bytes.size(), 0);
    try {
        read_header(in, fs);
    } catch (const QvxError& e) {
        if (!error) ADD_FAILURE() << e.text();
        else *error = e.text();
    }
    EXPECT_EQ(in.data, bytes.data() + in.bytes_read);
    return in.bytes_read;
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
    f.params[2][15] = 9;
    f.trailer = 0xBEEF;
    frame_state fs;
    read(fs, header_bytes(f));
    EXPECT_EQ((std::vector<int>{fs.rc_window, fs.rc_drain, fs.width, fs.stored_width, fs.height, fs.ct_mode,
                                fs.pred_mode, int(fs.ct_index), fs.num_components, fs.lut_used, fs.bit_depth,
                                int(fs.buffer_size), int(fs.fill_level), fs.w_kernel, fs.qp_table[1], fs.qp_table[3],
                                fs.bayer_mode, fs.bayer_param, fs.component_params[2][3][3], fs.reserved_word}),
              (std::vector<int>{-2, 300, 1920, 1920, 1080, 7, 3, 2, 3, 2, 12, 123456, 777, 3, -1, 0, 2, 3, 9, 0xBEEF}));
}

TEST(Header, OlderLayouts) {
    // Before version 3 the mode byte is the whole ct_mode, pred_mode a byte
    // of its own, and block 0 serves every component.
    HeaderFields f;
    f.version = 2;
    f.component_format = 2;
    f.mode_byte = 0x37;
    f.trailer = 5;
    for (int i = 0; i < 16; ++i) f.params[0][i] = uint8_t(i + 1);
    frame_state fs;
    fs.ct_index = 3;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.ct_mode, 0x37);
    EXPECT_EQ(fs.pred_mode, 5);
    EXPECT_EQ(fs.ct_index, 3u);  // untouched before version 3
    EXPECT_EQ(fs.reserved_word, 0);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(fs.component_params[c][0][0], 1);
        EXPECT_EQ(fs.component_params[c][1][2], 7);
        EXPECT_EQ(fs.component_params[c][3][3], 16);
    }
    // Version 5: the buffer field is an exponent (taken modulo 32) and
    // eight words follow the padding.
    f = HeaderFields{};
    f.version = 5;
    f.v5_word = 100;
    EXPECT_EQ(read(fs, header_bytes(f)), 80u);
    EXPECT_EQ(fs.buffer_size, 1048576u);
    EXPECT_EQ(fs.buffer_size_log2, 20u);
    EXPECT_EQ(fs.v5_words[7], 107);
    f.buffer_field = 36;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.buffer_size, 16u);
}

TEST(Header, StateCarriedBetweenStreams) {
    // Bayer mode 5 codes a third of the width.
    frame_state fs;
    HeaderFields v4;
    v4.version = 4;
    v4.width = 100;
    v4.bayer_mode = 5;
    v4.bayer_param = 2;
    v4.mode_byte = 0x08;  // ct_mode 8 -> ct_index 3
    read(fs, header_bytes(v4));
    EXPECT_EQ(fs.width, 36);
    EXPECT_EQ(fs.stored_width, 100);
    ASSERT_EQ(fs.ct_index, 3u);
    // A later stream without those fields leaves them as they were.
    HeaderFields v2;
    v2.version = 2;
    v2.mode_byte = 6;
    read(fs, header_bytes(v2));
    EXPECT_EQ(fs.bayer_mode, 5);
    EXPECT_EQ(fs.bayer_param, 2);
    EXPECT_EQ(fs.ct_index, 3u);
    EXPECT_EQ(fs.ct_mode, 6);
    // Table entries past the count read as zero.
    v2.qp_table = {9};
    read(fs, header_bytes(v2));
    EXPECT_EQ((std::vector<int>{fs.qp_entry(0), fs.qp_entry(1), fs.qp_entry(100000)}), (std::vector<int>{9, 0, 0}));
    // An unversioned stream whose first words look like the magic is read
    // as versioned: its width word becomes the version.
    HeaderFields u;
    u.versioned = false;
    u.rc_window = 0x5156;
    u.rc_drain = 0xFFFF;
    std::string error;
    read(fs, header_bytes(u), &error);
    EXPECT_EQ(fs.version, u.width);
}

TEST(Header, BadHeaders) {
    HeaderFields f;
    f.component_format = 5;
    frame_state fs;
    std::string error;
    read(fs, header_bytes(f), &error);
    EXPECT_EQ(error, "Error: Undefined component format");
    EXPECT_EQ(fs.component_format, 5);  // fields before the failure are kept

    std::vector<uint8_t> b = header_bytes(HeaderFields{});
    b[27] = uint8_t(2164 & 0xFF);
    b[28] = uint8_t(2164 >> 8);
    b.resize(4000, 0);
    read(fs, b, &error);
    EXPECT_EQ(error, "Error: qp_count exceeds the table size");
    b[27] = uint8_t(2163 & 0xFF);
    read(fs, b);
    EXPECT_EQ(fs.qp_count, 2163);

    // Every cut: an error, never a read past the end (exact-size copies).
    f = HeaderFields{};
    f.version = 4;
    f.qp_table.assign(10, 3);
    const std::vector<uint8_t> full = header_bytes(f);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[cut + 1]);
        std::copy(full.begin(), full.begin() + long(cut), bytes.get());
        frame_state cut_fs;
        mem_data in(bytes.get(), cut, 0);
        try {
            read_header(in, cut_fs);
            ADD_FAILURE() << cut;
        } catch (const QvxError& e) {
            EXPECT_EQ(e.text(), "Error: Stream header truncated") << cut;
        }
        EXPECT_LE(in.bytes_read, cut);
    }
}

}  // namespace

#include <gtest/gtest.h>

#include "base/error.h"
#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "support/stream_bytes.h"

using namespace Vantrel::QVX;
using qvxtest::HeaderFields;
using qvxtest::header_bytes;

namespace {

// Reads a header from an exact-size copy of `bytes` plus `tail` codestream
// bytes; returns the codestream offset, or the error text through *error.
uint64_t read(FrameState& fs, const std::vector<uint8_t>& bytes, std::string* error = nullptr, size_t tail = 8) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() + tail]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    mem_data in(copy.get(), bytes.size() + tail, 0);
    try {
        read_header(in, fs);
    } catch (const QvxError& e) {
        if (!error) ADD_FAILURE() << e.text();
        else *error = e.text();
    }
    EXPECT_EQ(in.data, copy.get() + in.bytes_read);
    return in.bytes_read;
}

// The encoder round trips check every version's offset through a decode;
// here a few are pinned by value, the unreleased version 9 among them.
TEST(Header, CodestreamOffsetsPinned) {
    const struct {
        bool versioned;
        uint16_t version;
        uint8_t format;
        size_t qp;
        uint64_t offset;
    } cases[] = {{false, 0, 1, 3, 43}, {true, 2, 1, 0, 48}, {true, 4, 2, 5, 96},
                 {true, 5, 1, 0, 80},  {true, 7, 3, 1, 84}, {true, 9, 1, 2, 52}};
    for (const auto& c : cases) {
        HeaderFields f;
        f.versioned = c.versioned;
        f.version = c.version;
        f.component_format = c.format;
        f.qp_table.assign(c.qp, 7);
        FrameState fs;
        EXPECT_EQ(read(fs, header_bytes(f)), c.offset) << "version " << c.version;
        EXPECT_EQ(fs.version, c.version);
        EXPECT_EQ(fs.qp_count, c.qp);
    }
}

TEST(Header, FieldsLandWhereTheLayoutSays) {
    HeaderFields f{.version = 4, .rc_window = -2, .rc_drain = 300, .width = 1920, .height = 1080, .mode_byte = 0x37,
                   .component_format = 2, .lut_used = 2, .bit_depth = 12, .buffer_field = 123456, .fill_level = 777,
                   .w_kernel = 3, .qp_table = {1, 0xFF, 63}, .bayer_mode = 2, .bayer_param = 3, .trailer = 0xBEEF};
    f.params[2][15] = 9;
    FrameState fs;
    read(fs, header_bytes(f));
    EXPECT_EQ((std::vector<int>{fs.rc_window, fs.rc_drain, fs.width, fs.stored_width, fs.height, fs.ct_mode,
                                fs.pred_mode, int(fs.ct_index), fs.num_components, fs.lut_used, fs.bit_depth,
                                int(fs.buffer_size), int(fs.fill_level), fs.w_kernel, fs.qp_table[1], fs.qp_entry(3),
                                fs.bayer_mode, fs.bayer_param, fs.component_params[2][3][3], fs.reserved_word}),
              (std::vector<int>{-2, 300, 1920, 1920, 1080, 7, 3, 2, 3, 2, 12, 123456, 777, 3, -1, 0, 2, 3, 9, 0xBEEF}));
    // Bayer mode 5 codes a third of the width.
    f.width = 100;
    f.bayer_mode = 5;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.width, 36);
    EXPECT_EQ(fs.stored_width, 100);
}

TEST(Header, OlderLayoutsKeepWhatTheyDoNotCarry) {
    // Before version 3 the mode byte is the whole ct_mode, pred_mode a byte
    // of its own, and block 0 serves every component; ct_index and the
    // Bayer fields keep their values, the reserved word reads 0.
    FrameState fs;
    fs.ct_index = 3;
    fs.bayer_mode = 1;
    fs.reserved_word = 7;
    HeaderFields f;
    f.version = 2;
    f.component_format = 2;
    f.mode_byte = 0x37;
    f.trailer = 5;
    for (int i = 0; i < 16; ++i) f.params[0][i] = uint8_t(i + 1);
    read(fs, header_bytes(f));
    EXPECT_EQ((std::vector<int>{fs.ct_mode, fs.pred_mode, int(fs.ct_index), fs.bayer_mode, fs.reserved_word}),
              (std::vector<int>{0x37, 5, 3, 1, 0}));
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ((std::vector<int>{fs.component_params[c][0][0], fs.component_params[c][1][2], fs.component_params[c][3][3]}),
                  (std::vector<int>{1, 7, 16}));
    // Version 5: the buffer field is an exponent (modulo 32); words follow the padding.
    f = HeaderFields{};
    f.version = 5;
    f.buffer_field = 36;
    f.v5_word = 100;
    read(fs, header_bytes(f));
    EXPECT_EQ(fs.buffer_size, 16u);
    EXPECT_EQ(fs.v5_words[7], 107);
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
    FrameState fs;
    std::string error;
    read(fs, header_bytes(f), &error);
    EXPECT_EQ(error, "Error: Undefined component format");
    EXPECT_EQ(fs.component_format, 5);  // fields before the failure are kept

    std::vector<uint8_t> b = header_bytes(HeaderFields{});
    b[27] = uint8_t(2164 & 0xFF);
    b[28] = uint8_t(2164 >> 8);
    read(fs, b, &error, 4000);
    EXPECT_EQ(error, "Error: qp_count exceeds the table size");
    b[27] = uint8_t(2163 & 0xFF);
    read(fs, b, nullptr, 4000);
    EXPECT_EQ(fs.qp_count, 2163);

    // Every cut gives an error and never a read past the end.
    f = HeaderFields{};
    f.version = 4;
    f.qp_table.assign(10, 3);
    const std::vector<uint8_t> full = header_bytes(f);
    for (size_t cut = 0; cut < full.size(); ++cut) {
        error.clear();
        FrameState cut_fs;
        EXPECT_LE(read(cut_fs, std::vector<uint8_t>(full.begin(), full.begin() + long(cut)), &error, 0), cut);
        EXPECT_EQ(error, "Error: Stream header truncated") << cut;
    }
}

}  // namespace

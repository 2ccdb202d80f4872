// Header bytes and offsets of every stream version, checked against the
// decoder's own header reader.
#include <gtest/gtest.h>

#include <vector>

#include "codestream/frame_state.h"
#include "codestream/header.h"
#include "qvx/QvxEncoder.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

namespace {

EncoderSettings base(uint16_t version, uint8_t format, size_t qp_entries) {
    EncoderSettings s;
    s.version = version;
    s.width = 64;
    s.height = 32;
    s.component_format = format;
    s.bit_depth = 10;
    s.rc_window = -2;
    s.rc_drain = 300;
    s.buffer_size = 40000;
    s.buffer_size_log2 = 20;
    s.fill_level = 1234;
    s.w_kernel = 3;
    s.ct_mode = 7;
    s.pred_mode = 3;
    s.bayer_mode = 2;
    s.bayer_param = 9;
    s.reserved_word = 0xBEEF;
    for (size_t i = 0; i < qp_entries; ++i) s.qp_table.push_back(int8_t(i * 7 - 20));
    for (unsigned c = 0; c < 4; ++c)
        for (unsigned g = 0; g < 4; ++g)
            for (unsigned b = 0; b < 4; ++b) s.component_params[c][g][b] = uint8_t(c * 16 + g * 4 + b);
    for (unsigned i = 0; i < 8; ++i) s.v5_words[i] = uint16_t(0x1100 + i);
    return s;
}

// Reads bytes back with the decoder; returns the bytes it consumed.
uint64_t read_back(std::vector<uint8_t>& bytes, frame_state& fs) {
    mem_data in(bytes.data(), bytes.size());
    read_header(in, fs);
    return in.bytes_read;
}

}  // namespace

TEST(EncoderHeader, LengthOfEveryVersion) {
    struct Case {
        uint16_t version;
        bool magic;
        uint8_t format;
        size_t n;
        size_t expected;
    };
    const Case cases[] = {
        {0, false, 1, 3, 40 + 3},  // unversioned
        {0, true, 1, 3, 46 + 3},   // magic with version word 0
        {1, true, 2, 3, 46 + 3},   // no padding
        {2, true, 1, 0, 48},       // 46 bytes, 2 of padding
        {3, true, 1, 0, 48},       // 47 bytes, 1 of padding
        {4, true, 2, 5, 96},       // 29 + 5 + 2 + 48 + 2 = 86, padded to 96
        {5, true, 1, 0, 80},       // 49 -> 64, then eight 16-bit words
        {6, true, 4, 1, 112},      // 29 + 1 + 2 + 64 + 2 = 98 -> 112
        {7, true, 1, 0, 52},       // 49 + 3 of padding
        {7, true, 3, 2, 84},       // 29 + 2 + 2 + 48 + 2 = 83 -> 84
    };
    for (const Case& c : cases) {
        EncoderSettings s = base(c.version, c.format, c.n);
        s.version0_magic = c.magic;
        std::vector<uint8_t> h = write_header(s);
        EXPECT_EQ(h.size(), c.expected) << "version " << c.version;
        frame_state fs;
        EXPECT_EQ(read_back(h, fs), h.size()) << "version " << c.version;
    }
}

TEST(EncoderHeader, FieldsReadBackPerVersion) {
    for (uint16_t v = 0; v <= 8; ++v) {
        EncoderSettings s = base(v, 2, 4);
        std::vector<uint8_t> h = write_header(s);
        frame_state fs;
        read_back(h, fs);
        EXPECT_EQ(fs.version, v);
        EXPECT_EQ(fs.rc_window, -2);
        EXPECT_EQ(fs.rc_drain, 300);
        EXPECT_EQ(fs.width, 64);
        EXPECT_EQ(fs.height, 32);
        EXPECT_EQ(fs.num_components, 3);
        EXPECT_EQ(fs.bit_depth, 10);
        EXPECT_EQ(fs.fill_level, 1234u);
        EXPECT_EQ(fs.w_kernel, 3);
        EXPECT_EQ(fs.pred_mode, 3);
        ASSERT_EQ(fs.qp_count, 4);
        EXPECT_EQ(fs.qp_table[3], int8_t(1));
        EXPECT_EQ(fs.ct_mode, 7);
        EXPECT_EQ(fs.ct_index, v >= 3 ? 2u : 0u);
        EXPECT_EQ(fs.reserved_word, v >= 3 ? 0xBEEF : 0);
        EXPECT_EQ(fs.buffer_size, v >= 5 ? 1u << 20 : 40000u);
        EXPECT_EQ(fs.bayer_mode, v >= 4 ? 2 : 0);
        // Before version 4 only component 0's block travels.
        EXPECT_EQ(fs.component_params[2][3][1], v >= 4 ? 2 * 16 + 13 : 13);
        EXPECT_EQ(fs.v5_words[7], v == 5 ? 0x1107 : 0);
    }
}

TEST(EncoderHeader, Version7BytesByHand) {
    EncoderSettings s;
    s.version = 7;
    s.width = 0x0140;
    s.height = 0x00F0;
    s.component_format = 1;
    s.bit_depth = 12;
    s.rc_window = 4;
    s.rc_drain = 0x0102;
    s.buffer_size_log2 = 18;
    s.fill_level = 0x01020304;
    s.w_kernel = 6;
    s.ct_mode = 8;
    s.pred_mode = 1;
    s.bayer_mode = 0;
    s.component_params[0][1][2] = 0xAA;
    s.reserved_word = 0x0506;
    const std::vector<uint8_t> expected = {
        0x56, 0x51, 0xFF, 0xFF, 0x07, 0x00, 0x04, 0x00, 0x02, 0x01,  // magic, version, window, drain
        0x40, 0x01, 0xF0, 0x00,                                      // width, height
        0x18, 0x01, 0x00, 0x0C,                                      // mode byte, format, lut, depth
        0x12, 0x00, 0x00, 0x00, 0x04, 0x03, 0x02, 0x01,              // buffer log2, fill level
        0x06, 0x00, 0x00,                                            // kernel, qp_count 0
        0x00, 0x00,                                                  // bayer mode, param
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00,              // component block
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x06, 0x05,                                                  // reserved word
        0x00, 0x00, 0x00};                                           // padding to 52
    EXPECT_EQ(write_header(s), expected);
}

TEST(EncoderHeader, ModeByteIsWholeBeforeVersion3) {
    EncoderSettings s = base(2, 1, 0);
    s.ct_mode = 0x37;
    s.pred_mode = 5;
    std::vector<uint8_t> h = write_header(s);
    EXPECT_EQ(h[14], 0x37);
    frame_state fs;
    read_back(h, fs);
    EXPECT_EQ(fs.ct_mode, 0x37);
    EXPECT_EQ(fs.pred_mode, 5);

    s.version = 3;
    s.ct_mode = 7;
    s.pred_mode = 3;
    EXPECT_EQ(write_header(s)[14], 0x37);
}

TEST(EncoderHeader, BayerMode5KeepsStoredWidth) {
    EncoderSettings s = base(6, 2, 1);
    s.bayer_mode = 5;
    s.width = 100;
    std::vector<uint8_t> h = write_header(s);
    frame_state fs;
    read_back(h, fs);
    EXPECT_EQ(fs.stored_width, 100);
    EXPECT_EQ(fs.width, 36);
}

TEST(EncoderHeader, RejectsWhatCannotBeWritten) {
    EncoderSettings s = base(0, 1, 0);
    s.rc_window = int16_t(0x5156);
    s.rc_drain = 0xFFFF;  // would read as the magic
    EXPECT_THROW(write_header(s), EncodeError);
    s.version0_magic = true;
    EXPECT_NO_THROW(write_header(s));

    EncoderSettings n = base(3, 1, 0);
    n.pred_mode = 16;  // does not fit its nibble
    EXPECT_THROW(write_header(n), EncodeError);
    n.version = 2;  // a whole byte of its own there
    EXPECT_NO_THROW(write_header(n));

    EncoderSettings q = base(7, 1, 2164);
    EXPECT_THROW(write_header(q), EncodeError);
}

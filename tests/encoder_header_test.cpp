// Header bytes and offsets of every stream version, read back by the
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
    s.rc_window = -2;
    s.buffer_size = 40000;
    s.ct_mode = 7;
    s.pred_mode = 3;
    s.bayer_mode = 2;
    s.reserved_word = 0xBEEF;
    for (size_t i = 0; i < qp_entries; ++i) s.qp_table.push_back(int8_t(i * 7 - 20));
    for (unsigned c = 0; c < 4; ++c) s.component_params[c][3][1] = uint8_t(c + 1);
    s.v5_words[7] = 0x1107;
    return s;
}

}  // namespace

TEST(EncoderHeader, LengthAndFieldsOfEveryVersion) {
    struct Case {
        uint16_t version;
        bool magic;
        uint8_t format;
        size_t n;
        size_t length;
    };
    const Case cases[] = {
        {0, false, 1, 3, 40 + 3},  // unversioned
        {0, true, 1, 3, 46 + 3},   // magic with version word 0
        {1, true, 2, 3, 46 + 3},   // no padding
        {2, true, 1, 0, 48},       // 46 bytes, 2 of padding
        {3, true, 2, 0, 48},       // 47 bytes, 1 of padding
        {4, true, 2, 5, 96},       // 29 + 5 + 2 + 48 + 2 = 86, padded to 96
        {5, true, 1, 0, 80},       // 49 -> 64, then eight 16-bit words
        {6, true, 4, 1, 112},      // 29 + 1 + 2 + 64 + 2 = 98 -> 112
        {7, true, 1, 0, 52},       // 49 + 3 of padding
        {8, true, 2, 2, 84},       // 29 + 2 + 2 + 48 + 2 = 83 -> 84
    };
    for (const Case& c : cases) {
        EncoderSettings s = base(c.version, c.format, c.n);
        s.version0_magic = c.magic;
        std::vector<uint8_t> h = write_header(s);
        EXPECT_EQ(h.size(), c.length) << "version " << c.version;
        frame_state fs;
        mem_data in(h.data(), h.size());
        read_header(in, fs);
        EXPECT_EQ(in.bytes_read, h.size()) << "version " << c.version;
        EXPECT_EQ(fs.rc_window, -2);
        EXPECT_EQ(fs.qp_count, c.n);
        EXPECT_EQ(fs.pred_mode, 3);
        // A whole mode byte before version 3, two nibbles from then on.
        EXPECT_EQ(h[c.magic ? 14 : 8], c.version >= 3 ? 0x37 : 0x07);
        EXPECT_EQ(fs.reserved_word, c.version >= 3 ? 0xBEEF : 0);
        EXPECT_EQ(fs.buffer_size, c.version >= 5 ? 1u << 20 : 40000u);
        EXPECT_EQ(fs.bayer_mode, c.version >= 4 ? 2 : 0);
        // Before version 4 component 0's block serves every component.
        EXPECT_EQ(fs.component_params[fs.num_components - 1][3][1], c.version >= 4 ? fs.num_components : 1);
        EXPECT_EQ(fs.v5_words[7], c.version == 5 ? 0x1107 : 0);
    }
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
    n.version = 2;  // a byte of its own there
    EXPECT_NO_THROW(write_header(n));

    EXPECT_THROW(write_header(base(7, 1, 2164)), EncodeError);
}

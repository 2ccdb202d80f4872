#include <gtest/gtest.h>
#include <zlib.h>

#include <cctype>
#include <string>
#include <vector>

#include "image_io.h"

using qvxtools::Image;

using namespace std::string_literals;

namespace {

Image pattern(uint32_t w, uint32_t h, uint32_t channels, uint32_t maxval) {
    Image im;
    im.width = w;
    im.height = h;
    im.channels = channels;
    im.maxval = maxval;
    im.samples.resize(im.sample_count());
    uint32_t v = 12345;
    for (uint16_t& s : im.samples) {
        v = v * 1103515245u + 12345u;
        s = uint16_t((v >> 8) % (maxval + 1));
    }
    im.samples[0] = uint16_t(maxval);  // both ends of the range
    im.samples[1] = 0;
    return im;
}

void expect_same(const Image& a, const Image& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.channels, b.channels);
    EXPECT_EQ(a.maxval, b.maxval);
    EXPECT_EQ(a.samples, b.samples);
}

std::string text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

}  // namespace

TEST(ToolsPng, RoundTripEveryLayoutAndDepth) {
    for (uint32_t channels = 1; channels <= 4; ++channels) {
        for (uint32_t maxval : {255u, 65535u}) {
            SCOPED_TRACE(std::to_string(channels) + " channels, maxval " + std::to_string(maxval));
            const Image in = pattern(7, 5, channels, maxval);
            std::vector<uint8_t> png;
            std::string error;
            ASSERT_TRUE(qvxtools::encode_png(in, png, error)) << error;
            Image out;
            ASSERT_TRUE(qvxtools::decode_png(png.data(), png.size(), out, error)) << error;
            expect_same(in, out);
        }
    }
}

TEST(ToolsPng, Force16KeepsValuesUnscaled) {
    const Image in = pattern(4, 3, 3, 4095);
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(qvxtools::encode_png(pattern(4, 3, 1, 255), png, error, true)) << error;
    Image out;
    ASSERT_TRUE(qvxtools::decode_png(png.data(), png.size(), out, error)) << error;
    EXPECT_EQ(out.maxval, 65535u);
    EXPECT_EQ(out.samples, pattern(4, 3, 1, 255).samples);

    // A 12-bit image is stored with its own values, not stretched to 16 bits.
    ASSERT_TRUE(qvxtools::encode_png(in, png, error)) << error;
    ASSERT_TRUE(qvxtools::decode_png(png.data(), png.size(), out, error)) << error;
    EXPECT_EQ(out.samples, in.samples);
}

TEST(ToolsPng, DamagedFilesGiveErrors) {
    std::vector<uint8_t> png;
    std::string error;
    ASSERT_TRUE(qvxtools::encode_png(pattern(16, 16, 3, 65535), png, error));
    Image out;
    for (size_t len = 0; len < png.size(); len += (len < 64 ? 1 : 37)) {
        error.clear();
        EXPECT_FALSE(qvxtools::decode_png(png.data(), len, out, error)) << "length " << len;
        EXPECT_FALSE(error.empty());
    }
    // A changed image-data byte breaks its chunk checksum.
    std::vector<uint8_t> bad = png;
    bad[bad.size() - 20] ^= 0x55;
    EXPECT_FALSE(qvxtools::decode_png(bad.data(), bad.size(), out, error));
    EXPECT_NE(error.find("corrupt PNG"), std::string::npos) << error;

    // A huge width with a valid checksum is refused before any allocation.
    bad = png;
    const size_t ihdr = 12;  // chunk type after the signature and the length word
    ASSERT_EQ(std::string(bad.begin() + ihdr, bad.begin() + ihdr + 4), "IHDR");
    bad[ihdr + 4] = 0x7f;
    bad[ihdr + 5] = 0xff;
    const uLong crc = crc32(0, bad.data() + ihdr, 17);
    for (int i = 0; i < 4; ++i) bad[ihdr + 17 + i] = uint8_t(crc >> (24 - 8 * i));
    EXPECT_FALSE(qvxtools::decode_png(bad.data(), bad.size(), out, error));
    EXPECT_FALSE(qvxtools::decode_png(png.data() + 8, png.size() - 8, out, error));
    EXPECT_EQ(error, "not a PNG file");
}

TEST(ToolsPnm, RoundTripP5P6AndPam) {
    struct Case {
        uint32_t channels, maxval;
        bool pam;
        const char* magic;
    };
    for (const Case& c : {Case{1, 255, false, "P5"}, Case{3, 255, false, "P6"}, Case{1, 4095, false, "P5"},
                          Case{3, 65535, false, "P6"}, Case{1, 1023, true, "P7"}, Case{2, 255, false, "P7"},
                          Case{3, 4095, true, "P7"}, Case{4, 65535, false, "P7"}}) {
        SCOPED_TRACE(std::string(c.magic) + " " + std::to_string(c.channels) + "/" + std::to_string(c.maxval));
        const Image in = pattern(5, 3, c.channels, c.maxval);
        std::vector<uint8_t> pnm;
        std::string error;
        ASSERT_TRUE(qvxtools::encode_pnm(in, pnm, error, c.pam)) << error;
        EXPECT_EQ(text(pnm).substr(0, 2), c.magic);
        const size_t bytes = in.sample_count() * (c.maxval > 255 ? 2 : 1);
        Image out;
        ASSERT_TRUE(qvxtools::decode_pnm(pnm.data(), pnm.size(), out, error)) << error;
        expect_same(in, out);
        // The sample data ends the file, one or two bytes a sample.
        ASSERT_GE(pnm.size(), bytes);
        EXPECT_TRUE(std::isspace(pnm[pnm.size() - bytes - 1]));
    }
}

TEST(ToolsPnm, SixteenBitSamplesAreBigEndian) {
    Image im;
    im.width = 2;
    im.height = 1;
    im.channels = 1;
    im.maxval = 65535;
    im.samples = {0x0102, 0xA0B0};
    std::vector<uint8_t> pnm;
    std::string error;
    ASSERT_TRUE(qvxtools::encode_pnm(im, pnm, error));
    EXPECT_EQ(text(pnm), std::string("P5\n2 1\n65535\n\x01\x02\xA0\xB0", 17));
}

TEST(ToolsPnm, HeadersWithCommentsAndPamFields) {
    const std::string p6 = "P6 # comment\n# another\n2\t1 # width and height\n4095\n"
                           "\x00\x01\x00\x02\x00\x03\x0f\xff\x00\x00\x01\x00"s;
    Image out;
    std::string error;
    ASSERT_TRUE(qvxtools::decode_pnm(reinterpret_cast<const uint8_t*>(p6.data()), p6.size(), out, error)) << error;
    EXPECT_EQ(out.maxval, 4095u);
    EXPECT_EQ(out.samples, (std::vector<uint16_t>{1, 2, 3, 4095, 0, 256}));

    const std::string pam = "P7\nWIDTH 1\nHEIGHT 2\nDEPTH 2\nMAXVAL 255\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\nabcd";
    ASSERT_TRUE(qvxtools::decode_pnm(reinterpret_cast<const uint8_t*>(pam.data()), pam.size(), out, error)) << error;
    EXPECT_EQ(out.channels, 2u);
    EXPECT_EQ(out.samples, (std::vector<uint16_t>{'a', 'b', 'c', 'd'}));
}

TEST(ToolsPnm, BadFilesGiveErrors) {
    const std::string bad[] = {
        ""s,
        "P3\n1 1\n255\n1 2 3"s,                                 // text format
        "P5\n1 1\n255\n"s,                                      // no samples
        "P5\n2 2\n255\nabc"s,                                   // truncated
        "P5\n0 1\n255\n"s,                                      // empty
        "P5\n1 1\n0\n\x00"s,                                    // zero maximum
        "P5\n1 1\n65536\n\x00\x00"s,                            // maximum too large
        "P5\n1 1\n100\n\x65"s,                                  // sample above maxval
        "P5\n999999 999999\n255\n"s,                            // oversized
        "P5\n4294967297 1\n255\n"s,                             // overflowing number
        "P5\n1 1"s,                                             // header cut short
        "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n"s, // depth above 4
        "P7\nWIDTH 1\nHEIGHT 1\nMAXVAL 255\nENDHDR\nx"s,        // no depth
        "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\n"s,        // no ENDHDR
        "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 1\nMAXVAL 255\nCOLOUR 1\nENDHDR\nx"s,
    };
    for (const std::string& s : bad) {
        Image out;
        std::string error;
        EXPECT_FALSE(qvxtools::decode_pnm(reinterpret_cast<const uint8_t*>(s.data()), s.size(), out, error)) << s;
        EXPECT_FALSE(error.empty()) << s;
    }
}

TEST(ToolsImageFiles, ExtensionChoosesFormatAndChecksChannels) {
    const std::string dir = ::testing::TempDir();
    const Image rgb = pattern(3, 2, 3, 1023);
    std::string error;
    for (const char* name : {"a.png", "a.ppm", "a.pnm", "a.pam", "A.PNG"}) {
        const std::string path = dir + "/tools_io_" + name;
        ASSERT_TRUE(qvxtools::write_image(path, rgb, error)) << error;
        Image back;
        ASSERT_TRUE(qvxtools::read_image(path, back, error)) << error;
        EXPECT_EQ(back.samples, rgb.samples) << name;
        EXPECT_EQ(back.maxval, 1023u) << name;  // PNG keeps it through sBIT
    }
    EXPECT_FALSE(qvxtools::write_image(dir + "/tools_io_b.pgm", rgb, error));
    EXPECT_NE(error.find("cannot be stored as .pgm"), std::string::npos) << error;
    EXPECT_FALSE(qvxtools::write_image(dir + "/tools_io_b.jpg", rgb, error));
    EXPECT_FALSE(qvxtools::write_image(dir + "/no/such/dir/b.png", rgb, error));
    Image out;
    EXPECT_FALSE(qvxtools::read_image(dir + "/tools_io_missing.png", out, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;

    Image wrong = rgb;
    wrong.samples.pop_back();
    EXPECT_FALSE(qvxtools::write_image(dir + "/tools_io_c.png", wrong, error));
    wrong = rgb;
    wrong.samples[3] = 1024;  // above maxval
    EXPECT_FALSE(qvxtools::write_image(dir + "/tools_io_c.ppm", wrong, error));
}

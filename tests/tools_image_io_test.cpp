#include <gtest/gtest.h>
#include <zlib.h>

#include <cctype>
#include <string>
#include <vector>

#include "image_io.h"
#include "support/tool_images.h"

using qvxtools::Image;
using qvxtools::ToolError;
using qvxtest::tool_error_of;
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

Image decode(const std::string& bytes) {
    return qvxtools::decode_pnm(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

TEST(ToolsImageFiles, RoundTripEveryFormatLayoutAndDepth) {
    const std::string dir = ::testing::TempDir();
    for (uint32_t channels = 1; channels <= 4; ++channels)
        for (uint32_t maxval : {255u, 1023u, 65535u})
            for (const char* ext : {".png", ".pam", ".tif", channels == 1 ? ".pgm" : channels == 3 ? ".PPM" : ".pam"}) {
                SCOPED_TRACE(std::to_string(channels) + " channels, maxval " + std::to_string(maxval) + ext);
                const Image in = pattern(7, 5, channels, maxval);
                const std::string path = dir + "/tools_io_" + std::to_string(channels) + "_" + std::to_string(maxval) + ext;
                ASSERT_NO_THROW(qvxtools::write_image(path, in));
                Image out;
                ASSERT_NO_THROW(out = qvxtools::read_image(path));
                // A 10-bit PNG is stored scaled with an sBIT chunk and read back
                // unscaled; a 10-bit TIFF keeps its range in SMaxSampleValue.
                EXPECT_EQ(out.samples, in.samples);
                EXPECT_EQ(out.channels, channels);
                EXPECT_EQ(out.maxval, maxval);
            }
    const Image rgb = pattern(3, 2, 3, 1023);
    std::string error = tool_error_of([&] { qvxtools::write_image(dir + "/tools_io_b.pgm", rgb); });
    EXPECT_NE(error.find("cannot be stored as pgm"), std::string::npos) << error;
    EXPECT_THROW(qvxtools::write_image(dir + "/tools_io_b.jpg", rgb), ToolError);
    Image wrong = rgb;
    wrong.samples[3] = 1024;  // above maxval
    EXPECT_THROW(qvxtools::write_image(dir + "/tools_io_c.ppm", wrong), ToolError);
    error = tool_error_of([&] { qvxtools::read_image(dir + "/tools_io_missing.png"); });
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

TEST(ToolsPnm, LayoutAndHeaders) {
    Image im = pattern(2, 1, 1, 65535);
    im.samples = {0x0102, 0xA0B0};
    const std::vector<uint8_t> pnm = qvxtools::encode_pnm(im);
    EXPECT_EQ(std::string(pnm.begin(), pnm.end()), std::string("P5\n2 1\n65535\n\x01\x02\xA0\xB0", 17));

    Image out;
    ASSERT_NO_THROW(out = decode("P6 # comment\n2\t1 # size\n4095\n\x00\x01\x00\x02\x00\x03\x0f\xff\x00\x00\x01\x00"s));
    EXPECT_EQ(out.samples, (std::vector<uint16_t>{1, 2, 3, 4095, 0, 256}));
    for (const std::string& s : {""s, "P3\n1 1\n255\n1 2 3"s, "P5\n2 2\n255\nabc"s, "P5\n1 1\n65536\n\x00\x00"s,
                                 "P5\n1 1\n100\n\x65"s, "P5\n999999 999999\n255\n"s, "P5\n4294967297 1\n255\n"s,
                                 "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 5\nMAXVAL 255\nENDHDR\n"s}) {
        const std::string error = tool_error_of([&] { decode(s); });
        EXPECT_NE(error, "(no error)") << s;
        EXPECT_FALSE(error.empty()) << s;
    }
}

TEST(ToolsPng, DamagedFilesGiveErrors) {
    const std::vector<uint8_t> png = qvxtools::encode_png(pattern(16, 16, 3, 65535));
    for (size_t len = 0; len < png.size(); len += (len < 64 ? 1 : 37)) {
        const std::string error = tool_error_of([&] { qvxtools::decode_png(png.data(), len); });
        EXPECT_NE(error, "(no error)") << "length " << len;
        EXPECT_FALSE(error.empty());
    }
    std::vector<uint8_t> bad = png;
    bad[bad.size() - 20] ^= 0x55;  // breaks the image data's checksum
    std::string error = tool_error_of([&] { qvxtools::decode_png(bad.data(), bad.size()); });
    EXPECT_NE(error.find("corrupt PNG"), std::string::npos) << error;
    // A huge width with a valid checksum is refused before any allocation.
    bad = png;
    bad[16] = 0x7f;
    bad[17] = 0xff;
    const uLong crc = crc32(0, bad.data() + 12, 17);
    for (int i = 0; i < 4; ++i) bad[29 + i] = uint8_t(crc >> (24 - 8 * i));
    EXPECT_THROW(qvxtools::decode_png(bad.data(), bad.size()), ToolError);
    EXPECT_EQ(tool_error_of([&] { qvxtools::decode_png(png.data() + 8, png.size() - 8); }), "not a PNG file");
}

TEST(ToolsTiff, DamagedFilesGiveErrors) {
    const std::vector<uint8_t> tif = qvxtools::encode_tiff(pattern(16, 16, 4, 4095));
    Image out;
    ASSERT_NO_THROW(out = qvxtools::decode_tiff(tif.data(), tif.size()));
    EXPECT_EQ(out.maxval, 4095u);
    // Every cut of the file either fails with a message or, where only
    // trailing tags are lost, still yields the full image.
    for (size_t len = 0; len < tif.size(); len += 23) {
        try {
            out = qvxtools::decode_tiff(tif.data(), len);
            EXPECT_EQ(out.sample_count(), 16u * 16 * 4) << "length " << len;
        } catch (const ToolError& e) {
            EXPECT_NE(std::string(e.what()), "") << "length " << len;
        }
    }
}

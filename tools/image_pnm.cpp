// Binary PNM (P5, P6) and PAM (P7) reading and writing. Samples above 255
// take two bytes, most significant first.
#include <cctype>

#include "image_io.h"

namespace qvxtools {

namespace {

// Header tokens of a PNM file: numbers and words separated by white space,
// with '#' comments running to the end of the line.
class Tokens {
public:
    Tokens(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    void skip_space() {
        while (pos_ < size_) {
            if (data_[pos_] == '#') {
                while (pos_ < size_ && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
            } else if (std::isspace(data_[pos_])) {
                ++pos_;
            } else {
                break;
            }
        }
    }

    std::string word() {
        skip_space();
        std::string w;
        while (pos_ < size_ && !std::isspace(data_[pos_]) && data_[pos_] != '#' && w.size() < 64)
            w += char(data_[pos_++]);
        return w;
    }

    // A decimal number no larger than limit; false if absent or too large.
    bool number(uint32_t limit, uint32_t& value) {
        const std::string w = word();
        if (w.empty() || w.size() > 10) return false;
        uint64_t v = 0;
        for (char c : w) {
            if (c < '0' || c > '9') return false;
            v = v * 10 + uint64_t(c - '0');
        }
        if (v > limit) return false;
        value = uint32_t(v);
        return true;
    }

    // The rest of the current line (PAM TUPLTYPE value).
    void skip_line() {
        while (pos_ < size_ && data_[pos_] != '\n') ++pos_;
    }

    // Consumes the single white-space byte that ends a header.
    bool end_header() {
        if (pos_ >= size_ || !std::isspace(data_[pos_])) return false;
        ++pos_;
        return true;
    }

    size_t pos() const { return pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

void parse_pam_header(Tokens& t, Image& image) {
    bool have_w = false, have_h = false, have_d = false, have_m = false;
    for (;;) {
        const std::string key = t.word();
        if (key.empty()) throw ToolError("PAM header ends before ENDHDR");
        if (key == "ENDHDR") break;
        if (key == "TUPLTYPE") {
            t.skip_line();
            continue;
        }
        bool ok = true;
        if (key == "WIDTH") {
            ok = t.number(kMaxImageSide, image.width);
            have_w = true;
        } else if (key == "HEIGHT") {
            ok = t.number(kMaxImageSide, image.height);
            have_h = true;
        } else if (key == "DEPTH") {
            ok = t.number(4, image.channels);
            have_d = true;
        } else if (key == "MAXVAL") {
            ok = t.number(65535, image.maxval);
            have_m = true;
        } else {
            throw ToolError("unknown PAM header field " + key);
        }
        if (!ok) throw ToolError("bad or out-of-range PAM " + key);
    }
    if (!have_w || !have_h || !have_d || !have_m) throw ToolError("PAM header lacks WIDTH, HEIGHT, DEPTH or MAXVAL");
    // ENDHDR is followed by a line end.
    t.skip_line();
}

}  // namespace

Image decode_pnm(const uint8_t* data, size_t size) {
    if (size < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6' && data[1] != '7'))
        throw ToolError("not a binary PNM/PAM file (P5, P6 or P7)");
    Image image;
    Tokens t(data + 2, size - 2);
    size_t header_end;
    if (data[1] == '7') {
        parse_pam_header(t, image);
        if (t.pos() >= size - 2) throw ToolError("PAM file has no samples");
        header_end = 2 + t.pos() + 1;
    } else {
        image.channels = data[1] == '5' ? 1 : 3;
        if (!t.number(kMaxImageSide, image.width) || !t.number(kMaxImageSide, image.height) ||
            !t.number(65535, image.maxval) || !t.end_header())
            throw ToolError("bad or out-of-range PNM header");
        header_end = 2 + t.pos();
    }
    if (image.width == 0 || image.height == 0 || image.channels == 0 || image.maxval == 0)
        throw ToolError("PNM header gives an empty image or a zero maximum");
    if (image.sample_count() > kMaxImageSamples) throw ToolError("image is too large");
    const size_t bytes_per = image.maxval > 255 ? 2 : 1;
    const size_t n = image.sample_count();
    if (size - header_end < n * bytes_per) throw ToolError("PNM file is truncated");
    image.samples.resize(n);
    const uint8_t* p = data + header_end;
    for (size_t i = 0; i < n; ++i) {
        const uint16_t v = bytes_per == 2 ? uint16_t(p[2 * i] << 8 | p[2 * i + 1]) : p[i];
        if (v > image.maxval)
            throw ToolError("sample value " + std::to_string(v) + " exceeds the maximum " +
                            std::to_string(image.maxval));
        image.samples[i] = v;
    }
    return image;
}

std::vector<uint8_t> encode_pnm(const Image& image, bool force_pam) {
    check_image(image);
    const std::string dims = std::to_string(image.width) + " " + std::to_string(image.height);
    const std::string maxval = std::to_string(image.maxval);
    std::string header;
    if (!force_pam && (image.channels == 1 || image.channels == 3)) {
        header = (image.channels == 1 ? "P5\n" : "P6\n") + dims + "\n" + maxval + "\n";
    } else {
        static const char* kTupleTypes[5] = {"", "GRAYSCALE", "GRAYSCALE_ALPHA", "RGB", "RGB_ALPHA"};
        header = "P7\nWIDTH " + std::to_string(image.width) + "\nHEIGHT " +
                 std::to_string(image.height) + "\nDEPTH " + std::to_string(image.channels) +
                 "\nMAXVAL " + maxval + "\nTUPLTYPE " + kTupleTypes[image.channels] + "\nENDHDR\n";
    }
    const bool wide = image.maxval > 255;
    std::vector<uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + image.samples.size() * (wide ? 2 : 1));
    for (uint16_t v : image.samples) {
        if (v > image.maxval) throw ToolError("sample value " + std::to_string(v) + " exceeds the maximum " + maxval);
        if (wide) out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v));
    }
    return out;
}

}  // namespace qvxtools

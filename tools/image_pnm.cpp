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

bool parse_pam_header(Tokens& t, Image& image, std::string& error) {
    bool have_w = false, have_h = false, have_d = false, have_m = false;
    for (;;) {
        const std::string key = t.word();
        if (key.empty()) {
            error = "PAM header ends before ENDHDR";
            return false;
        }
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
            error = "unknown PAM header field " + key;
            return false;
        }
        if (!ok) {
            error = "bad or out-of-range PAM " + key;
            return false;
        }
    }
    if (!have_w || !have_h || !have_d || !have_m) {
        error = "PAM header lacks WIDTH, HEIGHT, DEPTH or MAXVAL";
        return false;
    }
    // ENDHDR is followed by a line end.
    t.skip_line();
    return true;
}

}  // namespace

bool decode_pnm(const uint8_t* data, size_t size, Image& image, std::string& error) {
    image = Image{};
    if (size < 2 || data[0] != 'P' || (data[1] != '5' && data[1] != '6' && data[1] != '7')) {
        error = "not a binary PNM/PAM file (P5, P6 or P7)";
        return false;
    }
    Tokens t(data + 2, size - 2);
    size_t header_end;
    if (data[1] == '7') {
        if (!parse_pam_header(t, image, error)) return false;
        if (t.pos() >= size - 2) {
            error = "PAM file has no samples";
            return false;
        }
        header_end = 2 + t.pos() + 1;
    } else {
        image.channels = data[1] == '5' ? 1 : 3;
        if (!t.number(kMaxImageSide, image.width) || !t.number(kMaxImageSide, image.height) ||
            !t.number(65535, image.maxval) || !t.end_header()) {
            error = "bad or out-of-range PNM header";
            return false;
        }
        header_end = 2 + t.pos();
    }
    if (image.width == 0 || image.height == 0 || image.channels == 0 || image.maxval == 0) {
        error = "PNM header gives an empty image or a zero maximum";
        return false;
    }
    if (image.sample_count() > kMaxImageSamples) {
        error = "image is too large";
        return false;
    }
    const size_t bytes_per = image.maxval > 255 ? 2 : 1;
    const size_t n = image.sample_count();
    if (size - header_end < n * bytes_per) {
        error = "PNM file is truncated";
        return false;
    }
    image.samples.resize(n);
    const uint8_t* p = data + header_end;
    for (size_t i = 0; i < n; ++i) {
        const uint16_t v = bytes_per == 2 ? uint16_t(p[2 * i] << 8 | p[2 * i + 1]) : p[i];
        if (v > image.maxval) {
            error = "sample value " + std::to_string(v) + " exceeds the maximum " +
                    std::to_string(image.maxval);
            image = Image{};
            return false;
        }
        image.samples[i] = v;
    }
    return true;
}

bool encode_pnm(const Image& image, std::vector<uint8_t>& out, std::string& error, bool force_pam) {
    if (!check_image(image, error)) return false;
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
    out.assign(header.begin(), header.end());
    out.reserve(out.size() + image.samples.size() * (wide ? 2 : 1));
    for (uint16_t v : image.samples) {
        if (v > image.maxval) {
            error = "sample value " + std::to_string(v) + " exceeds the maximum " + maxval;
            return false;
        }
        if (wide) out.push_back(uint8_t(v >> 8));
        out.push_back(uint8_t(v));
    }
    return true;
}

}  // namespace qvxtools

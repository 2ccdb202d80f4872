// qvx_regression: makes the regression corpus and freezes what today's
// decoder does with it.
//
//   qvx_regression generate          writes tests/regression/streams/*.qvx,
//                                    manifest.txt and sequence.txt
//   qvx_regression write [FILE]      decodes the manifest and the sequence and
//                                    writes the expectations (expected.txt)
//   qvx_regression check [FILE]      compares against the expectations
//   qvx_regression stats [FILE]      counts of results and error messages
//
// Every path is relative to the source tree (QVX_SOURCE_DIR, or --root DIR).
// Everything is deterministic: fixed seeds, no clock, no environment.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "corpus.h"
#include "qvx/QvxEncoder.h"

namespace {

using namespace Vantrel::QVX::enc;
using qvxreg::Bytes;

const char* const kStreams = "tests/regression/streams";
const char* const kManifest = "tests/regression/manifest.txt";
const char* const kSequence = "tests/regression/sequence.txt";
const char* const kExpected = "tests/regression/expected.txt";
const char* const kToneLut = "samples/tone_curve.lut";
const char* const kShortLut = "tests/regression/short.lut";
const char* const kMissingLut = "tests/regression/no_such_table.lut";

struct Rng {
    uint64_t s;
    explicit Rng(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return uint32_t(s >> 11);
    }
    unsigned below(unsigned n) { return next() % n; }
};

unsigned components(unsigned format) { return format == 1 ? 1 : format == 4 ? 4 : 3; }

// Synthetic pictures. Style 0: smooth gradients with mild noise; 1: flat
// with sparse full-scale spikes (long zero runs, raw escapes); 2: noise over
// the whole range (long packets); 3: blocks and edges.
ImagePlanes picture(unsigned w, unsigned h, unsigned nc, unsigned depth, unsigned style, uint64_t seed) {
    ImagePlanes p{uint16_t(w), uint16_t(h), uint8_t(nc)};
    Rng r(seed);
    const unsigned max = (1u << depth) - 1;
    for (unsigned c = 0; c < nc; ++c)
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) {
                double v = 0;
                switch (style) {
                    case 0:
                        v = (0.5 + 0.4 * std::sin((x + 3.0 * c) * 0.21) * std::cos(y * 0.17 + c)) * max +
                            double(r.below(9)) - 4.0;
                        break;
                    case 1:
                        v = r.below(97) == 0 ? (r.below(2) ? max : 0) : max / 3.0 + c;
                        break;
                    case 2:
                        v = r.below(max + 1);
                        break;
                    default:
                        v = (((x / 8) + (y / 6) + c) % 3) * (max / 2.0) + ((x * 7 + y * 3) % 5);
                        break;
                }
                p.at(c, x, y) = uint16_t(std::clamp(v, 0.0, double(max)));
            }
    return p;
}

// An 8-bit PNM crop of tests/data scaled to `depth` (the photographs).
ImagePlanes photo(const std::string& root, const std::string& name, unsigned nc_wanted, unsigned depth) {
    const Bytes b = qvxreg::read_file(root + "/tests/data/" + name);
    std::string text(b.begin(), b.end());
    size_t pos = 0;
    auto token = [&]() {
        while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
        const size_t start = pos;
        while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
        return text.substr(start, pos - start);
    };
    const std::string magic = token();
    const unsigned w = unsigned(std::stoul(token())), h = unsigned(std::stoul(token()));
    token();
    ++pos;
    const unsigned nc = magic == "P6" ? 3 : 1;
    ImagePlanes p{uint16_t(w), uint16_t(h), uint8_t(nc_wanted)};
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            for (unsigned c = 0; c < nc_wanted; ++c) {
                const unsigned v = b[pos + (size_t(y) * w + x) * nc + std::min(c, nc - 1)];
                p.at(c, x, y) = uint16_t((v << (depth - 8)) | (v >> (16 - depth)) % (1u << (depth - 8)));
            }
    return p;
}

ImagePlanes crop(const ImagePlanes& in, unsigned w, unsigned h) {
    ImagePlanes p{uint16_t(w), uint16_t(h), in.num_components};
    for (unsigned c = 0; c < in.num_components; ++c)
        for (unsigned y = 0; y < h; ++y)
            for (unsigned x = 0; x < w; ++x) p.at(c, x, y) = in.at(c, x % in.width, y % in.height);
    return p;
}

EncoderSettings base(uint16_t version, uint8_t format, uint8_t depth, uint8_t kernel, uint16_t w, uint16_t h) {
    EncoderSettings s;
    s.version = version;
    s.width = w;
    s.height = h;
    s.component_format = format;
    s.bit_depth = depth;
    s.w_kernel = kernel;
    return s;
}

// The fixed low-pass quantiser offsets the corpus streams were made with:
// per axis 6, 0, 2, 0 quarter-octave steps by column or row mod 4, summed,
// for kernels 0..5; 0 for the others.
void set_lowpass_offsets(EncoderSettings& s) {
    static const uint8_t kAxis[4] = {6, 0, 2, 0};
    for (unsigned c = 0; c < 4; ++c)
        for (unsigned g = 0; g < 4; ++g)
            for (unsigned b = 0; b < 4; ++b)
                s.component_params[c][g][b] = s.w_kernel <= 5 ? uint8_t(kAxis[g] + kAxis[b]) : 0;
}

struct Stream {
    std::string name;
    Bytes bytes;
    size_t header = 0;   // header bytes (padding and version-5 words included)
    unsigned nc = 1;
    uint16_t version = 7;
    std::string lut = "-";
    bool damage = false;  // make damaged copies of it
};

class Generator {
public:
    explicit Generator(std::string root) : root_(std::move(root)) {}

    void run() {
        matrix();
        rate_control();
        bayer();
        tone_table();
        edge_headers();
        damaged();
        fuzz_findings();
        write();
    }

private:
    void add(const std::string& name, const EncoderSettings& s, const Bytes& bytes, bool damage,
             const std::string& lut = "-", const EncodeStats* stats = nullptr) {
        if (stats) {
            runs_ += stats->runs;
            escapes_ += stats->raw_escapes;
            with_runs_ += stats->runs > 0;
            with_escapes_ += stats->raw_escapes > 0;
        }
        Stream st;
        st.name = name;
        st.bytes = bytes;
        st.header = write_header(s).size();
        st.nc = components(s.component_format);
        st.version = s.version;
        st.lut = lut;
        st.damage = damage;
        if (!names_.insert(name).second) throw std::runtime_error("duplicate stream name " + name);
        good_.push_back(std::move(st));
    }

    // Encodes an image; settings that the encoder refuses are reported
    // and skipped.
    bool image(const std::string& name, const EncoderSettings& s, const ImagePlanes& img, bool damage,
               Input422 in422 = Input422::YCbCr) {
        try {
            const EncodedImage e = encode_image(s, img, in422);
            add(name, s, e.bytes, damage, s.lut_used == 1 ? kToneLut : "-", &e.stats);
            return true;
        } catch (const EncodeError& e) {
            std::fprintf(stderr, "skipped %s: %s\n", name.c_str(), e.what());
            return false;
        }
    }

    std::string tag(const EncoderSettings& s) {
        char b[96];
        std::snprintf(b, sizeof b, "v%u%s_f%u_d%u_k%u_p%u_c%u_%ux%u", s.version, s.version0_magic ? "m" : "",
                      s.component_format, s.bit_depth, s.w_kernel, s.pred_mode, s.ct_mode, s.width, s.height);
        return b;
    }

    // Versions, component formats, depths, kernels, prediction and colour
    // modes, 4:2:2, long zero runs and raw escapes.
    void matrix() {
        unsigned n = 0;
        // Every version with every component format.
        for (uint16_t v = 0; v <= 9; ++v)
            for (uint8_t f = 1; f <= 4; ++f, ++n) {
                EncoderSettings s = base(v, f, uint8_t(8 + 2 * (n % 4)), uint8_t(n % 6), 32, 24);
                s.pred_mode = uint8_t(n % 8);
                s.ct_mode = f == 2 ? uint8_t(4) : 0;
                if (v == 9) s.version = 100;  // a later version takes the version 7 layout
                s.version0_magic = v == 0 && f % 2 == 0;
                image("ver_" + tag(s), s, picture(32, 24, components(f), s.bit_depth, n % 4, n), n % 3 == 0);
            }
        // Every kernel with every depth and every format.
        for (uint8_t k = 0; k <= 7; ++k)
            for (uint8_t d = 8; d <= 14; d += 2)
                for (uint8_t f = 1; f <= 4; ++f, ++n) {
                    if ((k + d / 2 + f) % 2) continue;  // half of the cube, every pair still met
                    EncoderSettings s = base(uint16_t(4 + n % 4), f, d, k, k == 6 ? 32 : uint16_t(16 + 4 * (n % 5)),
                                             uint16_t(12 + 4 * (n % 3)));
                    s.pred_mode = uint8_t(n % 8);
                    s.ct_mode = f == 2 ? uint8_t(n % 3 == 0 ? 10 : 4) : 0;
                    image("ker_" + tag(s), s, picture(s.width, s.height, components(f), d, n % 4, n), n % 7 == 0);
                }
        // Prediction modes 0 to 7, one and three components (8 to 15 are
        // header edits: the encoder refuses them).
        for (uint8_t p = 0; p < 8; ++p)
            for (uint8_t f : {uint8_t(1), uint8_t(2)}) {
                ++n;
                EncoderSettings s = base(7, f, uint8_t(8 + 2 * (p % 4)), uint8_t(p % 7), 32, 16);
                s.pred_mode = p;
                s.ct_mode = f == 2 ? 4 : 0;
                image("pred_" + tag(s), s, picture(32, 16, components(f), s.bit_depth, p % 4, n), p % 4 == 1);
            }
        // Colour modes 0 to 15 on RGB.
        for (uint8_t ct = 0; ct < 16; ++ct)
            for (uint8_t k : {uint8_t(0), uint8_t(3), uint8_t(6)}) {
                ++n;
                EncoderSettings s = base(ct % 2 ? 7 : 5, 2, uint8_t(8 + 2 * (ct % 4)), k, 32, 16);
                s.ct_mode = ct;
                image("ct_" + tag(s), s, picture(32, 16, 3, s.bit_depth, ct % 4, n), ct % 5 == 0 && k == 3);
            }
        // 4:2:2 at widths that are and are not multiples of 8, both inputs.
        for (uint16_t w : {uint16_t(16), uint16_t(20), uint16_t(36), uint16_t(44), uint16_t(64)})
            for (uint8_t k : {uint8_t(0), uint8_t(4), uint8_t(6)}) {
                ++n;
                if (k == 6 && w % 16) continue;
                EncoderSettings s = base(uint16_t(3 + n % 5), 3, uint8_t(8 + 2 * (n % 4)), k, w, 16);
                s.pred_mode = uint8_t(n % 8);
                image("422_" + tag(s), s, picture(w, 16, 3, s.bit_depth, n % 4, n), w % 8 != 0,
                      n % 2 ? Input422::Rgb : Input422::YCbCr);
            }
        // Larger frames: long zero runs, raw escapes, packets of many words.
        for (unsigned style = 0; style < 4; ++style)
            for (uint8_t f : {uint8_t(1), uint8_t(2)}) {
                ++n;
                EncoderSettings s = base(7, f, style == 1 ? 14 : 8 + 2 * style, uint8_t(style == 2 ? 6 : 3), 128, 96);
                s.ct_mode = f == 2 ? 4 : 0;
                image("big_s" + std::to_string(style) + "_" + tag(s), s, picture(128, 96, components(f), s.bit_depth, style, n),
                      style == 1 && f == 1);
            }
        // The photographs of tests/data.
        {
            EncoderSettings s = base(7, 1, 8, 3, 64, 48);
            image("photo_camera_" + tag(s), s, photo(root_, "camera_64x48.pgm", 1, 8), true);
            s = base(6, 2, 10, 4, 64, 48);
            s.ct_mode = 4;
            image("photo_astronaut_" + tag(s), s, photo(root_, "astronaut_64x48.ppm", 3, 10), true);
            s = base(7, 3, 8, 1, 36, 20);
            image("photo_chelsea_" + tag(s), s, photo(root_, "chelsea_36x20.ppm", 3, 8), true, Input422::Rgb);
        }
        // Coefficient planes straight to the coder: extreme values, raw
        // escapes of every depth, all-zero frames (a single long run).
        for (uint8_t d = 8; d <= 14; d += 2)
            for (unsigned kind = 0; kind < 2; ++kind) {
                ++n;
                EncoderSettings s = base(uint16_t(kind ? 3 : 7), uint8_t(kind ? 4 : 1), d, 6, 32, 16);
                CoefficientFrame cf(32, 16, uint8_t(components(s.component_format)));
                Rng r(n);
                for (unsigned c = 0; c < cf.num_components; ++c)
                    for (auto& v : cf.planes[c])
                        v = kind == 0 ? int16_t(r.below(13) == 0 ? int(r.next() % 65536) - 32768 : 0)
                                      : int16_t(r.below(3) == 0 ? int(r.below(601)) - 300 : 0);
                try {
                    const EncodedFrame e = encode_coefficients(s, cf);
                    add("coef_" + tag(s) + "_" + std::to_string(kind), s, e.bytes, d == 14, "-", &e.stats);
                } catch (const EncodeError& e) {
                    std::fprintf(stderr, "skipped coefficients: %s\n", e.what());
                }
                EncoderSettings z = base(uint16_t(7 - kind), 1, d, uint8_t(kind ? 3 : 6), 64, 32);
                image("zero_" + tag(z), z, ImagePlanes(64, 32, 1), false);
            }
    }

    // Rate control: the rate-seeking encoder, then every field by hand.
    void rate_control() {
        unsigned n = 1000;
        const ImagePlanes cam = photo(root_, "camera_64x48.pgm", 1, 8);
        const ImagePlanes astro = photo(root_, "astronaut_64x48.ppm", 3, 8);
        for (double bpp : {1.0, 2.5, 4.0})
            for (uint8_t f : {uint8_t(1), uint8_t(2), uint8_t(3)}) {
                ++n;
                EncoderSettings s = base(uint16_t(4 + n % 4), f, 8, uint8_t(n % 6), 64, 48);
                s.ct_mode = f == 2 ? 4 : 0;
                s.rc_window = int16_t(n % 3 == 0 ? -2 : 4);
                set_lowpass_offsets(s);
                try {
                    const EncodedImage e = encode_image_at_rate(s, f == 1 ? cam : astro, bpp);
                    char b[32];
                    std::snprintf(b, sizeof b, "rate%.1f_", bpp);
                    add(b + tag(s), s, e.bytes, f != 3, "-", &e.stats);
                } catch (const EncodeError& e) {
                    std::fprintf(stderr, "skipped rate: %s\n", e.what());
                }
            }
        // Drain, buffer, window, fill, qp_table and offsets by hand.
        struct Rc {
            uint16_t version, drain;
            uint32_t log2;
            int16_t window;
            uint32_t fill;
            std::vector<int8_t> qp;
            unsigned offsets;  // 0 none, 1 low-pass, 2 random
            uint8_t depth, format;
        };
        const std::vector<Rc> cases = {
            {7, 40, 12, 4, 2048, {20}, 1, 8, 1},
            {7, 80, 14, 1, 0, {12, 16, 20, 24, 28, 32}, 0, 8, 1},
            {7, 20, 10, 8, 1024, {4, -4, 40, 0}, 2, 10, 2},
            {7, 120, 16, -1, 60000, {30}, 1, 12, 1},
            {7, 60, 12, -4, 4000, {10, 20, 30, 40, 50, 60, 70}, 2, 8, 3},
            {6, 300, 20, 2, 600000, {25}, 1, 14, 1},
            {5, 30, 11, 16, 100, {0, 8, 16, 24, 32, 40, 48, 56, 64}, 0, 8, 4},
            {5, 500, 9, 4, 511, {-20, 127, -128}, 2, 12, 2},
            {7, 1, 31, 4, 0x40000000u, {60}, 0, 8, 1},
            {7, 65535, 8, 4, 200, {15}, 1, 10, 1},
            {8, 90, 13, 3, 5000, {18, 22}, 1, 8, 2},
            {7, 0, 12, 4, 0, {6, 12, 18, 24}, 1, 8, 1},  // no rate control: qp_table as indices
            {7, 0, 12, 4, 0, {0}, 2, 12, 4},
        };
        for (const Rc& c : cases) {
            ++n;
            EncoderSettings s = base(c.version, c.format, c.depth, uint8_t(n % 6), 64, 48);
            s.ct_mode = c.format == 2 ? 4 : 0;
            s.rc_drain = c.drain;
            s.buffer_size_log2 = c.log2;
            s.rc_window = c.window;
            s.fill_level = c.fill;
            s.qp_table = c.qp;
            if (c.offsets == 1) set_lowpass_offsets(s);
            if (c.offsets == 2) {
                Rng r(n);
                for (auto& comp : s.component_params)
                    for (auto& group : comp)
                        for (auto& byte : group) byte = uint8_t(r.below(5) == 0 ? r.below(256) : r.below(12));
            }
            const ImagePlanes img = c.format == 1 ? crop(cam, 64, 48)
                                                  : c.format == 4 ? picture(64, 48, 4, c.depth, 0, n)
                                                                  : (c.depth == 8 ? astro : picture(64, 48, 3, c.depth, 3, n));
            image("rc_" + std::to_string(n) + "_" + tag(s), s, img, n % 2 == 0);
        }
        // Versions before 5 carry the buffer size itself.
        for (uint16_t v : {uint16_t(0), uint16_t(2), uint16_t(4)}) {
            ++n;
            EncoderSettings s = base(v, 1, 8, 3, 64, 48);
            s.rc_drain = 50;
            s.buffer_size = 3000;
            s.fill_level = 1500;
            s.qp_table = {16, 24};
            image("rcsize_" + tag(s), s, cam, v == 4);
        }
        // A long qp_table: many small windows on a larger frame.
        {
            EncoderSettings s = base(7, 1, 8, 3, 128, 96);
            s.rc_drain = 30;
            s.buffer_size_log2 = 12;
            s.fill_level = 2048;
            s.rc_window = 1;
            Rng r(77);
            s.qp_table.resize(window_count(s));
            for (auto& q : s.qp_table) q = int8_t(r.below(48));
            image("rc_longtable_" + tag(s), s, crop(cam, 128, 96), true);
        }
    }

    // Bayer modes 1 to 5, every arrangement, several versions and colour modes.
    void bayer() {
        unsigned n = 2000;
        for (uint8_t mode = 1; mode <= 5; ++mode)
            for (uint8_t param = 0; param < 4; ++param) {
                ++n;
                const unsigned W = mode == 5 ? 48 : 32, H = 24;
                const unsigned depth = 8 + 2 * (n % 3);
                Rng r(n);
                std::vector<uint16_t> mosaic(size_t(W) * H);
                for (unsigned y = 0; y < H; ++y)
                    for (unsigned x = 0; x < W; ++x)
                        mosaic[size_t(y) * W + x] =
                            uint16_t(((x * 37 + y * 11 + ((x ^ y) & 1) * 400) + r.below(20)) % (1u << depth));
                EncoderSettings s;
                s.version = uint16_t(4 + (n % 5));
                s.bayer_mode = mode;
                s.bayer_param = param;
                s.w_kernel = uint8_t(n % 6);
                s.pred_mode = uint8_t(n % 8);
                s.ct_mode = uint8_t(param % 2 == 0 ? 0 : (mode == 2 ? 4 : 5 + param));  // 6..8 pick ct_index
                try {
                    const EncodedImage e = encode_mosaic(s, mosaic.data(), W, H, depth);
                    char b[64];
                    std::snprintf(b, sizeof b, "bayer_m%u_b%u_", mode, param);
                    add(b + tag(s), s, e.bytes, param == 1, "-", &e.stats);
                } catch (const EncodeError& e) {
                    std::fprintf(stderr, "skipped bayer: %s\n", e.what());
                }
            }
    }

    // What the fuzzers found. A colour mode in the header of a frame that is
    // not RGB still selects the clip bound of the wavelet stage (mode 3: 1023
    // from kernel 3 on, 4095 below; modes 4 and 10: twice the range for the
    // components after the first).
    void fuzz_findings() {
        unsigned n = 5000;
        for (const auto& [f, ct, k, d] : {std::tuple{1, 3, 5, 12}, {4, 3, 0, 14}, {3, 4, 3, 10}, {4, 10, 4, 8}}) {
            ++n;
            EncoderSettings s = base(7, uint8_t(f), uint8_t(d), uint8_t(k), 16, 8);
            s.ct_mode = uint8_t(ct);
            image("fuzz_ctclip_" + tag(s), s, picture(16, 8, components(s.component_format), s.bit_depth, n % 4, n), false);
        }
    }

    // Streams coded through a tone table, decoded with and without one.
    void tone_table() {
        unsigned n = 3000;
        for (uint8_t f = 1; f <= 4; ++f) {
            ++n;
            EncoderSettings s = base(uint16_t(f == 3 ? 4 : 7), f, uint8_t(8 + 2 * f % 8), uint8_t(f), 32, 16);
            s.lut_used = 1;
            s.ct_mode = f == 2 ? 4 : 0;
            image("lut_" + tag(s), s, picture(32, 16, components(f), s.bit_depth, f % 4, n), f == 1);
        }
        // The same stream with the short table, with none, and with a path
        // that names no file; a stream without the flag given a table.
        const Stream lut1 = find("lut_v7_f1");
        extra_.push_back({lut1.name, kShortLut});
        extra_.push_back({lut1.name, "-"});
        extra_.push_back({lut1.name, kMissingLut});
        extra_.push_back({good_[0].name, kToneLut});
    }

    static void put16(Bytes& b, size_t at, uint16_t v) {
        b[at] = uint8_t(v);
        b[at + 1] = uint8_t(v >> 8);
    }
    static void put32(Bytes& b, size_t at, uint32_t v) {
        put16(b, at, uint16_t(v));
        put16(b, at + 2, uint16_t(v >> 16));
    }

    const Stream& find(const std::string& prefix) const {
        for (const Stream& s : good_)
            if (s.name.rfind(prefix, 0) == 0) return s;
        throw std::runtime_error("no stream " + prefix);
    }

    void edit(const Stream& from, const std::string& what, const std::function<void(Bytes&)>& change,
              const std::string& lut = "-") {
        Stream s = from;
        change(s.bytes);
        s.name = "edit_" + what + "__" + from.name;
        s.lut = lut;
        edited_.push_back(std::move(s));
    }

    // Header fields set to edge values (offsets of a versioned header).
    void edge_headers() {
        const Stream& g7 = find("ver_v7_f1");
        const Stream& c7 = find("ver_v7_f2");
        const Stream& r7 = find("ver_v7_f4");
        const Stream& g3 = find("ver_v3_f1");
        const Stream& g5 = find("ver_v5_f2");
        const Stream& g4 = find("ver_v4_f1");
        const Stream& rc = find("rc_");
        for (const Stream* s : {&g7, &c7, &g3})
            for (uint8_t k : {uint8_t(6), uint8_t(7), uint8_t(8), uint8_t(255)})
                edit(*s, "kernel" + std::to_string(k), [k](Bytes& b) { b[26] = k; });
        for (const Stream* s : {&g7, &c7, &g5}) {
            edit(*s, "width_minus1", [](Bytes& b) { put16(b, 10, uint16_t(b[10] + 256 * b[11] - 1)); });
            edit(*s, "width_plus1", [](Bytes& b) { put16(b, 10, uint16_t(b[10] + 256 * b[11] + 1)); });
            edit(*s, "width_plus2", [](Bytes& b) { put16(b, 10, uint16_t(b[10] + 256 * b[11] + 2)); });
            edit(*s, "height_minus1", [](Bytes& b) { put16(b, 12, uint16_t(b[12] + 256 * b[13] - 1)); });
            edit(*s, "width0", [](Bytes& b) { put16(b, 10, 0); });
            edit(*s, "height0", [](Bytes& b) { put16(b, 12, 0); });
        }
        for (const Stream* s : {&g7, &g3}) {
            for (uint8_t f : {uint8_t(0), uint8_t(5), uint8_t(255)})
                edit(*s, "format" + std::to_string(f), [f](Bytes& b) { b[15] = f; });
            for (uint8_t d : {uint8_t(0), uint8_t(7), uint8_t(9), uint8_t(16), uint8_t(17), uint8_t(255)})
                edit(*s, "depth" + std::to_string(d), [d](Bytes& b) { b[17] = d; });
            for (uint16_t q : {uint16_t(2163), uint16_t(2164), uint16_t(65535)})
                edit(*s, "qpcount" + std::to_string(q), [q](Bytes& b) { put16(b, 27, q); });
            edit(*s, "lut2", [](Bytes& b) { b[16] = 2; });
            edit(*s, "lut1", [](Bytes& b) { b[16] = 1; }, kToneLut);
            edit(*s, "lut1_nopath", [](Bytes& b) { b[16] = 1; });
            edit(*s, "modebyte_ff", [](Bytes& b) { b[14] = 0xFF; });
        }
        // Mosaics through the tone table: once on the coded components, once
        // on the rebuilt mosaic.
        for (const char* b : {"bayer_m1_b0", "bayer_m3_b2", "bayer_m5_b1"}) {
            const Stream src = find(b);
            edit(src, "lut1", [](Bytes& x) { x[16] = 1; }, kToneLut);
        }
        // Prediction modes 8 to 15 (the mode byte's high nibble).
        for (uint8_t p = 8; p < 16; ++p) {
            edit(p % 2 ? g7 : c7, "pred" + std::to_string(p), [p](Bytes& b) { b[14] = uint8_t((b[14] & 15) | p << 4); });
            if (p % 4 == 0) edit(g3, "pred" + std::to_string(p), [p](Bytes& b) { b[14] = uint8_t((b[14] & 15) | p << 4); });
        }
        // Format changed to one whose component count differs.
        edit(g7, "format2_of1", [](Bytes& b) { b[15] = 2; });
        edit(c7, "format3_of2", [](Bytes& b) { b[15] = 3; });
        edit(c7, "format1_of2", [](Bytes& b) { b[15] = 1; });
        // Versions: later ones read the version 7 layout and parser.
        for (uint16_t v : {uint16_t(8), uint16_t(9), uint16_t(255), uint16_t(65535)})
            edit(g7, "version" + std::to_string(v), [v](Bytes& b) { put16(b, 4, v); });
        edit(g7, "version6", [](Bytes& b) { put16(b, 4, 6); });
        edit(g3, "version2", [](Bytes& b) { put16(b, 4, 2); });
        edit(g3, "version4", [](Bytes& b) { put16(b, 4, 4); });
        edit(g7, "nomagic", [](Bytes& b) { b[0] = 0; });
        // Rate control set-up: window 0, negative window, a negative fill
        // level with a buffer of 0 (version 4), a shift past 31.
        edit(rc, "window0", [](Bytes& b) { put16(b, 6, 0); });
        edit(rc, "window_minus1000", [](Bytes& b) { put16(b, 6, uint16_t(-1000)); });
        edit(rc, "window_max", [](Bytes& b) { put16(b, 6, 0x7FFF); });
        edit(rc, "fill_negative", [](Bytes& b) { put32(b, 22, 0x80000000u); });
        edit(rc, "fill_max", [](Bytes& b) { put32(b, 22, 0xFFFFFFFFu); });
        edit(rc, "bufferlog2_36", [](Bytes& b) { put32(b, 18, 36); });
        edit(rc, "bufferlog2_0", [](Bytes& b) { put32(b, 18, 0); });
        edit(rc, "drain0", [](Bytes& b) { put16(b, 8, 0); });
        edit(rc, "drain_max", [](Bytes& b) { put16(b, 8, 0xFFFF); });
        edit(g4, "buffer0_fillneg_drain", [](Bytes& b) {
            put16(b, 8, 10);
            put32(b, 18, 0);
            put32(b, 22, 0x80000000u);
        });
        edit(g4, "buffer0_drain", [](Bytes& b) {
            put16(b, 8, 10);
            put32(b, 18, 0);
        });
        // Bayer fields on streams not coded for them (modes 1 to 5 only).
        for (uint8_t m = 1; m <= 5; ++m) {
            const Stream& src = m % 2 ? r7 : c7;
            const size_t at = 29 + size_t(src.bytes[27] | src.bytes[28] << 8);
            edit(g7, "bayer" + std::to_string(m) + "_of1", [m, at](Bytes& b) { b[at] = m; });
            edit(src, "bayer" + std::to_string(m), [m, at](Bytes& b) { b[at] = m; });
            edit(src, "bayer" + std::to_string(m) + "_param7", [m, at](Bytes& b) {
                b[at] = m;
                b[at + 1] = 7;
            });
        }
        // Version 7 and later: packet length fields past 16, in the first
        // packet's rows (1, 3 and 4 components), and the padding bits set.
        for (const Stream* s : {&g7, &c7, &r7}) {
            const size_t h = s->header;
            const unsigned row = s->nc == 1 ? 1 : s->nc == 4 ? 4 : 2;
            for (unsigned len : {16u, 17u, 31u}) {
                for (unsigned j : {0u, 5u, 15u})
                    edit(*s, "v7len" + std::to_string(len) + "_row" + std::to_string(j), [=](Bytes& b) {
                        // the last component's field: the row's low five bits
                        b[h + j * row + row - 1] = uint8_t((b[h + j * row + row - 1] & 0xE0) | len);
                    });
                if (s->nc > 1)
                    edit(*s, "v7len" + std::to_string(len) + "_c0", [=](Bytes& b) {
                        const unsigned shift = 5 * (s->nc - 1);
                        uint32_t r = 0;
                        for (unsigned i = 0; i < row; ++i) r = r << 8 | b[h + i];
                        r = (r & ~(31u << shift)) | (len << shift);
                        for (unsigned i = 0; i < row; ++i) b[h + i] = uint8_t(r >> (8 * (row - 1 - i)));
                    });
            }
            edit(*s, "v7pad", [=](Bytes& b) {
                for (unsigned j = 0; j < 16; ++j) b[h + j * row] |= uint8_t(0xFF << (8 - (8 * row - 5 * s->nc)));
            });
            edit(*s, "v7rows_max", [=](Bytes& b) {
                for (unsigned i = 0; i < 16 * row; ++i) b[h + i] = 0xFF;
            });
            edit(*s, "v7rows_zero", [=](Bytes& b) {
                for (unsigned i = 0; i < 16 * row; ++i) b[h + i] = 0;
            });
        }
        // Versions 3 to 6: length fields past 16 in the ten-byte rows.
        for (const Stream* s : {&g3, &g5}) {
            const size_t h = s->header;
            edit(*s, "v3len31_first", [=](Bytes& b) { b[h] = 0xF8; });
            edit(*s, "v3len17_last", [=](Bytes& b) { b[h + 9] = uint8_t((b[h + 9] & 0xE0) | 17); });
            edit(*s, "v3rows_max", [=](Bytes& b) {
                for (unsigned i = 0; i < 10; ++i) b[h + i] = 0xFF;
            });
        }
    }

    // Truncated, bit-flipped and overwritten copies.
    void damaged() {
        unsigned n = 0;
        for (const Stream& s : good_) {
            if (!s.damage) continue;
            ++n;
            const size_t size = s.bytes.size(), h = s.header;
            // Every other stream gets the full set, the rest a few of each.
            const bool full = n % 2 == 1;
            std::set<size_t> cuts = {h - 1, h + 1, size / 2, size - 3};
            if (full) cuts.insert({0, 5, h / 2, h, h + 7, size - 1, size - 2});
            const unsigned row = s.version >= 7 ? (s.nc == 1 ? 1 : s.nc == 4 ? 4 : 2) : 12;
            if (s.version >= 7) {
                cuts.insert(h + 16 * row + 2);      // inside the first word
                if (full) cuts.insert(h + 16 * row);          // after the first rows, before any word
                if (full) cuts.insert(h + 16 * row + 4 + 1);  // inside the second word
            } else if (s.version >= 3) {
                cuts.insert(h + 11);  // inside the two skipped bytes
                if (full) cuts.insert(h + 10);
            }
            for (size_t c : cuts) {
                if (c >= size) continue;
                Stream t = s;
                t.bytes.resize(c);
                t.name = "cut" + std::to_string(c) + "__" + s.name;
                edited_.push_back(std::move(t));
            }
            Rng r(n * 7919);
            const size_t body = size - h;
            std::vector<size_t> flips = {h + r.below(unsigned(std::min<size_t>(body, 16 * row))), h + body / 3,
                                         h + body / 2 + r.below(unsigned(body / 4 + 1)), size - 1 - r.below(8)};
            if (!full) flips.resize(2);
            if (n % 3 == 0) {
                // A header bit, never one of the Bayer mode byte (modes 6 and
                // above end the process).
                const size_t at = r.below(unsigned(h));
                const size_t bayer_byte = 29 + size_t(s.bytes[27] | s.bytes[28] << 8);
                if (s.version == 0 || s.version < 4 || at != bayer_byte) flips.push_back(at);
            }
            for (size_t at : flips) {
                Stream t = s;
                const unsigned bit = r.below(8);
                t.bytes[at] ^= uint8_t(1u << bit);
                t.name = "flip" + std::to_string(at) + "b" + std::to_string(bit) + "__" + s.name;
                edited_.push_back(std::move(t));
            }
            struct Fill {
                size_t at, len;
                uint8_t v;
            };
            std::vector<Fill> fills = {Fill{h + body / 2, 8, 0xFF}, Fill{h + r.below(unsigned(body)), 32, uint8_t(r.next())},
                                       Fill{h + 4, 16, 0x00}, Fill{size - 12, 12, 0xA5}};
            if (!full) fills.resize(1);
            for (const Fill& f : fills) {
                Stream t = s;
                for (size_t i = f.at; i < f.at + f.len && i < size; ++i) t.bytes[i] = f.v;
                char b[48];
                std::snprintf(b, sizeof b, "fill%zu_%zu_%02x__", f.at, f.len, f.v);
                t.name = b + s.name;
                edited_.push_back(std::move(t));
            }
        }
    }

    void write() {
        namespace fs = std::filesystem;
        const fs::path dir = fs::path(root_) / kStreams;
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::vector<qvxreg::Entry> manifest;
        for (const auto* list : {&good_, &edited_})
            for (const Stream& s : *list) {
                const std::string path = std::string(kStreams) + "/" + s.name + ".qvx";
                qvxreg::write_file(root_ + "/" + path, s.bytes);
                manifest.push_back({path, s.lut});
            }
        for (const auto& e : extra_) manifest.push_back({std::string(kStreams) + "/" + e.path + ".qvx", e.lut});
        // A short tone table: 300 records, then an incomplete one that ends
        // the reading (the entries from there on stay 0).
        std::string table;
        for (unsigned i = 0; i < 300; ++i) table += std::to_string(i) + " " + std::to_string((i * 211 + 7) % 65536) + " 0 0\n";
        table += "300 5 6\n301 9 0 0\n";
        qvxreg::write_file(root_ + "/" + kShortLut, Bytes(table.begin(), table.end()));

        std::vector<std::string> samples;
        for (const auto& e : fs::directory_iterator(fs::path(root_) / "samples"))
            if (e.path().extension() == ".qvx") samples.push_back(e.path().filename().string());
        std::sort(samples.begin(), samples.end());
        for (const auto& s : samples) {
            const std::string lut = "samples/" + s.substr(0, s.size() - 4) + ".lut";
            manifest.push_back({"samples/" + s, fs::exists(fs::path(root_) / lut) ? lut : "-"});
        }
        std::string text =
            "# The regression corpus: stream path and tone-table path (\"-\": none), relative to the source tree.\n"
            "# Written by `qvx_regression generate`; see README.md.\n";
        for (const auto& e : manifest) text += e.path + "\t" + e.lut + "\n";
        qvxreg::write_file(root_ + "/" + kManifest, Bytes(text.begin(), text.end()));

        // The sequence: pairs that carry state from one call to the next,
        // then every 13th stream of the manifest, arrangements alternating.
        auto path_of = [&](const std::string& prefix) {
            for (const auto& e : manifest)
                if (e.path.rfind(std::string(kStreams) + "/" + prefix, 0) == 0) return e;
            throw std::runtime_error("no sequence stream " + prefix);
        };
        std::vector<std::pair<qvxreg::Entry, std::string>> seq;
        auto push = [&](const std::string& prefix, const char* arr) { seq.push_back({path_of(prefix), arr}); };
        push("bayer_m3", "planar");
        push("ver_v3_f1", "planar");  // keeps the Bayer fields of the call before
        push("ver_v2_f2", "interleaved");
        push("ver_v3_f4", "planar");       // four components: written as Bayer mode 3
        push("bayer_m2", "planar");
        push("ver_v3_f2", "interleaved");  // three components: written as Bayer mode 2
        push("bayer_m5", "planar");
        push("ver_v1_f1", "planar");
        push("ver_v7_f1", "planar");
        push("rc_longtable", "planar");
        push("rc_", "planar");  // short qp_table after a long one
        push("cut", "planar");
        push("ver_v7_f2", "interleaved");
        push("edit_kernel7", "planar");
        push("ver_v7_f2", "interleaved");
        push("edit_qpcount65535", "planar");
        push("ver_v5_f4", "interleaved");
        push("lut_", "planar");
        push("ver_v0", "planar");
        push("ver_v5_f3", "planar");
        push("ver_v0m_f2", "interleaved");
        push("edit_format5", "planar");
        push("ver_v4_f3", "planar");
        for (size_t i = 0; i < manifest.size(); i += 13)
            seq.push_back({manifest[i], (i / 13) % 2 ? "interleaved" : "planar"});
        text = "# The sequence: one decoder object decodes these in order (stream, table, arrangement).\n"
               "# Written by `qvx_regression generate`; see README.md.\n";
        for (const auto& [e, arr] : seq) text += e.path + "\t" + e.lut + "\t" + arr + "\n";
        qvxreg::write_file(root_ + "/" + kSequence, Bytes(text.begin(), text.end()));

        size_t bytes = 0;
        for (const auto* list : {&good_, &edited_})
            for (const Stream& s : *list) bytes += s.bytes.size();
        std::printf("%zu streams (%zu encoded, %zu damaged or edited), %zu bytes; manifest %zu entries, sequence %zu\n",
                    good_.size() + edited_.size(), good_.size(), edited_.size(), bytes, manifest.size(), seq.size());
        std::printf("encoded streams: %llu zero runs in %u of them, %llu raw escapes in %u of them\n",
                    (unsigned long long)runs_, with_runs_, (unsigned long long)escapes_, with_escapes_);
    }

    std::string root_;
    std::vector<Stream> good_, edited_;
    std::vector<qvxreg::Entry> extra_;  // (stream name, table) decoded once more
    std::set<std::string> names_;
    uint64_t runs_ = 0, escapes_ = 0;
    unsigned with_runs_ = 0, with_escapes_ = 0;
};

std::vector<qvxreg::Record> decode_corpus(const std::string& root, unsigned threads) {
    auto all = qvxreg::decode_all(root, qvxreg::read_manifest(root + "/" + kManifest), threads);
    auto seq = qvxreg::decode_sequence(root, root + "/" + kSequence, threads);
    all.insert(all.end(), seq.begin(), seq.end());
    return all;
}

int usage() {
    std::fprintf(stderr, "usage: qvx_regression [--root DIR] generate | write [FILE] | check [FILE] | stats [FILE]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string root = QVX_SOURCE_DIR;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--root" && i + 1 < argc) root = argv[++i];
        else args.push_back(a);
    }
    if (args.empty()) return usage();
    const std::string file = args.size() > 1 ? args[1] : root + "/" + kExpected;
    try {
        if (args[0] == "generate") {
            Generator(root).run();
            return 0;
        }
        if (args[0] == "write") {
            const auto records = decode_corpus(root, 1);
            std::string text =
                "# Expectations of the regression corpus: what the decoder did when they were written.\n"
                "# kind (S: fresh decoder per stream; Qnnn: step of the sequence), stream, table, arrangement,\n"
                "# result, lastError() text, input bytes read, output bytes, sha256 of the output,\n"
                "# printed text (escaped).\n"
                "# Written by `qvx_regression write`; regenerate only for an intended behaviour change.\n";
            for (const auto& r : records) text += r.line() + "\n";
            qvxreg::write_file(file, Bytes(text.begin(), text.end()));
            std::printf("%zu records written to %s\n", records.size(), file.c_str());
            return 0;
        }
        if (args[0] == "check" || args[0] == "stats") {
            const auto stored = qvxreg::read_expectations(file);
            if (args[0] == "stats") {
                std::map<std::string, unsigned> by_rc, by_error, by_print;
                for (const auto& s : stored) {
                    if (s.kind != "S" || s.arrangement != "planar") continue;
                    ++by_rc["rc=" + s.rc];
                    ++by_error["\"" + s.error + "\""];
                    std::string first = s.printed.substr(0, s.printed.find("\\n"));
                    for (char& c : first)
                        if (c >= '0' && c <= '9') c = '#';
                    ++by_print["\"" + first + "\""];
                }
                for (const auto* m : {&by_rc, &by_error, &by_print}) {
                    for (const auto& [k, v] : *m) std::printf("%6u  %s\n", v, k.c_str());
                    std::printf("\n");
                }
                return 0;
            }
            unsigned bad = 0;
            for (unsigned threads : {1u, 3u}) {
                const auto got = decode_corpus(root, threads);
                if (got.size() != stored.size()) {
                    std::printf("threads %u: %zu records, %zu expected\n", threads, got.size(), stored.size());
                    ++bad;
                }
                for (size_t i = 0; i < got.size() && i < stored.size(); ++i) {
                    const auto& g = got[i];
                    const auto& s = stored[i];
                    if (g.key() != s.key() || g.outcome_text() != s.outcome_text()) {
                        if (bad < 20)
                            std::printf("threads %u: MISMATCH %s\n  expected %s\n  got      %s\n", threads,
                                        s.key().c_str(), s.outcome_text().c_str(), g.outcome_text().c_str());
                        ++bad;
                    }
                }
            }
            std::printf("%s: %u mismatches over %zu records\n", bad ? "FAILED" : "OK", bad, stored.size());
            return bad ? 1 : 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvx_regression: %s\n", e.what());
        return 1;
    }
    return usage();
}

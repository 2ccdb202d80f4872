// qvx_regression: makes the streams of the regression corpus from their
// recipes and freezes what today's decoder does with them.
//
//   qvx_regression generate [NAME...]  writes tests/regression/streams/NAME.qvx
//                                      for every recipe (or the ones named)
//   qvx_regression write [FILE]        records what the decoder does with the
//                                      manifest and the sequence (expected.txt)
//
// Every path is relative to the source tree (QVX_SOURCE_DIR, or --root DIR).
// Recipes (recipes.txt, one stream a line) are deterministic: fixed seeds,
// no clock, no environment.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "corpus.h"
#include "qvx/QvxEncoder.h"

namespace {

using namespace Vantrel::QVX::enc;
using qvxreg::Bytes;

const char* const kStreams = "tests/regression/streams";
const char* const kRecipes = "tests/regression/recipes.txt";
const char* const kManifest = "tests/regression/manifest.txt";
const char* const kSequence = "tests/regression/sequence.txt";
const char* const kExpected = "tests/regression/expected.txt";

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
                if (style == 0)
                    v = (0.5 + 0.4 * std::sin((x + 3.0 * c) * 0.21) * std::cos(y * 0.17 + c)) * max + double(r.below(9)) - 4.0;
                else if (style == 1)
                    v = r.below(97) == 0 ? (r.below(2) ? max : 0) : max / 3.0 + c;
                else if (style == 2)
                    v = r.below(max + 1);
                else
                    v = (((x / 8) + (y / 6) + c) % 3) * (max / 2.0) + ((x * 7 + y * 3) % 5);
                p.at(c, x, y) = uint16_t(std::clamp(v, 0.0, double(max)));
            }
    return p;
}

// An 8-bit PNM of tests/data scaled to `depth` and tiled to w x h.
ImagePlanes photo(const std::string& file, unsigned w, unsigned h, unsigned nc, unsigned depth) {
    const Bytes b = qvxreg::read_file(file);
    std::istringstream head(std::string(b.begin(), b.begin() + std::min<size_t>(b.size(), 64)));
    std::string magic;
    unsigned pw = 0, ph = 0, max = 0;
    head >> magic >> pw >> ph >> max;
    const size_t pos = size_t(head.tellg()) + 1;
    const unsigned pnc = magic == "P6" ? 3 : 1;
    ImagePlanes p{uint16_t(w), uint16_t(h), uint8_t(nc)};
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            for (unsigned c = 0; c < nc; ++c) {
                const unsigned v = b[pos + (size_t(y % ph) * pw + x % pw) * pnc + std::min(c, pnc - 1)];
                p.at(c, x, y) = uint16_t((v << (depth - 8)) | (v >> (16 - depth)) % (1u << (depth - 8)));
            }
    return p;
}

std::vector<long> numbers(const std::string& list, char sep) {
    std::vector<long> r;
    std::istringstream in(list);
    for (std::string item; std::getline(in, item, sep);) r.push_back(std::stol(item, nullptr, 0));
    return r;
}

Bytes from_hex(const std::string& h) {
    Bytes r;
    for (size_t i = 0; i + 1 < h.size(); i += 2) r.push_back(uint8_t(std::stoul(h.substr(i, 2), nullptr, 16)));
    return r;
}

// One recipe: "NAME key=value ...". An encoded stream gives its settings
// (v f d k p ct magic lut bm bp w h win drain size log2 fill qp offs), its
// picture (img=pic:STYLE:SEED | photo:FILE[:DEPTH] | zero | coef:KIND:SEED |
// mosaic:SEED:W:H:DEPTH), in=rgb for 4:2:2 from RGB and bpp=X for the
// rate-seeking encoder. A damaged or edited stream names its source
// (from=NAME), the length it is cut to (cut=N) and the bytes it overwrites
// (set=OFFSET:HEX, repeatable).
class Generator {
public:
    explicit Generator(std::string root) : root_(std::move(root)) {}

    Bytes make(const std::string& line) {
        std::istringstream in(line);
        std::string name, item;
        in >> name;
        std::multimap<std::string, std::string> kv;
        while (in >> item) kv.emplace(item.substr(0, item.find('=')), item.substr(item.find('=') + 1));
        auto num = [&](const char* k, long def) { return kv.count(k) ? std::stol(kv.find(k)->second) : def; };
        if (kv.count("from")) {
            Bytes b = made_.at(kv.find("from")->second);
            // A source coded shorter than when the recipe was written keeps
            // its length, and edits past its end are dropped.
            if (kv.count("cut")) b.resize(std::min(b.size(), size_t(num("cut", 0))));
            for (auto [it, end] = kv.equal_range("set"); it != end; ++it) {
                const size_t at = std::stoul(it->second);
                const Bytes v = from_hex(it->second.substr(it->second.find(':') + 1));
                for (size_t i = 0; i < v.size() && at + i < b.size(); ++i) b[at + i] = v[i];
            }
            return made_[name] = b;
        }
        EncoderSettings s;
        s.version = uint16_t(num("v", 7));
        s.version0_magic = num("magic", 0);
        s.width = uint16_t(num("w", 0));
        s.height = uint16_t(num("h", 0));
        s.component_format = uint8_t(num("f", 1));
        s.bit_depth = uint8_t(num("d", 12));
        s.w_kernel = uint8_t(num("k", 0));
        s.ct_mode = uint8_t(num("ct", 0));
        s.pred_mode = uint8_t(num("p", 0));
        s.lut_used = uint8_t(num("lut", 0));
        s.bayer_mode = uint8_t(num("bm", 0));
        s.bayer_param = uint8_t(num("bp", 0));
        s.rc_window = int16_t(num("win", 4));
        s.rc_drain = uint16_t(num("drain", 0));
        s.buffer_size = uint32_t(num("size", 0));
        s.buffer_size_log2 = uint32_t(num("log2", 20));
        s.fill_level = uint32_t(num("fill", 0));
        if (kv.count("qp"))
            for (long q : numbers(kv.find("qp")->second, ',')) s.qp_table.push_back(int8_t(q));
        if (kv.count("offs")) {
            const Bytes o = from_hex(kv.find("offs")->second);
            std::copy(o.begin(), o.end(), &s.component_params[0][0][0]);
        }
        const std::string img = kv.count("img") ? kv.find("img")->second : "zero";
        const std::string kind = img.substr(0, img.find(':')), arg = img.substr(img.find(':') + 1);
        const unsigned nc = components(s.component_format);
        if (kind == "coef") {
            const std::vector<long> a = numbers(arg, ':');
            CoefficientFrame cf(s.width, s.height, uint8_t(nc));
            Rng r{uint64_t(a[1])};
            for (unsigned c = 0; c < nc; ++c)
                for (auto& v : cf.planes[c])
                    v = a[0] == 0 ? int16_t(r.below(13) == 0 ? int(r.next() % 65536) - 32768 : 0)
                                  : int16_t(r.below(3) == 0 ? int(r.below(601)) - 300 : 0);
            return made_[name] = encode_coefficients(s, cf).bytes;
        }
        if (kind == "mosaic") {
            const std::vector<long> a = numbers(arg, ':');
            const unsigned W = unsigned(a[1]), H = unsigned(a[2]), depth = unsigned(a[3]);
            Rng r{uint64_t(a[0])};
            std::vector<uint16_t> m(size_t(W) * H);
            for (unsigned y = 0; y < H; ++y)
                for (unsigned x = 0; x < W; ++x)
                    m[size_t(y) * W + x] = uint16_t(((x * 37 + y * 11 + ((x ^ y) & 1) * 400) + r.below(20)) % (1u << depth));
            return made_[name] = encode_mosaic(s, m.data(), W, H, depth).bytes;
        }
        const ImagePlanes p = kind == "pic"     ? picture(s.width, s.height, nc, s.bit_depth, unsigned(numbers(arg, ':')[0]),
                                                          uint64_t(numbers(arg, ':')[1]))
                              : kind == "photo" ? photo(root_ + "/tests/data/" + arg.substr(0, arg.find(':')), s.width,
                                                        s.height, nc, arg.find(':') == arg.npos ? s.bit_depth
                                                                                                : unsigned(std::stoul(arg.substr(arg.find(':') + 1))))
                                                : ImagePlanes(s.width, s.height, uint8_t(nc));
        const Input422 in422 = kv.count("in") ? Input422::Rgb : Input422::YCbCr;
        if (kv.count("bpp")) return made_[name] = encode_image_at_rate(s, p, std::stod(kv.find("bpp")->second), in422).bytes;
        return made_[name] = encode_image(s, p, in422).bytes;
    }

    int run(const std::vector<std::string>& only) {
        std::ifstream in(root_ + "/" + kRecipes);
        if (!in) throw std::runtime_error(std::string("cannot read ") + kRecipes);
        std::filesystem::create_directories(root_ + "/" + kStreams);
        unsigned written = 0;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#') continue;
            const std::string name = line.substr(0, line.find(' '));
            const Bytes b = make(line);
            if (!only.empty() && std::find(only.begin(), only.end(), name) == only.end()) continue;
            qvxreg::write_file(root_ + "/" + kStreams + "/" + name + ".qvx", b);
            ++written;
        }
        std::printf("%u streams written to %s\n", written, kStreams);
        return 0;
    }

private:
    std::string root_;
    std::map<std::string, Bytes> made_;
};

int write(const std::string& root, const std::string& file) {
    auto records = qvxreg::decode_all(root, qvxreg::read_manifest(root + "/" + kManifest), 1);
    const auto sequence = qvxreg::decode_sequence(root, root + "/" + kSequence, 1);
    records.insert(records.end(), sequence.begin(), sequence.end());
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

}  // namespace

int main(int argc, char** argv) {
    std::string root = QVX_SOURCE_DIR;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--root" && i + 1 < argc) root = argv[++i];
        else args.push_back(a);
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: qvx_regression [--root DIR] generate [NAME...] | write [FILE]\n");
        return 2;
    }
    const std::string file = args.size() > 1 ? args[1] : root + "/" + kExpected;
    try {
        if (args[0] == "generate") return Generator(root).run(std::vector<std::string>(args.begin() + 1, args.end()));
        if (args[0] == "write") return write(root, file);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qvx_regression: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "qvx_regression: unknown command %s\n", args[0].c_str());
    return 2;
}

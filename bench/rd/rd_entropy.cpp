// Entropy probe: how many bits a stream's adaptive Golomb-Rice codes spend
// on its quantised values, against what an ideal adaptive coder of the same
// values would need. Per subband stream it prints the bits the stream took,
// the code length of an adaptive arithmetic model of the values (counts per
// stream and neighbourhood context, no side information) and the zeroth-order
// entropy of the stream's value histogram. Not part of the test suite.
//
// usage: rd_entropy STREAM.qvx [--bands]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "base/error.h"
#include "codestream/demultiplexer.h"
#include "codestream/header.h"
#include "entropy/stream_decoder.h"
#include "entropy/subband_loop.h"
#include "frame/frame_setup.h"
#include "frame/image_memory.h"
#include "image_io.h"

using namespace Vantrel::QVX;

namespace {

// Adaptive frequency model over a small alphabet (magnitudes 0..kDirect-1
// and an escape), one per context; a value costs -log2 of its estimated
// probability before its count is added. Escaped magnitudes add an
// Elias-gamma code of the excess; nonzero values add a sign bit.
constexpr unsigned kDirect = 24;
constexpr unsigned kContexts = 6;

struct Model {
    std::vector<double> counts = std::vector<double>(kDirect + 1, 0.5);
    double total = 0.5 * (kDirect + 1);
    double cost(unsigned symbol) {
        const double bits = -std::log2(counts[symbol] / total);
        counts[symbol] += 1;
        total += 1;
        return bits;
    }
};

double gamma_bits(unsigned v) { return 2.0 * std::floor(std::log2(double(v) + 1.0)) + 1.0; }

// Context from the magnitudes of the left and upper neighbours in the subband.
unsigned context(unsigned left, unsigned up) {
    const unsigned s = left + up;
    return s == 0 ? 0 : s == 1 ? 1 : s <= 3 ? 2 : s <= 7 ? 3 : s <= 15 ? 4 : 5;
}

struct Figures {
    double coded = 0, adaptive = 0, zeroth = 0, values = 0, zeros = 0;
    void add(const Figures& o) {
        coded += o.coded, adaptive += o.adaptive, zeroth += o.zeroth, values += o.values, zeros += o.zeros;
    }
};

Figures measure(const std::vector<int16_t>& v, unsigned w, unsigned h) {
    Figures f;
    Model models[kContexts];
    std::map<int, double> histogram;
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x) {
            const int value = v[size_t(y) * w + x];
            const unsigned mag = unsigned(std::abs(value));
            const unsigned left = x ? unsigned(std::abs(int(v[size_t(y) * w + x - 1]))) : 0;
            const unsigned up = y ? unsigned(std::abs(int(v[size_t(y - 1) * w + x]))) : 0;
            Model& m = models[context(left, up)];
            if (mag < kDirect) f.adaptive += m.cost(mag);
            else f.adaptive += m.cost(kDirect) + gamma_bits(mag - kDirect);
            if (mag) f.adaptive += 1;
            histogram[value] += 1;
            f.zeros += mag == 0;
        }
    f.values = double(w) * h;
    for (const auto& [value, n] : histogram) f.zeroth -= n * std::log2(n / f.values);
    return f;
}

int run(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: rd_entropy STREAM.qvx [--bands]\n");
        return 2;
    }
    const bool bands = argc > 2 && std::strcmp(argv[2], "--bands") == 0;
    std::vector<uint8_t> bytes = qvxtools::read_file(argv[1]);
    mem_data in(bytes.data(), bytes.size(), 0);
    FrameState fs{};
    Demultiplexer streams;
    ImageMemory planes;
    uint64_t needed[64] = {};
    read_header(in, fs);
    frame_setup(fs, planes);
    decode_subbands(fs, planes, in, streams, 1, needed);
    if (fs.component_format == kFormatSubsampled) {
        std::fprintf(stderr, "rd_entropy: 4:2:2 streams are not measured\n");
        return 1;
    }
    const unsigned w = planes.sb_width(), h = planes.sb_height();
    const unsigned nsb = fs.w_kernel >= 7 ? 1 : 16;
    const double pixels = double(fs.width) * fs.height;
    Figures all;
    std::printf("stream  coded_bpp  adaptive_bpp  zeroth_bpp  zeros%%   (bits per frame pixel)\n");
    for (unsigned c = 0; c < fs.num_components; ++c) {
        Figures comp;
        for (unsigned sb = 0; sb < nsb; ++sb) {
            const unsigned s = c * nsb + sb;
            std::vector<int16_t> values(size_t(w) * h);
            StreamJob job;
            job.words = streams.stream_words(s);
            job.stream = s;
            job.num_values = w * h;
            job.fourteen_bit = fs.bit_depth == 14;
            job.row_positions = w;
            job.out = values.data();
            job.row_pitch = w;
            StreamResult result;
            decode_streams(&job, &result, 1);
            if (!result.error.empty()) {
                std::fprintf(stderr, "rd_entropy: stream %u: %s\n", s, result.error.c_str());
                return 1;
            }
            Figures f = measure(values, w, h);
            f.coded = double(needed[s]) * 32.0;
            if (bands)
                std::printf("%2u.%-2u   %8.4f   %10.4f   %9.4f   %5.1f\n", c, sb, f.coded / pixels,
                            f.adaptive / pixels, f.zeroth / pixels, 100.0 * f.zeros / f.values);
            comp.add(f);
        }
        std::printf("comp %u  %8.4f   %10.4f   %9.4f   %5.1f\n", c, comp.coded / pixels, comp.adaptive / pixels,
                    comp.zeroth / pixels, 100.0 * comp.zeros / comp.values);
        all.add(comp);
    }
    std::printf("all     %8.4f   %10.4f   %9.4f   %5.1f\n", all.coded / pixels, all.adaptive / pixels,
                all.zeroth / pixels, 100.0 * all.zeros / all.values);
    std::printf("file    %8.4f bpp\n", double(bytes.size()) * 8.0 / pixels);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const QvxError& e) {
        std::fprintf(stderr, "rd_entropy: %s\n", e.text().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "rd_entropy: %s\n", e.what());
    }
    return 1;
}

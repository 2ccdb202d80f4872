// Inverse colour transforms of components 0..2, by rows.
// Each mode has its own sample loop so that the per-sample work stays
// branch-free; the results are clamped to 0..max and stored as 16-bit words.
#include "output/colortransform.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "api/error.h"
#include "frame/image_memory.h"
#include "frame/parallel.h"
#include "output/line_sink.h"

namespace Vantrel::QVX {
namespace {

struct DepthConstants {
    int32_t max;
    int32_t half;
    int32_t luma;
};

[[noreturn]] void depth_error() { raise("ERROR: Bitdepth not supported! (colortransform)"); }

DepthConstants depth_constants(uint8_t bit_depth) {
    switch (bit_depth) {
        case 8: return {255, 128, 16};
        case 10: return {1023, 512, 64};
        case 12: return {4095, 2048, 256};
        case 14: return {16383, 8192, 1024};
        default: depth_error();
    }
}

const char* mode_line(uint8_t ct_mode) {
    switch (ct_mode) {
        case 1: return " -> default transformation \n";
        case 2: return " -> JPEG2000 lossy transformation \n";
        case 3: return " -> JPEG2000 lossy transformation with shitfting \n";
        case 4: return " -> JPEG2000 lossless transformation \n";
        case 9: return " -> JPEG2000 lossless transformation with clipping \n";
        case 10: return " -> YCoCg-R lossless transformation \n";
        case 11: return " -> YCoCg-R lossless transformation with clipping \n";
        default: return nullptr;
    }
}

// The "(16-bit)" operations: the result read back as a signed 16-bit value.
// (Written as shifts, which are modular in C++20: the vectoriser handles
// them where a round trip through int16_t defeats it.)
inline int32_t w16(int32_t v) { return int32_t(uint32_t(v) << 16) >> 16; }

inline uint16_t clamp_store(int32_t v, int32_t max) {
    return static_cast<uint16_t>(std::max(std::min(v, max), 0));
}

// floor(v + 0.5) clamped to 0..max. The ICT's results stay far inside the
// int32 range (|v| < 2^17), where truncating and stepping down on a
// remainder is exactly floor, without a library call per sample.
inline uint16_t clamp_store(double v, int32_t max) {
    const double x = v + 0.5;
    int32_t r = static_cast<int32_t>(x);
    r -= static_cast<double>(r) > x;
    return clamp_store(r, max);
}

// Applies rule(c0, c1, c2, R&, G&, B&) to n samples; R, G, B are int32_t or
// double. No output overlaps an input, so the loop vectorises without
// run-time overlap checks.
template <typename T, typename Rule>
[[gnu::always_inline]] inline void for_each_sample(const int16_t* __restrict c0, const int16_t* __restrict c1, const int16_t* __restrict c2,
                     uint16_t* __restrict r_out, uint16_t* __restrict g_out, uint16_t* __restrict b_out, size_t n,
                     int32_t max, Rule rule) {
    for (size_t i = 0; i < n; ++i) {
        T r, g, b;
        rule(int32_t(c0[i]), int32_t(c1[i]), int32_t(c2[i]), r, g, b);
        r_out[i] = clamp_store(r, max);
        g_out[i] = clamp_store(g, max);
        b_out[i] = clamp_store(b, max);
    }
}

// ICT on a signed luma and chroma differences, in exactly this order of
// operations (each statement one rounding, no fused multiply-add).
[[gnu::always_inline]] inline void ict(int32_t y, int32_t cb, int32_t cr, double& r, double& g, double& b) {
    const double Y = y, Cb = cb, Cr = cr;
    double t = Cr * 1.402;
    r = t + Y;
    t = Cb * 0.34413;
    g = Y - t;
    t = Cr * 0.71414;
    g = g - t;
    t = Cb * 1.772;
    b = t + Y;
}

[[gnu::always_inline]] inline void rct(int32_t c0, int32_t u, int32_t v, int32_t& r, int32_t& g, int32_t& b) {
    g = c0 - ((u + v) >> 2);
    r = v + g;
    b = u + g;
}

[[gnu::always_inline]] inline void ycocg(int32_t c0, int32_t co, int32_t cg, int32_t& r, int32_t& g, int32_t& b) {
    const int32_t t = w16(c0 - (cg >> 1));
    g = cg + t;
    b = t - (co >> 1);
    r = b + co;
}

unsigned ict_shift(uint8_t w_kernel, uint8_t bit_depth) {
    if (bit_depth >= 12) return 0;
    if (w_kernel <= 2) return bit_depth == 8 ? 4 : 2;
    return bit_depth == 8 ? 2 : 0;
}

[[gnu::always_inline]] inline void transform_row(const ColorRule& rule, const int16_t* c0, const int16_t* c1, const int16_t* c2,
                         uint16_t* r, uint16_t* g, uint16_t* b, size_t n) {
    const int32_t max = rule.max, half = rule.half, luma = rule.luma;
    switch (rule.mode) {
        case 1:
            for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                                     [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                         const int32_t Y = w16(y - luma), Cb = w16(u - half), Cr = w16(v - half);
                                         R = (19152 * Y - Cb + 29487 * Cr) / 16384;
                                         G = (19152 * Y - 3507 * Cb - 8766 * Cr) / 16384;
                                         B = (19152 * Y + 34745 * Cb + 2 * Cr) / 16384;
                                     });
            break;
        case 2:
            for_each_sample<double>(c0, c1, c2, r, g, b, n, max,
                                    [=](int32_t y, int32_t u, int32_t v, double& R, double& G, double& B) {
                                        ict(y, w16(u - half), w16(v - half), R, G, B);
                                    });
            break;
        case 3: {
            const unsigned s = rule.ict_shift;
            for_each_sample<double>(c0, c1, c2, r, g, b, n, max,
                                    [=](int32_t y, int32_t u, int32_t v, double& R, double& G, double& B) {
                                        ict(y >> s, w16((u >> s) - half), w16((v >> s) - half), R, G, B);
                                    });
            break;
        }
        case 4:
            for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                                     [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                         rct(y, w16(u - max), w16(v - max), R, G, B);
                                     });
            break;
        case 9:
            for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                                     [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                         rct(y, w16(2 * u - max), w16(2 * v - max), R, G, B);
                                     });
            break;
        case 10:
            for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                                     [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                         ycocg(y, w16(u - max), w16(v - max), R, G, B);
                                     });
            break;
        case 11:
            for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                                     [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                         ycocg(y, w16(2 * u - max), w16(2 * v - max), R, G, B);
                                     });
            break;
        case 5:
            for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                                     [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                         G = u;
                                         R = (y - max + G) & max;
                                         B = (v - max + G) & max;
                                     });
            break;
        default:
            break;  // prepare_color_transform() rejects every other mode
    }
}

// The same loops compiled for 256-bit vectors where the processor has them
// (the double-precision modes vectorise four samples at a time; no fused
// multiply-add, so every result is the same).
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QVX_COLOR_AVX2 1
[[gnu::target("avx2")]] void transform_row_avx2(const ColorRule& rule, const int16_t* c0, const int16_t* c1,
                                                 const int16_t* c2, uint16_t* r, uint16_t* g, uint16_t* b, size_t n) {
    transform_row(rule, c0, c1, c2, r, g, b, n);
}
#endif

}  // namespace

ColorRule prepare_color_transform(const frame_state& fs) {
    const DepthConstants k = depth_constants(fs.bit_depth);
    ColorRule rule{fs.ct_mode, k.max, k.half, k.luma, ict_shift(fs.w_kernel, fs.bit_depth)};
    if (const char* line = mode_line(rule.mode)) print_line(fs.sink, "%s", line);
    // An unknown mode fails at the first sample, before anything is written.
    switch (rule.mode) {
        case 1: case 2: case 3: case 4: case 5: case 9: case 10: case 11: break;
        default: depth_error();
    }
    return rule;
}

void color_transform_row(const ColorRule& rule, const int16_t* c0, const int16_t* c1, const int16_t* c2,
                         uint16_t* r, uint16_t* g, uint16_t* b, size_t n) {
#ifdef QVX_COLOR_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2) {
        transform_row_avx2(rule, c0, c1, c2, r, g, b, n);
        return;
    }
#endif
    transform_row(rule, c0, c1, c2, r, g, b, n);
}

void inverse_color_transform(frame_state& fs, unsigned threads) {
    color_transform_planes(prepare_color_transform(fs), fs, threads);
}

void color_transform_planes(const ColorRule& rule, frame_state& fs, unsigned threads) {
    image_memory& store = *fs.coef_store;
    const size_t w = fs.width, h = fs.height, stride = store.width();
    constexpr size_t kBandRows = 16;
    parallel_for(threads, (h + kBandRows - 1) / kBandRows, [&](size_t band) {
        std::vector<uint16_t> rgb(3 * w);
        for (size_t y = band * kBandRows; y < std::min(h, (band + 1) * kBandRows); ++y) {
            const size_t off = y * stride;
            color_transform_row(rule, store.splane(0) + off, store.splane(1) + off, store.splane(2) + off, rgb.data(),
                                rgb.data() + w, rgb.data() + 2 * w, w);
            for (unsigned c = 0; c < 3; ++c) std::copy_n(rgb.data() + c * w, w, store.plane(c) + off);
        }
    });
}

}  // namespace Vantrel::QVX

// Inverse colour transforms of components 0..2, by rows.
// Each mode has its own sample loop so that the per-sample work stays
// branch-free; the results are clamped to 0..max and stored as 16-bit words.
#include "output/colortransform.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/error.h"
#include "base/format.h"
#include "base/line_sink.h"
#include "base/messages.h"
#include "frame/image_memory.h"
#include "frame/parallel.h"

namespace Vantrel::QVX {
namespace {

struct DepthConstants {
    int32_t max;
    int32_t half;
    int32_t luma;
};

[[noreturn]] void depth_error() { raise(msg::kColorDepth); }

DepthConstants depth_constants(uint8_t bit_depth) {
    if (!bit_depth_supported(bit_depth)) depth_error();
    return {depth_max(bit_depth), depth_half(bit_depth), depth_luma(bit_depth)};
}

const char* mode_line(uint8_t ct_mode) {
    switch (ct_mode) {
        case 1: return msg::kColorMode1;
        case 2: return msg::kColorMode2;
        case 3: return msg::kColorMode3;
        case 4: return msg::kColorMode4;
        case 9: return msg::kColorMode9;
        case 10: return msg::kColorMode10;
        case 11: return msg::kColorMode11;
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

// The reversible transforms: chroma stored offset by max, or (Scale 2, the
// modes with clipping) halved and offset by max / 2.
using ReversibleInverse = void (*)(int32_t, int32_t, int32_t, int32_t&, int32_t&, int32_t&);
template <int Scale, ReversibleInverse Inverse>
[[gnu::always_inline]] inline void reversible(const int16_t* c0, const int16_t* c1, const int16_t* c2, uint16_t* r, uint16_t* g, uint16_t* b,
                size_t n, int32_t max) {
    for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                             [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                 Inverse(y, w16(Scale * u - max), w16(Scale * v - max), R, G, B);
                             });
}

[[gnu::always_inline]] inline void transform_row(const ColorRule& rule, const int16_t* c0, const int16_t* c1, const int16_t* c2,
                         uint16_t* r, uint16_t* g, uint16_t* b, size_t n) {
    const int32_t max = rule.max, half = rule.half, luma = rule.luma;
    switch (rule.mode) {
        case 1:
            for_each_sample<int32_t>(c0, c1, c2, r, g, b, n, max,
                                     [=](int32_t y, int32_t u, int32_t v, int32_t& R, int32_t& G, int32_t& B) {
                                         const int32_t Y = w16(y - luma), Cb = w16(u - half), Cr = w16(v - half);
                                         constexpr auto& m = kVideoRangeMatrix;
                                         R = (m[0][0] * Y + m[0][1] * Cb + m[0][2] * Cr) / kVideoRangeScale;
                                         G = (m[1][0] * Y + m[1][1] * Cb + m[1][2] * Cr) / kVideoRangeScale;
                                         B = (m[2][0] * Y + m[2][1] * Cb + m[2][2] * Cr) / kVideoRangeScale;
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
        case 4: reversible<1, rct>(c0, c1, c2, r, g, b, n, max); break;
        case 9: reversible<2, rct>(c0, c1, c2, r, g, b, n, max); break;
        case 10: reversible<1, ycocg>(c0, c1, c2, r, g, b, n, max); break;
        case 11: reversible<2, ycocg>(c0, c1, c2, r, g, b, n, max); break;
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

ColorRule prepare_color_transform(const FrameState& fs, const LineSink* sink) {
    const DepthConstants k = depth_constants(fs.bit_depth);
    ColorRule rule{fs.ct_mode, k.max, k.half, k.luma, ict_shift(fs.w_kernel, fs.bit_depth)};
    if (const char* line = mode_line(rule.mode)) print_line(sink, "%s", line);
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

void color_transform_planes(const ColorRule& rule, const FrameState& fs, ImageMemory& store, Workers workers) {
    const size_t w = fs.width, h = fs.height, stride = store.width();
    constexpr size_t kBandRows = 16;
    parallel_for(workers, (h + kBandRows - 1) / kBandRows, [&](size_t band) {
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

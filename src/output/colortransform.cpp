// Inverse colour transforms on components 0..2 of ct_store, in place.
// Each mode has its own sample loop so that the per-sample work stays
// branch-free; the results are clamped to 0..max and stored as 16-bit words.
#include "output/colortransform.h"

#include <cstdio>

#include "api/error.h"
#include "frame/image_memory.h"
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
inline int32_t w16(int32_t v) { return static_cast<int16_t>(v); }

inline uint16_t clamp_store(int32_t v, int32_t max) {
    return static_cast<uint16_t>(v > max ? max : (v < 0 ? 0 : v));
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

struct Planes {
    int16_t* c0;
    int16_t* c1;
    int16_t* c2;
    size_t count;
};

// Applies rgb(c0, c1, c2, R&, G&, B&) to every sample; R, G, B are int32_t
// or double.
template <typename T, typename Rule>
void for_each_sample(const Planes& p, int32_t max, Rule rule) {
    for (size_t i = 0; i < p.count; ++i) {
        T r, g, b;
        rule(int32_t(p.c0[i]), int32_t(p.c1[i]), int32_t(p.c2[i]), r, g, b);
        p.c0[i] = static_cast<int16_t>(clamp_store(r, max));
        p.c1[i] = static_cast<int16_t>(clamp_store(g, max));
        p.c2[i] = static_cast<int16_t>(clamp_store(b, max));
    }
}

// ICT on a signed luma and chroma differences, in exactly this order of
// operations (each statement one rounding, no fused multiply-add).
inline void ict(int32_t y, int32_t cb, int32_t cr, double& r, double& g, double& b) {
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

void rct(int32_t c0, int32_t u, int32_t v, int32_t& r, int32_t& g, int32_t& b) {
    g = c0 - ((u + v) >> 2);
    r = v + g;
    b = u + g;
}

void ycocg(int32_t c0, int32_t co, int32_t cg, int32_t& r, int32_t& g, int32_t& b) {
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

}  // namespace

void inverse_color_transform(frame_state& fs) {
    const DepthConstants k = depth_constants(fs.bit_depth);
    const int32_t max = k.max, half = k.half, luma = k.luma;
    const uint8_t mode = fs.ct_mode;
    if (const char* line = mode_line(mode)) print_line(fs.sink, "%s", line);

    image_memory& store = *fs.ct_store;
    const size_t w = fs.width;
    // Row by row, each row one contiguous run of the plane.
    if (w == 0) return;
    for (size_t y = 0; y < fs.height; ++y) {
        const size_t off = y * store.width();
        const Planes p{store.splane(0) + off, store.splane(1) + off, store.splane(2) + off, w};
        switch (mode) {
            case 1:
                for_each_sample<int32_t>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, int32_t& r, int32_t& g,
                                                     int32_t& b) {
                    const int32_t Y = w16(c0 - luma), Cb = w16(c1 - half), Cr = w16(c2 - half);
                    r = (19152 * Y - Cb + 29487 * Cr) / 16384;
                    g = (19152 * Y - 3507 * Cb - 8766 * Cr) / 16384;
                    b = (19152 * Y + 34745 * Cb + 2 * Cr) / 16384;
                });
                break;
            case 2:
                for_each_sample<double>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, double& r, double& g,
                                                    double& b) { ict(c0, w16(c1 - half), w16(c2 - half), r, g, b); });
                break;
            case 3: {
                const unsigned s = ict_shift(fs.w_kernel, fs.bit_depth);
                for_each_sample<double>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, double& r, double& g,
                                                    double& b) {
                    ict(c0 >> s, w16((c1 >> s) - half), w16((c2 >> s) - half), r, g, b);
                });
                break;
            }
            case 4:
                for_each_sample<int32_t>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, int32_t& r, int32_t& g,
                                                     int32_t& b) { rct(c0, w16(c1 - max), w16(c2 - max), r, g, b); });
                break;
            case 9:
                for_each_sample<int32_t>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, int32_t& r, int32_t& g,
                                                     int32_t& b) {
                    rct(c0, w16(2 * c1 - max), w16(2 * c2 - max), r, g, b);
                });
                break;
            case 10:
                for_each_sample<int32_t>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, int32_t& r, int32_t& g,
                                                     int32_t& b) { ycocg(c0, w16(c1 - max), w16(c2 - max), r, g, b); });
                break;
            case 11:
                for_each_sample<int32_t>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, int32_t& r, int32_t& g,
                                                     int32_t& b) {
                    ycocg(c0, w16(2 * c1 - max), w16(2 * c2 - max), r, g, b);
                });
                break;
            case 5:
                for_each_sample<int32_t>(p, max, [=](int32_t c0, int32_t c1, int32_t c2, int32_t& r, int32_t& g,
                                                     int32_t& b) {
                    g = c1;
                    r = (c0 - max + g) & max;
                    b = (c2 - max + g) & max;
                });
                break;
            default:
                // Reported at the first sample, before anything is written.
                depth_error();
        }
    }
}

}  // namespace Vantrel::QVX

#include "wavelet/row_pipeline.h"

#include "base/vector_clones.h"

namespace Vantrel::QVX::wavelet {

namespace {

// The lifting terms without leaving 16 bits, so that vectors hold eight
// samples instead of four. Both equal their 32-bit definitions exactly:
// (a + b + 1) >> 1 is the unsigned rounding average of the samples offset
// by 2^15, and (a + b + 2) >> 2 halves floor((a + b) / 2) rounding up.
inline int16_t half_up(int16_t a, int16_t b) {  // (a + b + 1) >> 1
    const uint16_t ua = uint16_t(a) ^ 0x8000u, ub = uint16_t(b) ^ 0x8000u;
    return int16_t(uint16_t(uint16_t((uint32_t(ua) + ub + 1u) >> 1) ^ 0x8000u));
}
inline int16_t quarter_up(int16_t a, int16_t b) {  // (a + b + 2) >> 2
    const int16_t f = int16_t(half_up(a, b) - ((a ^ b) & 1));
    return int16_t((f >> 1) + (f & 1));
}

// Inverse 5/3 line on split halves: s(i) low-pass, d(i) high-pass, m each.
// Contiguous halves let both lifting steps vectorise.
QVX_VECTOR_CLONES void lift53_split(int16_t* __restrict s, int16_t* __restrict d, size_t m) {
    s[0] = int16_t(s[0] - quarter_up(d[0], d[0]));
    for (size_t i = 1; i < m; ++i) s[i] = int16_t(s[i] - quarter_up(d[i - 1], d[i]));
    for (size_t i = 0; i + 1 < m; ++i) d[i] = int16_t(d[i] + half_up(s[i], s[i + 1]));
    d[m - 1] = int16_t(d[m - 1] + half_up(s[m - 1], s[m - 1]));
}

inline void haar16(int16_t& lo, int16_t& hi) {
    const int16_t h = hi;
    const int16_t l = int16_t(lo - ((h >> 1) + (h & 1)));  // (h + 1) >> 1
    lo = l;
    hi = int16_t(h + l);
}

QVX_VECTOR_CLONES void haar_split(int16_t* __restrict lo, int16_t* __restrict hi, size_t m) {
    for (size_t i = 0; i < m; ++i) haar16(lo[i], hi[i]);
}

// Rows are split into 2 or 4 phases (x mod 2 or x mod 4) and merged back.
QVX_VECTOR_CLONES void split2(const int16_t* __restrict r, int16_t* __restrict a, int16_t* __restrict b, size_t m) {
    for (size_t i = 0; i < m; ++i) {
        a[i] = r[2 * i];
        b[i] = r[2 * i + 1];
    }
}
QVX_VECTOR_CLONES void merge2(int16_t* __restrict r, const int16_t* __restrict a, const int16_t* __restrict b, size_t m) {
    for (size_t i = 0; i < m; ++i) {
        r[2 * i] = a[i];
        r[2 * i + 1] = b[i];
    }
}
QVX_VECTOR_CLONES void split4(const int16_t* __restrict r, int16_t* __restrict p0, int16_t* __restrict p1, int16_t* __restrict p2,
            int16_t* __restrict p3, size_t m) {
    for (size_t i = 0; i < m; ++i) {
        p0[i] = r[4 * i];
        p1[i] = r[4 * i + 1];
        p2[i] = r[4 * i + 2];
        p3[i] = r[4 * i + 3];
    }
}
QVX_VECTOR_CLONES void merge4(int16_t* __restrict r, const int16_t* __restrict p0, const int16_t* __restrict p1,
            const int16_t* __restrict p2, const int16_t* __restrict p3, size_t m) {
    for (size_t i = 0; i < m; ++i) {
        r[4 * i] = p0[i];
        r[4 * i + 1] = p1[i];
        r[4 * i + 2] = p2[i];
        r[4 * i + 3] = p3[i];
    }
}

template <size_t Step>
void haar_lanes16(int16_t* __restrict lo, int16_t* __restrict hi, size_t n) {
    for (size_t k = 0; k < n; ++k) haar16(lo[k * Step], hi[k * Step]);
}

// Haar pairs of two whole rows or of their even columns.
QVX_VECTOR_CLONES void haar_rows(int16_t* lo, int16_t* hi, size_t w, unsigned line_step) {
    if (line_step == 1)
        haar_lanes16<1>(lo, hi, w);
    else
        haar_lanes16<2>(lo, hi, w / 2);
}

// Vertical 5/3 steps on whole rows (line_step 1) or their even columns (2).
// The edge rules pass the same row twice, so the sources may coincide.
template <size_t Step>
void update_lanes16(int16_t* __restrict s, const int16_t* da, const int16_t* db, size_t n) {
    for (size_t k = 0; k < n; ++k) s[k * Step] = int16_t(s[k * Step] - quarter_up(da[k * Step], db[k * Step]));
}
template <size_t Step>
void predict_lanes16(int16_t* __restrict d, const int16_t* sa, const int16_t* sb, size_t n) {
    for (size_t k = 0; k < n; ++k) d[k * Step] = int16_t(d[k * Step] + half_up(sa[k * Step], sb[k * Step]));
}

QVX_VECTOR_CLONES void update_rows(int16_t* s, const int16_t* da, const int16_t* db, size_t w, unsigned line_step) {
    if (line_step == 1)
        update_lanes16<1>(s, da, db, w);
    else
        update_lanes16<2>(s, da, db, w / 2);
}

QVX_VECTOR_CLONES void predict_rows(int16_t* d, const int16_t* sa, const int16_t* sb, size_t w, unsigned line_step) {
    if (line_step == 1)
        predict_lanes16<1>(d, sa, sb, w);
    else
        predict_lanes16<2>(d, sa, sb, w / 2);
}

QVX_VECTOR_CLONES void clip_loop(int16_t* p, size_t n, int16_t bound) {
    for (size_t i = 0; i < n; ++i) {
        int16_t v = p[i];
        v = v > bound ? bound : v;
        p[i] = v < 0 ? int16_t(0) : v;
    }
}

}  // namespace

void clip_samples(int16_t* p, size_t n, int16_t bound) { clip_loop(p, n, bound); }

RowPipeline::RowPipeline(unsigned kernel, int16_t* plane, size_t w, size_t h, int16_t bound)
    : shape_(kKernelShapes[kernel < kNumKernels ? kernel : 0]),
      cov_(level2_coverage(shape_.structure)),
      transform_(kernel < kNumKernels),
      plane_(plane),
      w_(w),
      h_(h),
      bound_(bound),
      scratch_(transform_ ? w : 0) {}

void RowPipeline::h_level2(int16_t* r) {
    const size_t q = w_ / 4;
    int16_t* p0 = scratch_.data();
    int16_t *p1 = p0 + q, *p2 = p1 + q, *p3 = p2 + q;
    split4(r, p0, p1, p2, p3, q);
    // Lattice r pairs phase r (low-pass) with phase r + 2 (high-pass).
    if (shape_.filter == Filter::Haar) {
        haar_split(p0, p2, q);
        if (cov_.lattices == 2) haar_split(p1, p3, q);
    } else {
        lift53_split(p0, p2, q);
        if (cov_.lattices == 2) lift53_split(p1, p3, q);
    }
    merge4(r, p0, p1, p2, p3, q);
}

void RowPipeline::h_level1(int16_t* r) {
    const size_t m = w_ / 2;
    int16_t* s = scratch_.data();
    int16_t* d = s + m;
    split2(r, s, d, m);
    if (shape_.filter == Filter::Haar)
        haar_split(s, d, m);
    else
        lift53_split(s, d, m);
    merge2(r, s, d, m);
}

void RowPipeline::clip_rows(size_t y0, size_t n) {
    for (size_t y = y0; y < y0 + n; ++y) clip_samples(row(y), w_, bound_);
}

void RowPipeline::run_local(size_t g0, size_t g1) {
    const size_t w = w_;
    for (size_t g = g0; g < g1; ++g) {
        const size_t y = 4 * g;
        if (transform_) {
            // Haar: each pass pairs rows (and columns) within the group.
            int16_t* r[4] = {row(y), row(y + 1), row(y + 2), row(y + 3)};
            // Kernel 0 runs H2, H1, V2, V1 (and splits every row at level 2).
            const bool h_first = shape_.order[1].axis == Axis::H;
            for (size_t k = 0; k < 4; k += cov_.line_step) {
                h_level2(r[k]);
                if (h_first) h_level1(r[k]);
            }
            for (unsigned l = 0; l < cov_.lattices; ++l) haar_rows(r[l], r[l + 2], w, cov_.line_step);
            if (!h_first)
                for (size_t k = 0; k < 4; ++k) h_level1(r[k]);
            haar_rows(r[0], r[1], w, 1);
            haar_rows(r[2], r[3], w, 1);
        }
        clip_rows(y, 4);
    }
}

void RowPipeline::run_step(Step s, size_t g) {
    const size_t w = w_, m = groups(), y = 4 * g;
    switch (s) {
        case kH2:
            for (size_t k = 0; k < 4; k += cov_.line_step) h_level2(row(y + k));
            break;
        case kV2u:
            for (unsigned l = 0; l < cov_.lattices; ++l) {
                const size_t d_prev = g ? y - 2 + l : y + 2 + l;
                update_rows(row(y + l), row(d_prev), row(y + 2 + l), w, cov_.line_step);
            }
            break;
        case kV2p:
            for (unsigned l = 0; l < cov_.lattices; ++l) {
                const size_t s_next = g + 1 < m ? y + 4 + l : y + l;
                predict_rows(row(y + 2 + l), row(y + l), row(s_next), w, cov_.line_step);
            }
            break;
        case kH1:
            for (size_t k = 0; k < 4; ++k) h_level1(row(y + k));
            break;
        case kV1u:
            update_rows(row(y), row(g ? y - 1 : y + 1), row(y + 1), w, 1);
            update_rows(row(y + 2), row(y + 1), row(y + 3), w, 1);
            break;
        case kV1p:
            predict_rows(row(y + 1), row(y), row(y + 2), w, 1);
            predict_rows(row(y + 3), row(y + 2), row(g + 1 < m ? y + 4 : y + 2), w, 1);
            break;
        case kClip:
            clip_rows(y, 4);
            break;
        case kNumSteps:
            break;
    }
}

}  // namespace Vantrel::QVX::wavelet

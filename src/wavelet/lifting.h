// Lifting steps of the Haar and 5/3 filter pairs, inverse and forward.
// Operands are signed 16-bit, arithmetic is 32-bit with arithmetic shifts,
// results wrap modulo 2^16 (int16_t conversion is modular in C++20). The
// forward steps subtract exactly what the inverse steps add, in reverse
// order, so each forward/inverse pair is the identity on 16-bit words.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Vantrel::QVX::wavelet {

enum class Direction : uint8_t { Inverse, Forward };

inline int16_t wrap16(int32_t v) { return static_cast<int16_t>(v); }

// ---- Haar: low at p, high at p + s.
// Inverse: low -= (high + 1) >> 1; high += low.
// Forward: high = b - a; low = a + ((high + 1) >> 1).

template <Direction D>
inline void haar_pair(int16_t& lo, int16_t& hi) {
    if constexpr (D == Direction::Inverse) {  // Inverse
        lo = wrap16(lo - ((hi + 1) >> 1));
        hi = wrap16(hi + lo);
    } else {
        hi = wrap16(hi - lo);
        lo = wrap16(lo + ((hi + 1) >> 1));
    }
}

// count pairs (lo[k*Step], hi[k*Step]); the two pointers never reach the
// same cell, so they may be declared non-aliasing.
template <Direction D, size_t Step>
inline void haar_pairs(int16_t* __restrict lo, int16_t* __restrict hi, size_t count) {
    for (size_t k = 0; k < count; ++k) haar_pair<D>(lo[k * Step], hi[k * Step]);
}

// ---- 5/3 line: s(i) at 2i, d(i) at 2i + 1 (times the element stride).
// Inverse update: s(i) -= (d(i-1) + d(i) + 2) >> 2, with d(-1) = d(0).
// Inverse predict: d(i) += (s(i) + s(i+1) + 1) >> 1, with s(m) = s(m-1).
// The forward transform predicts (subtracting) first, then updates (adding).

inline int32_t lift53_u(int32_t a, int32_t b) { return (a + b + 2) >> 2; }
inline int32_t lift53_p(int32_t a, int32_t b) { return (a + b + 1) >> 1; }

// Update step over `lanes` parallel lines; s, da, db are rows of lanes with
// element stride LaneStep. da and db may be the same row (edge rule).
template <Direction D, size_t LaneStep>
inline void update_lanes(int16_t* __restrict s, const int16_t* __restrict da, const int16_t* __restrict db, size_t lanes) {
    for (size_t k = 0; k < lanes; ++k) {
        const int32_t u = lift53_u(da[k * LaneStep], db[k * LaneStep]);
        int16_t& v = s[k * LaneStep];
        v = wrap16(D == Direction::Inverse ? v - u : v + u);
    }
}

template <Direction D, size_t LaneStep>
inline void predict_lanes(int16_t* __restrict d, const int16_t* __restrict sa, const int16_t* __restrict sb, size_t lanes) {
    for (size_t k = 0; k < lanes; ++k) {
        const int32_t p = lift53_p(sa[k * LaneStep], sb[k * LaneStep]);
        int16_t& v = d[k * LaneStep];
        v = wrap16(D == Direction::Inverse ? v + p : v - p);
    }
}

// The 5/3 pair runs update then predict when inverting, and the reverse
// when transforming forward.
template <Direction D, class Update, class Predict>
inline void in_step_order(Update&& update, Predict&& predict) {
    if constexpr (D == Direction::Inverse) {
        update();
        predict();
    } else {
        predict();
        update();
    }
}

// One line of n samples (n even, >= 2) with element stride S.
template <Direction D, size_t S>
void lift53_line(int16_t* p, size_t n) {
    const size_t m = n / 2;
    auto s = [p](size_t i) -> int16_t& { return p[2 * i * S]; };
    auto d = [p](size_t i) -> int16_t& { return p[(2 * i + 1) * S]; };
    auto update = [&] {
        if constexpr (D == Direction::Inverse) {
            s(0) = wrap16(s(0) - lift53_u(d(0), d(0)));
            for (size_t i = 1; i < m; ++i) s(i) = wrap16(s(i) - lift53_u(d(i - 1), d(i)));
        } else {
            s(0) = wrap16(s(0) + lift53_u(d(0), d(0)));
            for (size_t i = 1; i < m; ++i) s(i) = wrap16(s(i) + lift53_u(d(i - 1), d(i)));
        }
    };
    auto predict = [&] {
        if constexpr (D == Direction::Inverse) {
            for (size_t i = 0; i + 1 < m; ++i) d(i) = wrap16(d(i) + lift53_p(s(i), s(i + 1)));
            d(m - 1) = wrap16(d(m - 1) + lift53_p(s(m - 1), s(m - 1)));
        } else {
            for (size_t i = 0; i + 1 < m; ++i) d(i) = wrap16(d(i) - lift53_p(s(i), s(i + 1)));
            d(m - 1) = wrap16(d(m - 1) - lift53_p(s(m - 1), s(m - 1)));
        }
    };
    in_step_order<D>(update, predict);
}

// n lines of samples laid out across rows: sample j of every line is row
// base + j * row_stride, lanes with element stride LaneStep.
template <Direction D, size_t LaneStep>
void lift53_columns(int16_t* base, size_t n, size_t row_stride, size_t lanes) {
    const size_t m = n / 2;
    auto s = [=](size_t i) { return base + 2 * i * row_stride; };
    auto d = [=](size_t i) { return base + (2 * i + 1) * row_stride; };
    auto update = [&] {
        update_lanes<D, LaneStep>(s(0), d(0), d(0), lanes);
        for (size_t i = 1; i < m; ++i) update_lanes<D, LaneStep>(s(i), d(i - 1), d(i), lanes);
    };
    auto predict = [&] {
        for (size_t i = 0; i + 1 < m; ++i) predict_lanes<D, LaneStep>(d(i), s(i), s(i + 1), lanes);
        predict_lanes<D, LaneStep>(d(m - 1), s(m - 1), s(m - 1), lanes);
    };
    in_step_order<D>(update, predict);
}

}  // namespace Vantrel::QVX::wavelet

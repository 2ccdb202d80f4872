// Kernel shapes and the pass routines shared by the inverse kernels and the
// encoder's forward kernels. A pass is one lifting sweep along one axis at
// one level; the forward direction undoes each step of the inverse exactly,
// so running the passes forward in reverse order inverts a kernel.
//
// Planes are row-major, width w (multiple of 4), height h (multiple of 4).
// Every lifting step computes in 32 bits on signed 16-bit operands and
// stores modulo 2^16.
#pragma once

#include <cstddef>
#include <cstdint>

#include "wavelet/lifting.h"

namespace Vantrel::QVX::wavelet {

enum class Filter : uint8_t { Haar, Lift53 };
enum class Structure : uint8_t { FullSplit, Dyadic, Rectangular };
enum class Axis : uint8_t { H, V };

struct Pass {
    Axis axis;
    uint8_t level;  // 1 or 2
};

struct KernelShape {
    Filter filter;
    Structure structure;
    Pass order[4];  // inverse order; the forward transform runs it backwards
};

inline constexpr unsigned kNumKernels = 6;

// Kernel 0 finishes both horizontal passes first; the others run level 2 in
// both directions before level 1.
inline constexpr KernelShape kKernelShapes[kNumKernels] = {
    {Filter::Haar, Structure::FullSplit, {{Axis::H, 2}, {Axis::H, 1}, {Axis::V, 2}, {Axis::V, 1}}},
    {Filter::Haar, Structure::Dyadic, {{Axis::H, 2}, {Axis::V, 2}, {Axis::H, 1}, {Axis::V, 1}}},
    {Filter::Haar, Structure::Rectangular, {{Axis::H, 2}, {Axis::V, 2}, {Axis::H, 1}, {Axis::V, 1}}},
    {Filter::Lift53, Structure::FullSplit, {{Axis::H, 2}, {Axis::V, 2}, {Axis::H, 1}, {Axis::V, 1}}},
    {Filter::Lift53, Structure::Dyadic, {{Axis::H, 2}, {Axis::V, 2}, {Axis::H, 1}, {Axis::V, 1}}},
    {Filter::Lift53, Structure::Rectangular, {{Axis::H, 2}, {Axis::V, 2}, {Axis::H, 1}, {Axis::V, 1}}},
};

// Which lines and sub-lattices a level-2 pass covers. Level-1 passes always
// cover every line whole.
struct Level2Coverage {
    unsigned line_step;  // 1: every row/column, 2: even ones only
    unsigned lattices;   // 1: sub-lattice r = 0 only, 2: r = 0 and r = 1
};

constexpr Level2Coverage level2_coverage(Structure s) {
    switch (s) {
        case Structure::FullSplit: return {1, 2};
        case Structure::Dyadic: return {2, 1};
        case Structure::Rectangular: return {1, 1};
    }
    return {1, 1};
}

// ---- Horizontal passes: lines run along a row, inner loop along the row.

template <Filter F, Direction D>
void pass_h(int16_t* plane, size_t w, size_t h, unsigned level, Structure s) {
    if (level == 1) {
        for (size_t y = 0; y < h; ++y) {
            int16_t* row = plane + y * w;
            if constexpr (F == Filter::Haar)
                haar_pairs<D, 2>(row, row + 1, w / 2);
            else
                lift53_line<D, 1>(row, w);
        }
        return;
    }
    const Level2Coverage cov = level2_coverage(s);
    for (size_t y = 0; y < h; y += cov.line_step) {
        int16_t* row = plane + y * w;
        for (unsigned r = 0; r < cov.lattices; ++r) {
            if constexpr (F == Filter::Haar)
                haar_pairs<D, 4>(row + r, row + r + 2, w / 4);
            else
                lift53_line<D, 2>(row + r, w / 2);
        }
    }
}

// ---- Vertical passes: lines run down a column; all covered columns are
// processed together, one row at a time, so the inner loop runs along
// contiguous rows.

// Level-2 lines of one sub-lattice, starting at row base: rows 0, 4, 8, ...
// hold the low-pass and rows 2, 6, 10, ... the high-pass samples.
template <Filter F, Direction D, size_t LaneStep>
void level2_columns(int16_t* base, size_t w, size_t h, size_t lanes) {
    if constexpr (F == Filter::Haar) {
        for (size_t y = 0; y < h; y += 4) haar_pairs<D, LaneStep>(base + y * w, base + (y + 2) * w, lanes);
    } else {
        lift53_columns<D, LaneStep>(base, h / 2, 2 * w, lanes);
    }
}

template <Filter F, Direction D>
void pass_v(int16_t* plane, size_t w, size_t h, unsigned level, Structure s) {
    if (level == 1) {
        if constexpr (F == Filter::Haar) {
            for (size_t y = 0; y < h; y += 2) haar_pairs<D, 1>(plane + y * w, plane + (y + 1) * w, w);
        } else {
            lift53_columns<D, 1>(plane, h, w, w);
        }
        return;
    }
    const Level2Coverage cov = level2_coverage(s);
    for (unsigned r = 0; r < cov.lattices; ++r) {
        int16_t* base = plane + r * w;
        if (cov.line_step == 1)
            level2_columns<F, D, 1>(base, w, h, w);
        else
            level2_columns<F, D, 2>(base, w, h, w / 2);
    }
}

template <Filter F, Direction D>
void run_pass(int16_t* plane, size_t w, size_t h, Pass p, Structure s) {
    if (p.axis == Axis::H)
        pass_h<F, D>(plane, w, h, p.level, s);
    else
        pass_v<F, D>(plane, w, h, p.level, s);
}

// All four passes of one kernel on one plane, in the order of the direction.
template <Direction D>
void transform_plane(unsigned kernel, int16_t* plane, size_t w, size_t h) {
    const KernelShape& k = kKernelShapes[kernel];
    for (unsigned i = 0; i < 4; ++i) {
        const Pass p = k.order[D == Direction::Inverse ? i : 3 - i];
        if (k.filter == Filter::Haar)
            run_pass<Filter::Haar, D>(plane, w, h, p, k.structure);
        else
            run_pass<Filter::Lift53, D>(plane, w, h, p, k.structure);
    }
}

}  // namespace Vantrel::QVX::wavelet

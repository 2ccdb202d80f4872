#include "entropy/reconstruct.h"

#include <cstring>
#include <utility>
#include <vector>

#include "entropy/dequantise.h"
#include "entropy/stream_decoder.h"

namespace Vantrel::QVX {

namespace {

// The row loops marked with this are also compiled for AVX2, and the
// processor's best version is picked when the library loads (integer
// arithmetic only, so every version gives the same values).
// The versions are chosen while the library is relocated, before a
// sanitizer's runtime has started, so sanitized builds keep the default one.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__ELF__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QVX_CELL_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QVX_CELL_CLONES
#endif

// Dequantises one row of n values whose indices come in runs.
QVX_CELL_CLONES void dequantise_row(const int16_t* v, const PositionIndex& pos, size_t first, unsigned n, uint8_t offset,
                    int16_t* out) {
    for (unsigned x = 0; x < n;) {
        const unsigned end = unsigned(pos.run_end[first + x] - first);
        int32_t qq = int32_t(pos.q[first + x]) - offset;
        if (qq < 0) qq = 0;
        if (qq == 0) {
            if (out != v) std::memcpy(out + x, v + x, size_t(end - x) * sizeof(int16_t));
        } else if (qq / 4 <= 18) {
            const uint32_t step = uint32_t(kDequantStep[qq & 3]);
            const int shift = 18 - qq / 4;
            for (unsigned i = x; i < end; ++i) {
                const int32_t val = v[i];
                const uint32_t m = uint32_t(val < 0 ? -val : val);
                const uint64_t r = ((uint64_t(2 * m + 1) * step >> shift) + 1) >> 1;
                const uint32_t signed_r = val < 0 ? 0u - uint32_t(r) : uint32_t(r);
                out[i] = val == 0 ? int16_t(0) : int16_t(uint16_t(signed_r));
            }
        } else {
            for (unsigned i = x; i < end; ++i) out[i] = dequantise(v[i], pos.q[first + i], offset);
        }
        x = end;
    }
}

// Adds the prediction to the dequantised row in place, left to right.
template <Predictor P>
void predict_row(int16_t* row, const int16_t* above, unsigned n, unsigned y) {
    for (unsigned x = 0; x < n; ++x) {
        const int16_t p = predict_at<P>(row, above, x, y);
        row[x] = int16_t(uint16_t(uint16_t(p) + uint16_t(row[x])));
    }
}

void predict_full_row(Predictor p, int16_t* row, const int16_t* above, unsigned n, unsigned y) {
    switch (p) {
        case Predictor::kNone: break;
        case Predictor::kThird: predict_row<Predictor::kThird>(row, above, n, y); break;
        case Predictor::kMedian: predict_row<Predictor::kMedian>(row, above, n, y); break;
        case Predictor::kWrongMode: predict_row<Predictor::kWrongMode>(row, above, n, y); break;
        case Predictor::kHorizontal: predict_row<Predictor::kHorizontal>(row, above, n, y); break;
        case Predictor::kVertical: predict_row<Predictor::kVertical>(row, above, n, y); break;
    }
}

// A row of a band decoded at every other position: its `count` values sit
// in row[0..count), and position i of them is the row's first even position
// plus 2 i. The rest of the row was never decoded and is 0.
template <Predictor P>
void every_other_row(const BandRows& b, const PositionIndex& pos, unsigned y, unsigned count, int16_t* row,
                     const int16_t* above) {
    const size_t first = size_t(y) * pos.width + ((size_t(y) * pos.width) & 1u);
    std::memset(row + count, 0, (pos.width - count) * sizeof(int16_t));
    for (unsigned cx = 0; cx < count; ++cx) {
        const int16_t d = dequantise(row[cx], pos.q[first + 2 * size_t(cx)], b.qp_offset);
        if constexpr (P == Predictor::kNone) {
            row[cx] = d;
        } else {
            const int16_t pr = predict_at<P>(row, above, cx, y);
            row[cx] = int16_t(uint16_t(uint16_t(pr) + uint16_t(d)));
        }
    }
}

void every_other(const BandRows& b, const PositionIndex& pos, unsigned y, unsigned count, int16_t* row,
                 const int16_t* above) {
    switch (b.predictor) {
        case Predictor::kNone: every_other_row<Predictor::kNone>(b, pos, y, count, row, above); break;
        case Predictor::kThird: every_other_row<Predictor::kThird>(b, pos, y, count, row, above); break;
        case Predictor::kMedian: every_other_row<Predictor::kMedian>(b, pos, y, count, row, above); break;
        case Predictor::kWrongMode: every_other_row<Predictor::kWrongMode>(b, pos, y, count, row, above); break;
        case Predictor::kHorizontal: every_other_row<Predictor::kHorizontal>(b, pos, y, count, row, above); break;
        case Predictor::kVertical: every_other_row<Predictor::kVertical>(b, pos, y, count, row, above); break;
    }
}

// The cells of a band row, `step` apart in the plane, to and from a
// contiguous row: step 4 in the interleaved storing scheme, 1 in the others
// (ImageMemory::subband_column), each a loop the compiler vectorises.
template <size_t Step>
[[gnu::always_inline]] inline void gather_cells(int16_t* __restrict row, const int16_t* __restrict cells, unsigned n) {
    for (unsigned x = 0; x < n; ++x) row[x] = cells[Step * x];
}
template <size_t Step>
[[gnu::always_inline]] inline void scatter_cells(int16_t* __restrict cells, const int16_t* __restrict row, unsigned n) {
    for (unsigned x = 0; x < n; ++x) cells[Step * x] = row[x];
}

QVX_CELL_CLONES void gather(int16_t* __restrict row, const int16_t* __restrict cells, size_t step, unsigned n) {
    if (step == 4) gather_cells<4>(row, cells, n);
    else gather_cells<1>(row, cells, n);
}

QVX_CELL_CLONES void scatter(int16_t* __restrict cells, const int16_t* __restrict row, size_t step, unsigned n) {
    if (step == 4) scatter_cells<4>(cells, row, n);
    else scatter_cells<1>(cells, row, n);
}

}  // namespace

void reconstruct_bands(const BandRows* bands, unsigned count, const PositionIndex& pos, unsigned sb_height,
                       int16_t* plane, size_t plane_width) {
    const unsigned w = pos.width;
    // Two rows per band: the one being built and the one above it.
    std::vector<int16_t> rows(size_t(2) * count * w);
    for (unsigned y = 0; y < sb_height; ++y) {
        for (unsigned i = 0; i < count; ++i) {
            const BandRows& b = bands[i];
            int16_t* row = rows.data() + (size_t(2) * i + (y & 1u)) * w;
            const int16_t* above = rows.data() + (size_t(2) * i + ((y & 1u) ^ 1u)) * w;
            int16_t* cells = plane + size_t(uint16_t(b.row0 + b.row_step * y)) * plane_width + b.col0;
            const size_t cs = b.col_step;
            if (b.every_other) {
                const unsigned n = unsigned(first_value_of_row(y + 1, w, 1) - first_value_of_row(y, w, 1));
                gather(row, cells, cs, n);
                every_other(b, pos, y, n, row, above);
            } else {
                const size_t first = size_t(y) * w;
                // A row that is neither dequantised nor predicted already
                // holds its coefficients; the row buffers of unpredicted
                // bands are never read as rows above.
                if (b.predictor == Predictor::kNone && pos.run_end[first] == first + w &&
                    int32_t(pos.q[first]) - b.qp_offset <= 0)
                    continue;
                gather(row, cells, cs, w);
                dequantise_row(row, pos, first, w, b.qp_offset, row);
                predict_full_row(b.predictor, row, above, w, y);
            }
            scatter(cells, row, cs, w);
        }
    }
}

}  // namespace Vantrel::QVX

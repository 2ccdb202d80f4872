#include "entropy/reconstruct.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "base/vector_clones.h"
#include "entropy/dequantise.h"
#include "entropy/stream_decoder.h"

namespace Vantrel::QVX {

namespace {

// Dequantises one row of n values whose indices come in runs.
QVX_VECTOR_CLONES void dequantise_row(const int16_t* v, const PositionIndex& pos, size_t first, unsigned n, uint8_t offset,
                    int16_t* out) {
    for (unsigned x = 0; x < n;) {
        const unsigned end = unsigned(pos.run_end[first + x] - first);
        const int32_t qq = int32_t(pos.q[first + x]) - offset;
        if (qq <= 0) {
            if (out != v) std::memcpy(out + x, v + x, size_t(end - x) * sizeof(int16_t));
        } else {
            const DequantLane lane = dequant_lane(qq);
            for (unsigned i = x; i < end; ++i) out[i] = dequantise_lane(v[i], lane);
        }
        x = end;
    }
}

// The dequantisation of 16 consecutive cells of a plane row whose bands
// take turns cell by cell: lane j belongs to band j mod (bands in the row).
struct LanePattern {
    uint32_t high[16], low[16], round[16], pre[16], post[16];
};

QVX_VECTOR_CLONES void dequantise_cells(int16_t* cells, size_t n, const LanePattern& l) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        for (unsigned j = 0; j < 16; ++j) {
            const int32_t val = cells[i + j];
            const uint32_t a = 2u * uint32_t(val < 0 ? -val : val) + 1u;
            const uint32_t r = (a * l.high[j] + ((a * l.low[j] + l.round[j]) >> l.pre[j])) >> l.post[j];
            cells[i + j] = val == 0 ? int16_t(0) : int16_t(uint16_t(val < 0 ? 0u - r : r));
        }
    }
    for (unsigned j = 0; i < n; ++i, ++j)
        cells[i] = dequantise_lane(cells[i], {l.high[j], l.low[j], l.round[j], l.pre[j], l.post[j]});
}

// Adds the prediction to the dequantised row in place, left to right.
template <Predictor P, class Row, class Above>
void predict_row(Row row, Above above, unsigned n, unsigned y) {
    for (unsigned x = 0; x < n; ++x) {
        const int16_t p = predict_at<P>(row, above, x, y);
        row[x] = int16_t(uint16_t(uint16_t(p) + uint16_t(row[x])));
    }
}

template <class Row, class Above>
void predict_full_row(Predictor p, Row row, Above above, unsigned n, unsigned y) {
    switch (p) {
        case Predictor::kNone: break;
        case Predictor::kThird: predict_row<Predictor::kThird>(row, above, n, y); break;
        case Predictor::kMedian: predict_row<Predictor::kMedian>(row, above, n, y); break;
        case Predictor::kWrongMode: predict_row<Predictor::kWrongMode>(row, above, n, y); break;
        case Predictor::kHorizontal: predict_row<Predictor::kHorizontal>(row, above, n, y); break;
        case Predictor::kVertical: predict_row<Predictor::kVertical>(row, above, n, y); break;
    }
}

// A band's row where it lies in the plane, one cell every `Step`.
template <size_t Step>
struct SpreadRow {
    int16_t* cells;
    int16_t& operator[](size_t x) const { return cells[Step * x]; }
};

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

QVX_VECTOR_CLONES void gather(int16_t* __restrict row, const int16_t* __restrict cells, size_t step, unsigned n) {
    if (step == 4) gather_cells<4>(row, cells, n);
    else gather_cells<1>(row, cells, n);
}

QVX_VECTOR_CLONES void scatter(int16_t* __restrict cells, const int16_t* __restrict row, size_t step, unsigned n) {
    if (step == 4) scatter_cells<4>(cells, row, n);
    else scatter_cells<1>(cells, row, n);
}

// Four bands whose cells take turns along the same plane rows (every band
// of a 4x4-interleaved plane, grouped by rows): their rows are one
// contiguous run of cells, dequantised in one pass; lane[k] is the band at
// column offset k.
bool interleaved_four(const BandRows* bands, unsigned count, const BandRows* (&lane)[4]) {
    if (count != 4) return false;
    uint32_t base = bands[0].col0;
    for (unsigned i = 0; i < 4; ++i) base = std::min(base, bands[i].col0);
    for (const BandRows*& l : lane) l = nullptr;
    for (unsigned i = 0; i < 4; ++i) {
        const BandRows& b = bands[i];
        const uint32_t k = b.col0 - base;
        if (b.every_other || b.col_step != 4 || k >= 4 || lane[k]) return false;
        lane[k] = &b;
    }
    return true;
}

void reconstruct_interleaved(const BandRows* (&lane)[4], const PositionIndex& pos, unsigned sb_height,
                             int16_t* plane, size_t plane_width, const RowsReady* ready,
                             std::atomic<uint32_t>* rows_done) {
    const unsigned w = pos.width;
    const BandRows& b0 = *lane[0];
    const uint32_t base = b0.col0;
    auto plane_row = [&](unsigned y) {
        return plane + size_t(uint16_t(b0.row0 + b0.row_step * y)) * plane_width + base;
    };
    LanePattern pattern;
    for (unsigned y = 0; y < sb_height; ++y) {
        if (ready && !ready->wait(y)) return;
        int16_t* cells = plane_row(y);
        const size_t first = size_t(y) * w;
        for (unsigned x = 0; x < w;) {
            const unsigned end = unsigned(pos.run_end[first + x] - first);
            const int32_t q = pos.q[first + x];
            bool quantised = false;
            for (unsigned k = 0; k < 4; ++k) {
                const DequantLane l = dequant_lane(q - lane[k]->qp_offset);
                quantised |= q - lane[k]->qp_offset > 0;
                for (unsigned j = k; j < 16; j += 4) {
                    pattern.high[j] = l.high;
                    pattern.low[j] = l.low;
                    pattern.round[j] = l.round;
                    pattern.pre[j] = l.pre;
                    pattern.post[j] = l.post;
                }
            }
            if (quantised) dequantise_cells(cells + 4 * size_t(x), 4 * size_t(end - x), pattern);
            x = end;
        }
        // Prediction in place: the band's row above is final in the plane.
        for (unsigned k = 0; k < 4; ++k) {
            if (lane[k]->predictor == Predictor::kNone) continue;
            const SpreadRow<4> row{cells + k}, above{(y > 0 ? plane_row(y - 1) : cells) + k};
            predict_full_row(lane[k]->predictor, row, above, w, y);
        }
        if (rows_done) rows_done->store(y + 1, std::memory_order_release);
    }
}

}  // namespace

void reconstruct_bands(const BandRows* bands, unsigned count, const PositionIndex& pos, unsigned sb_height,
                       int16_t* plane, size_t plane_width, const RowsReady* ready,
                       std::atomic<uint32_t>* rows_done) {
    if (const BandRows* lane[4]; interleaved_four(bands, count, lane)) {
        reconstruct_interleaved(lane, pos, sb_height, plane, plane_width, ready, rows_done);
        return;
    }
    const unsigned w = pos.width;
    // Two rows per band: the one being built and the one above it.
    std::vector<int16_t> rows(size_t(2) * count * w);
    for (unsigned y = 0; y < sb_height; ++y) {
        if (ready && !ready->wait(y)) return;
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
        if (rows_done) rows_done->store(y + 1, std::memory_order_release);
    }
}

}  // namespace Vantrel::QVX

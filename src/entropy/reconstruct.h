// Coefficient reconstruction, one subband row at a time: dequantisation with
// the quantisation index of every position, prediction from the row itself
// and the row above, and the scatter of the row into the coefficient plane.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "entropy/prediction.h"

namespace Vantrel::QVX {

// One subband of one component and where its cells lie in the plane.
struct BandRows {
    uint8_t qp_offset = 0;
    Predictor predictor = Predictor::kNone;
    bool every_other = false;  // decoded at even positions only, stored at x / 2
    uint32_t col0 = 0, col_step = 1, row0 = 0, row_step = 1;
};

// Per-position quantisation indices of the whole frame (row-major positions)
// and, for each position, where its run of equal indices in the row ends.
struct PositionIndex {
    const int8_t* q = nullptr;
    const uint32_t* run_end = nullptr;
    unsigned width = 0;  // positions per row
};

// Rows of the position index another thread is still filling in: row y
// may be read once `ready` exceeds y. `abandoned` is set when the rest
// will never come.
struct RowsReady {
    std::atomic<uint32_t> ready{0};
    std::atomic<bool> abandoned{false};

    // Waits for row y; false if it will not come.
    bool wait(uint32_t y) const {
        while (ready.load(std::memory_order_acquire) <= y) {
            if (abandoned.load(std::memory_order_acquire)) return false;
            std::this_thread::yield();
        }
        return true;
    }
};

// Reconstructs every row of `count` bands that share the same plane rows,
// in place: each band's cells hold its entropy-decoded values (row y's
// values in its first cells), and every cell of those rows ends up defined.
// With `ready`, each row waits for its indices; the call returns early,
// leaving the rest as it is, when they will not come. With `rows_done`,
// the rows finished so far are published there after each row.
void reconstruct_bands(const BandRows* bands, unsigned count, const PositionIndex& pos, unsigned sb_height,
                       int16_t* plane, size_t plane_width, const RowsReady* ready = nullptr,
                       std::atomic<uint32_t>* rows_done = nullptr);

}  // namespace Vantrel::QVX

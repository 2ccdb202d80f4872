// The inverse kernels as a pipeline over groups of four rows, so that every
// pass and the final clip work on rows still in cache.
//
// Group g holds rows 4g .. 4g+3. Each kernel's passes are split into steps
// on one group, each reading at most the neighbouring groups:
//   H2(g)   level-2 horizontal lines of the group's rows
//   V2u(g)  level-2 vertical update of the group's low rows (reads g-1)
//   V2p(g)  level-2 vertical predict of its high rows (reads g+1)
//   H1(g)   level-1 horizontal lines
//   V1u(g)  level-1 vertical update of rows 4g, 4g+2 (reads g-1)
//   V1p(g)  level-1 vertical predict of rows 4g+1, 4g+3 (reads g+1)
//   Clip(g) the clipping step
// A Haar step never leaves its group (pairs lie within four rows), so Haar
// kernels run every step of a group at once. The 5/3 steps are ordered by
// step_after() below; run_53_schedule() visits them in an order that keeps
// every dependency, and a subset of groups may run first as long as the
// subset is closed under those dependencies (see wavelet.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wavelet/passes.h"

namespace Vantrel::QVX::wavelet {

enum Step : uint8_t { kH2, kV2u, kV2p, kH1, kV1u, kV1p, kClip, kNumSteps };

// One predecessor of a 5/3 step: step `step` of group g + `offset`.
struct StepDep {
    Step step;
    int offset;
};

// Predecessors of each 5/3 step, both for its inputs and for cells it
// overwrites that an earlier step must still read (up to three each).
struct StepDeps {
    StepDep dep[3];
    unsigned count;
};
inline constexpr StepDeps kStepDeps[kNumSteps] = {
    /* H2   */ {{}, 0},
    /* V2u  */ {{{kH2, 0}, {kH2, -1}}, 2},
    /* V2p  */ {{{kV2u, 0}, {kV2u, 1}}, 2},
    /* H1   */ {{{kV2p, 0}, {kV2p, -1}}, 2},
    /* V1u  */ {{{kH1, 0}, {kH1, -1}}, 2},
    /* V1p  */ {{{kV1u, 0}, {kV1u, 1}}, 2},
    /* Clip */ {{{kV1p, 0}, {kV1p, -1}}, 2},
};

// The inverse of one kernel on one plane (rows of w samples, h rows, both
// multiples of 4), with scratch for one row.
class RowPipeline {
public:
    RowPipeline(unsigned kernel, int16_t* plane, size_t w, size_t h, int16_t bound);

    size_t groups() const { return h_ / 4; }

    // Every step of the groups [g0, g1) of a Haar kernel or of the clip-only
    // kernel; groups are independent there.
    void run_local(size_t g0, size_t g1);

    // One 5/3 step on group g.
    void run_step(Step s, size_t g);

    // Visits every 5/3 step of the groups [g0, g1) in an order that keeps
    // the dependencies; `want(step, g)` picks the steps to run.
    template <class Want>
    void run_53_schedule(Want&& want, size_t g0 = 0, size_t g1 = SIZE_MAX) {
        const size_t m = groups();
        g1 = g1 < m ? g1 : m;
        auto go = [&](Step s, size_t g) {
            if (want(s, g)) run_step(s, g);
        };
        for (size_t t = g0; t < g1 + 2; ++t) {
            if (t < g1) {
                go(kH2, t);
                go(kV2u, t);
            }
            if (t >= g0 + 1 && t <= g1) {
                go(kV2p, t - 1);
                go(kH1, t - 1);
                go(kV1u, t - 1);
            }
            if (t >= g0 + 2) {
                go(kV1p, t - 2);
                go(kClip, t - 2);
            }
        }
    }

    bool is_53() const { return shape_.filter == Filter::Lift53; }

private:
    int16_t* row(size_t y) { return plane_ + y * w_; }

    void h_level2(int16_t* r);
    void h_level1(int16_t* r);
    void clip_rows(size_t y0, size_t n);

    KernelShape shape_;
    Level2Coverage cov_;
    bool transform_;  // false for the clip-only kernel
    int16_t* plane_;
    size_t w_, h_;
    int16_t bound_;
    std::vector<int16_t> scratch_;
};

// Clips n samples to 0 .. bound (read as signed 16-bit).
void clip_samples(int16_t* p, size_t n, int16_t bound);

}  // namespace Vantrel::QVX::wavelet

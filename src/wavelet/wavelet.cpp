// Inverse kernels 0..6 on the working planes, per component and per strip
// of row groups.
//
// Haar and the clip-only kernel never look past a group of four rows, so
// strips are independent. A 5/3 strip first runs the steps that need
// nothing outside the strip (and that nothing outside must precede); the
// few steps left around strip borders then run in the sequential order.
// Every step reads exactly what it reads in the sequential order, so the
// result does not depend on the number of threads.
#include "wavelet/wavelet.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "frame/image_memory.h"
#include "frame/parallel.h"
#include "wavelet/row_pipeline.h"

namespace Vantrel::QVX {

namespace {

using wavelet::RowPipeline;
using wavelet::Step;

// Groups of four rows per strip: big enough that the border steps are few,
// small enough to spread a plane over several threads.
constexpr size_t kStripGroups = 32;

// Steps of groups [a, b) that can run before any other strip's steps: a
// step runs when all its predecessors lie in the strip and run as well.
std::vector<uint8_t> strip_interior(size_t a, size_t b, size_t m) {
    std::vector<uint8_t> ok((b - a) * wavelet::kNumSteps, 0);
    auto at = [&](unsigned s, size_t g) -> uint8_t& { return ok[(g - a) * wavelet::kNumSteps + s]; };
    // Steps in an order where every predecessor comes first: by step kind,
    // and kinds only depend on earlier kinds.
    for (unsigned s = 0; s < wavelet::kNumSteps; ++s) {
        for (size_t g = a; g < b; ++g) {
            bool runs = true;
            const wavelet::StepDeps& deps = wavelet::kStepDeps[s];
            for (unsigned k = 0; k < deps.count && runs; ++k) {
                const long gd = long(g) + deps.dep[k].offset;
                if (gd < 0 || gd >= long(m)) continue;  // frame edge: no predecessor
                if (gd < long(a) || gd >= long(b)) runs = false;
                else runs = at(deps.dep[k].step, size_t(gd)) != 0;
            }
            at(s, g) = runs;
        }
    }
    return ok;
}

}  // namespace

int16_t clip_bound(const FrameState& fs, unsigned c) {
    uint16_t bound = uint16_t((1u << fs.bit_depth) - 1u);
    if (fs.ct_mode == 3) bound = fs.w_kernel >= 3 ? 1023 : 4095;
    // Reversible colour modes carry chroma with one more bit.
    if (c > 0 && (fs.ct_mode == 4 || fs.ct_mode == 10)) bound = uint16_t(bound * 2);
    return int16_t(bound);
}

WaveletTasks::WaveletTasks(unsigned kernel, int16_t* const* planes, const int16_t* bounds, unsigned nc, size_t w,
                           size_t h, size_t strip_groups)
    : kernel_(kernel), w_(w), h_(h), m_(h / 4), strip_groups_(strip_groups ? strip_groups : kStripGroups) {
    for (unsigned c = 0; c < nc; ++c) {
        planes_[c] = planes[c];
        bounds_[c] = bounds[c];
    }
    five_three_ = RowPipeline(kernel, nullptr, 0, 0, 0).is_53();
    for (unsigned c = 0; c < nc; ++c)
        for (size_t a = 0; a < m_; a += strip_groups_) strips_.push_back({c, a, std::min(m_, a + strip_groups_)});
    strip_state_.reset(new std::atomic<uint8_t>[strips_.size() ? strips_.size() : 1]());
    if (!five_three_) return;

    for (const Strip& s : strips_) interior_.push_back(strip_interior(s.a, s.b, m_));
    // The steps left at strip borders run in sequential order within each
    // cluster of groups that hold some. A step touches the rows of its
    // group and its neighbours and depends only on those, so clusters
    // three or more groups apart touch disjoint rows and run in parallel.
    for (unsigned c = 0; c < nc; ++c) {
        for (size_t g = 0; g < m_; ++g) {
            bool any = false;
            for (unsigned st = 0; st < wavelet::kNumSteps && !any; ++st) any = left(c, st, g);
            if (!any) continue;
            if (!clusters_.empty() && clusters_.back().c == c && g < clusters_.back().g1 + 2) clusters_.back().g1 = g + 1;
            else clusters_.push_back({c, g, g + 1, 0, 0});
        }
    }
    // A cluster follows the interior steps of the strips within two
    // groups of it.
    const size_t per_component = (m_ + strip_groups_ - 1) / strip_groups_;
    for (Cluster& cl : clusters_) {
        const size_t lo = cl.g0 >= 2 ? cl.g0 - 2 : 0, hi = std::min(m_ - 1, cl.g1 + 1);
        cl.s0 = cl.c * per_component + lo / strip_groups_;
        cl.s1 = cl.c * per_component + hi / strip_groups_ + 1;
    }
}

bool WaveletTasks::left(unsigned c, unsigned step, size_t g) const {
    const size_t i = c * ((m_ + strip_groups_ - 1) / strip_groups_) + g / strip_groups_;
    return !interior_[i][(g - strips_[i].a) * wavelet::kNumSteps + step];
}

bool WaveletTasks::wait_strip(size_t i) const {
    for (;;) {
        const uint8_t state = strip_state_[i].load(std::memory_order_acquire);
        if (state != 0) return state == 1;
        std::this_thread::yield();
    }
}

void WaveletTasks::run(size_t i, const Ready& ready) {
    if (i < strips_.size()) {
        const Strip& s = strips_[i];
        // One group more than the strip: nothing of it is read, but a
        // row's neighbours are then never still being written.
        if (!ready(s.c, std::min(h_, 4 * s.b + 4))) {
            strip_state_[i].store(2, std::memory_order_release);
            return;
        }
        // Each task needs its own row scratch.
        RowPipeline p(kernel_, planes_[s.c], w_, h_, bounds_[s.c]);
        if (five_three_) {
            const std::vector<uint8_t>& ok = interior_[i];
            p.run_53_schedule([&](Step st, size_t g) { return ok[(g - s.a) * wavelet::kNumSteps + st] != 0; }, s.a,
                              s.b);
        } else {
            p.run_local(s.a, s.b);
        }
        strip_state_[i].store(1, std::memory_order_release);
        return;
    }
    const Cluster& cl = clusters_[i - strips_.size()];
    for (size_t k = cl.s0; k < cl.s1; ++k)
        if (!wait_strip(k)) return;
    RowPipeline p(kernel_, planes_[cl.c], w_, h_, bounds_[cl.c]);
    p.run_53_schedule([&](Step st, size_t g) { return left(cl.c, st, g); }, cl.g0, cl.g1);
}

void inverse_wavelet_planes(unsigned kernel, int16_t* const* planes, const int16_t* bounds, unsigned nc, size_t w,
                            size_t h, Workers workers, size_t strip_groups) {
    if (workers.threads <= 1) {
        for (unsigned c = 0; c < nc; ++c) {
            RowPipeline p(kernel, planes[c], w, h, bounds[c]);
            if (p.is_53()) p.run_53_schedule([](Step, size_t) { return true; });
            else p.run_local(0, h / 4);
        }
        return;
    }
    WaveletTasks tasks(kernel, planes, bounds, nc, w, h, strip_groups);
    const WaveletTasks::Ready ready = [](unsigned, size_t) { return true; };
    parallel_for(workers, tasks.count(), [&](size_t i) { tasks.run(i, ready); });
}

void inverse_wavelet(unsigned kernel, const FrameState& fs, ImageMemory& store, Workers workers) {
    int16_t* planes[4] = {};
    int16_t bounds[4] = {};
    for (unsigned c = 0; c < fs.num_components; ++c) {
        planes[c] = store.splane(c);
        bounds[c] = clip_bound(fs, c);
    }
    inverse_wavelet_planes(kernel, planes, bounds, fs.num_components, fs.width, fs.height, workers, 0);
}

}  // namespace Vantrel::QVX

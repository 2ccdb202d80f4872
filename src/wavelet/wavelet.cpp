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

struct Strip {
    unsigned c;
    size_t a, b;
};

}  // namespace

int16_t clip_bound(const FrameState& fs, unsigned c) {
    uint16_t bound = uint16_t((1u << fs.bit_depth) - 1u);
    if (fs.ct_mode == 3) bound = fs.w_kernel >= 3 ? 1023 : 4095;
    // Reversible colour modes carry chroma with one more bit.
    if (c > 0 && (fs.ct_mode == 4 || fs.ct_mode == 10)) bound = uint16_t(bound * 2);
    return int16_t(bound);
}

void inverse_wavelet_planes(unsigned kernel, int16_t* const* planes, const int16_t* bounds, unsigned nc, size_t w,
                            size_t h, unsigned threads, size_t strip_groups) {
    const size_t m = h / 4;
    if (strip_groups == 0) strip_groups = kStripGroups;
    std::vector<RowPipeline> pipes;
    pipes.reserve(nc);
    for (unsigned c = 0; c < nc; ++c) pipes.emplace_back(kernel, planes[c], w, h, bounds[c]);
    const bool five_three = nc > 0 && pipes[0].is_53();

    if (threads <= 1) {
        for (RowPipeline& p : pipes) {
            if (five_three) p.run_53_schedule([](Step, size_t) { return true; });
            else p.run_local(0, m);
        }
        return;
    }

    std::vector<Strip> strips;
    for (unsigned c = 0; c < nc; ++c)
        for (size_t a = 0; a < m; a += strip_groups) strips.push_back({c, a, std::min(m, a + strip_groups)});

    if (!five_three) {
        parallel_for(threads, strips.size(), [&](size_t i) {
            // Each thread needs its own row scratch.
            const Strip& s = strips[i];
            RowPipeline p(kernel, planes[s.c], w, h, bounds[s.c]);
            p.run_local(s.a, s.b);
        });
        return;
    }

    std::vector<std::vector<uint8_t>> interior(strips.size());
    parallel_for(threads, strips.size(), [&](size_t i) {
        const Strip& s = strips[i];
        interior[i] = strip_interior(s.a, s.b, m);
        const std::vector<uint8_t>& ok = interior[i];
        RowPipeline p(kernel, planes[s.c], w, h, bounds[s.c]);
        p.run_53_schedule([&](Step st, size_t g) {
            return g >= s.a && g < s.b && ok[(g - s.a) * wavelet::kNumSteps + st];
        });
    });
    // The steps left at strip borders, per component in sequential order.
    parallel_for(threads, nc, [&](size_t c) {
        pipes[c].run_53_schedule([&](Step st, size_t g) {
            const size_t i = c * ((m + strip_groups - 1) / strip_groups) + g / strip_groups;
            const Strip& s = strips[i];
            return !interior[i][(g - s.a) * wavelet::kNumSteps + st];
        });
    });
}

void inverse_wavelet(unsigned kernel, const FrameState& fs, ImageMemory& store, unsigned threads) {
    int16_t* planes[4] = {};
    int16_t bounds[4] = {};
    for (unsigned c = 0; c < fs.num_components; ++c) {
        planes[c] = store.splane(c);
        bounds[c] = clip_bound(fs, c);
    }
    inverse_wavelet_planes(kernel, planes, bounds, fs.num_components, fs.width, fs.height, threads, 0);
}

}  // namespace Vantrel::QVX

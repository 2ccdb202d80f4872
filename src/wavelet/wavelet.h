// Inverse wavelet kernels 0 to 5 and the clipping step that ends them, in
// place on the working planes. Kernel 6 codes the samples themselves (its
// sixteen subbands are column strips of the plane), so its inverse is the
// clipping step alone.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "codestream/frame_state.h"
#include "frame/parallel.h"

namespace Vantrel::QVX {

class ImageMemory;

// Runs kernel 0..6 on every component of `planes` (the frame of fs),
// clipping each sample to 0 .. clip_bound(). `workers` holds a resolved count
// (1 = caller only); the result is the same for every count.
void inverse_wavelet(unsigned kernel, const FrameState& fs, ImageMemory& planes, Workers workers = 1);

// The upper clipping bound of component c (read as signed 16-bit).
int16_t clip_bound(const FrameState& fs, unsigned c);

// The same on bare row-major planes of w x h (multiples of 4). With more
// than one thread, planes are cut into strips of `strip_groups` groups of
// four rows (0: the default).
void inverse_wavelet_planes(unsigned kernel, int16_t* const* planes, const int16_t* bounds, unsigned nc, size_t w,
                            size_t h, Workers workers, size_t strip_groups);

// The inverse of kernel 0..6 as tasks for threads that take them in order:
// one per strip of rows, then, for 5/3 kernels, one per cluster of the
// steps left at strip borders. A strip task first waits, through
// `ready(c, rows)`, until rows [0, rows) of plane c hold their
// coefficients; a cluster task waits for the strips around it. When
// `ready` returns false the rows never come: that task and those waiting
// for it return without finishing. Every task run to its end gives the
// result of inverse_wavelet.
class WaveletTasks {
public:
    using Ready = std::function<bool(unsigned c, size_t rows)>;

    WaveletTasks(unsigned kernel, int16_t* const* planes, const int16_t* bounds, unsigned nc, size_t w, size_t h,
                 size_t strip_groups = 0);
    WaveletTasks(const WaveletTasks&) = delete;
    WaveletTasks& operator=(const WaveletTasks&) = delete;

    size_t count() const { return strips_.size() + clusters_.size(); }
    void run(size_t i, const Ready& ready);

private:
    struct Strip {
        unsigned c;
        size_t a, b;  // groups
    };
    struct Cluster {
        unsigned c;
        size_t g0, g1;
        size_t s0, s1;  // strips it waits for
    };
    bool left(unsigned c, unsigned step, size_t g) const;
    bool wait_strip(size_t i) const;

    unsigned kernel_;
    int16_t* planes_[4] = {};
    int16_t bounds_[4] = {};
    size_t w_, h_, m_, strip_groups_;
    bool five_three_;
    std::vector<Strip> strips_;
    std::vector<std::vector<uint8_t>> interior_;
    std::vector<Cluster> clusters_;
    // 1: the strip ran, 2: it gave up.
    std::unique_ptr<std::atomic<uint8_t>[]> strip_state_;
};

}  // namespace Vantrel::QVX

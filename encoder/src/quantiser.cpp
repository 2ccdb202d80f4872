#include "quantiser.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <initializer_list>

#include "entropy/dequantise.h"
#include "rice_encoder.h"

namespace Vantrel::QVX::enc {

namespace {

// The decoder's dequantised magnitude, 0 for 0.
int64_t magnitude(uint32_t m, int32_t qq) { return m == 0 ? 0 : dequantised_magnitude(int64_t(m), qq); }

// The quantiser's step by qq (> 0), and its reciprocal: looked up, as the
// coder asks for them at every value.
struct StepTable {
    double step[kTabledLevels];
    double per_step[kTabledLevels];
    StepTable() {
        for (int32_t qq = 0; qq < kTabledLevels; ++qq) {
            step[qq] = std::ldexp(double(kDequantStep[qq & 3]), qq / 4 - 18);
            per_step[qq] = 1.0 / step[qq];
        }
    }
};
const StepTable kSteps;

double step_of(int32_t qq) {
    return qq < kTabledLevels ? kSteps.step[qq] : std::ldexp(double(kDequantStep[qq & 3]), qq / 4 - 18);
}

// Largest m in 0..32767 whose dequantised magnitude does not pass a. The
// magnitude grows by about `step` per m, so a / step lands within one of
// it; the loops settle the rounding.
uint32_t largest_magnitude_within(int64_t a, int32_t qq) {
    const double per_step = qq < kTabledLevels ? kSteps.per_step[qq] : 1.0 / step_of(qq);
    const double estimate = std::min(double(a) * per_step - 0.5, 32767.0);
    int64_t m = estimate > 0 ? int64_t(estimate) : 0;
    while (m > 0 && magnitude(uint32_t(m), qq) > a) --m;
    while (m < 32767 && magnitude(uint32_t(m + 1), qq) <= a) ++m;
    return uint32_t(m);
}

// The value whose reconstruction is nearest the target.
int16_t nearest_value(int16_t target, int16_t pred, int32_t q, uint8_t offset) {
    const int16_t residual = int16_t(uint16_t(uint16_t(target) - uint16_t(pred)));
    const int32_t qq = q - int32_t(offset);
    if (qq <= 0) return residual;  // reconstructed exactly

    // The reconstruction may reach the target straight or by wrapping
    // round 16 bits; try the magnitudes either way leads to.
    int16_t best = 0;
    int32_t best_dist = std::abs(int32_t(target) - int32_t(pred));
    const int32_t straight = int32_t(target) - int32_t(pred);
    if (straight == int32_t(residual)) {
        // Most values end here: within half the first level of 0, where no
        // reconstruction wraps, none is nearer than 0.
        const int64_t first = kFirstLevels[size_t(std::min(qq, kTabledLevels - 1))];
        const int64_t up = int64_t(pred) + (straight < 0 ? -first : first);
        if (qq < kTabledLevels && 2 * int64_t(std::abs(straight)) <= first && up >= -32768 && up <= 32767) return 0;
    }
    const int32_t ways[2] = {straight, int32_t(residual)};
    // Without a wrap both ways are one.
    for (int w = 0; w < (straight == int32_t(residual) ? 1 : 2); ++w) {
        const int32_t r = ways[w];
        // Largest magnitude whose reconstruction does not pass |r|; the best
        // value is it or the next one.
        const int64_t a = std::abs(r);
        const uint32_t lo = largest_magnitude_within(a, qq);
        const int sign = r < 0 ? -1 : 1;
        for (uint32_t m = lo; m <= lo + 1 && m <= 32767; ++m) {
            const int16_t v = int16_t(sign * int32_t(m));
            const int16_t recon = int16_t(uint16_t(uint16_t(pred) + uint16_t(dequantise(v, q, offset))));
            const int32_t dist = std::abs(int32_t(target) - int32_t(recon));
            if (dist < best_dist) {
                best = v;
                best_dist = dist;
            }
        }
    }
    return best;
}

}  // namespace

int16_t choose_value(int16_t target, int16_t pred, int32_t q, uint8_t offset, const RateState& rate) {
    const int16_t nearest = nearest_value(target, pred, q, offset);
    const int32_t qq = q - int32_t(offset);
    if (qq <= 0 || nearest == 0) return nearest;
    const double step = step_of(qq);
    const double lambda = rate.slope * step * step;
    const auto cost = [&](int16_t v) {
        const int16_t recon = int16_t(uint16_t(uint16_t(pred) + uint16_t(dequantise(v, q, offset))));
        const double e = double(int32_t(target) - int32_t(recon));
        return e * e + lambda * double(rice_length(v, rate.k, rate.max_zeros));
    };
    int16_t best = nearest;
    double best_cost = cost(nearest);
    const int16_t smaller = int16_t(nearest > 0 ? nearest - 1 : nearest + 1);
    for (const int16_t v : {smaller, int16_t(0)}) {
        const double c = cost(v);
        if (c < best_cost) best = v, best_cost = c;
    }
    return best;
}

}  // namespace Vantrel::QVX::enc

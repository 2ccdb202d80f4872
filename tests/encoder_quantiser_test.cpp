// Closed-loop value choice against an exhaustive search over every value.
#include <gtest/gtest.h>

#include <cstdlib>

#include "../encoder/src/quantiser.h"
#include "entropy/dequantise.h"

using namespace Vantrel::QVX;
using namespace Vantrel::QVX::enc;

namespace {

int32_t distance(int16_t target, int16_t pred, int16_t v, int32_t q, uint8_t off) {
    const int16_t recon = int16_t(uint16_t(uint16_t(pred) + uint16_t(dequantise(v, q, off))));
    return std::abs(int32_t(target) - int32_t(recon));
}

}  // namespace

// Values whose dequantised magnitude wraps past 16 bits land anywhere; the
// quantiser does not hunt for those (it may still pick one next to its
// plain candidate when that lands nearer), so it must be at least as good
// as every plain value.
TEST(EncoderQuantiser, NearestReconstructionAmongAllPlainValues) {
    const int16_t targets[] = {0, 1, 2, 3, 7, -7, 100, -101, 1000, 5003, -20000, 32767, -32768};
    const int16_t preds[] = {0, 3, -250, 30000};
    const int32_t qs[] = {1, 2, 4, 7, 13, 20, 33, 47, 63};
    for (int16_t t : targets)
        for (int16_t p : preds)
            for (int32_t q : qs) {
                const int16_t v = choose_value(t, p, q, 1);
                int32_t best = INT32_MAX;
                for (int32_t c = -32767; c <= 32767; ++c) {
                    if (q > 1 && dequantised_magnitude(uint32_t(std::abs(c)), q - 1) > 32768) continue;
                    best = std::min(best, distance(t, p, int16_t(c), q, 1));
                }
                ASSERT_LE(distance(t, p, v, q, 1), best) << "t " << t << " p " << p << " q " << q;
            }
}

TEST(EncoderQuantiser, ZeroBandAgreesWithTheChoice) {
    // Residuals the run look-ahead counts as zero are the ones the
    // quantiser would code as zero.
    for (int32_t q : {1, 6, 17, 40})
        for (int32_t r = -300; r <= 300; ++r) {
            const bool zero = quantises_to_zero(int16_t(r), zero_limit(q, 0));
            EXPECT_EQ(zero, choose_value(int16_t(r), 0, q, 0) == 0) << "q " << q << " r " << r;
        }
}

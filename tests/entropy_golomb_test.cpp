#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "entropy/kstatistics.h"
#include "entropy/stream_decoder.h"

using namespace Vantrel::QVX;

// Streams of a group decode in pairs, value by value in turn, wherever both
// are in the middle of their words. Every result must equal decoding each
// stream alone: values, bit counts, crossings, words taken and the failure
// (pseudo-random words of several densities meet runs, escapes and both
// errors at different places in the two streams).
TEST(GolombRice, PairedStreamsDecodeAsAlone) {
    uint64_t seed = 12345;
    auto next = [&] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(seed >> 32);
    };
    for (unsigned variant = 0; variant < 4; ++variant) {
        const bool fourteen = variant & 1u, twice = variant & 2u;
        for (unsigned round = 0; round < 6; ++round) {
            // Dense words with sparse bursts (long prefixes: escapes, runs)
            // and, from some word on, sparse words, which soon fail; some
            // streams end before their last value. Where the sum never
            // halves (counts advancing twice), mostly ones keep it small.
            std::vector<uint32_t> words[2];
            for (auto& w : words) {
                w.resize(60 + next() % 400);
                const size_t sparse_from = round == 0 ? w.size() : 20 + next() % (2 * w.size());
                for (size_t k = 0; k < w.size(); ++k) {
                    const unsigned density = k >= sparse_from ? 3 : next() % 40 == 0 ? 6 : 1;
                    uint32_t x = next();
                    for (unsigned d = 1; d < density; ++d) x &= next();
                    w[k] = twice && density == 1 ? ~(x & next() & next()) : x;
                }
            }
            const uint32_t n = 2500, row = twice ? 32 : 64;
            StreamJob jobs[2];
            std::vector<int16_t> paired[2], alone[2];
            std::vector<uint16_t> paired_bits(2 * n, 0), alone_bits(2 * n, 0);
            StreamResult pr[2], ar[2];
            for (unsigned s = 0; s < 2; ++s) {
                StreamJob& j = jobs[s];
                j.words = words[s];
                j.stream = s;
                j.num_values = n;
                j.count_step = twice ? 2 : 1;
                j.fourteen_bit = fourteen;
                j.shift = twice ? 1 : 0;
                j.row_positions = twice ? 2 * row : row;
                j.row_pitch = row;
                paired[s].assign(n, 0x7777);
                alone[s].assign(n, 0x7777);
            }
            for (unsigned s = 0; s < 2; ++s) {
                StreamJob j = jobs[s];
                j.out = alone[s].data();
                j.position_bits = alone_bits.data();
                decode_streams(&j, &ar[s], 1);
                jobs[s].out = paired[s].data();
                jobs[s].position_bits = paired_bits.data();
            }
            decode_streams(jobs, pr, 2);
            for (unsigned s = 0; s < 2; ++s) {
                SCOPED_TRACE(testing::Message() << "variant " << variant << " round " << round << " stream " << s);
                EXPECT_EQ(paired[s], alone[s]);
                EXPECT_EQ(pr[s].decoded, ar[s].decoded);
                EXPECT_EQ(pr[s].words_needed, ar[s].words_needed);
                EXPECT_EQ(pr[s].error, ar[s].error);
                const auto pc = pr[s].crossing_list(), ac = ar[s].crossing_list();
                EXPECT_EQ(std::vector<uint32_t>(pc.begin(), pc.end()), std::vector<uint32_t>(ac.begin(), ac.end()));
            }
            EXPECT_EQ(paired_bits, alone_bits);
        }
    }
}

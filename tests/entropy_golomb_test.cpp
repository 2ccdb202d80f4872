#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "entropy/kstatistics.h"
#include "entropy/stream_decoder.h"

using namespace Vantrel::QVX;

// Streams of a group decode in pairs, value by value in turn, wherever both
// are in the middle of their words, and the pairs take each row in turn
// (four streams here: two pairs). Every result must equal decoding each
// stream alone: values, bit counts, crossings, words taken and the failure
// (pseudo-random words of several densities meet runs, escapes and both
// errors at different places in the two streams). The loops without the
// bit-manipulation instructions must give the same, alone and in pairs.
TEST(GolombRice, PairedStreamsDecodeAsAlone) {
    uint64_t seed = 12345;
    auto next = [&] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return uint32_t(seed >> 32);
    };
    struct Decoded {
        std::vector<int16_t> values[4];
        std::vector<uint16_t> bits;
        StreamResult r[4];
    };
    for (unsigned variant = 0; variant < 4; ++variant) {
        const bool fourteen = variant & 1u, twice = variant & 2u;
        for (unsigned round = 0; round < 6; ++round) {
            // Dense words with sparse bursts (long prefixes: escapes, runs)
            // and, from some word on, sparse words, which soon fail; some
            // streams end before their last value. Where the sum never
            // halves (counts advancing twice), mostly ones keep it small.
            std::vector<uint32_t> words[4];
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
            // paired: 0 each alone, 1 as one group; portable: without the instructions.
            auto run = [&](bool paired, bool portable) {
                Decoded d;
                d.bits.assign(2 * n, 0);
                StreamJob jobs[4];
                for (unsigned s = 0; s < 4; ++s) {
                    StreamJob& j = jobs[s];
                    j.words = words[s];
                    j.stream = s;
                    j.num_values = n;
                    j.count_step = twice ? 2 : 1;
                    j.fourteen_bit = fourteen;
                    j.shift = twice ? 1 : 0;
                    j.row_positions = twice ? 2 * row : row;
                    j.row_pitch = row;
                    d.values[s].assign(n, 0x7777);
                    j.out = d.values[s].data();
                    j.position_bits = d.bits.data();
                }
                auto decode = portable ? decode_streams_portable : decode_streams;
                if (paired) decode(jobs, d.r, 4);
                else for (unsigned s = 0; s < 4; ++s) decode(&jobs[s], &d.r[s], 1);
                return d;
            };
            const Decoded alone = run(false, false);
            for (const auto& [paired, portable] : {std::pair{true, false}, {false, true}, {true, true}}) {
                const Decoded got = run(paired, portable);
                for (unsigned s = 0; s < 4; ++s) {
                    SCOPED_TRACE(testing::Message() << "variant " << variant << " round " << round << " stream " << s
                                                    << (paired ? " paired" : "") << (portable ? " portable" : ""));
                    EXPECT_EQ(got.values[s], alone.values[s]);
                    EXPECT_EQ(got.r[s].decoded, alone.r[s].decoded);
                    EXPECT_EQ(got.r[s].words_needed, alone.r[s].words_needed);
                    EXPECT_EQ(got.r[s].error, alone.r[s].error);
                    const auto pc = got.r[s].crossing_list(), ac = alone.r[s].crossing_list();
                    EXPECT_EQ(std::vector<uint32_t>(pc.begin(), pc.end()), std::vector<uint32_t>(ac.begin(), ac.end()));
                }
                EXPECT_EQ(got.bits, alone.bits);
            }
        }
    }
}

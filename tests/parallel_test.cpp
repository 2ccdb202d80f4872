// The stages' work-sharing loop: the lowest failing index decides the
// error whatever the thread count.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "frame/parallel.h"

namespace {

using Vantrel::QVX::parallel_for;

TEST(ThreadedLoop, LowestFailingIndexWins) {
    for (unsigned threads : {1u, 2u, 4u}) {
        for (int round = 0; round < 20; ++round) {
            std::string caught;
            try {
                parallel_for(threads, 64, [](size_t i) {
                    if (i == 17 || i == 40 || i == 63) throw std::runtime_error(std::to_string(i));
                });
            } catch (const std::runtime_error& e) {
                caught = e.what();
            }
            EXPECT_EQ(caught, "17") << threads << " threads";
        }
    }
}

}  // namespace

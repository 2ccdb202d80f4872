// The stages' work-sharing loop: every index once, and the lowest failing
// index decides the error whatever the thread count.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/parallel.h"

namespace {

using Vantrel::QVX::parallel_for;

TEST(ThreadedLoop, VisitsEveryIndexOnce) {
    for (unsigned threads : {1u, 2u, 4u, 9u}) {
        for (size_t n : {size_t(0), size_t(1), size_t(3), size_t(257)}) {
            std::vector<std::atomic<int>> hits(n);
            parallel_for(threads, n, [&](size_t i) { hits[i].fetch_add(1); });
            for (size_t i = 0; i < n; ++i) EXPECT_EQ(hits[i].load(), 1) << threads << " threads, index " << i;
        }
    }
}

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

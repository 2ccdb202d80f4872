// The stages' work-sharing loop: the lowest failing index decides the
// error whatever the thread count, with threads started per loop or taken
// from a pool that is reused and grows between loops.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>

#include "frame/parallel.h"

namespace {

using Vantrel::QVX::parallel_for;
using Vantrel::QVX::WorkerPool;
using Vantrel::QVX::Workers;

TEST(ThreadedLoop, LowestFailingIndexWins) {
    WorkerPool pool;
    for (unsigned threads : {1u, 2u, 4u}) {
        for (WorkerPool* from : {static_cast<WorkerPool*>(nullptr), &pool}) {
            for (int round = 0; round < 20; ++round) {
                std::string caught;
                std::atomic<unsigned> ran{0};
                try {
                    parallel_for(Workers(threads, from), 64, [&](size_t i) {
                        ran.fetch_add(1, std::memory_order_relaxed);
                        if (i == 17 || i == 40 || i == 63) throw std::runtime_error(std::to_string(i));
                    });
                } catch (const std::runtime_error& e) {
                    caught = e.what();
                }
                EXPECT_EQ(caught, "17") << threads << " threads";
                EXPECT_GE(ran.load(), 18u) << threads << " threads";
                std::atomic<unsigned> sum{0};
                parallel_for(Workers(threads, from), 100, [&](size_t i) { sum.fetch_add(unsigned(i)); });
                EXPECT_EQ(sum.load(), 4950u) << threads << " threads";
            }
        }
    }
}

}  // namespace

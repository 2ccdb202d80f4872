// Work sharing for the decoding stages: body(i) for every i in [0, n),
// spread over up to `threads` threads, the caller's own among them.
// With threads <= 1 or n <= 1 everything runs inline on the caller's thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace Vantrel::QVX {

// 0 means one thread per core.
inline unsigned resolve_thread_count(unsigned requested) {
    if (requested != 0) return requested;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores ? cores : 1u;
}

// Indices are handed out in increasing order. If bodies throw, every
// started body still finishes, and the exception of the lowest failing
// index is rethrown, so the outcome does not depend on scheduling when
// the bodies themselves are independent.
template <class Body>
void parallel_for(unsigned threads, size_t n, Body&& body) {
    const size_t workers = std::min<size_t>(threads, n);
    if (workers <= 1) {
        for (size_t i = 0; i < n; ++i) body(i);
        return;
    }
    std::atomic<size_t> next{0};
    std::mutex error_lock;
    std::atomic<size_t> error_index{n};
    std::exception_ptr error;

    auto work = [&] {
        for (size_t i; (i = next.fetch_add(1, std::memory_order_relaxed)) < n;) {
            // Past a failure only lower indices can still change the outcome.
            if (i > error_index.load(std::memory_order_relaxed)) continue;
            try {
                body(i);
            } catch (...) {
                const std::lock_guard<std::mutex> lock(error_lock);
                if (i < error_index.load(std::memory_order_relaxed)) {
                    error_index.store(i, std::memory_order_relaxed);
                    error = std::current_exception();
                }
            }
        }
    };

    std::vector<std::thread> pool;
    pool.reserve(workers - 1);
    try {
        for (size_t t = 1; t < workers; ++t) pool.emplace_back(work);
    } catch (...) {
        // No thread to be had: the threads that did start and this one
        // share the work.
    }
    work();
    for (std::thread& t : pool) t.join();
    if (error) std::rethrow_exception(error);
}

}  // namespace Vantrel::QVX

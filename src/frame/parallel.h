// Work sharing for the decoding stages: body(i) for every i in [0, n),
// spread over up to `threads` threads, the caller's own among them.
// With threads <= 1 or n <= 1 everything runs inline on the caller's thread.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
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

// Threads kept from loop to loop: started when a loop first asks for
// them, parked in between, joined when the pool dies. Starting threads
// for every loop costs more than a short stage takes. One loop at a time:
// a loop started while another runs gets no helpers. A parked thread, and
// a caller waiting for the helpers, spin a little before they sleep, since
// a decode's loops follow each other closely.
class WorkerPool {
public:
    WorkerPool() = default;
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    ~WorkerPool();

    // Runs job(context) on up to `helpers` pool threads and on the caller,
    // and returns once every one of them has returned. job must not throw.
    void run(unsigned helpers, void (*job)(void*), void* context);

private:
    void serve(unsigned index);

    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::vector<std::thread> threads_;
    // Written under lock_; read without it while spinning.
    std::atomic<uint64_t> generation_{0};  // one more for every job handed out
    std::atomic<unsigned> running_{0};     // helpers still in the job
    std::atomic<bool> stopping_{false};
    unsigned wanted_ = 0;  // threads with an index below this take the job
    void (*job_)(void*) = nullptr;
    void* context_ = nullptr;
    std::atomic<bool> busy_{false};
};

// How a loop gets its threads: a count, and the pool to take them from;
// without one, the loop starts its own.
struct Workers {
    unsigned threads = 1;
    WorkerPool* pool = nullptr;
    Workers(unsigned count = 1, WorkerPool* from = nullptr) : threads(count), pool(from) {}
};

// Indices are handed out in increasing order. If bodies throw, every
// started body still finishes, and the exception of the lowest failing
// index is rethrown, so the outcome does not depend on scheduling when
// the bodies themselves are independent.
template <class Body>
void parallel_for(Workers workers, size_t n, Body&& body) {
    const size_t count = std::min<size_t>(workers.threads, n);
    if (count <= 1) {
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

    if (workers.pool) {
        workers.pool->run(unsigned(count - 1), [](void* w) { (*static_cast<decltype(work)*>(w))(); }, &work);
    } else {
        std::vector<std::thread> started;
        started.reserve(count - 1);
        try {
            for (size_t t = 1; t < count; ++t) started.emplace_back(work);
        } catch (...) {
            // No thread to be had: the threads that did start and this one
            // share the work.
        }
        work();
        for (std::thread& t : started) t.join();
    }
    if (error) std::rethrow_exception(error);
}

}  // namespace Vantrel::QVX

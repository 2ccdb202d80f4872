#include "frame/parallel.h"

#include <chrono>

namespace Vantrel::QVX {

namespace {

// Polls `done` for up to about 50 microseconds; true once it holds.
template <class Done>
bool spin_until(Done done) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
    for (unsigned round = 0;; ++round) {
        if (done()) return true;
        if (round % 64 == 63 && std::chrono::steady_clock::now() >= until) return false;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
}

}  // namespace

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_.store(true, std::memory_order_relaxed);
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void WorkerPool::run(unsigned helpers, void (*job)(void*), void* context) {
    if (busy_.exchange(true, std::memory_order_acquire)) {
        job(context);
        return;
    }
    unsigned taking = 0;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        try {
            while (threads_.size() < helpers) {
                const unsigned index = unsigned(threads_.size());
                threads_.emplace_back([this, index] { serve(index); });
            }
        } catch (...) {
            // Fewer threads than asked for: those there are share the job.
        }
        taking = std::min<unsigned>(helpers, unsigned(threads_.size()));
        job_ = job;
        context_ = context;
        wanted_ = taking;
        running_.store(taking, std::memory_order_relaxed);
        generation_.fetch_add(1, std::memory_order_release);
    }
    if (taking > 0) wake_.notify_all();
    job(context);
    if (taking > 0) {
        const auto all_back = [this] { return running_.load(std::memory_order_acquire) == 0; };
        if (!spin_until(all_back)) {
            std::unique_lock<std::mutex> hold(lock_);
            finished_.wait(hold, all_back);
        }
    }
    busy_.store(false, std::memory_order_release);
}

void WorkerPool::serve(unsigned index) {
    // Threads start while a job is being handed out (under the lock), and
    // that job waits for them.
    uint64_t seen = 0;
    {
        const std::lock_guard<std::mutex> hold(lock_);
        seen = generation_.load(std::memory_order_relaxed) - 1;
    }
    const auto called = [&] {
        return stopping_.load(std::memory_order_relaxed) || generation_.load(std::memory_order_acquire) != seen;
    };
    for (;;) {
        if (!spin_until(called)) {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, called);
        }
        if (stopping_.load(std::memory_order_relaxed)) return;
        void (*job)(void*) = nullptr;
        void* context = nullptr;
        {
            const std::lock_guard<std::mutex> hold(lock_);
            seen = generation_.load(std::memory_order_relaxed);
            if (index < wanted_) {
                job = job_;
                context = context_;
            }
        }
        if (!job) continue;
        job(context);
        if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            // Taking the lock orders this with a caller about to wait.
            { const std::lock_guard<std::mutex> hold(lock_); }
            finished_.notify_one();
        }
    }
}

}  // namespace Vantrel::QVX

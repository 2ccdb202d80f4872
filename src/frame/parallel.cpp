#include "frame/parallel.h"

namespace Vantrel::QVX {

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
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
        running_ = taking;
        ++generation_;
    }
    if (taking > 0) wake_.notify_all();
    job(context);
    if (taking > 0) {
        std::unique_lock<std::mutex> hold(lock_);
        finished_.wait(hold, [this] { return running_ == 0; });
    }
    busy_.store(false, std::memory_order_release);
}

void WorkerPool::serve(unsigned index) {
    std::unique_lock<std::mutex> hold(lock_);
    // Threads start while a job is being handed out, and that job waits
    // for them.
    uint64_t seen = generation_ - 1;
    for (;;) {
        wake_.wait(hold, [&] { return stopping_ || generation_ != seen; });
        if (stopping_) return;
        seen = generation_;
        if (index >= wanted_) continue;
        void (*job)(void*) = job_;
        void* context = context_;
        hold.unlock();
        job(context);
        hold.lock();
        if (--running_ == 0) finished_.notify_one();
    }
}

}  // namespace Vantrel::QVX

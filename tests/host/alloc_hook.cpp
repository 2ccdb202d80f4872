#include "alloc_hook.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

extern "C" void* __real_calloc(size_t, size_t);
extern "C" void __real_free(void*);

namespace {

// Requests above this always fail, so a hostile frame size cannot take the
// machine's memory (or trip a sanitizer's size check) in a test.
constexpr size_t kCap = size_t(1) << 30;
constexpr size_t kRoom = size_t(1) << 15;

std::mutex lock;
bool armed = false;
size_t fail_at = 0;
alloc_hook::Report report;
size_t tracked = 0;
void* live[kRoom];

// Counts the request; false when it is the one to refuse.
bool admit(size_t n) {
    if (!armed) return true;
    ++report.count;
    if (n > report.largest) report.largest = n;
    if (report.count != fail_at) return true;
    report.failed = true;
    return false;
}

void track(void* p) {
    if (p && armed && tracked < kRoom) live[tracked++] = p;
}

void* allocate(size_t n) {
    void* p = nullptr;
    {
        const std::lock_guard<std::mutex> g(lock);
        if (!admit(n)) return nullptr;
        if (n > kCap) return nullptr;
        p = std::malloc(n ? n : 1);
        track(p);
    }
    if (p) std::memset(p, 0xA7, n);
    return p;
}

void release(void* p) {
    if (!p) return;
    {
        const std::lock_guard<std::mutex> g(lock);
        for (size_t i = 0; i < tracked; ++i)
            if (live[i] == p) {
                live[i] = live[--tracked];
                break;
            }
    }
    __real_free(p);
}

void* allocate_or_throw(size_t n) {
    void* p = allocate(n);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

namespace alloc_hook {

void arm(size_t fail) {
    const std::lock_guard<std::mutex> g(lock);
    report = Report();
    fail_at = fail;
    armed = true;
}

Report disarm() {
    const std::lock_guard<std::mutex> g(lock);
    armed = false;
    report.live = tracked;
    return report;
}

size_t live() {
    const std::lock_guard<std::mutex> g(lock);
    return tracked;
}

}  // namespace alloc_hook

extern "C" void* __wrap_calloc(size_t n, size_t size) {
    const std::lock_guard<std::mutex> g(lock);
    if (!admit(n * size) || (size && n > kCap / size)) return nullptr;
    void* p = __real_calloc(n, size);
    track(p);
    return p;
}

extern "C" void __wrap_free(void* p) { release(p); }

void* operator new(size_t n) { return allocate_or_throw(n); }
void* operator new[](size_t n) { return allocate_or_throw(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept { return allocate(n); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, size_t) noexcept { release(p); }
void operator delete[](void* p, size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

#include "alloc_hook.h"

#include <cstdlib>
#include <new>

namespace {

// Requests above this always fail, so a hostile frame size cannot take the
// machine's memory (or trip a sanitizer's size check) in a test.
constexpr size_t kCap = size_t(1) << 30;
constexpr size_t kRoom = size_t(1) << 15;

bool armed = false;
size_t fail_at = 0;
alloc_hook::Report report;
void* live[kRoom];

void* allocate(size_t n) {
    if (armed) {
        ++report.count;
        if (n > report.largest) report.largest = n;
        if (report.count == fail_at) {
            report.failed = true;
            return nullptr;
        }
    }
    if (n > kCap) return nullptr;
    void* p = std::malloc(n ? n : 1);
    if (p && armed && report.live < kRoom) live[report.live++] = p;
    return p;
}

void release(void* p) {
    if (!p) return;
    if (armed)
        for (size_t i = 0; i < report.live; ++i)
            if (live[i] == p) {
                live[i] = live[--report.live];
                break;
            }
    std::free(p);
}

void* allocate_or_throw(size_t n) {
    void* p = allocate(n);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

namespace alloc_hook {

void arm(size_t fail) {
    report = Report();
    fail_at = fail;
    armed = true;
}

Report disarm() {
    armed = false;
    return report;
}

}  // namespace alloc_hook

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

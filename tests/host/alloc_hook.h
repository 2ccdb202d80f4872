// Replaces the global allocation functions of the test program: while
// armed it counts allocations, can make one of them fail, records the
// largest request and keeps track of the blocks still live.
#pragma once

#include <cstddef>

namespace alloc_hook {

struct Report {
    size_t count = 0;    // allocations while armed
    size_t largest = 0;  // largest request while armed
    size_t live = 0;     // blocks allocated while armed and not freed
    bool failed = false; // the allocation numbered fail_at was refused
};

// fail_at: 1-based number of the allocation to refuse; 0 refuses none.
void arm(size_t fail_at = 0);
Report disarm();

}  // namespace alloc_hook

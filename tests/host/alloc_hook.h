// Replaces the global allocation functions of the test program, and the
// library's calloc (linked with --wrap=calloc,--wrap=free): while armed it
// counts allocations, can make one of them fail, and records the largest
// request. Blocks allocated while armed are tracked until freed, armed or
// not. Every block from operator new starts filled with garbage, so a read
// of memory nobody wrote shows.
#pragma once

#include <cstddef>

namespace alloc_hook {

struct Report {
    size_t count = 0;    // allocations while armed
    size_t largest = 0;  // largest request while armed
    size_t live = 0;     // blocks allocated while armed and not freed by disarm()
    bool failed = false; // the allocation numbered fail_at was refused
};

// fail_at: 1-based number of the allocation to refuse; 0 refuses none.
void arm(size_t fail_at = 0);
Report disarm();
// Blocks allocated while armed (by any arming so far) and not yet freed.
size_t live();

}  // namespace alloc_hook

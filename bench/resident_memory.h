// Resident memory of this process, for the peak of one decode.
#pragma once

#include <cstdint>

namespace qvxbench {

// Resident size now and its peak so far, in bytes (/proc/self/status); 0 if unknown.
uint64_t resident_bytes();
uint64_t peak_resident_bytes();

// Lowers the recorded peak to the present resident size; false if the kernel
// does not offer that.
bool reset_peak_resident();

}  // namespace qvxbench

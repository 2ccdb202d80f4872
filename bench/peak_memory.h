// Peak resident memory of one decode, measured in a fresh process so that
// neither decoder inherits the other's freed pages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qvxbench {

// Resident size now and its peak so far, in bytes (/proc/self/status); 0 if unknown.
uint64_t resident_bytes();
uint64_t peak_resident_bytes();

// Lowers the recorded peak to the present resident size; false if the kernel
// does not offer that.
bool reset_peak_resident();

// Runs this executable again with args and collects its standard output;
// false with a message if it cannot start or does not exit with 0.
bool run_self(const std::vector<std::string>& args, std::string& output, std::string& error);

}  // namespace qvxbench

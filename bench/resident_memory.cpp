#include "resident_memory.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>

namespace qvxbench {

namespace {

uint64_t status_field(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(f, line))
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return uint64_t(std::strtoull(line.c_str() + n + 1, nullptr, 10)) * 1024;  // kB
    return 0;
}

}  // namespace

uint64_t resident_bytes() { return status_field("VmRSS"); }
uint64_t peak_resident_bytes() { return status_field("VmHWM"); }

bool reset_peak_resident() {
    const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
    if (fd < 0) return false;
    const bool ok = ::write(fd, "5", 1) == 1;
    ::close(fd);
    return ok;
}

}  // namespace qvxbench

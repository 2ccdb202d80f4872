#include "peak_memory.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

bool run_self(const std::vector<std::string>& args, std::string& output, std::string& error) {
    int fds[2];
    if (::pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = "fork failed";
        return false;
    }
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> argv;
        static char self[] = "/proc/self/exe";
        argv.push_back(self);
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(self, argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    output.clear();
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        output.append(buf, size_t(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "measuring process failed (status " + std::to_string(status) + ")";
        return false;
    }
    return true;
}

}  // namespace qvxbench

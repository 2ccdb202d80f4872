#include "child_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace qvxbench {

bool run_forked(const std::function<int(int fd)>& work, ChildResult& result, std::string& error) {
    int fds[2];
    if (::pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        error = "fork failed";
        return false;
    }
    if (pid == 0) {
        ::close(fds[0]);
        const int code = work(fds[1]);
        ::close(fds[1]);
        ::_exit(code);
    }
    ::close(fds[1]);
    result.output.clear();
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n > 0) {
            result.output.append(buf, size_t(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            error = "waitpid failed";
            return false;
        }
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return true;
}

bool run_self(const std::vector<std::string>& args, ChildResult& result, std::string& error) {
    return run_forked(
        [&args](int fd) {
            ::dup2(fd, 1);
            ::close(fd);
            std::vector<char*> argv;
            static char self[] = "/proc/self/exe";
            argv.push_back(self);
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            ::execv(self, argv.data());
            return 127;
        },
        result, error);
}

}  // namespace qvxbench

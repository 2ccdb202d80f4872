// Work in separate processes: each comparison case runs in a forked child,
// so a crashing decoder costs one table row, and each peak-memory
// measurement in a freshly started one, so no decoder inherits the pages
// another freed.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace qvxbench {

struct ChildResult {
    std::string output;  // what the child wrote to its pipe
    int exit_code = -1;  // -1 if it ended by a signal
    int signal = 0;
};

// Runs work(fd) in a forked child, fd being a pipe to the parent; the
// child's exit code is work's result. False with a message if no child ran.
bool run_forked(const std::function<int(int fd)>& work, ChildResult& result, std::string& error);

// Runs this executable again with args, its standard output into the pipe.
bool run_self(const std::vector<std::string>& args, ChildResult& result, std::string& error);

}  // namespace qvxbench

// What qvxdec and qvxenc share on the command line: version text, the short
// usage error, "-" for standard input and output, where the decoding
// library's printed lines go, and small JSON and timing helpers.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tool_error.h"

namespace qvxtools {

// "qvxdec 0.1.0 (libQvxDecode 0.1.0)".
std::string version_text(const char* tool);

// Prints "tool: message", the one-line usage and a pointer to --help on
// standard error; returns the usage exit code 2.
int usage_error(const char* tool, const std::string& message, const char* usage_line);

// Strict decimal parsing: the whole text, within lo..hi.
bool parse_number(const std::string& text, long long lo, long long hi, long long& value);

// "-" reads standard input, or writes standard output. Both throw ToolError.
std::vector<uint8_t> read_input(const std::string& path);
void write_output(const std::string& path, const uint8_t* data, size_t size);
inline bool is_stdio(const std::string& path) { return path == "-"; }

// Where the library's own printed lines (colour mode, tone-table name,
// Bayer range) go during a call. The library prints them on standard
// output; the tools move them away when the pixels go there, or drop them.
enum class LibraryLines { Stdout, Stderr, Discard };

// Runs f with the library's lines sent as chosen, then restores standard
// output.
class LibraryLinesScope {
public:
    explicit LibraryLinesScope(LibraryLines where);
    ~LibraryLinesScope();
    LibraryLinesScope(const LibraryLinesScope&) = delete;
    LibraryLinesScope& operator=(const LibraryLinesScope&) = delete;

private:
    int saved_ = -1;
};

template <class F>
auto with_library_lines(LibraryLines where, F&& f) {
    LibraryLinesScope scope(where);
    return f();
}

// Milliseconds since construction, restarted by lap().
class StageClock {
public:
    double lap() {
        const auto now = std::chrono::steady_clock::now();
        const double ms = std::chrono::duration<double, std::milli>(now - start_).count();
        start_ = now;
        return ms;
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// A JSON string literal, quotes included.
std::string json_string(const std::string& text);

}  // namespace qvxtools

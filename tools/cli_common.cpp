#include "cli_common.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "image_io.h"

#ifndef QVX_VERSION_STRING
#define QVX_VERSION_STRING "unknown"
#endif

namespace qvxtools {

std::string version_text(const char* tool) {
    // The tools carry the decoding library inside them, so both versions
    // are the build's.
    return std::string(tool) + " " + QVX_VERSION_STRING + " (libQvxDecode " + QVX_VERSION_STRING + ")";
}

int usage_error(const char* tool, const std::string& message, const char* usage_line) {
    std::fprintf(stderr, "%s: %s\n%sTry '%s --help' for the options.\n", tool, message.c_str(), usage_line, tool);
    return 2;
}

bool parse_number(const std::string& text, long long lo, long long hi, long long& value) {
    if (text.empty() || text.size() > 20) return false;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
    value = v;
    return true;
}

std::vector<uint8_t> read_input(const std::string& path) {
    if (!is_stdio(path)) return read_file(path);
    std::vector<uint8_t> data;
    uint8_t chunk[1 << 16];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0) data.insert(data.end(), chunk, chunk + n);
    if (std::ferror(stdin)) throw ToolError(std::string("cannot read standard input: ") + std::strerror(errno));
    return data;
}

void write_output(const std::string& path, const uint8_t* data, size_t size) {
    if (!is_stdio(path)) return write_file(path, data, size);
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0)
        throw ToolError(std::string("cannot write standard output: ") + std::strerror(errno));
}

LibraryLinesScope::LibraryLinesScope(LibraryLines where) {
    if (where == LibraryLines::Stdout) return;
    std::fflush(stdout);
    const int target = where == LibraryLines::Stderr ? ::dup(2) : ::open("/dev/null", O_WRONLY);
    if (target < 0) return;
    saved_ = ::dup(1);
    if (saved_ >= 0) ::dup2(target, 1);
    ::close(target);
}

LibraryLinesScope::~LibraryLinesScope() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, 1);
    ::close(saved_);
}

std::string json_string(const std::string& text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out += ch;
        }
    }
    return out + "\"";
}

}  // namespace qvxtools

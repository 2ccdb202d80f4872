#include "base/line_sink.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace Vantrel::QVX {

void print_line(const LineSink* sink, const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    if (!sink) {
        std::vprintf(format, args);
        std::fflush(stdout);
    } else if (sink->write) {
        std::va_list again;
        va_copy(again, args);
        char small[256];
        const int n = std::vsnprintf(small, sizeof small, format, args);
        if (n >= 0 && size_t(n) < sizeof small) {
            sink->write(sink->context, small);
        } else if (n >= 0) {
            std::string text(size_t(n) + 1, '\0');
            std::vsnprintf(text.data(), text.size(), format, again);
            sink->write(sink->context, text.c_str());
        }
        va_end(again);
    }
    va_end(args);
}

}  // namespace Vantrel::QVX

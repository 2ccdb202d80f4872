// Where the decoder's diagnostic lines go. The output stages print through
// print_line with the sink of their FrameState: null means standard output,
// exactly as a host that configures nothing expects.
#pragma once

namespace Vantrel::QVX {

struct LineSink {
    // Receives each line whole, line end included; null discards the lines.
    void (*write)(void* context, const char* line) = nullptr;
    void* context = nullptr;
};

// Formats one line (printf rules) and hands it to sink, or prints it to
// standard output and flushes when sink is null.
void print_line(const LineSink* sink, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    ;

}  // namespace Vantrel::QVX

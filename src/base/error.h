// The one error type of the library: a stage throws it with the exact
// message text; only SimpleQvxDecoder::decode catches it.
#pragma once

#include <string>
#include <utility>

namespace Vantrel::QVX {

class QvxError {
public:
    explicit QvxError(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

[[noreturn]] inline void raise(const char* text) { throw QvxError(text); }
[[noreturn]] inline void raise(std::string text) { throw QvxError(std::move(text)); }

}  // namespace Vantrel::QVX

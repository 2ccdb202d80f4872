// The one error type of the command-line tools and their shared helpers.
// Every helper returns its result and throws ToolError with a readable text
// on failure; qvxdec catches it once per input and qvxenc once in main.
#pragma once

#include <stdexcept>
#include <string>

namespace qvxtools {

class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace qvxtools

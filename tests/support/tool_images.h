// Reads an image file the tools wrote, failing the test on a bad file; the
// text of the ToolError a tools call raises.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "image_io.h"

namespace qvxtest {

inline qvxtools::Image read_tool_image(const std::string& path) {
    try {
        return qvxtools::read_image(path);
    } catch (const qvxtools::ToolError& e) {
        ADD_FAILURE() << e.what();
        return {};
    }
}

template <class F>
std::string tool_error_of(F&& f) {
    try {
        f();
    } catch (const qvxtools::ToolError& e) {
        return e.what();
    }
    return "(no error)";
}

}  // namespace qvxtest

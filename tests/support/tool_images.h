// Reads an image file the tools wrote, failing the test on a bad file.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "image_io.h"

namespace qvxtest {

inline qvxtools::Image read_tool_image(const std::string& path) {
    qvxtools::Image img;
    std::string error;
    EXPECT_TRUE(qvxtools::read_image(path, img, error)) << error;
    return img;
}

}  // namespace qvxtest

// A photograph of samples/images/ as the encoder's planes, samples unscaled.
#pragma once

#include <cstdint>
#include <string>

#include "qvx/QvxEncoder.h"
#include "support/tool_images.h"

namespace qvxtest {

inline Vantrel::QVX::enc::ImagePlanes sample_planes(const std::string& name, unsigned* depth = nullptr) {
    const qvxtools::Image img = read_tool_image(std::string(QVX_SOURCE_DIR) + "/samples/images/" + name);
    if (depth) *depth = img.maxval > 255 ? 12 : 8;  // the samples are 8-bit or carry a 12-bit sBIT
    Vantrel::QVX::enc::ImagePlanes p(uint16_t(img.width), uint16_t(img.height), uint8_t(img.channels));
    for (size_t i = 0; i < size_t(img.width) * img.height; ++i)
        for (unsigned c = 0; c < img.channels; ++c) p.planes[c][i] = img.samples[i * img.channels + c];
    return p;
}

}  // namespace qvxtest

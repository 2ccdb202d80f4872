// Frames for stage tests: working planes for the output stages.
#pragma once

#include <algorithm>
#include <memory>
#include <vector>

#include "codestream/frame_state.h"
#include "frame/image_memory.h"
#include "output/bayer.h"
#include "output/lut.h"

namespace qvxtest {

using Vantrel::QVX::FrameState;
using Vantrel::QVX::ImageMemory;

// A FrameState with plain working planes, for the writers.
struct WriterRig {
    FrameState fs;
    std::unique_ptr<Vantrel::QVX::ToneTable> tone = std::make_unique<Vantrel::QVX::ToneTable>();
    ImageMemory planes;
    uint32_t written = 0;

    WriterRig(unsigned width, unsigned height, unsigned nc, unsigned bit_depth, uint8_t mode, uint8_t param = 0,
              uint8_t ct_mode = 0, unsigned stored_width = 0) {
        fs.width = uint16_t(width);
        fs.height = uint16_t(height);
        fs.stored_width = uint16_t(stored_width ? stored_width : width);
        fs.num_components = uint8_t(nc);
        fs.bit_depth = uint8_t(bit_depth);
        fs.bayer_mode = mode;
        fs.bayer_param = param;
        fs.ct_mode = ct_mode;
        planes.reshape(uint16_t(width), uint16_t(height), uint8_t(nc), 1, 0);
    }

    void set(unsigned c, unsigned x, unsigned y, int v) { planes.at(c, x, y) = uint16_t(v); }
    void fill(unsigned c, int v) { std::fill_n(planes.plane(c), planes.plane_size(), uint16_t(v)); }

    // write_bayer into a zeroed buffer of the size the pipeline allocates.
    std::vector<uint8_t> write() {
        std::vector<uint8_t> out(size_t(fs.num_components) * fs.width * fs.height * 2, 0);
        written = Vantrel::QVX::write_bayer(tone.get(), nullptr, nullptr, out.data(), fs, planes);
        return out;
    }
};

// The first `count` big-endian words of a buffer.
inline std::vector<uint16_t> words_of(const std::vector<uint8_t>& bytes, size_t count) {
    std::vector<uint16_t> w(count);
    for (size_t i = 0; i < count; ++i) w[i] = uint16_t(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    return w;
}

}  // namespace qvxtest

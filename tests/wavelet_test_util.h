// Helpers for the wavelet and colour tests: a frame with one store, and a
// reader for the 8-bit PPM/PGM crops under tests/data.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "codestream/frame_state.h"
#include "frame/image_memory.h"

namespace qvxtest {

using Vantrel::QVX::frame_state;
using Vantrel::QVX::image_memory;

// A frame_state whose wavelet_store and ct_store are one scheme-1 store.
struct TestFrame {
    frame_state fs;
    std::unique_ptr<image_memory> store;

    TestFrame(unsigned w, unsigned h, unsigned nc, uint8_t bit_depth, uint8_t w_kernel, uint8_t ct_mode)
        : store(std::make_unique<image_memory>(uint16_t(w), uint16_t(h), uint8_t(nc), 16, 1)) {
        fs.width = uint16_t(w);
        fs.height = uint16_t(h);
        fs.num_components = uint8_t(nc);
        fs.bit_depth = bit_depth;
        fs.w_kernel = w_kernel;
        fs.ct_mode = ct_mode;
        fs.component_format = nc == 3 ? 2 : 1;
        fs.wavelet_store = store.get();
        fs.ct_store = store.get();
    }
    int16_t& at(unsigned c, unsigned x, unsigned y) {
        return store->splane(c)[size_t(y) * fs.width + x];
    }
    void load(unsigned c, const std::vector<uint16_t>& plane) {
        std::copy(plane.begin(), plane.end(), store->plane(c));
    }
    std::vector<uint16_t> plane(unsigned c) const {
        const uint16_t* p = store->plane(c);
        return {p, p + store->plane_size()};
    }
};

// An 8-bit binary PPM (3 planes) or PGM (1 plane), split into planes.
struct Image {
    unsigned width = 0, height = 0;
    std::vector<std::vector<uint16_t>> planes;
};

inline Image read_pnm8(const std::string& name) {
    std::ifstream in(std::string(QVX_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::string magic;
    unsigned maxval = 0;
    Image img;
    in >> magic >> img.width >> img.height >> maxval;
    in.get();
    if (!in || (magic != "P5" && magic != "P6") || maxval != 255) throw std::runtime_error("bad PNM " + name);
    const unsigned nc = magic == "P6" ? 3 : 1;
    std::vector<uint8_t> bytes(size_t(img.width) * img.height * nc);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!in) throw std::runtime_error("short PNM " + name);
    img.planes.assign(nc, std::vector<uint16_t>(size_t(img.width) * img.height));
    for (size_t i = 0; i < bytes.size(); ++i) img.planes[i % nc][i / nc] = bytes[i];
    return img;
}

// Scales 8-bit samples to bit_depth, filling the new low bits from the high
// ones so that the full range 0..2^depth - 1 is used.
inline std::vector<uint16_t> scale_to_depth(const std::vector<uint16_t>& p, unsigned bit_depth) {
    std::vector<uint16_t> out(p.size());
    const unsigned up = bit_depth - 8;
    for (size_t i = 0; i < p.size(); ++i) out[i] = uint16_t((p[i] << up) | (p[i] >> (8 - up)));
    return out;
}

}  // namespace qvxtest

// The 8-bit PPM/PGM photograph crops under tests/data, and PSNR.
#pragma once

#include <cmath>
#include <cstdint>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvxtest {

using Planes = std::vector<std::vector<uint16_t>>;

struct Image {
    unsigned width = 0, height = 0;
    Planes planes;  // 3 for PPM, 1 for PGM
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

inline double psnr(const Planes& a, const Planes& b, unsigned depth) {
    double se = 0, n = 0;
    for (size_t c = 0; c < a.size(); ++c)
        for (size_t i = 0; i < a[c].size(); ++i, ++n) se += (double(a[c][i]) - b[c][i]) * (double(a[c][i]) - b[c][i]);
    const double max = double((1u << depth) - 1);
    return se == 0 ? 99.0 : 10.0 * std::log10(max * max * n / se);
}

}  // namespace qvxtest

#include "compare_image.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qvxbench {

void make_reference_pnm(const std::string& in, const std::string& out) {
    qvxtools::Image img = qvxtools::read_image(in);
    if (img.channels != 1 && img.channels != 3)
        throw qvxtools::ToolError(in + ": only grey and RGB images are compared");
    const uint32_t w = img.width & ~3u, h = img.height & ~3u;
    if (w == 0 || h == 0) throw qvxtools::ToolError(in + ": smaller than 4x4");
    if (w != img.width || h != img.height) {
        std::vector<uint16_t> cut(size_t(w) * h * img.channels);
        for (uint32_t y = 0; y < h; ++y)
            std::copy_n(img.samples.begin() + ptrdiff_t(size_t(y) * img.width * img.channels), size_t(w) * img.channels,
                        cut.begin() + ptrdiff_t(size_t(y) * w * img.channels));
        img.samples = std::move(cut);
        img.width = w;
        img.height = h;
    }
    if (img.maxval == 65535) {
        const uint16_t top = img.samples.empty() ? 0 : *std::max_element(img.samples.begin(), img.samples.end());
        for (unsigned d : {10u, 12u, 14u})
            if (top < (1u << d)) {
                img.maxval = (1u << d) - 1;
                break;
            }
    }
    qvxtools::write_image(out, img);
}

Planes planes_from_be16(const uint8_t* data, uint64_t size, const qvxtools::Image& ref) {
    Planes p;
    p.width = ref.width;
    p.height = ref.height;
    p.components = ref.channels;
    p.samples.resize(size / 2);
    for (size_t i = 0; i < p.samples.size(); ++i) p.samples[i] = uint16_t(data[2 * i] << 8 | data[2 * i + 1]);
    return p;
}

bool same_samples(const Planes& frame, const qvxtools::Image& ref, std::string& where) {
    const size_t plane = size_t(ref.width) * ref.height;
    if (frame.samples.size() != plane * ref.channels) {
        where = "output holds " + std::to_string(frame.samples.size()) + " samples, expected " +
                std::to_string(plane * ref.channels);
        return false;
    }
    for (uint32_t c = 0; c < ref.channels; ++c)
        for (size_t i = 0; i < plane; ++i)
            if (frame.samples[c * plane + i] != ref.samples[i * ref.channels + c]) {
                where = "component " + std::to_string(c) + " x " + std::to_string(i % ref.width) + " y " +
                        std::to_string(i / ref.width) + ": " + std::to_string(frame.samples[c * plane + i]) +
                        " instead of " + std::to_string(ref.samples[i * ref.channels + c]);
                return false;
            }
    return true;
}

double psnr(const Planes& frame, const qvxtools::Image& ref) {
    const size_t plane = size_t(ref.width) * ref.height;
    if (frame.samples.size() != plane * ref.channels) return std::numeric_limits<double>::quiet_NaN();
    double sum = 0;
    for (uint32_t c = 0; c < ref.channels; ++c)
        for (size_t i = 0; i < plane; ++i) {
            const double d = double(frame.samples[c * plane + i]) - double(ref.samples[i * ref.channels + c]);
            sum += d * d;
        }
    if (sum == 0) return std::numeric_limits<double>::infinity();
    const double mse = sum / double(frame.samples.size());
    return 10.0 * std::log10(double(ref.maxval) * ref.maxval / mse);
}

}  // namespace qvxbench

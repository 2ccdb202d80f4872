// A frame's samples: up to four full-size planes of 16-bit cells, with a
// storing scheme that maps (subband, subband position) onto the plane.
// Each component is one contiguous row-major plane. A store can be given a
// new geometry and keeps its memory when the new planes fit, so a decoder
// reuses one store across frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Vantrel::QVX {

// Planes come from calloc: large ones are fresh zero pages that cost
// nothing until a stage writes them.
struct CallocDeleter {
    void operator()(uint16_t* p) const;
};
using PlanePtr = std::unique_ptr<uint16_t[], CallocDeleter>;

class ImageMemory {
public:
    // An empty store with no planes; reshape() gives it a geometry.
    ImageMemory() = default;
    // Cells of a new store start at 0.
    ImageMemory(uint16_t width, uint16_t height, uint8_t num_components, uint8_t num_subbands,
                 uint8_t scheme);
    ~ImageMemory() = default;

    // Validates and takes on a new geometry. Planes that already hold enough
    // cells are kept with whatever they hold; others are replaced by zeroed
    // ones. On a failed check nothing changes.
    void reshape(uint16_t width, uint16_t height, uint8_t num_components, uint8_t num_subbands,
                 uint8_t scheme);
    ImageMemory(const ImageMemory&) = delete;
    ImageMemory& operator=(const ImageMemory&) = delete;

    uint8_t num_components() const { return num_components_; }
    uint8_t num_subbands() const { return num_subbands_; }
    uint8_t scheme() const { return scheme_; }
    uint16_t width() const { return width_; }
    uint16_t height() const { return height_; }
    uint16_t sb_width() const { return sb_width_; }
    uint16_t sb_height() const { return sb_height_; }

    // Plane column / row of subband cell (sb, x) / (sb, y); callers keep the
    // low 16 bits.
    uint32_t subband_column(uint8_t sb, uint16_t x) const;
    uint32_t subband_row(uint8_t sb, uint16_t y) const;

    // Plane cell access: component c, column x, row y.
    uint16_t& at(unsigned c, unsigned x, unsigned y) { return plane(c)[size_t(y) * width_ + x]; }
    uint16_t at(unsigned c, unsigned x, unsigned y) const { return plane(c)[size_t(y) * width_ + x]; }

    uint16_t* plane(unsigned c) { return planes_[c].get(); }
    const uint16_t* plane(unsigned c) const { return planes_[c].get(); }
    int16_t* splane(unsigned c) { return reinterpret_cast<int16_t*>(planes_[c].get()); }
    const int16_t* splane(unsigned c) const { return reinterpret_cast<const int16_t*>(planes_[c].get()); }
    size_t plane_size() const { return size_t(width_) * height_; }


private:
    PlanePtr planes_[4];
    size_t capacity_[4] = {};  // cells each plane can hold
    uint8_t num_components_ = 0;
    uint8_t num_subbands_ = 0;
    uint8_t scheme_ = 0;
    uint16_t width_ = 0;
    uint16_t height_ = 0;
    uint16_t sb_width_ = 0;
    uint16_t sb_height_ = 0;
};

}  // namespace Vantrel::QVX

#include "frame/image_memory.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "base/error.h"
#include "base/format.h"
#include "base/messages.h"

namespace Vantrel::QVX {

void CallocDeleter::operator()(uint16_t* p) const { std::free(p); }

ImageMemory::ImageMemory(uint16_t width, uint16_t height, uint8_t num_components,
                           uint8_t num_subbands, uint8_t scheme) {
    reshape(width, height, num_components, num_subbands, scheme);
}

void ImageMemory::reshape(uint16_t width, uint16_t height, uint8_t num_components,
                           uint8_t num_subbands, uint8_t scheme) {
    uint8_t subbands = 0;
    uint16_t sb_width = 0, sb_height = 0;
    if (width == 0) raise(msg::kPlaneWidthZero);
    if (height == 0) raise(msg::kPlaneHeightZero);
    if (num_components < 1 || num_components > 4)
        raise(msg::kPlaneComponents);
    if (num_subbands > 64) raise(msg::kPlaneSubbands);
    switch (StoringScheme(scheme)) {
        case StoringScheme::kPlain:
            subbands = 1;
            sb_width = width;
            sb_height = height;
            break;
        case StoringScheme::kInterleaved:
            if (width % 4 != 0) raise(msg::kPlaneWidthNot4);
            if (height % 4 != 0) raise(msg::kPlaneHeightNot4);
            subbands = 16;
            sb_width = uint16_t(width / 4);
            sb_height = uint16_t(height / 4);
            break;
        case StoringScheme::kBlocked:
            if (num_subbands == 0) raise(msg::kPlaneSubbands);
            if (width % num_subbands != 0)
                raise(msg::kPlaneWidthNotSubbands);
            subbands = num_subbands;
            sb_width = uint16_t(width / num_subbands);
            sb_height = height;
            break;
        default:
            raise(msg::kPlaneScheme);
    }
    // Planes first, so that a failed allocation leaves a consistent store
    // (the old geometry still fits every plane it names).
    const size_t cells = size_t(width) * height;
    for (unsigned c = 0; c < num_components; ++c) {
        if (capacity_[c] >= cells) continue;
        planes_[c].reset();
        capacity_[c] = 0;
        // Fresh pages from calloc cost nothing until written.
        planes_[c].reset(static_cast<uint16_t*>(std::calloc(cells, sizeof(uint16_t))));
        if (!planes_[c]) {
            num_components_ = uint8_t(std::min<unsigned>(num_components_, c));
            throw std::bad_alloc();
        }
        capacity_[c] = cells;
    }
    num_subbands_ = subbands;
    sb_width_ = sb_width;
    sb_height_ = sb_height;
    scheme_ = scheme;
    width_ = width;
    num_components_ = num_components;
    height_ = height;
}

uint32_t ImageMemory::subband_column(uint8_t sb, uint16_t x) const {
    switch (StoringScheme(scheme_)) {
        case StoringScheme::kPlain: return x;
        case StoringScheme::kInterleaved: return 4u * x + 2u * (sb & 1u) + ((sb >> 3) & 1u);
        case StoringScheme::kBlocked: return uint32_t(sb_width_) * sb + x;
        default: raise(msg::kCellScheme);
    }
}

uint32_t ImageMemory::subband_row(uint8_t sb, uint16_t y) const {
    switch (StoringScheme(scheme_)) {
        case StoringScheme::kPlain: return y;
        case StoringScheme::kInterleaved: return 4u * y + ((sb >> 1) & 3u);
        case StoringScheme::kBlocked: return y;
        default: raise(msg::kCellScheme);
    }
}

}  // namespace Vantrel::QVX

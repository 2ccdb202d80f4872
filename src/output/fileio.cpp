#include "output/fileio.h"

#include <bit>
#include <cstring>
#include <optional>
#include <vector>

#include "base/error.h"
#include "base/messages.h"
#include "base/vector_clones.h"
#include "frame/image_memory.h"
#include "frame/parallel.h"
#include "output/colortransform.h"
#include "output/lut.h"

namespace Vantrel::QVX {

namespace {

// Rows per unit of work: a band's planes and output stay in cache.
constexpr size_t kBandRows = 16;

inline uint16_t swap_bytes(uint16_t v) { return uint16_t((v << 8) | (v >> 8)); }

// Stores one sample high byte first. The output belongs to the caller and
// need not be aligned for 16-bit stores, hence the byte copy (which the
// compiler turns into a plain, vectorised store).
inline void put_be(uint8_t* out, uint16_t v) {
    const uint16_t be = std::endian::native == std::endian::big ? v : swap_bytes(v);
    std::memcpy(out, &be, 2);
}

// Four 16-bit lanes of a 64-bit word, each with its bytes swapped.
inline uint64_t swap_lanes(uint64_t v) {
    return ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
}

QVX_VECTOR_CLONES void interleave(uint8_t* __restrict out, const uint16_t* const* src, size_t nc, size_t w) {
    if (nc == 3) {
        const uint16_t *__restrict a = src[0], *__restrict b = src[1], *__restrict c = src[2];
        size_t x = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // Four pixels as three 64-bit stores instead of twelve 16-bit ones.
            for (; x + 4 <= w; x += 4) {
                const uint64_t w0 = a[x] | uint64_t(b[x]) << 16 | uint64_t(c[x]) << 32 | uint64_t(a[x + 1]) << 48;
                const uint64_t w1 =
                    b[x + 1] | uint64_t(c[x + 1]) << 16 | uint64_t(a[x + 2]) << 32 | uint64_t(b[x + 2]) << 48;
                const uint64_t w2 =
                    c[x + 2] | uint64_t(a[x + 3]) << 16 | uint64_t(b[x + 3]) << 32 | uint64_t(c[x + 3]) << 48;
                const uint64_t words[3] = {swap_lanes(w0), swap_lanes(w1), swap_lanes(w2)};
                std::memcpy(out + 6 * x, words, 24);
            }
        }
        for (; x < w; ++x) {
            put_be(out + 6 * x, a[x]);
            put_be(out + 6 * x + 2, b[x]);
            put_be(out + 6 * x + 4, c[x]);
        }
        return;
    }
    for (size_t c = 0; c < nc; ++c) {
        const uint16_t* __restrict s = src[c];
        for (size_t x = 0; x < w; ++x) put_be(out + 2 * (x * nc + c), s[x]);
    }
}

QVX_VECTOR_CLONES void put_row(uint8_t* __restrict out, const uint16_t* __restrict src, size_t w) {
    for (size_t x = 0; x < w; ++x) put_be(out + 2 * x, src[x]);
}

void map_row(uint16_t* __restrict dst, const uint16_t* __restrict src, size_t w, const SampleMap& m) {
    const uint16_t* map = m.map.data();
    const uint16_t mask = m.mask;
    for (size_t x = 0; x < w; ++x) dst[x] = map[src[x] & mask];
}

}  // namespace

uint32_t write_frame(ToneTable* table, const char* lut_path, const LineSink* sink, uint8_t* out,
                     const FrameState& fs, const ImageMemory& store, bool interleaved, const SampleFinish& finish,
                     Workers workers) {
    const size_t w = fs.width, h = fs.height, nc = fs.num_components, stride = store.width();

    // The writer's own application of the table comes after the stage's.
    std::optional<SampleMap> map;
    if (fs.lut_used == 1) {
        load_lut(*table, lut_path, fs.bit_depth, sink);
        map = finish.lut ? compose(*finish.lut, sample_map(*table)) : sample_map(*table);
    } else if (finish.lut) {
        map = *finish.lut;
    }
    const ColorRule* color = nc >= 3 ? finish.color : nullptr;

    const size_t bands = (h + kBandRows - 1) / kBandRows;
    parallel_for(workers, bands, [&](size_t band) {
        std::vector<uint16_t> samples(nc * w);
        for (size_t y = band * kBandRows; y < std::min(h, (band + 1) * kBandRows); ++y) {
            const uint16_t* src[4] = {};
            for (size_t c = 0; c < nc; ++c) src[c] = store.plane(unsigned(c)) + y * stride;
            if (color) {
                uint16_t* s = samples.data();
                color_transform_row(*color, store.splane(0) + y * stride, store.splane(1) + y * stride,
                                    store.splane(2) + y * stride, s, s + w, s + 2 * w, w);
                for (size_t c = 0; c < 3; ++c) src[c] = s + c * w;
            }
            if (map) {
                for (size_t c = 0; c < nc; ++c) {
                    map_row(samples.data() + c * w, src[c], w, *map);
                    src[c] = samples.data() + c * w;
                }
            }
            if (interleaved) {
                interleave(out + y * w * nc * 2, src, nc, w);
            } else {
                for (size_t c = 0; c < nc; ++c) put_row(out + ((c * h + y) * w) * 2, src[c], w);
            }
        }
    });
    return uint32_t(nc * w * h * 2);
}

uint32_t write_subsampled(uint8_t* out, const FrameState& fs, const ImageMemory& store, const SampleFinish& finish,
                          Workers workers) {
    if (fs.num_components != 3)
        raise(msg::kSubsampledComponents);
    const size_t w = fs.width, h = fs.height, stride = store.width();
    const SampleMap* map = finish.lut;

    const size_t bands = (h + kBandRows - 1) / kBandRows;
    parallel_for(workers, bands, [&](size_t band) {
        std::vector<uint16_t> samples(2 * w);
        for (size_t y = band * kBandRows; y < std::min(h, (band + 1) * kBandRows); ++y) {
            const uint16_t* yrow = store.plane(0) + y * stride;
            const uint16_t* cb = store.plane(1) + y * stride;
            const uint16_t* cr = store.plane(2) + y * stride;
            if (map) {
                // Luma, then the w / 2 used samples of each chroma row.
                map_row(samples.data(), yrow, w, *map);
                map_row(samples.data() + w, cb, w / 2, *map);
                map_row(samples.data() + w + w / 2, cr, w / 2, *map);
                yrow = samples.data();
                cb = yrow + w;
                cr = cb + w / 2;
            }
            uint8_t* __restrict dst = out + y * w * 4;
            for (size_t k = 0; k < w / 2; ++k) {
                put_be(dst + 8 * k, cb[k]);
                put_be(dst + 8 * k + 2, yrow[2 * k]);
                put_be(dst + 8 * k + 4, cr[k]);
                put_be(dst + 8 * k + 6, yrow[2 * k + 1]);
            }
        }
    });
    std::memset(out + 4 * w * h, 0, 2 * w * h);
    return uint32_t(4 * w * h);
}

}  // namespace Vantrel::QVX

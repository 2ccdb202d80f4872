#include "output/fileio.h"

#include <algorithm>
#include <memory>
#include <new>

#include "api/QVXDecoder.h"
#include "api/error.h"
#include "frame/image_memory.h"
#include "output/lut.h"

namespace Vantrel::QVX {

namespace {

std::unique_ptr<uint16_t[]> temp_words(size_t count) {
    std::unique_ptr<uint16_t[]> p(new (std::nothrow) uint16_t[count ? count : 1]);
    if (!p) raise("ERROR: malloc failed");
    return p;
}

}  // namespace

void store_big_endian(uint8_t* out, const uint16_t* words, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        out[2 * i] = uint8_t(words[i] >> 8);
        out[2 * i + 1] = uint8_t(words[i]);
    }
}

uint32_t write_frame(QVXCodec& codec, uint8_t* out, frame_state& fs, bool interleaved) {
    const image_memory& store = *fs.out_store;
    const size_t w = fs.width, h = fs.height, nc = fs.num_components;
    const size_t plane = w * h;
    auto words = temp_words(nc * plane);
    if (interleaved) {
        for (size_t c = 0; c < nc; ++c) {
            const uint16_t* src = store.plane(unsigned(c));
            uint16_t* dst = words.get() + c;
            for (size_t i = 0; i < plane; ++i) dst[i * nc] = src[i];
        }
    } else {
        for (size_t c = 0; c < nc; ++c) {
            const uint16_t* src = store.plane(unsigned(c));
            std::copy(src, src + plane, words.get() + c * plane);
        }
    }
    if (fs.lut_used == 1) {
        load_lut(codec, fs.lut_path, fs.bit_depth);
        map_samples(codec, words.get(), nc * plane);
    }
    store_big_endian(out, words.get(), nc * plane);
    return uint32_t(nc * plane * 2);
}

uint32_t write_subsampled(uint8_t* out, frame_state& fs) {
    const size_t w = fs.width, h = fs.height;
    auto words = temp_words(size_t(fs.num_components) * w * h);
    if (fs.num_components != 3)
        raise("ERROR: load_frame() - fileio: only 3 components with color subsampling implemented!");
    const image_memory& store = *fs.out_store;
    uint16_t* dst = words.get();
    for (size_t y = 0; y < h; ++y) {
        const uint16_t* yrow = store.plane(0) + y * w;
        const uint16_t* cb = store.plane(1) + y * w;
        const uint16_t* cr = store.plane(2) + y * w;
        for (size_t x = 0; x < w; x += 2) {
            *dst++ = cb[x / 2];
            *dst++ = yrow[x];
            *dst++ = cr[x / 2];
            *dst++ = yrow[x + 1];
        }
    }
    store_big_endian(out, words.get(), 2 * w * h);
    return uint32_t(4 * w * h);
}

}  // namespace Vantrel::QVX

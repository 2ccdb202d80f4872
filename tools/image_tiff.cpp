// TIFF reading and writing through libtiff, on memory buffers. Samples of
// 9 to 15 significant bits are stored unscaled in 16-bit samples, with the
// largest value the depth allows in SMaxSampleValue, so that readers get
// the bit depth back.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image_io.h"

namespace qvxtools {

namespace {

struct MemoryFile {
    const uint8_t* data = nullptr;  // reading
    std::vector<uint8_t>* out = nullptr;  // writing
    uint64_t size = 0;
    uint64_t pos = 0;
};

tmsize_t mem_read(thandle_t h, void* buf, tmsize_t n) {
    auto& f = *static_cast<MemoryFile*>(h);
    if (!f.data || n < 0) return 0;
    const uint64_t take = std::min<uint64_t>(uint64_t(n), f.pos < f.size ? f.size - f.pos : 0);
    if (take) std::memcpy(buf, f.data + f.pos, take);
    f.pos += take;
    return tmsize_t(take);
}

tmsize_t mem_write(thandle_t h, void* buf, tmsize_t n) {
    auto& f = *static_cast<MemoryFile*>(h);
    if (!f.out || n < 0) return 0;
    const uint64_t end = f.pos + uint64_t(n);
    if (end > f.out->size()) f.out->resize(end);
    std::memcpy(f.out->data() + f.pos, buf, size_t(n));
    f.pos = end;
    f.size = std::max(f.size, end);
    return n;
}

toff_t mem_seek(thandle_t h, toff_t off, int whence) {
    auto& f = *static_cast<MemoryFile*>(h);
    uint64_t base = whence == SEEK_CUR ? f.pos : whence == SEEK_END ? f.size : 0;
    f.pos = base + off;
    return f.pos;
}

int mem_close(thandle_t) { return 0; }
toff_t mem_size(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int mem_map(thandle_t, void**, toff_t*) { return 0; }
void mem_unmap(thandle_t, void*, toff_t) {}

// libtiff reports through process-wide handlers; the last error of this
// thread is kept for the message.
thread_local char tiff_message[256];

void on_error(const char* module, const char* fmt, va_list ap) {
    char text[200];
    std::vsnprintf(text, sizeof text, fmt, ap);
    std::snprintf(tiff_message, sizeof tiff_message, "%s%s%s", module ? module : "", module ? ": " : "", text);
}
void on_warning(const char*, const char*, va_list) {}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

Tiff open_memory(MemoryFile& f, const char* mode) {
    TIFFSetErrorHandler(on_error);
    TIFFSetWarningHandler(on_warning);
    tiff_message[0] = '\0';
    return Tiff(TIFFClientOpen("image", mode, &f, mem_read, mem_write, mem_seek, mem_close, mem_size, mem_map,
                               mem_unmap));
}

std::string last_message(const char* fallback) { return tiff_message[0] ? tiff_message : fallback; }

}  // namespace

bool is_tiff(const uint8_t* data, size_t size) {
    return size >= 4 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
                         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42));
}

Image decode_tiff(const uint8_t* data, size_t size) {
    MemoryFile f;
    f.data = data;
    f.size = size;
    Tiff tif = open_memory(f, "rm");
    if (!tif) throw ToolError("corrupt TIFF file: " + last_message("cannot open"));
    uint32_t width = 0, height = 0;
    uint16_t spp = 1, bits = 1, format = SAMPLEFORMAT_UINT, config = PLANARCONFIG_CONTIG, photometric = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &config);
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    if (spp < 1 || spp > 4 || (bits != 8 && bits != 16) || format != SAMPLEFORMAT_UINT ||
        config != PLANARCONFIG_CONTIG ||
        (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_RGB))
        throw ToolError("unsupported TIFF layout (8 or 16-bit unsigned grey, grey+alpha, RGB or RGBA, interleaved)");
    if (width == 0 || height == 0 || width > kMaxImageSide || height > kMaxImageSide ||
        size_t(width) * height * spp > kMaxImageSamples)
        throw ToolError("bad TIFF image size " + std::to_string(width) + "x" + std::to_string(height));
    Image image;
    image.width = width;
    image.height = height;
    image.channels = spp;
    image.maxval = bits == 16 ? 65535 : 255;
    double smax = 0;
    if (bits == 16 && TIFFGetField(tif.get(), TIFFTAG_SMAXSAMPLEVALUE, &smax))
        for (unsigned d = 9; d < 16; ++d)
            if (smax == double((1u << d) - 1)) image.maxval = (1u << d) - 1;
    image.samples.resize(image.sample_count());
    const tmsize_t line = TIFFScanlineSize(tif.get());
    const size_t row_samples = size_t(width) * spp;
    if (line <= 0 || size_t(line) != row_samples * (bits / 8)) throw ToolError("inconsistent TIFF row size");
    std::vector<uint8_t> row(static_cast<size_t>(line));
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif.get(), row.data(), y, 0) < 0)
            throw ToolError("corrupt TIFF file: " + last_message("cannot read a row"));
        uint16_t* dst = image.samples.data() + y * row_samples;
        if (bits == 16) {
            // libtiff hands out native-order samples.
            std::memcpy(dst, row.data(), row_samples * 2);
        } else {
            for (size_t i = 0; i < row_samples; ++i) dst[i] = row[i];
        }
    }
    for (uint16_t v : image.samples)
        if (v > image.maxval)
            throw ToolError("sample value " + std::to_string(v) + " above the SMaxSampleValue " +
                            std::to_string(image.maxval));
    return image;
}

std::vector<uint8_t> encode_tiff(const Image& image) {
    check_image(image);
    std::vector<uint8_t> out;
    MemoryFile f;
    f.out = &out;
    const bool wide = image.maxval > 255;
    {
        Tiff tif = open_memory(f, "w");
        if (!tif) throw ToolError("cannot write TIFF: " + last_message("out of memory"));
        TIFF* t = tif.get();
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, image.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, image.height);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, uint16_t(image.channels));
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(wide ? 16 : 8));
        TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, uint16_t(SAMPLEFORMAT_UINT));
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, uint16_t(PLANARCONFIG_CONTIG));
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(image.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK));
        TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_NONE));
        TIFFSetField(t, TIFFTAG_ORIENTATION, uint16_t(ORIENTATION_TOPLEFT));
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        if (image.channels == 2 || image.channels == 4) {
            const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
        }
        if (wide) {
            TIFFSetField(t, TIFFTAG_SMINSAMPLEVALUE, 0.0);
            TIFFSetField(t, TIFFTAG_SMAXSAMPLEVALUE, double(image.maxval));
        }
        const size_t row_samples = size_t(image.width) * image.channels;
        std::vector<uint8_t> row(row_samples * (wide ? 2 : 1));
        for (uint32_t y = 0; y < image.height; ++y) {
            const uint16_t* src = image.samples.data() + y * row_samples;
            if (wide) {
                std::memcpy(row.data(), src, row.size());
            } else {
                for (size_t i = 0; i < row_samples; ++i) row[i] = uint8_t(src[i]);
            }
            if (TIFFWriteScanline(t, row.data(), y, 0) < 0)
                throw ToolError("cannot write TIFF: " + last_message("row failed"));
        }
    }
    out.resize(f.size);
    return out;
}

}  // namespace qvxtools

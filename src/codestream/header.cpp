#include "codestream/header.h"

#include "base/error.h"
#include "base/messages.h"
#include "base/mosaic_geometry.h"

namespace Vantrel::QVX {

namespace {

// Little-endian field reader that never reads past the input's size.
class HeaderReader {
public:
    explicit HeaderReader(mem_data& in) : in_(in) {}

    uint64_t count = 0;  // header bytes consumed so far

    const unsigned char* take(uint64_t n) {
        const uint64_t left = in_.bytes_read < in_.size ? in_.size - in_.bytes_read : 0;
        if (n > left) raise(msg::kHeaderTruncated);
        const unsigned char* p = in_.data;
        in_.data += n;
        in_.bytes_read += n;
        count += n;
        return p;
    }
    uint8_t u8() { return *take(1); }
    uint16_t u16() {
        const unsigned char* p = take(2);
        return uint16_t(p[0] | (p[1] << 8));
    }
    uint32_t u32() {
        const unsigned char* p = take(4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }

private:
    mem_data& in_;
};

}  // namespace

void read_header(mem_data& input, StreamHeader& fs) {
    HeaderReader r(input);
    const uint16_t w0 = r.u16();
    const uint16_t w1 = r.u16();
    if (w0 == kMagicWord && w1 == kMagicMarker) {
        fs.version = r.u16();
        fs.rc_window = int16_t(r.u16());
        fs.rc_drain = r.u16();
    } else {
        fs.version = 0;
        fs.rc_window = int16_t(w0);
        fs.rc_drain = w1;
    }
    const uint16_t version = fs.version;
    const uint16_t width_read = r.u16();
    fs.width = width_read;
    fs.stored_width = width_read;
    fs.height = r.u16();

    const uint8_t mode = r.u8();
    if (version >= 3) {
        fs.ct_mode = mode & 0x0F;
        fs.pred_mode = mode >> 4;
    } else {
        fs.ct_mode = mode;
    }

    fs.component_format = r.u8();
    fs.num_components = components_for_format(fs.component_format);
    fs.lut_used = r.u8();
    fs.bit_depth = r.u8();

    const uint32_t buffer_field = r.u32();
    // From version 5 on the field carries the size's base-2 logarithm.
    fs.buffer_size = version >= 5 ? 1u << (buffer_field % 32) : buffer_field;
    fs.fill_level = r.u32();
    fs.w_kernel = r.u8();
    fs.qp_count = r.u16();
    if (fs.qp_count > kQpTableRoom) raise(msg::kQpCountTooLarge);
    fs.qp_table[fs.qp_count] = 0;
    const unsigned char* table = r.take(fs.qp_count);
    for (uint32_t i = 0; i < fs.qp_count; ++i) fs.qp_table[i] = int8_t(table[i]);

    if (version >= 4) {
        fs.bayer_mode = r.u8();
        fs.bayer_param = r.u8();
    }
    if (fs.bayer_mode == 5) fs.width = uint16_t(mosaic_width(width_read, 5, 0, width_read));

    const unsigned blocks = header_param_blocks(version, fs.num_components);
    for (unsigned c = 0; c < blocks; ++c) {
        const unsigned char* b = r.take(16);
        for (unsigned i = 0; i < 16; ++i) fs.component_params[c][i / 4][i % 4] = b[i];
    }
    if (version < 4)
        for (unsigned c = 1; c < fs.num_components; ++c)
            for (unsigned i = 0; i < 16; ++i) fs.component_params[c][i / 4][i % 4] = fs.component_params[0][i / 4][i % 4];

    // From version 3 on a reserved word ends the fields; before, the
    // prediction mode does.
    if (version >= 3) r.u16();
    else fs.pred_mode = r.u8();

    const uint64_t count = r.count;
    const uint64_t align = header_alignment(version);
    if (align && count % align) r.take(align - count % align);

    // Version 5 ends with eight words the decoder does not use.
    if (version == 5)
        for (unsigned i = 0; i < 8; ++i) r.u16();
}

}  // namespace Vantrel::QVX

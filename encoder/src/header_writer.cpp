#include <cstddef>
#include <utility>

#include "base/format.h"
#include "byte_sink.h"
#include "header_writer.h"
#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

std::vector<uint8_t> write_header(const EncoderSettings& s) {
    const uint16_t v = s.version;
    if (s.qp_table.size() > size_t(kQpTableRoom)) throw EncodeError("qp_table holds more than 2163 entries");
    if (v >= 3 && (s.ct_mode > 15 || s.pred_mode > 15))
        throw EncodeError("ct_mode and pred_mode must be below 16 from version 3 on");
    if (v >= 4 && format_components(s.component_format) == 0) throw EncodeError("component_format must be 1 to 4");
    if (v == 0 && !s.version0_magic && uint16_t(s.rc_window) == kMagicWord && s.rc_drain == kMagicMarker)
        // The decoder would take these two words for the magic.
        throw EncodeError("an unversioned header cannot start with rc_window 0x5156, rc_drain 0xFFFF");
    return lay_out_header(s);
}

std::vector<uint8_t> lay_out_header(const EncoderSettings& s) {
    const uint16_t v = s.version;
    const unsigned blocks = header_param_blocks(v, format_components(s.component_format));
    ByteSink out;
    if (v != 0 || s.version0_magic) {
        out.u16(kMagicWord);
        out.u16(kMagicMarker);
        out.u16(v);
    }
    out.u16(uint16_t(s.rc_window));
    out.u16(s.rc_drain);
    out.u16(s.width);
    out.u16(s.height);
    out.u8(v >= 3 ? uint8_t(s.ct_mode | (s.pred_mode << 4)) : s.ct_mode);
    out.u8(s.component_format);
    out.u8(s.lut_used);
    out.u8(s.bit_depth);
    out.u32(v >= 5 ? s.buffer_size_log2 : s.buffer_size);
    out.u32(s.fill_level);
    out.u8(s.w_kernel);
    out.u16(uint16_t(s.qp_table.size()));
    for (int8_t e : s.qp_table) out.u8(uint8_t(e));
    if (v >= 4) {
        out.u8(s.bayer_mode);
        out.u8(s.bayer_param);
    }
    for (unsigned c = 0; c < blocks; ++c)
        for (unsigned g = 0; g < 4; ++g)
            for (unsigned b = 0; b < 4; ++b) out.u8(s.component_params[c][g][b]);
    if (v >= 3) out.u16(s.reserved_word);
    else out.u8(s.pred_mode);

    const size_t align = header_alignment(v);
    while (align && out.bytes.size() % align) out.u8(0);
    if (v == 5)
        for (uint16_t w : s.v5_words) out.u16(w);
    return std::move(out.bytes);
}

}  // namespace Vantrel::QVX::enc

#include "entropy/line_buffer.h"

#include "base/error.h"
#include "base/messages.h"

namespace Vantrel::QVX {

void LineBuffer::setup(const FrameState& fs) {
    packet_done = false;
    buffer_size = int32_t(fs.buffer_size);
    rc_drain = fs.rc_drain;
    version = fs.version;
    num_components = fs.num_components;
    if (fs.rc_drain == 0) {
        drain = 0;
    } else {
        drain = fs.rc_drain;
        if (fs.buffer_size == 0xFFFFFFFFu) raise(msg::kBufferSizeUnset);
    }
    fill_level = int32_t(fs.fill_level);
    const int32_t w4 = fs.width >> 2;
    const int32_t v = fs.rc_window;
    window_positions = v >= 0 ? (w4 * v) / 4 : w4 / v;
    if (window_positions == 0) raise(msg::kZeroWindow);
    base_qp = fs.qp_entry(0);
    const int32_t q = fs.rc_drain ? rate_control(base_qp) : base_qp;
    for (int32_t& slot : qt_pipeline) slot = q;
}

int32_t LineBuffer::rate_control(int32_t base) const {
    int32_t r;
    if (fill_level < buffer_size)
        r = buffer_size != 0 ? int32_t((int64_t(fill_level) * 512) / buffer_size) : 0;
    else
        r = 511;
    const int16_t e = int16_t(r - 256);
    const int16_t f = int16_t(e >= 0 ? 64 - base : base);
    const int16_t t1 = int16_t((int32_t(e) * e) >> 2);
    const int16_t t2 = int16_t((int32_t(t1) * e) >> 8);
    const int16_t t3 = int16_t((int32_t(t2) * f) >> 14);
    int32_t q = int8_t(uint8_t(base + t3));
    if (q > 63) raise(msg::kQTooLarge);
    if (q < 0) q = 0;
    return q;
}

}  // namespace Vantrel::QVX

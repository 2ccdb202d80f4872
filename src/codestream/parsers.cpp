#include "codestream/parsers.h"

#include <bit>
#include <cstdio>

namespace Vantrel::QVX {

namespace {

// Reads the packet bytes of the input record and never touches a byte at or
// past `size`: every read is preceded by one of the tests below.
class Cursor {
public:
    explicit Cursor(mem_data& in) : in_(in) {}

    uint64_t count() const { return in_.bytes_read; }
    uint64_t left() const { return in_.bytes_read < in_.size ? in_.size - in_.bytes_read : 0; }
    // A header unit of u bytes "reaches the size" when count + u >= size.
    bool reaches(uint64_t u) const { return u >= left(); }
    // Data words and skipped bytes only need to fit.
    bool fits(uint64_t u) const { return u <= left(); }

    uint8_t byte() {
        const uint8_t b = in_.data[0];
        advance(1);
        return b;
    }
    uint32_t le32() {
        const unsigned char* p = in_.data;
        advance(4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    uint32_t be32() {
        const unsigned char* p = in_.data;
        advance(4);
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }
    void advance(uint64_t n) {
        in_.data += n;
        in_.bytes_read += n;
    }

private:
    mem_data& in_;
};

// Running maximum of the lengths in header order; ties go to the later stream.
struct Dominant {
    uint32_t length = 0;
    uint32_t stream = 0;
    void track(uint32_t s, uint32_t len) {
        if (len >= length) {
            length = len;
            stream = s;
        }
    }
};

constexpr uint32_t kMaxLength = 16;

// count: bytes read including the unit that does not fit; first_unit: size
// of the packet's first unit, which is not counted as ignored.
void report_truncation(QVXCodestreamParser& p, uint64_t count, uint64_t packet_start, uint64_t first_unit) {
    char text[96];
    std::snprintf(text, sizeof text, "Truncated stream after %lu bytes read\n", (unsigned long)count);
    p.onMessage(text);
    std::snprintf(text, sizeof text, "Ignored %lu bytes\n", (unsigned long)(count - packet_start - first_unit));
    p.onMessage(text);
}

void report_illegal_length(QVXCodestreamParser& p, uint32_t length, uint64_t count, uint32_t stream) {
    char text[128];
    std::snprintf(text, sizeof text, "Illegal subband length (%u) in header at pos 0x%08lx, sb_idx=%u\n", length,
                  (unsigned long)count, stream);
    p.onMessage(text);
}

}  // namespace


void QVXCodestreamParser_v1::parse_v1(const frame_state& fs, mem_data& input) {
    Cursor in(input);
    const uint32_t streams = 16u * fs.num_components;
    if (streams == 0) return;
    for (;;) {
        Dominant dom;
        for (uint32_t s = 0; s < streams; ++s) {
            if (in.reaches(1)) return;
            const uint8_t b = in.byte();
            onHeaderByte(b);
            const uint32_t len = b & 0x7Fu;
            onSubbandLength(s, len);
            dom.track(s, len);
            for (uint32_t i = 0; i < len; ++i) {
                if (!in.fits(4)) return;
                onSubbandWord(in.le32(), s);
            }
            onSubbandEnd(s);
        }
        onPacketEnd(dom.stream);
    }
}

void QVXCodestreamParser_v2::parse_v2(const frame_state& fs, mem_data& input) {
    Cursor in(input);
    const uint32_t ncomp = fs.num_components;
    if (ncomp == 0) return;
    for (;;) {
        const uint64_t start = in.count();
        Dominant dom;
        for (uint32_t c = 0; c < ncomp; ++c) {
            uint32_t w[3];
            for (int i = 0; i < 3; ++i) {
                if (in.reaches(4)) {
                    if (c != 0 || i != 0) report_truncation(*this, in.count() + 4, start, 4);
                    return;
                }
                w[i] = in.le32();
                onHeaderWord(w[i]);
            }
            // Lengths are five-bit fields of the 96-bit number w[2]:w[1]:w[0],
            // from the least significant bit up.
            uint32_t len[16];
            for (uint32_t j = 0; j < 16; ++j) {
                const uint32_t pos = 5 * j, word = pos / 32, off = pos % 32;
                uint32_t v = w[word] >> off;
                if (off > 27) v |= w[word + 1] << (32 - off);
                len[j] = v & 31u;
                if (len[j] > kMaxLength) {
                    report_illegal_length(*this, len[j], in.count(), c * 16 + j);
                    return;
                }
                dom.track(c * 16 + j, len[j]);
            }
            for (uint32_t j = 0; j < 16; ++j) {
                const uint32_t s = c * 16 + j;
                onSubbandLength(s, len[j]);
                for (uint32_t i = 0; i < len[j]; ++i) {
                    if (!in.fits(4)) return;
                    onSubbandWord(in.le32(), s);
                }
                onSubbandEnd(s);
            }
        }
        onPacketEnd(dom.stream);
    }
}

void QVXCodestreamParser_v3::parse_v3(const frame_state& fs, mem_data& input) {
    Cursor in(input);
    const uint32_t ncomp = fs.num_components;
    if (ncomp == 0) return;
    for (;;) {
        const uint64_t start = in.count();
        Dominant dom;
        for (uint32_t c = 0; c < ncomp; ++c) {
            uint8_t h[10];
            for (int i = 0; i < 10; ++i) {
                if (in.reaches(1)) {
                    if (c != 0 || i != 0) report_truncation(*this, in.count() + 1, start, 1);
                    return;
                }
                h[i] = in.byte();
                onHeaderByte(h[i]);
            }
            // Lengths are five-bit fields of the 80-bit number h[0]..h[9],
            // from the most significant bit down.
            uint32_t len[16];
            for (uint32_t j = 0; j < 16; ++j) {
                const uint32_t pos = 5 * j, at = pos / 8, off = pos % 8;
                const uint32_t pair = uint32_t(h[at]) << 8 | (at + 1 < 10 ? h[at + 1] : 0u);
                len[j] = (pair >> (11 - off)) & 31u;
                if (len[j] > kMaxLength) {
                    report_illegal_length(*this, len[j], in.count(), c * 16 + j);
                    return;
                }
                dom.track(c * 16 + j, len[j]);
            }
            if (!in.fits(2)) return;
            in.advance(2);
            for (uint32_t j = 0; j < 16; ++j) {
                const uint32_t s = c * 16 + j;
                onSubbandLength(s, len[j]);
                for (uint32_t i = 0; i < len[j]; ++i) {
                    if (!in.fits(4)) return;
                    onSubbandWord(in.be32(), s);
                }
                onSubbandEnd(s);
            }
        }
        onPacketEnd(dom.stream);
    }
}

void QVXCodestreamParser_v6::parse_v6(const frame_state& fs, mem_data& input) {
    Cursor in(input);
    const uint32_t ncomp = fs.num_components;
    if (ncomp == 0 || ncomp > 4) return;
    // A row is 2^b bits, b the bit length of 5 * ncomp: padding first, then
    // one five-bit length per component, most significant bits first.
    const uint32_t n = 5 * ncomp;
    const uint32_t row_bits = 1u << std::bit_width(n);
    const uint32_t row_bytes = row_bits / 8;
    for (;;) {
        const uint64_t start = in.count();
        Dominant dom;
        uint32_t len[64] = {};
        for (uint32_t j = 0; j < 16; ++j) {
            uint32_t row = 0;
            for (uint32_t i = 0; i < row_bytes; ++i) {
                if (in.reaches(1)) {
                    if (j != 0 || i != 0) report_truncation(*this, in.count() + 1, start, 1);
                    return;
                }
                const uint8_t b = in.byte();
                onHeaderByte(b);
                row = row << 8 | b;
            }
            for (uint32_t c = 0; c < ncomp; ++c) {
                const uint32_t s = c * 16 + j;
                len[s] = (row >> (5 * (ncomp - 1 - c))) & 31u;
                if (len[s] > kMaxLength) {
                    report_illegal_length(*this, len[s], in.count(), s);
                    return;
                }
                dom.track(s, len[s]);
            }
        }
        // Words are interleaved: every stream's k-th word in row-major order.
        for (uint32_t k = 0; k < 16; ++k) {
            for (uint32_t j = 0; j < 16; ++j) {
                for (uint32_t c = 0; c < ncomp; ++c) {
                    const uint32_t s = c * 16 + j;
                    onSubbandLength(s, len[s]);
                    if (len[s] > k) {
                        if (!in.fits(4)) return;
                        onSubbandWord(in.be32(), s);
                    }
                    onSubbandEnd(s);
                }
            }
        }
        onPacketEnd(dom.stream);
    }
}

void QVXCodestreamParser_v6::parse_version(const frame_state& fs, mem_data& input) {
    if (fs.version <= 1) parse_v1(fs, input);
    else if (fs.version == 2) parse_v2(fs, input);
    else if (fs.version <= 6) parse_v3(fs, input);
    else parse_v6(fs, input);
}

}  // namespace Vantrel::QVX

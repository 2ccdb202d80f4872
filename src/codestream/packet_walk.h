// The packet layouts of every codestream version, one function each, walked
// once over the input after the header. A layout hands the stream words to
// a small sink whose calls are resolved at compile time:
//
//   word(w, s)        a data word of stream s, in delivery order
//   packet_end(s)     a whole packet ended; s is its dominant stream
//   count(s, n)       with kCountOnly: n words of stream s, all present,
//                     instead of n calls of word()
//   diagnostic(text)  with kDiagnostics: where and why the walk stopped
//                     early; texts are only formatted for such a sink
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>

#include "base/messages.h"
#include "codestream/frame_state.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX::packet_walk {

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

inline constexpr uint32_t kMaxLength = kMaxPacketWords;

// A sink with done() ends the walk at a packet end once it says so.
template <class Sink>
bool walk_done(const Sink& sink) {
    if constexpr (requires { sink.done(); }) return sink.done();
    else return false;
}

// count: bytes read including the unit that does not fit; first_unit: size
// of the packet's first unit, which is not counted as ignored.
template <class Sink>
void report_truncation(Sink& sink, uint64_t count, uint64_t packet_start, uint64_t first_unit) {
    if constexpr (Sink::kDiagnostics) {
        char text[96];
        std::snprintf(text, sizeof text, msg::kTruncatedStream, (unsigned long)count);
        sink.diagnostic(text);
        std::snprintf(text, sizeof text, msg::kIgnoredBytes, (unsigned long)(count - packet_start - first_unit));
        sink.diagnostic(text);
    }
}

template <class Sink>
void report_illegal_length(Sink& sink, uint32_t length, uint64_t count, uint32_t stream) {
    if constexpr (Sink::kDiagnostics) {
        char text[128];
        std::snprintf(text, sizeof text, msg::kIllegalLength, length, (unsigned long)count, stream);
        sink.diagnostic(text);
    }
}

// Delivers the words of the sixteen streams of component c in order; false
// when a word does not fit in the input.
template <class Sink, class ReadWord>
bool deliver_component(Sink& sink, Cursor& in, uint32_t c, const uint32_t* len, ReadWord read) {
    for (uint32_t j = 0; j < 16; ++j) {
        const uint32_t s = c * 16 + j;
        if (!in.fits(uint64_t(4) * len[j])) {
            // Deliver the words that do fit, then stop.
            while (in.fits(4)) sink.word(read(in), s);
            return false;
        }
        if constexpr (Sink::kCountOnly) {
            sink.count(s, len[j]);
            in.advance(uint64_t(4) * len[j]);
        } else {
            for (uint32_t i = 0; i < len[j]; ++i) sink.word(read(in), s);
        }
    }
    return true;
}

// Versions 0 and 1: a seven-bit length byte before each stream's words.
template <class Sink>
void walk_v1(const FrameState& fs, mem_data& input, Sink& sink) {
    Cursor in(input);
    const uint32_t streams = 16u * fs.num_components;
    if (streams == 0) return;
    for (;;) {
        Dominant dom;
        for (uint32_t s = 0; s < streams; ++s) {
            if (in.reaches(1)) return;
            const uint8_t b = in.byte();
            const uint32_t len = b & 0x7Fu;
            dom.track(s, len);
            if (!in.fits(uint64_t(4) * len)) {
                while (in.fits(4)) sink.word(in.le32(), s);
                return;
            }
            if constexpr (Sink::kCountOnly) {
                sink.count(s, len);
                in.advance(uint64_t(4) * len);
            } else {
                for (uint32_t i = 0; i < len; ++i) sink.word(in.le32(), s);
            }
        }
        sink.packet_end(dom.stream);
        if (walk_done(sink)) return;
    }
}

// Versions 2 to 6: per component a header of sixteen five-bit lengths, then
// the component's words. A layout names the header's units, how a length
// is read from them, the bytes skipped after them and the word order.
template <class Layout, class Sink>
void walk_component_headers(const FrameState& fs, mem_data& input, Sink& sink) {
    constexpr uint32_t unit = Layout::kUnitBytes;
    Cursor in(input);
    const uint32_t ncomp = fs.num_components;
    if (ncomp == 0) return;
    for (;;) {
        const uint64_t start = in.count();
        Dominant dom;
        for (uint32_t c = 0; c < ncomp; ++c) {
            uint32_t units[Layout::kUnits];
            for (uint32_t i = 0; i < Layout::kUnits; ++i) {
                if (in.reaches(unit)) {
                    if (c != 0 || i != 0) report_truncation(sink, in.count() + unit, start, unit);
                    return;
                }
                units[i] = Layout::read_unit(in);
            }
            uint32_t len[16];
            for (uint32_t j = 0; j < 16; ++j) {
                len[j] = Layout::length(units, j);
                if (len[j] > kMaxLength) {
                    report_illegal_length(sink, len[j], in.count(), c * 16 + j);
                    return;
                }
                dom.track(c * 16 + j, len[j]);
            }
            if (!in.fits(Layout::kSkipBytes)) return;
            in.advance(Layout::kSkipBytes);
            if (!deliver_component(sink, in, c, len, Layout::read_word)) return;
        }
        sink.packet_end(dom.stream);
        if (walk_done(sink)) return;
    }
}

// Version 2: three little-endian header words per component; the lengths
// are five-bit fields of the 96-bit number w[2]:w[1]:w[0], from the least
// significant bit up; little-endian words.
struct LayoutV2 {
    static constexpr uint32_t kUnitBytes = 4, kUnits = 3, kSkipBytes = 0;
    static uint32_t read_unit(Cursor& in) { return in.le32(); }
    static uint32_t read_word(Cursor& in) { return in.le32(); }
    static uint32_t length(const uint32_t* w, uint32_t j) {
        const uint32_t pos = 5 * j, word = pos / 32, off = pos % 32;
        uint32_t v = w[word] >> off;
        if (off > 27) v |= w[word + 1] << (32 - off);
        return v & 31u;
    }
};

// Versions 3 to 6: ten header bytes per component, two skipped; the lengths
// are five-bit fields of the 80-bit number h[0]..h[9], from the most
// significant bit down; big-endian words.
struct LayoutV3 {
    static constexpr uint32_t kUnitBytes = 1, kUnits = 10, kSkipBytes = 2;
    static uint32_t read_unit(Cursor& in) { return in.byte(); }
    static uint32_t read_word(Cursor& in) { return in.be32(); }
    static uint32_t length(const uint32_t* h, uint32_t j) {
        const uint32_t pos = 5 * j, at = pos / 8, off = pos % 8;
        const uint32_t pair = h[at] << 8 | (at + 1 < 10 ? h[at + 1] : 0u);
        return (pair >> (11 - off)) & 31u;
    }
};

template <class Sink>
void walk_v2(const FrameState& fs, mem_data& input, Sink& sink) {
    walk_component_headers<LayoutV2>(fs, input, sink);
}

template <class Sink>
void walk_v3(const FrameState& fs, mem_data& input, Sink& sink) {
    walk_component_headers<LayoutV3>(fs, input, sink);
}

// Version 7 and later: one length table per packet, words interleaved.
template <class Sink>
void walk_v7(const FrameState& fs, mem_data& input, Sink& sink) {
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
        uint32_t total = 0;
        for (uint32_t j = 0; j < 16; ++j) {
            uint32_t row = 0;
            for (uint32_t i = 0; i < row_bytes; ++i) {
                if (in.reaches(1)) {
                    if (j != 0 || i != 0) report_truncation(sink, in.count() + 1, start, 1);
                    return;
                }
                const uint8_t b = in.byte();
                row = row << 8 | b;
            }
            for (uint32_t c = 0; c < ncomp; ++c) {
                const uint32_t s = c * 16 + j;
                len[s] = (row >> (5 * (ncomp - 1 - c))) & 31u;
                if (len[s] > kMaxLength) {
                    report_illegal_length(sink, len[s], in.count(), s);
                    return;
                }
                dom.track(s, len[s]);
                total += len[s];
            }
        }
        // Words are interleaved: every stream's k-th word in row-major order.
        // Only the last packet can be cut short, so the whole packet is
        // checked once and words are read unchecked when it fits.
        const bool whole = in.fits(uint64_t(4) * total);
        if constexpr (Sink::kCountOnly) {
            if (whole) {
                for (uint32_t s = 0; s < 64; ++s) sink.count(s, len[s]);
                in.advance(uint64_t(4) * total);
                sink.packet_end(dom.stream);
                if (walk_done(sink)) return;
                continue;
            }
        }
        if (whole) {
            // Round k delivers the k-th word of every stream that has one:
            // the streams in delivery order, dropping those that ran out.
            uint8_t active[64];
            uint32_t live = 0;
            for (uint32_t j = 0; j < 16; ++j)
                for (uint32_t c = 0; c < ncomp; ++c)
                    if (len[c * 16 + j] != 0) active[live++] = uint8_t(c * 16 + j);
            for (uint32_t k = 1; live != 0; ++k) {
                uint32_t kept = 0;
                for (uint32_t i = 0; i < live; ++i) {
                    const uint32_t s = active[i];
                    sink.word(in.be32(), s);
                    active[kept] = uint8_t(s);
                    kept += len[s] > k ? 1u : 0u;
                }
                live = kept;
            }
            sink.packet_end(dom.stream);
            if (walk_done(sink)) return;
            continue;
        }
        for (uint32_t k = 0; k < 16; ++k) {
            for (uint32_t j = 0; j < 16; ++j) {
                for (uint32_t c = 0; c < ncomp; ++c) {
                    const uint32_t s = c * 16 + j;
                    if (len[s] > k) {
                        if (!whole && !in.fits(4)) return;
                        sink.word(in.be32(), s);
                    }
                }
            }
        }
        sink.packet_end(dom.stream);
        if (walk_done(sink)) return;
    }
}

template <class Sink>
void walk(const FrameState& fs, mem_data& input, Sink& sink) {
    if (fs.version <= 1) walk_v1(fs, input, sink);
    else if (fs.version == 2) walk_v2(fs, input, sink);
    else if (fs.version <= 6) walk_v3(fs, input, sink);
    else walk_v7(fs, input, sink);
}

}  // namespace Vantrel::QVX::packet_walk

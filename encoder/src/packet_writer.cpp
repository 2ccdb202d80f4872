#include "packet_writer.h"

#include <algorithm>
#include <bit>

#include "byte_sink.h"
#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

unsigned header_order(unsigned s, uint16_t version, unsigned ncomp) {
    return version >= 7 ? (s % 16) * ncomp + s / 16 : s;
}

uint8_t dominant_of(const PacketLengths& lengths, uint16_t version, unsigned ncomp) {
    unsigned best = 0;
    unsigned best_key = 0;
    unsigned best_len = 0;
    bool first = true;
    for (unsigned s = 0; s < 16 * ncomp; ++s) {
        const unsigned key = header_order(s, version, ncomp);
        const unsigned len = lengths[s];
        if (first || len > best_len || (len == best_len && key > best_key)) {
            best = s;
            best_key = key;
            best_len = len;
            first = false;
        }
    }
    return uint8_t(best);
}

DominantPlanner::DominantPlanner(const LineBuffer& lb, uint16_t version, unsigned ncomp)
    : lb_(lb), version_(version), ncomp_(ncomp) {
    for (unsigned s = 0; s < 16 * ncomp; ++s) key_[s] = header_order(s, version, ncomp);
}

uint8_t DominantPlanner::peek() {
    int best = -1;
    for (unsigned s = 0; s < 16 * ncomp_; ++s) {
        if (!lb_.closes_packet(s)) continue;
        if (best < 0 || key_[s] > key_[best]) best = int(s);
    }
    // With no stream at 512 any stream serves: none of them closes a packet.
    pending_ = best < 0 ? 0 : uint8_t(best);
    return pending_;
}

uint8_t DominantPlanner::next() {
    PacketLengths lengths{};
    for (unsigned s = 0; s < 16 * ncomp_; ++s) {
        const int32_t fill = lb_.sb_fill[s];
        if (fill > kPacketCloseBits || fill % kWordBits != 0)
            throw EncodeError("internal error: packet span exceeds 16 words");
        lengths[s] = uint8_t(fill / kWordBits);
    }
    if (dominant_of(lengths, version_, ncomp_) != pending_)
        throw EncodeError("internal error: packet dominant mismatch");
    closed_.push_back(lengths);
    return pending_;
}

std::vector<PacketLengths> tail_packets(const std::vector<uint64_t>& remaining, unsigned cap,
                                        bool need_one) {
    uint64_t most = 0;
    for (uint64_t r : remaining) most = std::max(most, r);
    uint64_t count = (most + cap - 1) / cap;
    if (count == 0 && need_one) count = 1;
    std::vector<PacketLengths> out(count, PacketLengths{});
    for (size_t s = 0; s < remaining.size(); ++s) {
        uint64_t left = remaining[s];
        for (uint64_t p = 0; left; ++p) {
            const uint64_t n = std::min<uint64_t>(left, cap);
            out[p][s] = uint8_t(n);
            left -= n;
        }
    }
    return out;
}

namespace {

// Hands out each stream's words in order across packets.
struct WordCursor {
    const std::vector<uint32_t> (&words)[64];
    size_t pos[64] = {};
    uint32_t take(unsigned s) {
        if (pos[s] >= words[s].size()) throw EncodeError("internal error: packet overruns a stream");
        return words[s][pos[s]++];
    }
};

void write_v1(ByteSink& out, WordCursor& cur, const PacketLengths& len, unsigned ncomp, bool swapped,
              bool& ends_in_header) {
    for (unsigned s = 0; s < 16 * ncomp; ++s) {
        out.u8(len[s]);
        ends_in_header = len[s] == 0;
        for (unsigned i = 0; i < len[s]; ++i) {
            // Version 0 words reach the reader byte-swapped: first byte first.
            if (swapped) out.u32be(cur.take(s));
            else out.u32(cur.take(s));
        }
    }
}

void write_v2(ByteSink& out, WordCursor& cur, const PacketLengths& len, unsigned ncomp,
              bool& ends_in_header) {
    for (unsigned c = 0; c < ncomp; ++c) {
        uint32_t hdr[3] = {};
        unsigned total = 0;
        for (unsigned j = 0; j < 16; ++j) {
            const unsigned bit = 5 * j;
            const uint64_t field = uint64_t(len[c * 16 + j]) << (bit % 32);
            hdr[bit / 32] |= uint32_t(field);
            if (bit % 32 > 27) hdr[bit / 32 + 1] |= uint32_t(field >> 32);
            total += len[c * 16 + j];
        }
        for (uint32_t w : hdr) out.u32(w);
        for (unsigned j = 0; j < 16; ++j)
            for (unsigned i = 0; i < len[c * 16 + j]; ++i) out.u32(cur.take(c * 16 + j));
        ends_in_header = total == 0;
    }
}

void write_v3(ByteSink& out, WordCursor& cur, const PacketLengths& len, unsigned ncomp,
              bool& ends_in_header) {
    for (unsigned c = 0; c < ncomp; ++c) {
        uint8_t hdr[10] = {};
        for (unsigned j = 0; j < 16; ++j)
            for (unsigned b = 0; b < 5; ++b) {
                const unsigned pos = 5 * j + b;  // bit index from the top
                if ((len[c * 16 + j] >> (4 - b)) & 1u) hdr[pos / 8] |= uint8_t(0x80u >> (pos % 8));
            }
        for (uint8_t b : hdr) out.u8(b);
        out.u8(0);  // two bytes the parser skips
        out.u8(0);
        for (unsigned j = 0; j < 16; ++j)
            for (unsigned i = 0; i < len[c * 16 + j]; ++i) out.u32be(cur.take(c * 16 + j));
    }
    ends_in_header = false;
}

void write_v7(ByteSink& out, WordCursor& cur, const PacketLengths& len, unsigned ncomp,
              bool& ends_in_header) {
    const unsigned n = 5 * ncomp;
    const unsigned row_bits = 1u << std::bit_width(n);
    for (unsigned j = 0; j < 16; ++j) {
        uint32_t row = 0;
        for (unsigned c = 0; c < ncomp; ++c) row = (row << 5) | len[c * 16 + j];
        for (unsigned b = row_bits; b >= 8; b -= 8) out.u8(uint8_t(row >> (b - 8)));
    }
    unsigned total = 0;
    for (unsigned k = 0; k < 16; ++k)
        for (unsigned j = 0; j < 16; ++j)
            for (unsigned c = 0; c < ncomp; ++c)
                if (len[c * 16 + j] > k) {
                    out.u32be(cur.take(c * 16 + j));
                    ++total;
                }
    ends_in_header = total == 0;
}

}  // namespace

std::vector<uint8_t> write_packets(uint16_t version, unsigned ncomp,
                                   const std::vector<PacketLengths>& packets,
                                   const std::vector<uint32_t> (&words)[64]) {
    ByteSink out;
    WordCursor cur{words};
    const unsigned cap = packet_capacity(version);
    bool ends_in_header = false;
    for (const PacketLengths& len : packets) {
        for (unsigned s = 0; s < 16 * ncomp; ++s)
            if (len[s] > cap) throw EncodeError("internal error: packet length above its field");
        if (version <= 1) write_v1(out, cur, len, ncomp, version == 0, ends_in_header);
        else if (version == 2) write_v2(out, cur, len, ncomp, ends_in_header);
        else if (version <= 6) write_v3(out, cur, len, ncomp, ends_in_header);
        else write_v7(out, cur, len, ncomp, ends_in_header);
    }
    for (unsigned s = 0; s < 64; ++s)
        if (cur.pos[s] != words[s].size()) throw EncodeError("internal error: stream words left over");
    if (ends_in_header) out.u8(0);
    return std::move(out.bytes);
}

}  // namespace Vantrel::QVX::enc

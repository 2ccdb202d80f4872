// Packets: the encoder-side source of the dominant list that the shared
// line-buffer model peeks at every position, and the writer of every
// version's packet layout.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "entropy/line_buffer.h"

namespace Vantrel::QVX::enc {

using PacketLengths = std::array<uint8_t, 64>;  // words per stream in one packet

// Order of stream s in a packet header: stream order up to version 6,
// row-major (subband, then component) from version 7 on.
unsigned header_order(unsigned s, uint16_t version, unsigned ncomp);

// The stream a decoder records as a packet's dominant: greatest length,
// ties to the later stream in header order.
uint8_t dominant_of(const PacketLengths& lengths, uint16_t version, unsigned ncomp);

// Closes a packet as soon as a stream has been seen to consume 16 words
// (sb_fill >= 512) since the last boundary. The packet then carries, per
// stream, the words consumed since that boundary, so the stream that
// closed it is its dominant when it is the last such stream in header
// order. Between boundaries no stream has reached 512, so whatever the
// next packet's dominant is, the decoder sees no boundary there.
class DominantPlanner {
public:
    DominantPlanner(const LineBuffer& lb, uint16_t version, unsigned ncomp);

    uint8_t peek();
    uint8_t next();

    // One entry per closed packet.
    const std::vector<PacketLengths>& closed() const { return closed_; }

private:
    const LineBuffer& lb_;
    uint16_t version_;
    unsigned ncomp_;
    unsigned key_[64] = {};  // header order of each stream
    uint8_t pending_ = 0;
    std::vector<PacketLengths> closed_;
};

// Lengths of the packets after the last boundary that carry each stream's
// remaining words (at most `cap` per stream and packet). At least one
// packet when `need_one` (the decoder still peeks at the list).
std::vector<PacketLengths> tail_packets(const std::vector<uint64_t>& remaining, unsigned cap,
                                        bool need_one);

// Most words one stream may carry in one packet.
inline unsigned packet_capacity(uint16_t version) { return version <= 1 ? 127u : 16u; }

// Serialises the packets of `version`, handing out each stream's words in
// order. Ends with one padding byte when the last packet would otherwise
// end in a header unit, which the decoder's parser would take for a cut-off
// packet.
std::vector<uint8_t> write_packets(uint16_t version, unsigned ncomp,
                                   const std::vector<PacketLengths>& packets,
                                   const std::vector<uint32_t> (&words)[64]);

}  // namespace Vantrel::QVX::enc

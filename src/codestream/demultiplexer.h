// Sorts the packets' data words into 64 subband streams and records the
// dominant stream of every packet; feeds the bit readers.
#pragma once

#include <cstdint>
#include <vector>

#include "codestream/barrel_shifter.h"
#include "codestream/parsers.h"

namespace Vantrel::QVX {

class NXRQvxDemultiplexerInterface {};

class NXRQvxDemultiplexer final : public NXRQvxBasicBarrelShifterPullInputInterfaceAbstract,
                                  public QVXCodestreamParser_v6,
                                  public NXRQvxDemultiplexerInterface {
public:
    uint32_t nextWord(uint32_t stream) override {
        const std::vector<uint32_t>& words = streams_[stream];
        uint64_t& pos = read_pos_[stream];
        return pos < words.size() ? words[pos++] : 0u;
    }

    void parse(const frame_state& fs, mem_data& input) override { parse_version(fs, input); }
    void onSubbandWord(uint32_t word, uint32_t stream) override {
        if (byte_swap) word = __builtin_bswap32(word);
        streams_[stream].push_back(word);
    }
    void onHeaderByte(uint8_t) override {}
    void onHeaderWord(uint32_t) override {}
    void onSubbandLength(uint32_t, uint32_t) override {}
    void onSubbandEnd(uint32_t) override {}
    void onPacketEnd(uint32_t stream) override { dominant_.push_back(uint8_t(stream)); }
    void onMessage(const char*) override {}

    uint8_t nextDominant();
    uint8_t peekDominant() const;

    // The line buffer's view of the dominant list.
    uint8_t peek() const { return peekDominant(); }
    uint8_t next() { return nextDominant(); }

    const std::vector<uint8_t>& dominant_list() const { return dominant_; }
    const std::vector<uint32_t>& stream_words(unsigned s) const { return streams_[s]; }

    bool byte_swap = false;

private:
    std::vector<uint8_t> dominant_;
    std::vector<uint32_t> streams_[64];
    uint64_t read_pos_[64] = {};
    uint64_t dominant_pos_ = 0;
};

}  // namespace Vantrel::QVX

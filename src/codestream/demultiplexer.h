// Sorts the packets' data words into 64 subband streams and records the
// dominant stream of every packet. Each stream's words end up in one
// contiguous run of a single array, ready for the entropy decoder.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "codestream/frame_state.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX {

class Demultiplexer {
public:
    // Walks every packet of the input once to count each stream's words,
    // then again to copy them; the input ends where one walk leaves it.
    void parse(const FrameState& fs, mem_data& input);

    std::span<const uint32_t> stream_words(unsigned s) const {
        return {words_.get() + offset_[s], size_t(offset_[s + 1] - offset_[s])};
    }
    const std::vector<uint8_t>& dominant_list() const { return dominant_; }

    // Version 0 words arrive little-endian and are reversed.
    bool byte_swap = false;

private:
    std::unique_ptr<uint32_t[]> words_;
    uint64_t offset_[65] = {};
    std::vector<uint8_t> dominant_;
};

}  // namespace Vantrel::QVX

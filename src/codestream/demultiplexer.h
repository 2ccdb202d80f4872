// Sorts the packets' data words into 64 subband streams and records the
// dominant stream of every packet. Each stream's words end up in one
// contiguous run of a single array, ready for the entropy decoder.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/work_array.h"
#include "codestream/frame_state.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX {

class Demultiplexer {
public:
    // Walks every packet of the input once to count each stream's words,
    // then again to copy them; the input ends where one walk leaves it.
    void parse(const FrameState& fs, mem_data& input);

    // The same in steps: count() walks the input (leaving it where parse
    // would) and cuts the packets into about `parts` runs of similar size;
    // copy_part(i) then copies run i, for every i < parts(). Runs write
    // disjoint words, so they may be copied at the same time.
    void count(const FrameState& fs, mem_data& input, unsigned parts);
    size_t parts() const { return marks_.size(); }
    void copy_part(const FrameState& fs, size_t i);

    std::span<const uint32_t> stream_words(unsigned s) const {
        return {words_.data() + offset_[s], size_t(offset_[s + 1] - offset_[s])};
    }
    const std::vector<uint8_t>& dominant_list() const { return dominant_; }

    // Where a run of packets starts: input position, packets and each
    // stream's words before it.
    struct Mark {
        uint64_t bytes_read;
        uint64_t packets;
        uint64_t words[64];
    };

    // Version 0 words arrive little-endian and are reversed.
    bool byte_swap = false;

private:
    std::vector<Mark> marks_;
    mem_data start_;

    WorkArray<uint32_t> words_;  // kept for the next frame
    uint64_t offset_[65] = {};
    std::vector<uint8_t> dominant_;
};

}  // namespace Vantrel::QVX

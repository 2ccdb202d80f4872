#include "codestream/demultiplexer.h"

#include "codestream/packet_walk.h"

namespace Vantrel::QVX {

namespace {

struct CountSink {
    static constexpr bool kCountOnly = true;
    static constexpr bool kDiagnostics = false;
    uint64_t words[64] = {};
    uint64_t packets = 0;
    void count(uint32_t s, uint32_t n) { words[s] += n; }
    void word(uint32_t, uint32_t s) { ++words[s]; }
    void packet_end(uint32_t) { ++packets; }
};

template <bool Swap>
struct CopySink {
    static constexpr bool kCountOnly = false;
    static constexpr bool kDiagnostics = false;
    uint32_t* at[64];
    uint8_t* dominant;
    void word(uint32_t w, uint32_t s) { *at[s]++ = Swap ? __builtin_bswap32(w) : w; }
    void packet_end(uint32_t s) { *dominant++ = uint8_t(s); }
};

template <bool Swap>
void copy_words(const FrameState& fs, mem_data& input, uint32_t* words, const uint64_t* offset,
                uint8_t* dominant) {
    CopySink<Swap> sink;
    for (unsigned s = 0; s < 64; ++s) sink.at[s] = words + offset[s];
    sink.dominant = dominant;
    packet_walk::walk(fs, input, sink);
}

}  // namespace

void Demultiplexer::parse(const FrameState& fs, mem_data& input) {
    const mem_data start = input;
    CountSink count;
    packet_walk::walk(fs, input, count);

    offset_[0] = 0;
    for (unsigned s = 0; s < 64; ++s) offset_[s + 1] = offset_[s] + count.words[s];
    // One word more than the streams hold: the entropy decoder may read a
    // word past a stream's end before deciding it does not need it.
    words_.reset(new uint32_t[offset_[64] + 1]);
    words_[offset_[64]] = 0;
    dominant_.assign(count.packets, 0);

    input = start;
    if (byte_swap) copy_words<true>(fs, input, words_.get(), offset_, dominant_.data());
    else copy_words<false>(fs, input, words_.get(), offset_, dominant_.data());
}

}  // namespace Vantrel::QVX

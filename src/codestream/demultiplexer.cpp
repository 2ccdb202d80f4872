#include "codestream/demultiplexer.h"

#include <algorithm>

#include "codestream/packet_walk.h"

namespace Vantrel::QVX {

namespace {

// a + b, or the largest count if that does not fit.
uint64_t after(uint64_t a, uint64_t b) { return b > ~uint64_t(0) - a ? ~uint64_t(0) : a + b; }

// Counts, and marks the packet end where each run of packets starts.
struct CountSink {
    static constexpr bool kCountOnly = true;
    static constexpr bool kDiagnostics = false;
    uint64_t words[64] = {};
    uint64_t packets = 0;
    const mem_data* input = nullptr;
    uint64_t run_bytes = 0;  // input bytes per run
    uint64_t next_mark = 0;
    std::vector<Demultiplexer::Mark>* marks = nullptr;
    void count(uint32_t s, uint32_t n) { words[s] += n; }
    void word(uint32_t, uint32_t s) { ++words[s]; }
    // The walk reads little more than a header per packet, the headers
    // hundreds of bytes apart, and would wait for memory at each one;
    // asking for the bytes ahead as one stream keeps the memory busy.
    static constexpr uint64_t kFetchAhead = 8192;
    uint64_t fetched = 0;  // input position fetched up to
    void fetch_ahead() {
        const uint64_t at = input->bytes_read, end = std::min(input->size, after(at, kFetchAhead));
        if (fetched < at) fetched = at;
        for (; fetched < end; fetched += 64) __builtin_prefetch(input->data + (fetched - at));
    }
    void packet_end(uint32_t) {
        fetch_ahead();
        ++packets;
        if (input->bytes_read >= next_mark) {
            Demultiplexer::Mark m{input->bytes_read, packets, {}};
            std::copy(words, words + 64, m.words);
            marks->push_back(m);
            next_mark = after(input->bytes_read, run_bytes);
        }
    }
};

template <bool Swap>
struct CopySink {
    static constexpr bool kCountOnly = false;
    static constexpr bool kDiagnostics = false;
    uint32_t* at[64];
    uint8_t* dominant;
    uint64_t packets_left;  // the run's packets; all for the last run
    void word(uint32_t w, uint32_t s) { *at[s]++ = Swap ? __builtin_bswap32(w) : w; }
    void packet_end(uint32_t s) {
        *dominant++ = uint8_t(s);
        --packets_left;
    }
    bool done() const { return packets_left == 0; }
};

template <bool Swap>
void copy_words(const FrameState& fs, mem_data& input, uint32_t* words, const uint64_t* offset,
                const uint64_t* before, uint8_t* dominant, uint64_t packets) {
    CopySink<Swap> sink;
    for (unsigned s = 0; s < 64; ++s) sink.at[s] = words + offset[s] + before[s];
    sink.dominant = dominant;
    sink.packets_left = packets;
    packet_walk::walk(fs, input, sink);
}

}  // namespace

void Demultiplexer::count(const FrameState& fs, mem_data& input, unsigned parts) {
    start_ = input;
    marks_.assign(1, Mark{input.bytes_read, 0, {}});
    CountSink count;
    count.input = &input;
    const uint64_t left = input.size > input.bytes_read ? input.size - input.bytes_read : 0;
    count.run_bytes = parts > 1 ? left / parts + 1 : ~uint64_t(0);
    count.next_mark = after(input.bytes_read, count.run_bytes);
    count.marks = &marks_;
    count.fetch_ahead();
    packet_walk::walk(fs, input, count);
    // A mark on the last packet end starts an empty run: dropped.
    if (marks_.size() > 1 && marks_.back().packets == count.packets) marks_.pop_back();

    offset_[0] = 0;
    for (unsigned s = 0; s < 64; ++s) offset_[s + 1] = offset_[s] + count.words[s];
    // One word more than the streams hold: the entropy decoder may read a
    // word past a stream's end before deciding it does not need it.
    words_.room(offset_[64] + 1)[offset_[64]] = 0;
    dominant_.assign(count.packets, 0);
}

void Demultiplexer::copy_part(const FrameState& fs, size_t i) {
    const Mark& m = marks_[i];
    mem_data in = start_;
    in.data += m.bytes_read - start_.bytes_read;
    in.bytes_read = m.bytes_read;
    const uint64_t packets = i + 1 < marks_.size() ? marks_[i + 1].packets - m.packets : ~uint64_t(0);
    uint8_t* dominant = dominant_.data() + m.packets;
    if (byte_swap) copy_words<true>(fs, in, words_.data(), offset_, m.words, dominant, packets);
    else copy_words<false>(fs, in, words_.data(), offset_, m.words, dominant, packets);
}

void Demultiplexer::parse(const FrameState& fs, mem_data& input) {
    count(fs, input, 1);
    for (size_t i = 0; i < parts(); ++i) copy_part(fs, i);
}

}  // namespace Vantrel::QVX

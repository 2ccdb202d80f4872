#include "codestream/parsers.h"

#include "codestream/packet_walk.h"

namespace Vantrel::QVX {

namespace {

// Hands the walk's reports to the parser's callbacks.
struct CallbackSink {
    static constexpr bool kCountOnly = false;
    QVXCodestreamParser& p;
    void header_byte(uint8_t b) { p.onHeaderByte(b); }
    void header_word(uint32_t w) { p.onHeaderWord(w); }
    void length(uint32_t s, uint32_t n) { p.onSubbandLength(s, n); }
    void word(uint32_t w, uint32_t s) { p.onSubbandWord(w, s); }
    void end(uint32_t s) { p.onSubbandEnd(s); }
    void packet_end(uint32_t s) { p.onPacketEnd(s); }
    void message(const char* text) { p.onMessage(text); }
};

}  // namespace

void QVXCodestreamParser_v1::parse_v1(const frame_state& fs, mem_data& input) {
    CallbackSink sink{*this};
    packet_walk::walk_v1(fs, input, sink);
}

void QVXCodestreamParser_v2::parse_v2(const frame_state& fs, mem_data& input) {
    CallbackSink sink{*this};
    packet_walk::walk_v2(fs, input, sink);
}

void QVXCodestreamParser_v3::parse_v3(const frame_state& fs, mem_data& input) {
    CallbackSink sink{*this};
    packet_walk::walk_v3(fs, input, sink);
}

void QVXCodestreamParser_v6::parse_v6(const frame_state& fs, mem_data& input) {
    CallbackSink sink{*this};
    packet_walk::walk_v7(fs, input, sink);
}

void QVXCodestreamParser_v6::parse_version(const frame_state& fs, mem_data& input) {
    CallbackSink sink{*this};
    packet_walk::walk(fs, input, sink);
}

}  // namespace Vantrel::QVX

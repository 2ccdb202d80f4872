// Packet parsers, one per codestream layout. Each walks every packet after
// the header once and reports words and packet ends through the callbacks.
#pragma once

#include <cstdint>

#include "codestream/frame_state.h"
#include "qvx/SimpleQvxDecoder.h"

namespace Vantrel::QVX {

class QVXCodestreamParser {
public:
    // Dispatches on fs.version to the routine of that layout.
    virtual void parse(const frame_state& fs, mem_data& input) = 0;
    virtual void onSubbandWord(uint32_t word, uint32_t stream) = 0;
    virtual void onHeaderByte(uint8_t byte) = 0;
    virtual void onHeaderWord(uint32_t word) = 0;
    virtual void onSubbandLength(uint32_t stream, uint32_t length) = 0;
    virtual void onSubbandEnd(uint32_t stream) = 0;
    virtual void onPacketEnd(uint32_t stream) = 0;
    virtual void onMessage(const char* text) = 0;

protected:
    ~QVXCodestreamParser() = default;
};

// Versions 0 and 1: a seven-bit length byte before each stream's words.
class QVXCodestreamParser_v1 : public QVXCodestreamParser {
protected:
    ~QVXCodestreamParser_v1() = default;
    void parse_v1(const frame_state& fs, mem_data& input);
};

// Version 2: three little-endian header words per component.
class QVXCodestreamParser_v2 : public QVXCodestreamParser_v1 {
protected:
    ~QVXCodestreamParser_v2() = default;
    void parse_v2(const frame_state& fs, mem_data& input);
};

// Versions 3 to 6: ten header bytes per component, two skipped, big-endian words.
class QVXCodestreamParser_v3 : public QVXCodestreamParser_v2 {
protected:
    ~QVXCodestreamParser_v3() = default;
    void parse_v3(const frame_state& fs, mem_data& input);
};

// Version 7 and later: one length table per packet, words interleaved.
class QVXCodestreamParser_v6 : public QVXCodestreamParser_v3 {
protected:
    ~QVXCodestreamParser_v6() = default;
    void parse_v6(const frame_state& fs, mem_data& input);
    void parse_version(const frame_state& fs, mem_data& input);
};

}  // namespace Vantrel::QVX

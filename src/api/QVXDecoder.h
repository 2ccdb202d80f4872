// The per-call decoder object: everything one decode call creates, owns
// and destroys, from the demultiplexed streams to the tone table.
#pragma once

#include <cstdint>
#include <memory>

#include "codestream/demultiplexer.h"
#include "codestream/frame_state.h"
#include "entropy/line_buffer.h"

namespace Vantrel::QVX {

class QVXCodec {
public:
    explicit QVXCodec(frame_state* fs) : fs(fs) {}
    virtual ~QVXCodec() = default;
    QVXCodec(const QVXCodec&) = delete;
    QVXCodec& operator=(const QVXCodec&) = delete;

    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t num_components = 0;
    uint32_t num_streams = 0;
    LineBuffer lb;
    // The tone table, 65,536 entries, all 0 when the first read_lut of the
    // call creates it; most streams never read one.
    std::unique_ptr<uint32_t[]> lut_table;
    uint8_t lut_shift = 0;
    frame_state* fs;
};

class QVXDecoder final : public QVXCodec {
public:
    QVXDecoder(frame_state* fs, mem_data* input) : QVXCodec(fs), input(input) {}

    mem_data* input;
    NXRQvxDemultiplexer demux;
};

}  // namespace Vantrel::QVX

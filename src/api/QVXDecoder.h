// The per-call decoder object: everything one decode call creates, owns
// and destroys, from the block pool to the bit readers.
#pragma once

#include <cstdint>
#include <memory>

#include "codestream/barrel_shifter.h"
#include "codestream/demultiplexer.h"
#include "codestream/frame_state.h"
#include "entropy/line_buffer.h"
#include "frame/block_pool.h"

namespace Vantrel::QVX {

struct GolombRiceContext;
struct KStatistics;

class QVXCodec {
public:
    explicit QVXCodec(frame_state* fs) : fs(fs) {}
    virtual ~QVXCodec() = default;
    QVXCodec(const QVXCodec&) = delete;
    QVXCodec& operator=(const QVXCodec&) = delete;

    block_pool pool;
    // Reconstructed samples of predicted subbands, one plane per
    // (subband, component), row-major sb_width x sb_height; null until the
    // first reconstruction needs them.
    int16_t* pred_buffers = nullptr;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t num_components = 0;
    uint32_t num_streams = 0;
    LineBuffer lb;
    uint32_t lut_table[65536] = {};
    uint8_t lut_shift = 0;
    frame_state* fs;
};

class QVXDecoder final : public QVXCodec {
public:
    QVXDecoder(frame_state* fs, mem_data* input);
    ~QVXDecoder() override;

    mem_data* input;
    GolombRiceContext* entropy = nullptr;
    NXRQvxDemultiplexer demux;
    BasicBarrelShifter* readers[64] = {};
    KStatistics* statistics = nullptr;
};

}  // namespace Vantrel::QVX

#include "entropy/subband_loop.h"

#include <memory>

#include "api/QVXDecoder.h"
#include "entropy/golomb_rice.h"
#include "entropy/kstatistics.h"
#include "entropy/reconstruct.h"
#include "frame/image_memory.h"

namespace Vantrel::QVX {

namespace {

// The decoder object points at the call's context and statistics only while
// this loop runs, also when an error leaves it.
struct EntropyScope {
    QVXDecoder& dec;
    ~EntropyScope() {
        dec.entropy = nullptr;
        dec.statistics = nullptr;
    }
};

// Plane cell of subband s at (x, y) is row (row0 + row_step*y) and column
// (col0 + col_step*x), both kept to 16 bits like the store's own addressing.
struct BandAddress {
    uint32_t col0, col_step, row0, row_step;
};

}  // namespace

void decodeSubbands(QVXDecoder& dec) {
    frame_state& fs = *dec.fs;
    image_memory& coef = *fs.coef_store;

    if (fs.version == 0) dec.demux.byte_swap = true;
    dec.demux.parse(fs, *dec.input);
    for (BasicBarrelShifter* r : dec.readers) r->init();

    const bool fourteen_bit = fs.bit_depth == 14;
    const auto stats = std::make_unique<KStatistics>(fourteen_bit);
    const auto ctx = std::make_unique<GolombRiceContext>(fourteen_bit, dec.readers, stats.get());
    dec.statistics = stats.get();
    dec.entropy = ctx.get();
    const EntropyScope scope{dec};

    const unsigned nc = coef.num_components();
    const unsigned nsb = coef.num_subbands();
    const unsigned sbw = coef.sb_width();
    const unsigned sbh = coef.sb_height();
    const size_t width = coef.width();
    dec.num_streams = nc * nsb;

    BandAddress band[64];
    for (unsigned s = 0; s < nsb; ++s) {
        const uint32_t c0 = coef.subbandColumn(uint8_t(s), 0), r0 = coef.subbandRow(uint8_t(s), 0);
        band[s] = {c0, coef.subbandColumn(uint8_t(s), 1) - c0, r0, coef.subbandRow(uint8_t(s), 1) - r0};
    }

    const Reconstructor rec(dec, fs);
    GolombRiceContext& gr = *ctx;
    LineBuffer& lb = dec.lb;
    const bool subsampled = fs.subsampled != 0;
    bool alternate = true;
    size_t row_offset[64];

    for (unsigned y = 0; y < sbh; ++y) {
        for (unsigned s = 0; s < nsb; ++s) row_offset[s] = size_t(uint16_t(band[s].row0 + band[s].row_step * y)) * width;
        for (unsigned x = 0; x < sbw; ++x) {
            for (unsigned c = 0; c < nc; ++c) {
                unsigned cx = x;
                if (subsampled && c > 0) {
                    if (!alternate) continue;
                    cx = x / 2;
                }
                uint16_t* coef_plane = coef.plane(c);
                for (unsigned s = 0; s < nsb; ++s) {
                    const uint32_t stream = (c * nsb + s) & 0xFFu;
                    const DecodedValue v = gr.decodeValue(stream);
                    const size_t cell = row_offset[s] + uint16_t(band[s].col0 + band[s].col_step * cx);
                    lb.lb_add(int32_t(v.bits));
                    lb.sb_fill[stream] =
                        int32_t(uint32_t(lb.sb_fill[stream]) + 32u * dec.readers[stream]->word_crossed);
                    coef_plane[cell] = uint16_t(rec.reconstruct(v.value, c, s, cx, y, lb.qtIndex()));
                }
            }
            for (unsigned c = 0; c < nc; ++c)
                if (!subsampled || c == 0 || alternate) stats->advance(c);
            if (subsampled) alternate = !alternate;
            lb.step(fs, dec.demux);
        }
    }
}

}  // namespace Vantrel::QVX

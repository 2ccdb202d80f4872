#include "api/QVXDecoder.h"

namespace Vantrel::QVX {

QVXDecoder::QVXDecoder(frame_state* fs, mem_data* input) : QVXCodec(fs), input(input) {
    for (uint32_t i = 0; i < 64; ++i) {
        auto* r = new BasicBarrelShifter;
        r->valid = 32;
        r->source = &demux;
        r->stream = i;
        readers[i] = r;
    }
}

QVXDecoder::~QVXDecoder() {
    for (BasicBarrelShifter*& r : readers) {
        delete r;
        r = nullptr;
    }
}

}  // namespace Vantrel::QVX

#include "api/QVXDecoder.h"

namespace Vantrel::QVX {

QVXDecoder::QVXDecoder(frame_state* fs, mem_data* input) : QVXCodec(fs), input(input) {
    // A constructor that throws runs no destructor: free the readers made so far.
    try {
        for (uint32_t i = 0; i < 64; ++i) {
            auto* r = new BasicBarrelShifter;
            r->valid = 32;
            r->source = &demux;
            r->stream = i;
            readers[i] = r;
        }
    } catch (...) {
        for (BasicBarrelShifter* r : readers) delete r;
        throw;
    }
}

QVXDecoder::~QVXDecoder() {
    for (BasicBarrelShifter*& r : readers) {
        delete r;
        r = nullptr;
    }
}

}  // namespace Vantrel::QVX

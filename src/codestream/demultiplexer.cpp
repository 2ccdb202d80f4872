#include "codestream/demultiplexer.h"

#include "api/error.h"

namespace Vantrel::QVX {

uint8_t NXRQvxDemultiplexer::nextDominant() {
    if (dominant_pos_ >= dominant_.size()) raise("Missing subband data");
    return dominant_[dominant_pos_++];
}

uint8_t NXRQvxDemultiplexer::peekDominant() const {
    if (dominant_pos_ >= dominant_.size()) raise("Missing subband data");
    return dominant_[dominant_pos_];
}

}  // namespace Vantrel::QVX

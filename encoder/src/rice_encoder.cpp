#include "rice_encoder.h"

#include "base/format.h"
#include "qvx/QvxEncoder.h"

namespace Vantrel::QVX::enc {

RiceEncoder::RiceEncoder(bool fourteen_bit)
    : stats(fourteen_bit),
      run_pattern_(run_pattern(fourteen_bit)),
      run_field_mask_(run_field_mask(fourteen_bit)),
      // A prefix of escape_limit - 1 zeros is the run pattern itself.
      max_rice_zeros_(stats.escape_limit - 2) {}

int32_t RiceEncoder::start_run(unsigned s, uint32_t length) {
    if (length < 32 || length > max_run()) throw EncodeError("zero run length out of range");
    // The code sits in the stream where the run starts; the decoder only
    // consumes (and accounts) its 32 bits after the run's last zero.
    out_[s].put(run_pattern_ | (length - 32), 32);
    run_pos_[s] = 1;
    run_length_[s] = length;
    ++runs_;
    stats.halve(s);
    crossed_[s] = account_[s].close();
    return 1;
}

}  // namespace Vantrel::QVX::enc

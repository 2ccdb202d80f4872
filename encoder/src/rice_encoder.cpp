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

int32_t RiceEncoder::code_value(unsigned s, int16_t v, int k) {
    const uint32_t m = v >= 0 ? uint32_t(v) * 2u : uint32_t(-int32_t(v)) * 2u - 1u;
    const uint32_t zeros = m >> k;
    uint32_t len;
    if (zeros <= max_rice_zeros_) {
        // The zeros of the prefix lead the same word (at most 13 + 17 bits).
        out_[s].put((1u << k) | (m & ((1u << k) - 1u)), zeros + unsigned(k) + 1);
        len = zeros + 1 + uint32_t(k);
    } else {
        // Raw: the leading zeros of the escape, then the mapped value; both
        // variants fill exactly one 32-bit code.
        out_[s].put(m, 32);
        len = 32;
        ++raw_;
    }
    stats.magnitude_sum[s] += int32_t(m >> 1);
    stats.halve(s);
    account_[s].pending += len;
    crossed_[s] = account_[s].close();
    return int32_t(len);
}

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

int32_t RiceEncoder::continue_run(unsigned s) {
    ++run_pos_[s];
    stats.halve(s);
    crossed_[s] = account_[s].close();
    const int32_t n = run_pos_[s] <= 32 ? 1 : 0;
    if (run_pos_[s] == run_length_[s]) account_[s].pending += 32;
    return n;
}

}  // namespace Vantrel::QVX::enc

// MSB-first bit reader over one subband stream, with the bit accounting
// the line buffer needs (how many bits a value took, word crossings).
#pragma once

#include <cstdint>

namespace Vantrel::QVX {

class NXRQvxBasicBarrelShifterPullInputInterfaceAbstract {
public:
    virtual uint32_t nextWord(uint32_t stream) = 0;

protected:
    ~NXRQvxBasicBarrelShifterPullInputInterfaceAbstract() = default;
};

struct BasicBarrelShifter {
    uint32_t cur = 0;
    uint32_t next = 0;
    uint32_t valid = 32;
    NXRQvxBasicBarrelShifterPullInputInterfaceAbstract* source = nullptr;
    uint32_t stream = 0;
    uint32_t last_bits = 0;
    uint32_t word_crossed = 0;
    uint32_t pending_bits = 0;
    uint32_t bit_phase = 0;

    void init() {
        valid = 32;
        cur = source->nextWord(stream);
        next = source->nextWord(stream);
    }

    uint32_t peek32() const {
        return valid == 32 ? cur : cur | (next >> valid);
    }

    // n in 1..32.
    void skipBits(uint32_t n) {
        pending_bits += n;
        const int32_t d = int32_t(n) - int32_t(valid);
        if (d < 0) {
            cur <<= n;
            valid -= n;
        } else if (d == 0) {
            cur = next;
            valid = 32;
            next = source->nextWord(stream);
        } else {
            cur = next << d;
            valid = 32 - uint32_t(d);
            next = source->nextWord(stream);
        }
    }

    void accountBits() {
        bit_phase += pending_bits;
        last_bits = pending_bits;
        pending_bits = 0;
        if (bit_phase >= 32) {
            word_crossed = 1;
            bit_phase -= 32;
        } else {
            word_crossed = 0;
        }
    }
};

}  // namespace Vantrel::QVX

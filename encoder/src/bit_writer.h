// MSB-first bit writer for one subband stream, and the mirror of the
// decoder's per-value bit accounting (which decides when a stream is seen
// to have crossed a 32-bit word).
#pragma once

#include <cstdint>
#include <vector>

namespace Vantrel::QVX::enc {

class BitWriter {
public:
    // Appends the low n bits of bits (n 0..32), most significant first.
    void put(uint32_t bits, unsigned n) {
        if (n == 0) return;
        const uint64_t mask = (uint64_t(1) << n) - 1;
        acc_ = (acc_ << n) | (bits & mask);
        fill_ += n;
        if (fill_ >= 32) {
            fill_ -= 32;
            words_.push_back(uint32_t(acc_ >> fill_));
            acc_ &= (uint64_t(1) << fill_) - 1;
        }
    }

    // All words written, the last partial one padded with zero bits.
    std::vector<uint32_t> words() const {
        std::vector<uint32_t> w = words_;
        if (fill_) w.push_back(uint32_t(acc_ << (32 - fill_)));
        return w;
    }

private:
    std::vector<uint32_t> words_;
    uint64_t acc_ = 0;
    unsigned fill_ = 0;
};

// The decoder's reader closes the accounting of every value: bits consumed
// since the previous value are added to a running phase, and at most one
// word crossing is reported per value.
struct BitAccount {
    uint32_t pending = 0;
    uint32_t phase = 0;

    // Returns word_crossed (0 or 1) for this value.
    uint32_t close() {
        phase += pending;
        pending = 0;
        if (phase >= 32) {
            phase -= 32;
            return 1;
        }
        return 0;
    }
};

}  // namespace Vantrel::QVX::enc

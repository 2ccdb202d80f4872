#include "entropy/stream_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <optional>

#include "base/format.h"
#include "base/messages.h"

namespace Vantrel::QVX {

namespace {

namespace portable {
#include "entropy/stream_decoder_loop.inc"
}  // namespace portable

// Where the processor has them, bit-counting and shift instructions that
// take one cycle shorten the chain from one value's code to the next.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define QVX_STREAM_DECODER_BMI 1
#pragma GCC push_options
#pragma GCC target("bmi,bmi2,lzcnt")
namespace bmi {
#include "entropy/stream_decoder_loop.inc"
}  // namespace bmi
#pragma GCC pop_options
#endif

template <template <bool, bool, bool> class Group>
void dispatch(const StreamJob* jobs, StreamResult* results, unsigned count) {
    const StreamJob& j = jobs[0];
    const bool bits = j.position_bits != nullptr, twice = j.count_step == 2;
    if (j.fourteen_bit) {
        if (bits) twice ? Group<true, true, true>::run(jobs, results, count) : Group<true, true, false>::run(jobs, results, count);
        else twice ? Group<true, false, true>::run(jobs, results, count) : Group<true, false, false>::run(jobs, results, count);
    } else {
        if (bits) twice ? Group<false, true, true>::run(jobs, results, count) : Group<false, true, false>::run(jobs, results, count);
        else twice ? Group<false, false, true>::run(jobs, results, count) : Group<false, false, false>::run(jobs, results, count);
    }
}

template <bool F, bool B, bool D>
struct PortableGroup {
    static void run(const StreamJob* j, StreamResult* r, unsigned n) { portable::decode_group<F, B, D>(j, r, n); }
};
#ifdef QVX_STREAM_DECODER_BMI
template <bool F, bool B, bool D>
struct BmiGroup {
    static void run(const StreamJob* j, StreamResult* r, unsigned n) { bmi::decode_group<F, B, D>(j, r, n); }
};
#endif

}  // namespace

void decode_streams(const StreamJob* jobs, StreamResult* results, unsigned count) {
    if (count == 0) return;
#ifdef QVX_STREAM_DECODER_BMI
    __builtin_cpu_init();
    if (__builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("abm")) {
        dispatch<BmiGroup>(jobs, results, count);
        return;
    }
#endif
    decode_streams_portable(jobs, results, count);
}

void decode_streams_portable(const StreamJob* jobs, StreamResult* results, unsigned count) {
    if (count != 0) dispatch<PortableGroup>(jobs, results, count);
}

}  // namespace Vantrel::QVX

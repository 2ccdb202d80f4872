#include "entropy/golomb_rice.h"

#include <cstdio>

#include "api/error.h"

namespace Vantrel::QVX {

void raise_merv_p(uint32_t m, uint32_t stream, uint32_t k) {
    char text[200];
    std::snprintf(text, sizeof text, "entropy: merv_p: %6u sb %2u k %2u\n", m, stream, k);
    raise(text);
}

}  // namespace Vantrel::QVX

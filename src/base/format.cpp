#include "base/format.h"

#include "base/error.h"
#include "base/messages.h"

namespace Vantrel::QVX {

uint8_t components_for_format(uint8_t component_format) {
    const uint8_t n = format_components(component_format);
    if (n == 0) raise(msg::kUndefinedComponentFormat);
    return n;
}

}  // namespace Vantrel::QVX

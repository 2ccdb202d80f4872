#include "codestream/parsers.h"

namespace Vantrel::QVX {

void QVXCodestreamParser_v6::parse_version(const frame_state&, mem_data&) {}

}  // namespace Vantrel::QVX

#include "output/bayer.h"

#include "api/error.h"

namespace Vantrel::QVX {

uint32_t write_bayer(QVXCodec&, uint8_t*, frame_state&) { raise("Bayer output is not available in this build"); }

}  // namespace Vantrel::QVX

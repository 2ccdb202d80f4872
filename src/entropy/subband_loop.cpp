#include "entropy/subband_loop.h"

#include "api/QVXDecoder.h"
#include "api/error.h"

namespace Vantrel::QVX {

void decodeSubbands(QVXDecoder&) { raise("Subband decoding is not available in this build"); }

}  // namespace Vantrel::QVX

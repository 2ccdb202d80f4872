#include "output/colortransform.h"

#include "api/error.h"

namespace Vantrel::QVX {

void inverse_color_transform(frame_state&) { raise("Colour transforms are not available in this build"); }

}  // namespace Vantrel::QVX

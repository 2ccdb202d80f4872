// Inverse colour transforms on ct_store, selected by ct_mode.
#pragma once

#include "codestream/frame_state.h"

namespace Vantrel::QVX {

void inverse_color_transform(frame_state& fs);

}  // namespace Vantrel::QVX

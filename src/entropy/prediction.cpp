#include "entropy/prediction.h"

#include "base/error.h"

namespace Vantrel::QVX {

int prediction_mode(unsigned s, uint8_t w_kernel, uint8_t pred_mode) {
    int base;
    if (w_kernel >= 7) return kNoPrediction;
    if (w_kernel == 6) {
        base = 0;
    } else {
        switch (s) {
            case 0: base = 0; break;
            case 1: base = 5; break;
            case 2: base = (pred_mode == 3 || pred_mode == 6 || pred_mode == 7) ? 0 : 1; break;
            case 4: base = 2; break;
            case 6: base = 3; break;
            case 8: base = (pred_mode == 4 || pred_mode == 7) ? 0 : 4; break;
            case 9: base = 6; break;
            case 10: base = (pred_mode == 5 || pred_mode == 6 || pred_mode == 7) ? 0 : kNoPrediction; break;
            default: base = kNoPrediction; break;
        }
    }
    if (base > 0 && pred_mode != 1 && pred_mode < 8) return kNoPrediction;
    return base;
}

}  // namespace Vantrel::QVX

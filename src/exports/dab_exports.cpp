// QRN_ entry points of the dab renderer: one call into qrn::brush each. A dab
// allocates nothing and has no error of its own to report.
#include "brush/dab.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_DrawDabGrit(int32_t x, int32_t y, int32_t red, int32_t green,
                                      int32_t blue) {
    brush::draw_dab(engine(), x, y, red, green, blue);
}

QRN_API void QRN_CALL QRN_DrawDabGritMask(int32_t x, int32_t y) {
    brush::draw_mask_dab(engine(), x, y);
}

}  // extern "C"

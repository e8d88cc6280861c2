// Stroke spline: three input positions in, 100 whole-pixel samples out.
#include "brush/spline.h"
#include "engine/engine_state.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

// The seventh argument is part of the hosts' call and is not read.
QRN_API int32_t QRN_CALL QRN_CalcSpline3(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                                         int32_t y2, int32_t spare) {
    (void)spare;
    return brush::calc_spline3(engine(), x0, y0, x1, y1, x2, y2);
}

QRN_API int32_t QRN_CALL QRN_GetSplinePointCount(void) {
    return brush::spline_point_count(engine());
}
QRN_API int32_t QRN_CALL QRN_GetSplinePointX(uint32_t index) {
    return brush::spline_point_x(engine(), index);
}
QRN_API int32_t QRN_CALL QRN_GetSplinePointY(uint32_t index) {
    return brush::spline_point_y(engine(), index);
}

}  // extern "C"

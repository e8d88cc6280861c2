// QRN_ entry points of the engine's own effects. They report nothing on
// failure, so the guard is the quiet one.
#include "exports/guard.h"
#include "imaging/effects.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API int32_t QRN_CALL QRN_IPLPhotoPop(int32_t contrast, double saturation, uint8_t extraPass) {
    return quiet(0, [&] { return imaging::photo_pop(engine(), contrast, saturation, extraPass); });
}

QRN_API void QRN_CALL QRN_ProcessBuffer_HSLAdjust(uint8_t* pixels, int32_t width, int32_t height,
                                                  int32_t hueShift, int32_t saturation,
                                                  int32_t lightness) {
    quiet(0, [&] {
        imaging::hsl_adjust(pixels, width, height, hueShift, saturation, lightness);
        return 0;
    });
}

QRN_API void QRN_CALL QRN_ProcessBuffer_HSVAdjust(uint8_t* pixels, int32_t width, int32_t height,
                                                  int32_t hueShift, int32_t saturation,
                                                  int32_t value) {
    quiet(0, [&] {
        imaging::hsv_adjust(pixels, width, height, hueShift, saturation, value);
        return 0;
    });
}

}  // extern "C"

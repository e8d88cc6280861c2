// Pan, push warp, displacement bump and the extra blur of a host buffer.
#include "exports/guard.h"
#include "imaging/distort.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_IPLPan(int32_t dx, int32_t dy, int32_t edgeMode, int32_t r, int32_t g,
                                 int32_t b, int32_t a, uint8_t applyMaskAndTexture) {
    guard("IPLPan", [&] {
        imaging::distort::pan(engine(), dx, dy, edgeMode, r, g, b, a, applyMaskAndTexture);
    });
}

// Allocates nothing of its own, so it has no failure text; nothing may still cross the ABI.
QRN_API void QRN_CALL QRN_WarpPointToPoint(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    quiet(0, [&] {
        imaging::distort::warp_point_to_point(engine(), x1, y1, x2, y2);
        return 0;
    });
}

QRN_API void QRN_CALL QRN_BlurMoreBufferRGB24(uint8_t* pixels, int32_t width, int32_t height,
                                              int32_t radiusSetting, int32_t amount) {
    guard("BlurMoreBuffer",
          [&] { imaging::distort::blur_more_rgb24(pixels, width, height, radiusSetting, amount); });
}

QRN_API void QRN_CALL QRN_IPLDisplacementBummp(const char* scriptPath, double amount,
                                               int32_t fillColor) {
    guard("IPLDisplacementBump",
          [&] { imaging::distort::displacement_bump(engine(), scriptPath, amount, fillColor); });
}

}  // extern "C"

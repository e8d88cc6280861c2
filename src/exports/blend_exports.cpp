// QRN_ entry points of the blend buffer and the colour pick-up: one call into
// qrn::brush each. None of them allocates or has an error of its own to report.
#include "brush/blend_buffer.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_DoCopyBlendBuffer(int32_t x, int32_t y, const uint16_t* source,
                                            int32_t strength, uint8_t alphaOnly) {
    brush::load_blend(engine(), x, y, source, strength, alphaOnly != 0);
}

QRN_API void QRN_CALL QRN_CopyBlendBufferSurface(int32_t x, int32_t y, int32_t strength,
                                                 uint8_t alphaOnly) {
    brush::load_blend_surface(engine(), x, y, strength, alphaOnly != 0);
}

QRN_API void QRN_CALL QRN_CopyBlendBufferLayer(int32_t slot, int32_t x, int32_t y,
                                               int32_t strength) {
    brush::load_blend_layer(engine(), slot, x, y, strength);
}

QRN_API void QRN_CALL QRN_CopyBlendBufferUnderLayer(int32_t x, int32_t y, int32_t strength) {
    brush::load_blend_under_layer(engine(), x, y, strength);
}

// The same operation as QRN_CopyBlendBufferUnderLayer: both read the back buffer.
QRN_API void QRN_CALL QRN_CopyBlendBufferHistory(int32_t x, int32_t y, int32_t strength) {
    brush::load_blend_under_layer(engine(), x, y, strength);
}

QRN_API void QRN_CALL QRN_CopyBlendBufferTrace(int32_t x, int32_t y, int32_t strength) {
    brush::load_blend_trace(engine(), x, y, strength);
}

QRN_API void QRN_CALL QRN_DoCopyBlendBufferMask(int32_t x, int32_t y, int32_t strength) {
    brush::load_blend_mask(engine(), x, y, strength);
}

QRN_API void QRN_CALL QRN_ClearBlendBuffer(void) { brush::clear_blend(engine()); }

QRN_API void QRN_CALL QRN_FilterBlendBuffer(int32_t kind, int32_t level) {
    brush::filter_blend(engine(), kind, level);
}

QRN_API int32_t QRN_CALL QRN_GetRed64(int32_t x, int32_t y) {
    return brush::channel_at(engine(), x, y, 0);
}
QRN_API int32_t QRN_CALL QRN_GetGreen64(int32_t x, int32_t y) {
    return brush::channel_at(engine(), x, y, 1);
}
QRN_API int32_t QRN_CALL QRN_GetBlue64(int32_t x, int32_t y) {
    return brush::channel_at(engine(), x, y, 2);
}
QRN_API int32_t QRN_CALL QRN_GetAlpha64(int32_t x, int32_t y) {
    return brush::channel_at(engine(), x, y, 3);
}

QRN_API int32_t QRN_CALL QRN_GetMask64(int32_t x, int32_t y) {
    return brush::mask_at(engine(), x, y);
}

QRN_API int32_t QRN_CALL QRN_GetColorAt(int32_t x, int32_t y, const uint16_t* pixels) {
    return brush::colour_at(engine(), x, y, pixels);
}

QRN_API int32_t QRN_CALL QRN_GetColorAtSurface(int32_t x, int32_t y) {
    return brush::colour_at_surface(engine(), x, y);
}

QRN_API int32_t QRN_CALL QRN_GetColorAtUnderLayer(int32_t x, int32_t y) {
    return brush::colour_at_under_layer(engine(), x, y);
}

QRN_API int32_t QRN_CALL QRN_GetColorAtLayer(int32_t x, int32_t y, int32_t slot) {
    return brush::colour_at_layer(engine(), x, y, slot);
}

QRN_API int32_t QRN_CALL QRN_GetColorAtHistory(int32_t x, int32_t y) {
    return brush::colour_at_history(engine(), x, y);
}

QRN_API int32_t QRN_CALL QRN_GetColorAtTrace(int32_t x, int32_t y) {
    return brush::colour_at_trace(engine(), x, y);
}

}  // extern "C"

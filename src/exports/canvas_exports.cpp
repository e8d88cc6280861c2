// Canvas and layer stack.
#include "engine/canvas.h"
#include "engine/layers.h"
#include "exports/guard.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_CreateImage(void* wnd, int32_t w, int32_t h, int32_t b, int32_t reserved) {
    guard("CreateImage", [&] { canvas::create_image(engine(), wnd, w, h, b, reserved); });
}
QRN_API void QRN_CALL QRN_NewSize(void* wnd, int32_t w, int32_t h, int32_t b, int32_t reserved) {
    guard("NewSize", [&] { canvas::new_size(engine(), wnd, w, h, b, reserved); });
}
QRN_API void QRN_CALL QRN_DeleteImage(void) {
    guard("DeleteImage", [] { canvas::delete_image(engine()); });
}
QRN_API int32_t QRN_CALL QRN_CreateLayer(int32_t slot, int32_t w, int32_t h) {
    return guarded("CreateLayer", 0, [&] { return layers::create_layer(engine(), slot, w, h); });
}
QRN_API void QRN_CALL QRN_DeleteLayer(int32_t slot) {
    guard("DeleteLayer", [&] { layers::delete_layer(engine(), slot); });
}
QRN_API void QRN_CALL QRN_SwapLayers(int32_t a, int32_t b) {
    guard("SwapLayers", [&] { layers::swap_layers(engine(), a, b); });
}
QRN_API void QRN_CALL QRN_SetLayer(int32_t slot) {
    guard("SetLayer", [&] { layers::set_layer(engine(), slot); });
}
QRN_API void QRN_CALL QRN_SetLayerOptions(int32_t slot, int32_t visible, int32_t alpha_locked,
                                          int32_t opacity, const char* name) {
    guard("SetLayerOptions",
          [&] { layers::set_layer_options(engine(), slot, visible, alpha_locked, opacity, name); });
}
QRN_API int32_t QRN_CALL QRN_GetLayerCount(void) { return layers::layer_count(engine()); }
QRN_API int32_t QRN_CALL QRN_GetLayerNum(void) { return engine().canvas.current_layer_num; }
QRN_API void QRN_CALL QRN_CreatePaintLayer(int32_t opacity, const char* name) {
    guard("CreatePaintLayer", [&] { layers::create_paint_layer(engine(), opacity, name); });
}
QRN_API void QRN_CALL QRN_ClearPaintLayer(void) { layers::clear_paint_layer(engine()); }
QRN_API void QRN_CALL QRN_DeletePaintLayer(void) { layers::delete_paint_layer(engine()); }
QRN_API uint8_t* QRN_CALL QRN_CreateTexture(int32_t slot) {
    return guarded("CreateTexture", static_cast<uint8_t*>(nullptr),
                   [&] { return layers::create_texture(engine(), slot); });
}
QRN_API void QRN_CALL QRN_DeleteTexture(void) { layers::delete_texture(engine()); }
QRN_API void QRN_CALL QRN_SetLayerAlpha(int32_t slot, int32_t alpha) {
    layers::set_layer_alpha(engine(), slot, alpha);
}
QRN_API void QRN_CALL QRN_NormalizeLayerAlpha(int32_t slot) { layers::normalize_layer_alpha(engine(), slot); }
QRN_API void QRN_CALL QRN_InvertAlpha(int32_t slot) { layers::invert_alpha(engine(), slot); }
QRN_API void QRN_CALL QRN_InvertAlpha_RGBA32(uint8_t* buffer) { layers::invert_alpha_rgba32(engine(), buffer); }
QRN_API void QRN_CALL QRN_SetColorAlpha(int32_t r, int32_t g, int32_t b) {
    layers::set_colour_alpha(engine(), r, g, b);
}
QRN_API void QRN_CALL QRN_SetColorAlphaRGBABuf(uint8_t* buffer, int32_t w, int32_t h, int32_t r,
                                               int32_t g, int32_t b) {
    layers::set_colour_alpha_rgba_buf(buffer, w, h, r, g, b);
}
QRN_API void QRN_CALL QRN_SetAlphaFromRGBAImageColor(uint8_t* buffer, int32_t r, int32_t g, int32_t b) {
    layers::set_alpha_from_rgba_image_colour(engine(), buffer, r, g, b);
}
QRN_API void QRN_CALL QRN_BlurPaintLayerAlpha(void) {
    guard("BlurPaintLayerAlpha", [] { layers::blur_paint_layer_alpha(engine()); });
}
QRN_API void QRN_CALL QRN_CreateBlobFromImage(int32_t slot, int32_t mode) {
    layers::create_blob_from_image(engine(), slot, mode);
}

}  // extern "C"

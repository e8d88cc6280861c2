// Image brushes: load, fill, tint, save, size, rotate and copy into the blend buffer.
#include "brush/image_brush.h"
#include "engine/engine_state.h"
#include "exports/guard.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_LoadImageBrush(const char* path) {
    guard("LoadImageBrush", [&] { brush::load_image_brush(engine(), path); });
}

QRN_API void QRN_CALL QRN_LoadImageBrushFromRGBA32(const uint8_t* pixels, int32_t width,
                                                   int32_t height) {
    guard("LoadImageBrushFromRGBA32",
          [&] { brush::load_image_brush_from_rgba32(engine(), pixels, width, height); });
}

QRN_API void QRN_CALL QRN_LoadImageBrushArray(const char* path) {
    guard("LoadImageBrushArray", [&] { brush::load_image_brush_array(engine(), path); });
}

QRN_API void QRN_CALL QRN_CopyFromImageBrushArray(float position) {
    quiet(0, [&] {
        brush::copy_from_image_brush_array(engine(), position);
        return 0;
    });
}

QRN_API void QRN_CALL QRN_SaveImageBrush(const char* path) {
    guard("SaveImageBrush", [&] { brush::save_image_brush(engine(), path); });
}

QRN_API void QRN_CALL QRN_FillImageBrush(uint8_t red, uint8_t green, uint8_t blue) {
    guard("FillImageBrush", [&] { brush::fill_image_brush(engine(), red, green, blue); });
}

QRN_API void QRN_CALL QRN_ColorImageBrush(uint8_t red, uint8_t green, uint8_t blue) {
    guard("ColorImageBrush", [&] { brush::colour_image_brush(engine(), red, green, blue); });
}

QRN_API void QRN_CALL QRN_CopyToImageBrush(void) {
    guard("CopyToImageBrush", [&] { brush::copy_to_image_brush(engine()); });
}

QRN_API void QRN_CALL QRN_SizeImageBrush(void) {
    guard("SizeImageBrush", [&] { brush::size_image_brush(engine()); });
}

// Only the sizing can fail, and it reports under its own name.
QRN_API void QRN_CALL QRN_CopyFromImageBrush(int32_t keepPercent) {
    guard("SizeImageBrush", [&] { brush::copy_from_image_brush(engine(), keepPercent); });
}

QRN_API void QRN_CALL QRN_RotateImageBrush(int32_t angle) {
    guard("RotateImageBrush", [&] { brush::rotate_image_brush(engine(), angle); });
}

QRN_API void QRN_CALL QRN_CopyFromImageBrushRotate(int32_t keepPercent) {
    quiet(0, [&] {
        brush::copy_from_image_brush_rotate(engine(), keepPercent);
        return 0;
    });
}

}  // extern "C"

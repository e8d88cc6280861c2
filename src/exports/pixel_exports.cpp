// QRN_ entry points of pixel transfer: the guard, then one call into qrn::pixels.
#include "engine/pixels.h"
#include "exports/guard.h"
#include "quornel/quornel.h"

using namespace qrn;
using pixels::LoadVariant;

QRN_API void QRN_CALL QRN_Load(const uint8_t* buffer, int32_t stride, int32_t width,
                               int32_t height) {
    guard("Load", [&] { pixels::load_bgr24(engine(), buffer, stride, width, height); });
}

QRN_API int32_t QRN_CALL QRN_LoadRGB24(const uint8_t* buffer, int32_t stride, uint8_t useMask) {
    return guarded("LoadRGB24", 0,
                   [&] { return pixels::load_rgb24(engine(), buffer, stride, useMask != 0); });
}

QRN_API void QRN_CALL QRN_LoadRGB24ToAlpha(const uint8_t* buffer, int32_t stride, uint8_t useMask) {
    guard("LoadRGB24ToAlpha",
          [&] { pixels::load_rgb24_to_alpha(engine(), buffer, stride, useMask != 0); });
}

QRN_API int32_t QRN_CALL QRN_LoadRGBA32Layer(const uint8_t* buffer, int32_t stride, int32_t layer,
                                             int32_t width, int32_t height, uint8_t useMask) {
    return guarded("LoadRGBA32Layer", 0, [&] {
        return pixels::load_rgba32_layer(engine(), buffer, stride, layer, width, height,
                                         useMask != 0, LoadVariant::Plain);
    });
}

QRN_API int32_t QRN_CALL QRN_LoadRGBA32Layer_GOOD(const uint8_t* buffer, int32_t stride,
                                                  int32_t layer, int32_t width, int32_t height,
                                                  uint8_t useMask) {
    return guarded("LoadRGBA32Layer_GOOD", 0, [&] {
        return pixels::load_rgba32_layer(engine(), buffer, stride, layer, width, height,
                                         useMask != 0, LoadVariant::Good);
    });
}

QRN_API int32_t QRN_CALL QRN_LoadRGBA32Layer_GOOD2(const uint8_t* buffer, int32_t stride,
                                                   int32_t layer, int32_t width, int32_t height,
                                                   uint8_t useMask) {
    return guarded("LoadRGBA32Layer_GOOD2", 0, [&] {
        return pixels::load_rgba32_layer(engine(), buffer, stride, layer, width, height,
                                         useMask != 0, LoadVariant::Good2);
    });
}

QRN_API int32_t QRN_CALL QRN_LoadRGBA32(const uint8_t* buffer, int32_t stride, uint8_t useMask) {
    return guarded("LoadRGBA32", 0,
                   [&] { return pixels::load_rgba32(engine(), buffer, stride, useMask != 0); });
}

QRN_API int32_t QRN_CALL QRN_LoadRGBA32Into(const uint8_t* buffer, int32_t stride, int32_t layer,
                                            int32_t width, int32_t height) {
    return guarded("LoadRGBA32Into", 0, [&] {
        return pixels::load_rgba32_layer(engine(), buffer, stride, layer, width, height, true);
    });
}

QRN_API void QRN_CALL QRN_LoadRGBA32LayerCompressed(const uint8_t* data, int32_t /*unused*/,
                                                    int32_t length, int32_t layer) {
    guard("LoadRGBA32LayerCompressed",
          [&] { pixels::load_rgba32_layer_compressed(engine(), data, length, layer); });
}

QRN_API int32_t QRN_CALL QRN_SetRGBA64Layer(const uint16_t* buffer, int32_t stride, int32_t layer) {
    return guarded("SetRGBA64Layer", 0,
                   [&] { return pixels::set_rgba64_layer(engine(), buffer, stride, layer); });
}

QRN_API void QRN_CALL QRN_SetLayerData(const uint16_t* buffer, int32_t layer) {
    guard("SetLayerData", [&] { pixels::set_layer_data(engine(), buffer, layer); });
}

QRN_API void QRN_CALL QRN_CopyLayerData(int32_t sourceLayer, int32_t destinationLayer) {
    guard("CopyLayerData",
          [&] { pixels::copy_layer_data(engine(), sourceLayer, destinationLayer); });
}

QRN_API int32_t QRN_CALL QRN_GetRGB24(uint8_t* buffer, int32_t stride) {
    return guarded("GetRGB24", 0, [&] { return pixels::get_rgb24(engine(), buffer, stride); });
}

QRN_API int32_t QRN_CALL QRN_GetRGB24FromAlpha(uint8_t* buffer, int32_t stride) {
    return guarded("GetRGB24FromAlpha", 0,
                   [&] { return pixels::get_rgb24_from_alpha(engine(), buffer, stride); });
}

QRN_API int32_t QRN_CALL QRN_GetRGBA32Layer(uint8_t* buffer, int32_t stride, int32_t layer) {
    return guarded("GetRGBA32Layer", 0,
                   [&] { return pixels::get_rgba32_layer(engine(), buffer, stride, layer); });
}

QRN_API int32_t QRN_CALL QRN_GetRGBA32(uint8_t* buffer, int32_t stride) {
    return guarded("GetRGBA32", 0, [&] { return pixels::get_rgba32(engine(), buffer, stride); });
}

QRN_API void QRN_CALL QRN_GetRGBA64LayerRect(uint16_t* buffer, int32_t stride, int32_t layer,
                                             int32_t x, int32_t y, int32_t width, int32_t height) {
    guard("GetRGBA64LayerRect", [&] {
        pixels::get_rgba64_layer_rect(engine(), buffer, stride, layer, x, y, width, height);
    });
}

QRN_API void QRN_CALL QRN_GetRGBA64Layer(uint16_t* buffer, int32_t stride, int32_t layer) {
    guard("GetRGBA64Layer", [&] { pixels::get_rgba64_layer(engine(), buffer, stride, layer); });
}

QRN_API void QRN_CALL QRN_GetLayerData(uint16_t* buffer, int32_t layer) {
    guard("GetLayerData", [&] { pixels::get_layer_data(engine(), buffer, layer); });
}

// Hosts compare this failure text; it names the plain reader on purpose.
QRN_API int32_t QRN_CALL QRN_GetRGBA32LayerCompressed(uint8_t* output, int32_t /*unused*/,
                                                      int32_t capacity, int32_t layer,
                                                      int32_t extra) {
    return guarded("GetRGBA32Layer", 0, [&] {
        return pixels::get_rgba32_layer_compressed(engine(), output, capacity, layer, extra);
    });
}

QRN_API void QRN_CALL QRN_GetRGBA32FromRGBA64Rect(uint8_t* destination, int32_t destinationStride,
                                                  const uint16_t* source, int32_t sourceStride,
                                                  int32_t /*x*/, int32_t /*y*/, int32_t width,
                                                  int32_t height) {
    guard("GetRGBA32FromRGBA64Rect", [&] {
        pixels::rgba64_to_rgba32(destination, destinationStride, source, sourceStride, width,
                                 height);
    });
}

QRN_API void QRN_CALL QRN_GetRGB24FromRGBA64Rect(uint8_t* destination, int32_t destinationStride,
                                                 const uint16_t* source, int32_t sourceStride,
                                                 int32_t /*x*/, int32_t /*y*/, int32_t width,
                                                 int32_t height) {
    guard("GetRGB24FromRGBA64Rect", [&] {
        pixels::rgba64_to_rgb24(destination, destinationStride, source, sourceStride, width,
                                height);
    });
}

QRN_API void QRN_CALL QRN_GetRGBA32FromRGBA64(uint8_t* destination, int32_t destinationStride,
                                              int32_t width, int32_t height, const uint16_t* source,
                                              int32_t sourceStride) {
    guard("GetRGBA32FromRGBA64", [&] {
        pixels::rgba64_to_rgba32(destination, destinationStride, source, sourceStride, width,
                                 height);
    });
}

QRN_API void QRN_CALL QRN_GetRGB24FromRGBA64(uint8_t* destination, int32_t destinationStride,
                                             const uint16_t* source, int32_t sourceStride) {
    guard("GetRGB24FromRGBA64", [&] {
        pixels::rgba64_to_rgb24_canvas(engine(), destination, destinationStride, source,
                                       sourceStride);
    });
}

QRN_API void QRN_CALL QRN_RGBA64RectToRGBA32(const uint16_t* source, int32_t x, int32_t y,
                                             int32_t width, int32_t height, int32_t sourceWidth,
                                             int32_t /*unused*/, uint8_t* destination) {
    guard("RGBA64RectToRGBA32", [&] {
        pixels::rgba64_rect_to_rgba32(source, x, y, width, height, sourceWidth, destination);
    });
}

QRN_API void QRN_CALL QRN_RGBA64RectToRGBA24(const uint16_t* source, int32_t x, int32_t y,
                                             int32_t width, int32_t height, int32_t sourceWidth,
                                             int32_t /*unused*/, uint8_t* destination) {
    guard("RGBA64RectToRGBA24", [&] {
        pixels::rgba64_rect_to_rgb24(source, x, y, width, height, sourceWidth, destination);
    });
}

QRN_API void QRN_CALL QRN_Clear(int32_t red, int32_t green, int32_t blue, int32_t alpha) {
    guard("Clear", [&] { pixels::clear(engine(), red, green, blue, alpha); });
}

QRN_API void QRN_CALL QRN_ClearMasked(int32_t red, int32_t green, int32_t blue, int32_t alpha) {
    guard("ClearMasked", [&] { pixels::clear_masked(engine(), red, green, blue, alpha); });
}

QRN_API void QRN_CALL QRN_ClearMaskedAlpha(int32_t red, int32_t green, int32_t blue,
                                           int32_t alpha) {
    guard("ClearMaskedAlpha",
          [&] { pixels::clear_masked_alpha(engine(), red, green, blue, alpha); });
}

QRN_API void QRN_CALL QRN_ClearRGBA64(uint16_t* buffer, int32_t stride, int32_t red, int32_t green,
                                      int32_t blue, int32_t alpha) {
    guard("ClearRGBA64",
          [&] { pixels::clear_rgba64(engine(), buffer, stride, red, green, blue, alpha); });
}

QRN_API void QRN_CALL QRN_ClearRGBA32(uint8_t* buffer, int32_t stride, int32_t red, int32_t green,
                                      int32_t blue, int32_t alpha) {
    guard("ClearRGBA32",
          [&] { pixels::clear_rgba32(engine(), buffer, stride, red, green, blue, alpha); });
}

QRN_API void QRN_CALL QRN_ClearRGBA32Buf(uint8_t* buffer, int32_t width, int32_t height,
                                         int32_t red, int32_t green, int32_t blue, int32_t alpha) {
    guard("ClearRGBA32Buf",
          [&] { pixels::clear_rgba32_buf(buffer, width, height, red, green, blue, alpha); });
}

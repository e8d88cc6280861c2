// QRN_ entry points of the merges, the display renderer and the adjustment
// filters: the guard, then one call into qrn::composite.
#include "composite/adjust.h"
#include "composite/merge.h"
#include "composite/render.h"
#include "exports/guard.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_AdjustRGBA32PreFilter(uint8_t* buffer, int32_t width, int32_t height) {
    guard("AdjustRGBA32PreFilter", [&] { composite::pre_filter_rgba32(buffer, width, height); });
}

QRN_API void QRN_CALL QRN_AdjustRGBA32PostFilter(uint8_t* buffer, int32_t width, int32_t height) {
    guard("AdjustRGBA32PostFilter", [&] { composite::post_filter_rgba32(buffer, width, height); });
}

QRN_API void QRN_CALL QRN_AdjustRGBA64PreFilter(uint16_t* buffer, int32_t width, int32_t height) {
    guard("AdjustRGBA64PreFilter", [&] { composite::pre_filter_rgba64(buffer, width, height); });
}

QRN_API void QRN_CALL QRN_AdjustRGBA64PostFilter(uint16_t* buffer, int32_t width, int32_t height) {
    guard("AdjustRGBA64PostFilter", [&] { composite::post_filter_rgba64(buffer, width, height); });
}

QRN_API int32_t QRN_CALL QRN_AdjustRGBA32ForAlphaComp(uint8_t flag, uint8_t* buffer) {
    return guarded("AdjustRGBA32ForAlphaComp", 0, [&] {
        return composite::unpremultiply_for_alpha_comp(engine(), flag, buffer);
    });
}

QRN_API void QRN_CALL QRN_AdjustRGBA32ByMaskAndTexture(uint8_t* buffer, int32_t width,
                                                       int32_t height) {
    guard("AdjustRGBA32ByMaskAndTexture", [&] {
        composite::weight_alpha_by_mask_and_texture(engine(), buffer, width, height);
    });
}

QRN_API void QRN_CALL QRN_MergeLayer(int32_t sourceLayer, int32_t destinationLayer) {
    guard("MergeLayer", [&] { composite::merge_layer(engine(), sourceLayer, destinationLayer); });
}

QRN_API void QRN_CALL QRN_MergeLayerIntoRect(int32_t layer, uint16_t* buffer, int32_t x, int32_t y,
                                             int32_t width, int32_t height) {
    guard("MergeLayerIntoRect", [&] {
        composite::merge_layer_into_rect(engine(), layer, buffer, x, y, width, height);
    });
}

QRN_API void QRN_CALL QRN_MergeLayerInto(int32_t layer, uint16_t* buffer) {
    guard("MergeLayerInto", [&] { composite::merge_layer_into(engine(), layer, buffer); });
}

QRN_API void QRN_CALL QRN_MergePaintLayer(int32_t layer) {
    guard("MergePaintLayer", [&] { composite::merge_paint_layer(engine(), layer); });
}

QRN_API void QRN_CALL QRN_MergeRect(uint16_t* buffer, int32_t x, int32_t y, int32_t width,
                                    int32_t height) {
    guard("MergeRect", [&] { composite::merge_rect(engine(), buffer, x, y, width, height); });
}

QRN_API void QRN_CALL QRN_Merge(uint16_t* buffer) {
    guard("Merge", [&] { composite::merge(engine(), buffer); });
}

QRN_API void QRN_CALL QRN_LoadRGBA32Layer_BAD(uint8_t* buffer, int32_t /*stride*/, int32_t layer,
                                              int32_t width, int32_t height, uint8_t adjust) {
    guard("LoadRGBA32Layer", [&] {
        composite::load_rgba32_layer_bad(engine(), buffer, layer, width, height, adjust != 0);
    });
}

QRN_API int32_t QRN_CALL QRN_Render(uint8_t* destination, int32_t stride, int32_t x, int32_t y,
                                    int32_t width, int32_t height) {
    return guarded("Render", 0, [&] {
        return composite::render(engine(), destination, stride, x, y, width, height);
    });
}

QRN_API int32_t QRN_CALL QRN_GetColorAtMerged(int32_t x, int32_t y) {
    return guarded("QRN_GetColorAtMerged", 0,
                   [&] { return composite::get_color_at_merged(engine(), x, y); });
}

}  // extern "C"

// QRN_ entry points of the adjustment filters: the guard, then one call into
// qrn::composite.
#include "composite/adjust.h"
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

}  // extern "C"

// QRN_ entry points of the selection mask: the guard, then one call into qrn::mask.
#include "exports/guard.h"
#include "mask/mask.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_SetMaskOptions(int32_t redA, int32_t greenA, int32_t blueA, int32_t redB,
                                         int32_t greenB, int32_t blueB, int32_t solid) {
    quiet(0, [&] {
        mask::set_options(engine(), redA, greenA, blueA, redB, greenB, blueB, solid);
        return 0;
    });
}

QRN_API void QRN_CALL QRN_ClearMask(int32_t red, int32_t green, int32_t blue) {
    guard("ClearMask", [&] { mask::clear(engine(), red, green, blue); });
}

QRN_API void QRN_CALL QRN_InvertMask(void) {
    guard("InvertMask", [] { mask::invert(engine()); });
}

QRN_API void QRN_CALL QRN_LoadMask(const uint8_t* source, int32_t stride, int32_t width,
                                   int32_t height) {
    guard("LoadMask", [&] { mask::load(engine(), source, stride, width, height); });
}

QRN_API void QRN_CALL QRN_SaveMask(uint8_t* destination, int32_t stride) {
    guard("SaveMask", [&] { mask::save(engine(), destination, stride); });
}

QRN_API void QRN_CALL QRN_CreateImageFromMask(void) {
    guard("CreateImageFromMask", [] { mask::create_image_from_mask(engine()); });
}

QRN_API void QRN_CALL QRN_CreateAlphaFromMask(void) {
    guard("CreateAlphaFromMask", [] { mask::create_alpha_from_mask(engine()); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromImage(void) {
    guard("CreateMaskFromImage", [] { mask::create_from_image(engine()); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromAlpha(void) {
    guard("CreateMaskFromAlpha", [] { mask::create_from_alpha(engine()); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageColor(const uint8_t* image, int32_t red,
                                                       int32_t green, int32_t blue, int32_t level) {
    guard("CreateMaskFromRGBAImageColor",
          [&] { mask::create_from_rgba_colour(engine(), image, red, green, blue, level); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromRGB24ImageColor(const uint8_t* image, int32_t red,
                                                        int32_t green, int32_t blue,
                                                        int32_t level) {
    guard("CreateMaskFromRGB24ImageColor",
          [&] { mask::create_from_rgb24_colour(engine(), image, red, green, blue, level); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageColorRange(const uint8_t* image, int32_t red,
                                                            int32_t green, int32_t blue,
                                                            int32_t range, int32_t level) {
    guard("CreateMaskFromRGBAImageColorRange",
          [&] { mask::create_from_colour_range(engine(), image, red, green, blue, range, level); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageAlphaRange(const uint8_t* image, int32_t alpha,
                                                            int32_t range, int32_t level) {
    guard("CreateMaskFromRGBAImageAlphaRange",
          [&] { mask::create_from_alpha_range(engine(), image, alpha, range, level); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageLuminanceRange(const uint8_t* image, int32_t red,
                                                                int32_t green, int32_t blue,
                                                                int32_t range, int32_t level) {
    guard("CreateMaskFromRGBAImageLuminanceRange", [&] {
        mask::create_from_luminance_range(engine(), image, red, green, blue, range, level);
    });
}

QRN_API void QRN_CALL QRN_CreateMaskFromRGBAImageHueRange(const uint8_t* image, int32_t red,
                                                          int32_t green, int32_t blue,
                                                          int32_t range, int32_t level) {
    guard("CreateMaskFromRGBAImageHueRange",
          [&] { mask::create_from_hue_range(engine(), image, red, green, blue, range, level); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromFloodMask(const uint8_t* map, int32_t level) {
    guard("CreateMaskFromFloodMask", [&] { mask::create_from_flood_map(engine(), map, level); });
}

QRN_API void QRN_CALL QRN_CreateMaskFromDiff_RGBA32(const uint8_t* imageA, const uint8_t* imageB,
                                                    int32_t value) {
    guard("CreateMaskFromDiff_RGBA32",
          [&] { mask::create_from_diff(engine(), imageA, imageB, value); });
}

QRN_API void QRN_CALL QRN_ApplyMaskToAlpha_RGBA32(uint8_t* image) {
    guard("ApplyMaskToAlpha_RGBA32", [&] { mask::apply_to_alpha_rgba32(engine(), image); });
}

QRN_API void QRN_CALL QRN_ReplaceFromRGBAImageAlphaRange(uint8_t* image, int32_t alpha,
                                                         int32_t range, int32_t red, int32_t green,
                                                         int32_t blue, int32_t newAlpha) {
    guard("ReplaceFromRGBAImageAlphaRange", [&] {
        mask::replace_alpha_range_rgba32(engine(), image, alpha, range, red, green, blue, newAlpha);
    });
}

QRN_API void QRN_CALL QRN_RGBToRGBA(uint8_t* destination, int32_t width, int32_t height,
                                    const uint8_t* source) {
    guard("RGBToRGBA", [&] { mask::rgb24_to_rgba32(destination, width, height, source); });
}

QRN_API void QRN_CALL QRN_RGBAToRGB(uint8_t* destination, int32_t width, int32_t height,
                                    const uint8_t* source) {
    guard("RGBAToRGB", [&] { mask::rgba32_to_rgb24(destination, width, height, source); });
}

QRN_API void QRN_CALL QRN_RGBToRGBAlpha(uint8_t* destination, int32_t width, int32_t height,
                                        const uint8_t* source) {
    guard("RGBToRGBAlpha", [&] { mask::rgb24_mean_to_alpha(destination, width, height, source); });
}

QRN_API void QRN_CALL QRN_RGBAlphaToRGB(uint8_t* destination, int32_t width, int32_t height,
                                        const uint8_t* source) {
    guard("RGBAlphaToRGB", [&] { mask::alpha_to_rgb24(destination, width, height, source); });
}

}  // extern "C"

// The selection mask: one 16-bit weight a canvas pixel (0xFFFF selected, 0
// protected), its whole-mask operations, selective creation from host images,
// and the 8-bit buffer conversions the mask tools and effects share.
//
// As a picture the mask is inverted: black selects, white protects. Without a
// mask (no canvas) every operation does nothing; a null host buffer likewise.
// Host RGBA32 / RGB24 images are canvas-sized and packed unless a stride is given.
#pragma once
#include <cstdint>

#include "composite/composite_job.h"
#include "engine/arith.h"
#include "engine/engine_state.h"

namespace qrn::mask {

// ---- The fixed conversions between mask words and grey ------------------------

// A 16-bit grey or colour mean: near-black selects fully, 0xFF00 protects fully.
// Means above 0xFF00 only come from layer pixels (0xFFFF channels) and protect.
constexpr uint16_t from_grey16(int64_t g) {
    if (g <= 0xFF) return 0xFFFF;
    if (g > 0xFF00) return 0;
    return uint16_t(0xFF00 - g);
}
// 8-bit grey: 0 selects fully (0xFFFF, not 0xFF00), so a saved mask loads back exactly.
constexpr uint16_t from_grey8(uint32_t g8) { return g8 == 0 ? 0xFFFF : uint16_t((255 - g8) << 8); }
constexpr uint8_t to_grey8(uint16_t m) { return uint8_t(255 - (m >> 8)); }
// Capped at 0xFF00 so a protected mask reads back as the white it was loaded from.
constexpr uint16_t to_grey16(uint16_t m) {
    const uint16_t inv = uint16_t(0xFFFF - m);
    return inv < 0xFF00 ? inv : uint16_t(0xFF00);
}

// Value written by the selective creations for level L: (255 - L) x 256, done as
// ((0xFFFF - L) << 8) kept to 16 bits. Level 0 gives 0xFF00, not 0xFFFF, and L
// wraps modulo 256; hosts rely on both.
constexpr uint16_t level_value(int32_t level) { return uint16_t((0xFFFFu - uint32_t(level)) << 8); }

// Range thresholds from a percentage: trunc(range x 2.56) (100 gives 256, so
// every byte matches) and, for hue, trunc(range x 1.8) degrees.
constexpr int32_t range_threshold(int32_t range) { return trunc_i32(double(range) * 2.56); }
constexpr int32_t hue_threshold(int32_t range) { return trunc_i32(double(range) * 1.8); }

// Circular hue distance as three tests, each difference truncated toward zero
// before its absolute value; greys carry hue -1 and take part as that number.
inline bool hue_matches(double h, double href, int32_t t) {
    const auto within = [t](double d) {
        const int64_t k = trunc_i32(d);
        return (k < 0 ? -k : k) <= t;
    };
    return within(h - href) || within(h - (href - 360.0)) || within(h - 360.0 - href);
}

// ---- Options and whole-mask operations ------------------------------------------

// Overlay colours A and B (low byte of each argument, stored << 8) and the solid flag.
void set_options(EngineState& st, int32_t ra, int32_t ga, int32_t ba, int32_t rb, int32_t gb,
                 int32_t bb, int32_t solid);
// Fills with from_grey16 of the truncated mean of three 16-bit channel values.
void clear(EngineState& st, int32_t r, int32_t g, int32_t b);
void invert(EngineState& st);
// RGB24 grey into the mask, min(w, W) x min(h, H); the rest keeps its values.
void load(EngineState& st, const uint8_t* src, int32_t stride, int32_t w, int32_t h);
// The mask as a W x H RGB24 grey picture.
void save(const EngineState& st, uint8_t* dst, int32_t stride);

// Between the mask and a canvas-sized current layer; no current layer, or one of
// another size, does nothing.
void create_image_from_mask(EngineState& st);
void create_alpha_from_mask(EngineState& st);
void create_from_image(EngineState& st);
void create_from_alpha(EngineState& st);

// ---- Selective creation: only matching pixels are written ---------------------------

void create_from_rgba_colour(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                             int32_t level);
void create_from_rgb24_colour(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                              int32_t level);
// The colour and hue ranges run vector loops; `simd` picks one (tests compare them
// against Scalar, the reference).
void create_from_colour_range(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                              int32_t range, int32_t level,
                              composite::Simd simd = composite::Simd::Best);
void create_from_alpha_range(EngineState& st, const uint8_t* img, int32_t alpha, int32_t range,
                             int32_t level);
void create_from_luminance_range(EngineState& st, const uint8_t* img, int32_t r, int32_t g,
                                 int32_t b, int32_t range, int32_t level);
void create_from_hue_range(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                           int32_t range, int32_t level,
                           composite::Simd simd = composite::Simd::Best);
// Map bytes equal to 1 (one byte a canvas pixel, W bytes a row).
void create_from_flood_map(EngineState& st, const uint8_t* map, int32_t level);
// Pixels where any of the four bytes of a and b differ get the low 16 bits of value.
void create_from_diff(EngineState& st, const uint8_t* a, const uint8_t* b, int32_t value);

// Alpha byte A becomes ((m >> 8) x A) >> 8, enabled mask or not (255 -> 254 when selected).
void apply_to_alpha_rgba32(const EngineState& st, uint8_t* img);
// Pixels with |A - alpha| <= range_threshold(range) become the bytes r, g, b, a.
void replace_alpha_range_rgba32(const EngineState& st, uint8_t* img, int32_t alpha, int32_t range,
                                int32_t r, int32_t g, int32_t b, int32_t a);

// ---- Packed 8-bit conversions, w x h, no canvas involved ----------------------------

void rgb24_to_rgba32(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src);      // alpha kept
void rgba32_to_rgb24(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src);      // alpha dropped
void rgb24_mean_to_alpha(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src);  // colour kept
void alpha_to_rgb24(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src);

}  // namespace qrn::mask

// Effects the engine computes on buffers directly: PhotoPop on the current
// layer, hue/saturation adjustment of host buffers, and two small helpers of
// the mask tools (the unused-colour search and the alpha fill).
#pragma once
#include <cstdint>
#include <optional>

#include "engine/engine_state.h"

namespace qrn::imaging {

// Sharpens the current layer, runs "Hyper Contrast" (first at 0.001 when
// extra_pass is 1, then at contrast / 1000) and scales its saturation by an
// amount from saturation 0..100 (0 gives -2, 50 exactly 1, 100 gives 3), each
// step loaded through the mask. The first contrast run reads the source
// buffer as it stands (filled by the host before the call), not the
// sharpened layer. Returns the last load's rows, or 0 (nothing
// done) without a canvas, a canvas-sized current layer or both RGBA32 work
// buffers, or when the saturation step fails.
int32_t photo_pop(EngineState& st, int32_t contrast, double saturation, uint8_t extra_pass);

// Saturation amount of PhotoPop's slider s.
double photo_pop_amount(double s);

// height rows of width packed RGBA32 pixels: hue shifted by degrees (wrapped
// onto the circle whatever its size), saturation and lightness (or value)
// moved by percent and clamped; alpha kept. Null or empty buffers: nothing.
void hsl_adjust(uint8_t* pixels, int32_t width, int32_t height, int32_t hue, int32_t saturation,
                int32_t lightness);
void hsv_adjust(uint8_t* pixels, int32_t width, int32_t height, int32_t hue, int32_t saturation,
                int32_t value);

// The first colour r | g << 8 | b << 16, in order of that number (b outermost,
// then g, then r), that no pixel of the packed RGBA32 image has; none when all
// 2^24 occur.
std::optional<uint32_t> unused_colour(const uint8_t* rgba, int32_t width, int32_t height);

// Byte 3 of every pixel of a packed width x height RGBA32 buffer set to alpha.
void fill_alpha(uint8_t* rgba, int32_t width, int32_t height, uint8_t alpha);

}  // namespace qrn::imaging

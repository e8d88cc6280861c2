// The geometry of all layers at once: resampling, page resize, crop, quarter
// turns and flips. Each changes only the layers (slots 1 up to the highest
// occupied one); canvas, mask and work buffers keep their size until the host
// calls QRN_NewSize. Called by the imaging exports.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::imaging::geometry {

// How QRN_IPLResize resamples for a filter name.
enum class Method { AreaAverage, Nearest, Bilinear, Bicubic, Filtered };
struct Resampler {
    Method method;
    int32_t filter;  // the library's filter index for Filtered, else -1
};
// The name's resampler, matched exactly (case and terminator included) in the
// order of the names' table; false for any other name and for null.
bool resampler_named(const char* name, Resampler& out);

// Offsets of the canvas image on a page larger by dw x dh (negative when it
// shrinks) for a two-letter anchor: row T, M, B, then column L, C, R; the
// middle is half the growth truncated toward zero. False for any other text.
bool anchor_offsets(const char* anchor, int32_t dw, int32_t dh, int32_t& x, int32_t& y);

// Sides outside 1..10000 and unknown names change nothing.
void resize(EngineState& st, int32_t width, int32_t height, const char* filter);
void resize_page(EngineState& st, int32_t width, int32_t height, const char* anchor);
// Nothing unless 0 <= left < right <= W and 0 <= top < bottom <= H.
void crop(EngineState& st, int32_t left, int32_t top, int32_t right, int32_t bottom);
void rotate_left(EngineState& st);
void rotate_right(EngineState& st);
// In place at the layer's size; an alpha-locked layer keeps its alpha unflipped.
void flip_horizontal(EngineState& st);
void flip_vertical(EngineState& st);

}  // namespace qrn::imaging::geometry

// Distortions of the current layer through the RGBA32 work buffers (pan, push
// warp, displacement bump) and the extra blur of a host RGB24 buffer. Called by
// the distortion exports. Each needs a canvas, both RGBA32 work buffers at the
// canvas size and a canvas-sized current layer; without them nothing happens.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::imaging::distort {

// The source shifted by (dx, dy) into the destination, merged (Normal, opacity
// 255, the layer's alpha lock) over the current layer. Edge 0 leaves what the
// shift uncovers transparent; 1 wraps, 2 clamps, anything else fills with
// r | g << 8 | b << 16 | a << 24 (R in the low byte). weight != 0 first weights
// the destination's alpha by mask and texture. Throws std::bad_alloc.
void pan(EngineState& st, int32_t dx, int32_t dy, int32_t edge, int32_t r, int32_t g, int32_t b,
         int32_t a, uint8_t weight);

// Premultiplies the source (it stays so), pushes it from (x1, y1) towards
// (x2, y2) into the destination, divides the alpha out again and loads it into
// the current layer through the mask.
void warp_point_to_point(EngineState& st, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// Blurs a packed width x height RGB24 buffer in place with radius
// radius_setting / 5 and strength amount_percent / 100. Nothing for a null
// buffer or a side outside 1..10000. Throws std::bad_alloc.
void blur_more_rgb24(uint8_t* pixels, int32_t width, int32_t height, int32_t radius_setting,
                     int32_t amount_percent);

// Displaces the source along the slopes of the grey picture the image script
// renders, tiled over the canvas, and loads the result into the current layer
// through the mask; fill (r | g << 8 | b << 16) covers what moves in from
// outside. A script that cannot be rendered changes nothing. Throws
// std::bad_alloc.
void displacement_bump(EngineState& st, const char* script_path, double amount, int32_t fill);

}  // namespace qrn::imaging::distort

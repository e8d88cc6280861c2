// Image brushes: the source picture, its copy sized to the brush, the rotated
// copy and the strip of animation frames, and their loads into the blend
// buffer. Called by the image brush exports.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::brush {

// Pictures from files or the host replace the source only when both sides are
// 1..b; anything else (no file, not an image, too large) leaves every picture
// as it was. Host pixels are packed RGBA32, width x height x 4 bytes. Loads
// widen by << 8.
void load_image_brush(EngineState& st, const char* path);
void load_image_brush_from_rgba32(EngineState& st, const uint8_t* pixels, int32_t width,
                                  int32_t height);
// A strip W x H of H x H frames (W / H of them, the remainder ignored); taken
// when H <= b and W >= H. The source becomes an H x H picture of zeros.
void load_image_brush_array(EngineState& st, const char* path);
// Frame trunc(count x position) of the strip into the source, the index
// clamped to the strip's frames (NaN gives the first).
void copy_from_image_brush_array(EngineState& st, float position);

// Source as an RGBA PNG at 2834 pixels per metre; nothing without a source.
void save_image_brush(EngineState& st, const char* path);

// Flat opaque S x S source, channels widened x 257 (255 -> 65535).
void fill_image_brush(EngineState& st, uint8_t r, uint8_t g, uint8_t b);
// Colour x 257 into every pixel, alpha kept; an opaque white S x S source is
// made first when there is none.
void colour_image_brush(EngineState& st, uint8_t r, uint8_t g, uint8_t b);
// Source from the top-left S x S of the blend buffer (zeros without one).
void copy_to_image_brush(EngineState& st);

// Sized copy of the source at S x S; invalidates the rotation cache.
void size_image_brush(EngineState& st);
// Sizes, then mixes the sized copy into the blend buffer, keeping keep percent
// of what the buffer held.
void copy_from_image_brush(EngineState& st, int32_t keep);
// Rotated copy of the sized brush by 360 - angle degrees, alpha turned with
// the colour.
void rotate_image_brush(EngineState& st, int32_t angle);
// Mixes the rotated copy into the blend buffer as copy_from_image_brush does.
void copy_from_image_brush_rotate(EngineState& st, int32_t keep);

}  // namespace qrn::brush

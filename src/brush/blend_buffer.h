// Blend buffer and colour pick-up: loads the paint the brush carries from the
// canvas, the mask or a host block, clears and filters it, and reads single
// colours back from layers, the back buffer, the undo history and the tracing
// layer. Called by the blend-buffer exports.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::brush {

// Which loop a load runs. Auto takes a vector loop for rows the mask leaves
// whole and skips the scaling for full mask words elsewhere; Reference always
// runs the per-pixel formula. Tests compare the two word for word.
enum class LoadPath { Auto, Reference };

// Loads the S x S blend square around (x, y) from a canvas-sized RGBA64 block,
// mixed with the current colour at strength c (0..256). Nothing while the blend
// strength is 0, without a blend buffer or for a null source.
void load_blend(EngineState& st, int32_t x, int32_t y, const uint16_t* source, int32_t strength,
                bool alpha_only, LoadPath path = LoadPath::Auto) noexcept;
void load_blend_surface(EngineState& st, int32_t x, int32_t y, int32_t strength,
                        bool alpha_only) noexcept;
void load_blend_layer(EngineState& st, int32_t slot, int32_t x, int32_t y,
                      int32_t strength) noexcept;
// The back buffer: the current layer as it was when it was selected.
void load_blend_under_layer(EngineState& st, int32_t x, int32_t y, int32_t strength) noexcept;
void load_blend_trace(EngineState& st, int32_t x, int32_t y, int32_t strength) noexcept;
// Grey values (one word per position) from the mask, mixed with the mask dab's
// paint value at strength c.
void load_blend_mask(EngineState& st, int32_t x, int32_t y, int32_t strength) noexcept;

void clear_blend(EngineState& st) noexcept;
// Kinds 289 grey, 290 invert, 291 and 292 thresholds at level percent; others nothing.
void filter_blend(EngineState& st, int32_t kind, int32_t level) noexcept;

// Packed 0xRRGGBB of the pixel at (x, y) clamped into the canvas, -1 when its
// alpha's high byte is 0, 0 for a null block or an empty canvas.
int32_t colour_at(const EngineState& st, int32_t x, int32_t y, const uint16_t* pixels) noexcept;
int32_t colour_at_surface(EngineState& st, int32_t x, int32_t y) noexcept;
int32_t colour_at_under_layer(EngineState& st, int32_t x, int32_t y) noexcept;
int32_t colour_at_layer(EngineState& st, int32_t x, int32_t y, int32_t slot) noexcept;
int32_t colour_at_trace(EngineState& st, int32_t x, int32_t y) noexcept;
// The undo entry next to undo, at (x, y) mapped into its own rectangle.
int32_t colour_at_history(const EngineState& st, int32_t x, int32_t y) noexcept;

// Channel 0..3 (red, green, blue, alpha) of the current layer at (x, y); 0
// outside the canvas or without a current layer.
int32_t channel_at(EngineState& st, int32_t x, int32_t y, int channel) noexcept;
// 65535 - mask at (x, y) with a current layer and the mask enabled, else 0.
int32_t mask_at(EngineState& st, int32_t x, int32_t y) noexcept;

}  // namespace qrn::brush

// The layer compositor and the merges built on it: a source image laid over a
// destination with a merge mode, an opacity and an optional mask layer.
//
// Slots outside 0..63, empty slots and slots whose size differs from the canvas
// take no part (the merge does nothing); rectangles are clipped to the canvas and
// buffer pixels outside it are left as they are.
#pragma once
#include <cstdint>

#include "composite/composite_job.h"
#include "engine/engine_state.h"

namespace qrn::composite {

constexpr int32_t kLayerMaskCode = 38;

// h rows of w pixels: src (and the mask layer, null for none, in src's geometry)
// over dst; strides in words. Opacity is clamped to 0..256 and codes outside 0..40
// follow loop_code. With keep_alpha no destination alpha word is written.
void composite(const uint16_t* src, int64_t src_stride, const uint16_t* mask_layer, uint16_t* dst,
               int64_t dst_stride, int64_t w, int64_t h, int32_t code, int32_t opacity,
               bool keep_alpha, Simd simd = Simd::Best);

// True when the loops of that instruction set run on this processor.
bool simd_available(Simd simd);

// The "Layer Mask" layer directly above slot s, when there is one.
const uint16_t* mask_layer_above(EngineState& st, int32_t s);

void merge_layer(EngineState& st, int32_t src, int32_t dst);
// buf is packed w pixels wide; buffer (i, j) is canvas (x + j, y + i).
void merge_layer_into_rect(EngineState& st, int32_t layer, uint16_t* buf, int32_t x, int32_t y,
                           int32_t w, int32_t h);
void merge_layer_into(EngineState& st, int32_t layer, uint16_t* buf);
// Also clears the paint layer, so each stroke is merged once.
void merge_paint_layer(EngineState& st, int32_t layer);
void merge_rect(EngineState& st, uint16_t* buf, int32_t x, int32_t y, int32_t w, int32_t h);
void merge(EngineState& st, uint16_t* buf);

// A packed canvas-sized RGBA32 image widened and composited over the whole of a
// canvas-sized layer; nothing when the temporary image cannot be allocated.
void merge_rgba32(EngineState& st, const uint8_t* image, LayerRecord& dst, int32_t code,
                  int32_t opacity, bool keep_alpha);

// The masked clear of the target slot, then the image at opacity 255 over it.
void load_rgba32_layer_bad(EngineState& st, uint8_t* buf, int32_t layer, int32_t w, int32_t h,
                           bool adjust);

// 0x00RRGGBB of the merged pixel, -1 where its alpha's high byte is 0.
int32_t get_color_at_merged(EngineState& st, int32_t x, int32_t y);

}  // namespace qrn::composite

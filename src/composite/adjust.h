// Adjustment filters: in-place passes over host RGBA32 / RGBA64 buffers that
// premultiply colour before a filter and divide it out afterwards, and weight
// alpha by texture and mask. Called by the exports, effects and Lua filters.
//
// Buffers are packed (width x 4 channels a row). A null buffer or a width or
// height below 1 does nothing. `simd` picks the loop of the 16-bit pair and the
// 8-bit pre-filter (tests compare each width against Scalar, the reference).
#pragma once
#include <cstdint>

#include "composite/composite_job.h"
#include "engine/engine_state.h"

namespace qrn::composite {

// Pixels with 0 < a < 255: c = trunc((a / 255) x (c + 1)).
void pre_filter_rgba32(uint8_t* buf, int32_t width, int32_t height, Simd simd = Simd::Best);
// Pixels with 0 < a < 255: c = min(trunc((255 / a) x c), 255).
void post_filter_rgba32(uint8_t* buf, int32_t width, int32_t height, Simd simd = Simd::Best);
// Pixels with a != 0: c = trunc((a / 65535) x c).
void pre_filter_rgba64(uint16_t* buf, int32_t width, int32_t height, Simd simd = Simd::Best);
// Pixels with a != 0: c = min(trunc((65535 / a) x c), 0xFFFF).
void post_filter_rgba64(uint16_t* buf, int32_t width, int32_t height, Simd simd = Simd::Best);

// Canvas-sized RGBA32 (W x H), pixels with a != 0, opaque ones included:
// c = min(trunc((255 / a) x c), 255). Returns H; 0 and nothing done when the flag
// is 0 or the buffer is null.
int32_t unpremultiply_for_alpha_comp(const EngineState& st, uint8_t flag, uint8_t* buf,
                                     Simd simd = Simd::Best);

// a = trunc((w / 65535) x a) with w the load weight at the same canvas position;
// pixels beyond the canvas keep their alpha. Nothing without texture or enabled mask.
void weight_alpha_by_mask_and_texture(const EngineState& st, uint8_t* buf, int32_t width,
                                      int32_t height);

}  // namespace qrn::composite

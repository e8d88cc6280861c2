// The display renderer: the visible layers and the paint layer of a canvas
// rectangle composited at the current zoom over the checkerboard, with the
// tracing layer and the mask overlay, written as B, G, R bytes.
#pragma once
#include <cstdint>

#include "composite/composite_job.h"
#include "engine/engine_state.h"

namespace qrn::composite {

// Returns 0 without writing when there is no canvas-sized current layer or no
// buffer, else 1. The output is cut at the view size; a scale divisor of 0 or
// below renders 1:1. stride is in bytes and may be negative.
int32_t render(EngineState& st, uint8_t* dst, int32_t stride, int32_t x, int32_t y, int32_t w,
               int32_t h, Simd simd = Simd::Best);

}  // namespace qrn::composite

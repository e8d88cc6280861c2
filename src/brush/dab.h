// Dab renderer: stamps the brush footprint into the paint layer or the current
// layer, or paints a grey value into the selection mask. Called by the dab exports
// once per stroke position.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::brush {

// Which per-pixel loop a dab may use. Auto takes the specialised loop whenever
// the settings allow it, with the widest vectors the processor has; Avx2 and
// Baseline limit that loop to AVX2 and to SSE2; General always runs the
// reference loop. Tests compare them word for word.
enum class DabPath { Auto, Baseline, General, Avx2 };

// One colour dab centred on (x, y). Only the high byte of red, green and blue
// counts; with the mask-maker flag set it becomes a mask dab.
void draw_dab(EngineState& st, int32_t x, int32_t y, int32_t red, int32_t green, int32_t blue,
              DabPath path = DabPath::Auto) noexcept;

// One mask dab centred on (x, y) with the current colour: dark paint selects,
// light paint deselects.
void draw_mask_dab(EngineState& st, int32_t x, int32_t y) noexcept;

}  // namespace qrn::brush

// Canvas set-up, resize and deletion: every canvas- and brush-sized buffer.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::canvas {

// Side outside 0..10000 becomes 100 (never rejected; 0 is accepted).
constexpr int32_t clamp_side(int32_t v) { return (v < 0 || v > kMaxSide) ? 100 : v; }

void create_image(EngineState& st, void* host_window, int32_t width, int32_t height,
                  int32_t max_brush, int32_t reserved);
void new_size(EngineState& st, void* host_window, int32_t width, int32_t height,
              int32_t max_brush, int32_t reserved);
void delete_image(EngineState& st);

}  // namespace qrn::canvas

// Stroke spline: a curve through three successive input positions, sampled at
// 100 points that the host feeds to the dab renderer one at a time. Called by
// the spline exports.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::brush {

// Samples the curve through (x0, y0), (x1, y1), (x2, y2); returns the point count.
int32_t calc_spline3(EngineState& st, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                     int32_t y2);
int32_t spline_point_count(const EngineState& st);
// A sample truncated toward zero; the last sample for an index at or beyond
// the count, 0 before any calculation.
int32_t spline_point_x(const EngineState& st, uint32_t index);
int32_t spline_point_y(const EngineState& st, uint32_t index);

}  // namespace qrn::brush

// Stroke spline over the imaging library's spline routine.
#include "brush/spline.h"

#include "engine/arith.h"
#include "engine/imaging_api/imaging.h"

namespace qrn::brush {

namespace {
// The routine's smoothness argument as hosts always had it; our curve ignores it.
constexpr int32_t kSmoothness = 50;

int32_t sample(const EngineState& st, const std::array<double, kSplinePoints>& axis,
               uint32_t index) {
    const int32_t count = st.spline.count;
    if (count <= 0) return 0;
    const uint32_t i = index < uint32_t(count) ? index : uint32_t(count - 1);
    return trunc_i32(axis[i]);
}
}  // namespace

int32_t calc_spline3(EngineState& st, int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t x2,
                     int32_t y2) {
    // Signed, so that a stroke touching the left or top edge stays there.
    StrokeSpline& s = st.spline;
    s.control_x = {double(x0), double(x1), double(x2)};
    s.control_y = {double(y0), double(y1), double(y2)};
    s.control_z = {0, 0, 0};
    imaging::spline_points_3d(kSplinePoints, kSplineControls, kSmoothness, s.control_x.data(),
                              s.control_y.data(), s.control_z.data(), s.x.data(), s.y.data(),
                              s.z.data());
    s.count = kSplinePoints;
    return s.count;
}

int32_t spline_point_count(const EngineState& st) { return st.spline.count; }

int32_t spline_point_x(const EngineState& st, uint32_t index) {
    return sample(st, st.spline.x, index);
}

int32_t spline_point_y(const EngineState& st, uint32_t index) {
    return sample(st, st.spline.y, index);
}

}  // namespace qrn::brush

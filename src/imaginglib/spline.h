// Sampled curves through control points in three dimensions, for stroke smoothing.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Fills the out_ arrays with `wanted` samples of the polynomial through the
// `controls` points, the k-th control point taken at t = k / (controls - 1) and
// sample i at t = i / (wanted - 1): the first and last samples are the first
// and last control points exactly. Three control points give the quadratic with
// the middle one at t = 0.5. `smoothness` is accepted for the interface's sake
// and does not change the curve. Returns the samples written; 0 (nothing
// written) for fewer than 2 control points, more than 16, no samples or a null array.
int32_t spline_points_3d(int32_t wanted, int32_t controls, int32_t smoothness, const double* cx,
                         const double* cy, const double* cz, double* out_x, double* out_y,
                         double* out_z);

}  // namespace qrn::imaginglib

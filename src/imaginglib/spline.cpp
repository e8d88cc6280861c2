// Lagrange interpolation at evenly spaced knots: with three points the
// quadratic P0 (2t - 1)(t - 1) + P1 4t (1 - t) + P2 t (2t - 1).
#include "imaginglib/spline.h"

namespace qrn::imaginglib {

namespace {
// Beyond this the polynomial swings too far between its knots to smooth anything.
constexpr int32_t kMaxControls = 16;
}  // namespace

int32_t spline_points_3d(int32_t wanted, int32_t controls, int32_t /*smoothness*/, const double* cx,
                         const double* cy, const double* cz, double* out_x, double* out_y,
                         double* out_z) {
    if (wanted < 1 || controls < 2 || controls > kMaxControls) return 0;
    if (!cx || !cy || !cz || !out_x || !out_y || !out_z) return 0;
    const double last_knot = controls - 1;
    const double last_sample = wanted > 1 ? wanted - 1 : 1;
    for (int32_t i = 0; i < wanted; ++i) {
        // The position in knot units; integral products and quotients keep the
        // first and last samples exactly on 0 and on the last knot.
        const double s = i * last_knot / last_sample;
        double x = 0, y = 0, z = 0;
        for (int32_t j = 0; j < controls; ++j) {
            // At a knot every other basis has a zero factor and this one is a
            // product of q / q, so the curve meets its end points exactly.
            double basis = 1;
            for (int32_t m = 0; m < controls; ++m)
                if (m != j) basis *= (s - m) / (j - m);
            x += basis * cx[j];
            y += basis * cy[j];
            z += basis * cz[j];
        }
        out_x[i] = x;
        out_y[i] = y;
        out_z[i] = z;
    }
    return wanted;
}

}  // namespace qrn::imaginglib

// Filled shapes drawn straight into byte images.
#include "imaginglib/shapes.h"

#include <algorithm>
#include <cmath>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {
namespace {

bool inside(int64_t x, int64_t y, int64_t cx, int64_t cy, double rx, double ry) {
    const double u = double(x - cx) / rx, v = double(y - cy) / ry;
    return u * u + v * v <= 1.0;
}

}  // namespace

int32_t draw_ellipse(uint8_t* px, int32_t w, int32_t h, int32_t bpp, int64_t stride,
                     uint32_t colour, int32_t cx, int32_t cy, int32_t rx, int32_t ry,
                     int32_t filled, double opacity) {
    if (!px || w < 1 || h < 1 || bpp < 1 || bpp > 4 || !stride_fits(stride, int64_t(w) * bpp, h))
        return 0;
    const double op = std::isfinite(opacity) ? std::clamp(opacity, 0.0, 1.0) : 0.0;
    const double fx = std::max(rx, 1), fy = std::max(ry, 1);
    const int64_t x0 = std::max<int64_t>(0, int64_t(cx) - int64_t(fx));
    const int64_t x1 = std::min<int64_t>(w - 1, int64_t(cx) + int64_t(fx));
    const int64_t y0 = std::max<int64_t>(0, int64_t(cy) - int64_t(fy));
    const int64_t y1 = std::min<int64_t>(h - 1, int64_t(cy) + int64_t(fy));
    for (int64_t y = y0; y <= y1; ++y) {
        uint8_t* row = row_at(px, stride, y);
        for (int64_t x = x0; x <= x1; ++x) {
            if (!inside(x, y, cx, cy, fx, fy)) continue;
            if (!filled && inside(x - 1, y, cx, cy, fx, fy) && inside(x + 1, y, cx, cy, fx, fy) &&
                inside(x, y - 1, cx, cy, fx, fy) && inside(x, y + 1, cx, cy, fx, fy))
                continue;
            uint8_t* p = row + x * bpp;
            for (int32_t c = 0; c < bpp; ++c) {
                const double v = ((colour >> (8 * c)) & 0xFF) * op + p[c] * (1 - op);
                p[c] = uint8_t(std::clamp(std::lround(v), 0L, 255L));
            }
        }
    }
    return 1;
}

int32_t fill_solid_rect(uint8_t* px, int32_t w, int32_t h, int32_t bpp, int64_t stride,
                        int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
    if (!px || w < 1 || h < 1 || bpp < 1 || bpp > 4 || !stride_fits(stride, int64_t(w) * bpp, h))
        return 0;
    const int64_t x0 = std::max(left, 0), x1 = std::min(right, w);
    const int64_t y0 = std::max(top, 0), y1 = std::min(bottom, h);
    for (int64_t y = y0; y < y1; ++y) {
        uint8_t* p = row_at(px, stride, y) + x0 * bpp;
        for (int64_t x = x0; x < x1; ++x, p += bpp)
            for (int32_t c = 0; c < bpp; ++c) p[c] = uint8_t(colour >> (8 * c));
    }
    return 1;
}

}  // namespace qrn::imaginglib

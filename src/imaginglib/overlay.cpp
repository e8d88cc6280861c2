// Overlay of one image onto another: the rectangle copy behind the undo history
// and every paste of a sub-image.
#include "imaginglib/overlay.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {
namespace {

// out = s x a + d x (1 - a), per byte, truncated; a of 0 or below (or NaN) keeps d.
void blend_row(uint8_t* d, const uint8_t* s, int64_t bytes, double a) {
    if (!(a > 0.0)) return;
    for (int64_t i = 0; i < bytes; ++i) {
        const double v = double(s[i]) * a + double(d[i]) * (1.0 - a);
        d[i] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
    }
}

}  // namespace

int32_t overlay_image(uint8_t* dst, int32_t dst_w, int32_t dst_h, int32_t bytes_per_pixel,
                      int64_t dst_stride, const uint8_t* src, int32_t src_w, int32_t src_h,
                      int64_t src_stride, int32_t x, int32_t y, double opacity, int32_t /*flag*/) {
    if (!dst || !src || dst_w <= 0 || dst_h <= 0 || src_w <= 0 || src_h <= 0) return 0;
    if (bytes_per_pixel < 1 || bytes_per_pixel > 8) return 0;
    const int64_t bpp = bytes_per_pixel;
    if (!stride_fits(dst_stride, int64_t(dst_w) * bpp, dst_h) ||
        !stride_fits(src_stride, int64_t(src_w) * bpp, src_h))
        return 0;

    // Clip in 64 bits: x + src_w must not wrap for positions near the int32 limits.
    const int64_t dx0 = std::max<int64_t>(x, 0);
    const int64_t dy0 = std::max<int64_t>(y, 0);
    const int64_t dx1 = std::min<int64_t>(int64_t(x) + src_w, dst_w);
    const int64_t dy1 = std::min<int64_t>(int64_t(y) + src_h, dst_h);
    if (dx0 >= dx1 || dy0 >= dy1) return 1;
    const int64_t row_bytes = (dx1 - dx0) * bpp;
    const int64_t sx0 = dx0 - x;
    const int64_t sy0 = dy0 - y;

    for (int64_t r = 0; r < dy1 - dy0; ++r) {
        uint8_t* d = dst + (dy0 + r) * dst_stride + dx0 * bpp;
        const uint8_t* s = src + (sy0 + r) * src_stride + sx0 * bpp;
        // memmove: a caller may overlay one part of an image onto another.
        if (opacity >= 1.0) std::memmove(d, s, size_t(row_bytes));
        else blend_row(d, s, row_bytes, opacity);
    }
    return 1;
}

}  // namespace qrn::imaginglib

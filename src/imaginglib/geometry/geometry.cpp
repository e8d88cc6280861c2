// Crop, quick rotation and flips: the per-layer steps of the engine's
// geometry operations.
#include "imaginglib/geometry/geometry.h"

#include <algorithm>
#include <cstring>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {
namespace {

constexpr int32_t kMaxPixelBytes = 8;

bool usable(const void* p, int32_t w, int32_t h, int64_t stride, int32_t bpp) {
    return p && w > 0 && h > 0 && bpp >= 1 && bpp <= kMaxPixelBytes &&
           stride_fits(stride, int64_t(w) * bpp, h);
}

}  // namespace

int32_t crop_image(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
                   int64_t dst_stride, CropRect r, int32_t bytes_per_pixel) {
    // In 64 bits: right - left of two extreme int32 values does not fit in 32.
    const int64_t cw = int64_t(r.right) - r.left, ch = int64_t(r.bottom) - r.top;
    if (cw <= 0 || ch <= 0 || cw > INT32_MAX || ch > INT32_MAX) return 0;
    if (!usable(src, w, h, src_stride, bytes_per_pixel) ||
        !usable(dst, int32_t(cw), int32_t(ch), dst_stride, bytes_per_pixel))
        return 0;
    const int64_t x0 = std::max<int64_t>(r.left, 0), x1 = std::min<int64_t>(r.right, w);
    const int64_t y0 = std::max<int64_t>(r.top, 0), y1 = std::min<int64_t>(r.bottom, h);
    if (x0 >= x1 || y0 >= y1) return 0;
    const int64_t bpp = bytes_per_pixel;
    for (int64_t y = y0; y < y1; ++y)
        std::memcpy(row_at(dst, dst_stride, y - r.top) + (x0 - r.left) * bpp,
                    row_at(src, src_stride, y) + x0 * bpp, size_t((x1 - x0) * bpp));
    return 1;
}

namespace {

// B is the pixel size when known at compile time (0: bpp at run time), so
// the common sizes copy without a call.
template <size_t B>
void turn_tiles(const uint8_t* src, int64_t w, int64_t h, int64_t ss, uint8_t* dst, int64_t ds,
                int64_t dw, int64_t dh, int32_t turn, size_t bpp) {
    // Tiles keep the source rows a quarter turn reads down their columns in
    // cache across the tile's destination rows.
    constexpr int64_t kTile = 64;
    const int64_t px = int64_t(bpp);
    for (int64_t y0 = 0; y0 < dh; y0 += kTile)
        for (int64_t x0 = 0; x0 < dw; x0 += kTile) {
            const int64_t y1 = std::min(y0 + kTile, dh), x1 = std::min(x0 + kTile, dw);
            for (int64_t y = y0; y < y1; ++y) {
                // Source of destination (0, y), and the step to (x + 1, y):
                // clockwise (y, h-1-x), counter-clockwise (w-1-y, x), half (w-1-x, h-1-y).
                const uint8_t* p;
                int64_t step;
                if (turn == kTurnClockwise) p = row_at(src, ss, h - 1) + y * px, step = -ss;
                else if (turn == kTurnCounterClockwise) p = src + (w - 1 - y) * px, step = ss;
                else p = row_at(src, ss, h - 1 - y) + (w - 1) * px, step = -px;
                uint8_t* d = row_at(dst, ds, y);
                for (int64_t x = x0; x < x1; ++x) std::memcpy(d + x * px, p + x * step, B ? B : bpp);
            }
        }
}

}  // namespace

int32_t quick_rotate_image(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride,
                           uint8_t* dst, int64_t dst_stride, int32_t turn,
                           int32_t bytes_per_pixel) {
    if (turn != kTurnClockwise && turn != kTurnHalf && turn != kTurnCounterClockwise) return 0;
    const bool quarter = turn != kTurnHalf;
    const int32_t dw = quarter ? h : w, dh = quarter ? w : h;
    if (!usable(src, w, h, src_stride, bytes_per_pixel) ||
        !usable(dst, dw, dh, dst_stride, bytes_per_pixel))
        return 0;
    const size_t bpp = size_t(bytes_per_pixel);
    switch (bytes_per_pixel) {
        case 4: turn_tiles<4>(src, w, h, src_stride, dst, dst_stride, dw, dh, turn, bpp); break;
        case 3: turn_tiles<3>(src, w, h, src_stride, dst, dst_stride, dw, dh, turn, bpp); break;
        case 1: turn_tiles<1>(src, w, h, src_stride, dst, dst_stride, dw, dh, turn, bpp); break;
        default: turn_tiles<0>(src, w, h, src_stride, dst, dst_stride, dw, dh, turn, bpp); break;
    }
    return 1;
}

int32_t horizontal_flip_image(uint8_t* image, int32_t w, int32_t h, int32_t bytes_per_pixel,
                              int64_t stride) {
    if (!usable(image, w, h, stride, bytes_per_pixel)) return 0;
    const size_t bpp = size_t(bytes_per_pixel);
    uint8_t tmp[kMaxPixelBytes];
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* row = row_at(image, stride, y);
        for (int64_t a = 0, b = w - 1; a < b; ++a, --b) {
            std::memcpy(tmp, row + size_t(a) * bpp, bpp);
            std::memcpy(row + size_t(a) * bpp, row + size_t(b) * bpp, bpp);
            std::memcpy(row + size_t(b) * bpp, tmp, bpp);
        }
    }
    return 1;
}

int32_t vertical_flip_image(uint8_t* image, int64_t stride, int32_t h) {
    if (!image || h < 1 || stride == 0 || !stride_fits(stride, 1, h)) return 0;
    const int64_t row_bytes = stride < 0 ? -stride : stride;
    for (int64_t a = 0, b = h - 1; a < b; ++a, --b)
        std::swap_ranges(row_at(image, stride, a), row_at(image, stride, a) + row_bytes,
                         row_at(image, stride, b));
    return 1;
}

}  // namespace qrn::imaginglib

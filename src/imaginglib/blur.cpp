// 3x3 box blur, mixed with the source by a strength percentage.
#include "imaginglib/blur.h"

#include <cstddef>
#include <vector>

namespace qrn::imaginglib {

int32_t blur_image(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                   int64_t src_stride, uint8_t* dst, int64_t dst_stride, int32_t strength,
                   int32_t /*flag*/) {
    if (!src || !dst || w < 1 || h < 1 || bytes_per_pixel < 1 || bytes_per_pixel > 4) return 0;
    if (strength < 0) strength = 0;
    if (strength > 100) strength = 100;
    const int bpp = bytes_per_pixel;
    // Work from a copy so that src and dst may be the same image.
    std::vector<uint8_t> copy(size_t(w) * size_t(h) * size_t(bpp));
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* row = src + static_cast<ptrdiff_t>(y * src_stride);
        std::copy(row, row + size_t(w) * size_t(bpp), copy.begin() + ptrdiff_t(size_t(y) * size_t(w) * size_t(bpp)));
    }
    const size_t row_len = size_t(w) * size_t(bpp);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* out = dst + static_cast<ptrdiff_t>(y * dst_stride);
        const int32_t y0 = y > 0 ? y - 1 : 0, y1 = y + 1 < h ? y + 1 : h - 1;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t x0 = x > 0 ? x - 1 : 0, x1 = x + 1 < w ? x + 1 : w - 1;
            const uint32_t count = uint32_t((y1 - y0 + 1) * (x1 - x0 + 1));
            for (int c = 0; c < bpp; ++c) {
                uint32_t sum = 0;
                for (int32_t yy = y0; yy <= y1; ++yy)
                    for (int32_t xx = x0; xx <= x1; ++xx)
                        sum += copy[size_t(yy) * row_len + size_t(xx) * size_t(bpp) + size_t(c)];
                const int32_t orig = copy[size_t(y) * row_len + size_t(x) * size_t(bpp) + size_t(c)];
                const int32_t blurred = int32_t(sum / count);
                out[size_t(x) * size_t(bpp) + size_t(c)] =
                    uint8_t(orig + (blurred - orig) * strength / 100);
            }
        }
    }
    return 1;
}

}  // namespace qrn::imaginglib

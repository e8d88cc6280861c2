// Box blur by running sums: one sum per column over the rows of the window,
// then a prefix over those sums along the row, so the cost does not grow with
// the radius.
#include "imaginglib/box_blur.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {

int32_t box_blur_image(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst,
                       int32_t bytes_per_pixel, int64_t src_stride, int64_t dst_stride,
                       int32_t radius, double amount, int32_t channels) {
    const int32_t bpp = bytes_per_pixel;
    if (!src || !dst || src == dst || w < 1 || h < 1 || bpp < 1 || bpp > 4) return 0;
    if (radius < 0 || !std::isfinite(amount)) return 0;
    if (!stride_fits(src_stride, int64_t(w) * bpp, h) ||
        !stride_fits(dst_stride, int64_t(w) * bpp, h))
        return 0;
    // A window wider than the image is clipped to it anyway.
    const int64_t k = std::min<int64_t>(int64_t(radius) + 1, std::max(w, h));
    const size_t lanes = size_t(w) * size_t(bpp);
    std::vector<uint64_t> column(lanes, 0);
    std::vector<uint64_t> prefix(lanes + size_t(bpp), 0);

    const auto add_row = [&](int64_t y, bool add) {
        const uint8_t* s = row_at(src, src_stride, y);
        if (add)
            for (size_t i = 0; i < lanes; ++i) column[i] += s[i];
        else
            for (size_t i = 0; i < lanes; ++i) column[i] -= s[i];
    };
    for (int64_t y = 0; y <= std::min<int64_t>(k, h - 1); ++y) add_row(y, true);

    for (int64_t y = 0; y < h; ++y) {
        if (y > 0) {
            if (y + k < h) add_row(y + k, true);
            if (y - k - 1 >= 0) add_row(y - k - 1, false);
        }
        const uint64_t rows =
            uint64_t(std::min<int64_t>(y + k, h - 1) - std::max<int64_t>(y - k, 0) + 1);
        // prefix[(x + 1) x bpp + c] is the sum of column sums 0..x of channel c.
        for (size_t i = 0; i < lanes; ++i) prefix[i + size_t(bpp)] = prefix[i] + column[i];
        const uint8_t* s = row_at(src, src_stride, y);
        uint8_t* d = row_at(dst, dst_stride, y);
        for (int64_t x = 0; x < w; ++x) {
            const int64_t x0 = std::max<int64_t>(x - k, 0), x1 = std::min<int64_t>(x + k, w - 1);
            const uint64_t count = rows * uint64_t(x1 - x0 + 1);
            for (int32_t c = 0; c < bpp; ++c) {
                const size_t i = size_t(x) * size_t(bpp) + size_t(c);
                if (!(channels & (1 << c))) {
                    d[i] = s[i];
                    continue;
                }
                const uint64_t sum = prefix[size_t(x1 + 1) * size_t(bpp) + size_t(c)] -
                                     prefix[size_t(x0) * size_t(bpp) + size_t(c)];
                const double mean = double(sum / count);
                const double v = double(s[i]) + (mean - double(s[i])) * amount;
                d[i] = v > 0.0 ? (v >= 255.0 ? uint8_t(255) : uint8_t(v)) : uint8_t(0);
            }
        }
    }
    return 1;
}

}  // namespace qrn::imaginglib

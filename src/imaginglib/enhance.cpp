// Sharpening and saturation: small integer kernels on byte images.
#include "imaginglib/enhance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {

int32_t sharpen_image(const uint8_t* src, int32_t w, int32_t h, int32_t bpp, int64_t src_stride,
                      uint8_t* dst, int64_t dst_stride, int32_t level, int32_t channels) {
    if (!src || !dst || w < 1 || h < 1 || bpp < 1 || bpp > 4) return 0;
    const int64_t row_bytes = int64_t(w) * bpp;
    if (!stride_fits(src_stride, row_bytes, h) || !stride_fits(dst_stride, row_bytes, h)) return 0;
    const int32_t lv = std::clamp(level, 0, 1000);
    try {
        // Three source rows at a time, copied with one repeated pixel either
        // side, so that writing dst (possibly src itself) never feeds back.
        const size_t padded = size_t(row_bytes) + 2 * size_t(bpp);
        std::vector<uint8_t> ring(3 * padded);
        auto fill = [&](int32_t y, uint8_t* r) {
            const uint8_t* s = row_at(src, src_stride, std::clamp(y, 0, h - 1));
            std::memcpy(r + bpp, s, size_t(row_bytes));
            std::memcpy(r, s, size_t(bpp));
            std::memcpy(r + bpp + row_bytes, s + row_bytes - bpp, size_t(bpp));
        };
        uint8_t* up = &ring[0];
        uint8_t* mid = &ring[padded];
        uint8_t* down = &ring[2 * padded];
        fill(-1, up);
        fill(0, mid);
        for (int32_t y = 0; y < h; ++y) {
            fill(y + 1, down);
            uint8_t* d = row_at(dst, dst_stride, y);
            for (int64_t i = 0; i < row_bytes; ++i) {
                const size_t c = size_t(i + bpp);
                const int32_t v = mid[c];
                if (!((channels >> (i % bpp)) & 1)) {
                    d[i] = uint8_t(v);
                    continue;
                }
                const size_t l = c - size_t(bpp), r = c + size_t(bpp);
                const int32_t around =
                    up[l] + up[c] + up[r] + mid[l] + mid[r] + down[l] + down[c] + down[r];
                // level x (8c - sum) / 64, rounded half up (the shift floors).
                const int32_t out = v + ((lv * (8 * v - around) + 32) >> 6);
                d[i] = uint8_t(std::clamp(out, 0, 255));
            }
            std::swap(up, mid);
            std::swap(mid, down);
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int32_t modify_saturation(uint8_t* px, int32_t w, int32_t h, int32_t bpp, int64_t stride,
                          double amount) {
    if (!px || w < 1 || h < 1 || (bpp != 3 && bpp != 4)) return 0;
    if (!stride_fits(stride, int64_t(w) * bpp, h)) return 0;
    if (!std::isfinite(amount) || amount < -64 || amount > 64) return 0;
    const int64_t a = std::llround(amount * 65536);
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* p = row_at(px, stride, y);
        for (int32_t x = 0; x < w; ++x, p += bpp) {
            const int64_t g = (77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8;
            for (int c = 0; c < 3; ++c) {
                // (c - g) x 65536 + 32768 >> 16 is c - g again when a is 1.0.
                const int64_t v = g + (((p[c] - g) * a + 32768) >> 16);
                p[c] = uint8_t(std::clamp<int64_t>(v, 0, 255));
            }
        }
    }
    return 1;
}

}  // namespace qrn::imaginglib

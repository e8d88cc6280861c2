// Sharpening and saturation of 1- to 4-byte images.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Each channel whose bit is set in `channels` moves away from the mean m of
// its eight neighbours: out = c + round(level x (c - m) / 8), clamped to
// 0..255; level is clamped to 0..1000 (0 copies). Edges repeat the outermost
// pixels; other channels are copied. src and dst may be the same image.
// Returns 1, or 0 for unusable arguments or a failed allocation.
int32_t sharpen_image(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                      int64_t src_stride, uint8_t* dst, int64_t dst_stride, int32_t level,
                      int32_t channels);

// In place on 3- or 4-byte pixels (R, G, B first; a fourth byte is kept):
// each colour channel c becomes g + (c - g) x amount around the pixel's grey
// g = (77 R + 150 G + 29 B + 128) >> 8, in 16.16 fixed point, rounded and
// clamped. Amount 1 changes no byte, 0 gives grey, negative values invert the
// colour around its grey. Returns 1, or 0 for unusable arguments or an amount
// that is not finite or beyond +-64.
int32_t modify_saturation(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel,
                          int64_t stride, double amount);

}  // namespace qrn::imaginglib

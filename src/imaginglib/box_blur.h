// Box blur of 1- to 4-byte images with a radius, a strength and a channel mask.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Each channel whose bit is set in `channels` (bit 0 the first byte, bit 3 the
// fourth) becomes s + (m - s) x amount, truncated and clamped to 0..255, where m
// is the truncated mean of the (2 radius + 3)-pixel square around the pixel,
// clipped to the image: radius 0 is already a 3 x 3 blur. Other channels are
// copied. src and dst are distinct buffers. Returns 1, or 0 for unusable
// arguments, a negative radius or an amount that is not finite (dst untouched).
// Throws std::bad_alloc when its row sums cannot be held.
int32_t box_blur_image(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst,
                       int32_t bytes_per_pixel, int64_t src_stride, int64_t dst_stride,
                       int32_t radius, double amount, int32_t channels);

}  // namespace qrn::imaginglib

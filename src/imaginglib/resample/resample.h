// Resamplers of 1- to 4-byte images: exact area averaging and bilinear resize.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Largest side either resampler takes; keeps every weighted sum inside 64 bits.
constexpr int32_t kMaxResampleSide = 65535;

// Each destination pixel is the exact area average of the source rectangle it
// covers, every channel alike, rounded to nearest. Meant for shrinking, but
// any pair of sizes works (an enlarged axis repeats pixels, blending at the
// seams). Strides are in bytes, either sign; source and destination must not
// overlap. Returns 1, or 0 for unusable arguments or a failed allocation.
int32_t decimate_image(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                       int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);

// Bilinear resize to any size with pixel centres aligned (destination centre
// (d + 0.5) x source / destination - 0.5, clamped at the edges), in 16-bit
// fixed point, rounded to nearest; equal sizes copy exactly. Same arguments
// and results as decimate_image.
int32_t resize_image(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                     int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);

}  // namespace qrn::imaginglib

// Channel conversions of RGBA32 images: grey by luminance, red/blue order, and
// one channel split out into a plane or combined back from one.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// grey = (R x 299 + G x 587 + B x 114) / 1000, truncated; alpha is ignored.
// Strides are in bytes, either sign. Returns 1, or 0 for unusable arguments.
int32_t image_to_grey8(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride, uint8_t* grey,
                       int64_t grey_stride);

// Swaps the first and third byte of every 4-byte pixel in place (RGBA <-> BGRA).
// Returns 1, or 0 for unusable arguments.
int32_t swap_red_blue(uint8_t* rgba, int32_t w, int32_t h, int64_t stride);

// Channel 0..3 of every 4-byte pixel into a one-byte plane, or the plane into
// that channel, the other three left alone. Returns 1, or 0 for unusable
// arguments (nothing written).
int32_t split_image_channel(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride,
                            int32_t channel, uint8_t* plane, int64_t plane_stride);
int32_t combine_image_channel(uint8_t* rgba, int32_t w, int32_t h, int64_t stride,
                              int32_t channel, const uint8_t* plane, int64_t plane_stride);

}  // namespace qrn::imaginglib

// Channel conversions of RGBA32 images: grey by luminance and red/blue order.
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

}  // namespace qrn::imaginglib

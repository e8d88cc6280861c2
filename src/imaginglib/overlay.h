// Overlay of one image onto another at a position, clipped to the destination.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Copies the source (src_w x src_h pixels of bytes_per_pixel bytes) onto the
// destination with its top-left corner at (x, y), clipped. At opacity 1.0 the
// copy is exact for every pixel size. Returns 1, or 0 for unusable arguments.
int32_t overlay_image(uint8_t* dst, int32_t dst_w, int32_t dst_h, int32_t bytes_per_pixel,
                      int64_t dst_stride, const uint8_t* src, int32_t src_w, int32_t src_h,
                      int64_t src_stride, int32_t x, int32_t y, double opacity, int32_t flag);

}  // namespace qrn::imaginglib

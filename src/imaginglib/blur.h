// Blur of 1-, 3- or 4-byte images.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// 3x3 box blur mixed with the source by strength percent (100 = full blur);
// edges use the pixels that exist. Returns 1, or 0 for unusable arguments.
int32_t blur_image(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                   int64_t src_stride, uint8_t* dst, int64_t dst_stride, int32_t strength,
                   int32_t flag);

}  // namespace qrn::imaginglib

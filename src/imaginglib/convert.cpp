// Grey conversion, channel swap, split and combine of RGBA32 images, row by row
// through strides.
#include "imaginglib/convert.h"

#include <utility>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {

int32_t image_to_grey8(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride, uint8_t* grey,
                       int64_t grey_stride) {
    if (!rgba || !grey || w < 1 || h < 1) return 0;
    if (!stride_fits(stride, int64_t(w) * 4, h) || !stride_fits(grey_stride, w, h)) return 0;
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* s = row_at(rgba, stride, y);
        uint8_t* d = row_at(grey, grey_stride, y);
        for (int64_t x = 0; x < w; ++x, s += 4)
            d[x] = uint8_t((s[0] * 299u + s[1] * 587u + s[2] * 114u) / 1000u);
    }
    return 1;
}

int32_t swap_red_blue(uint8_t* rgba, int32_t w, int32_t h, int64_t stride) {
    if (!rgba || w < 1 || h < 1 || !stride_fits(stride, int64_t(w) * 4, h)) return 0;
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* p = row_at(rgba, stride, y);
        for (int64_t x = 0; x < w; ++x, p += 4) std::swap(p[0], p[2]);
    }
    return 1;
}

namespace {
bool channel_args(const void* rgba, int32_t w, int32_t h, int64_t stride, int32_t channel,
                  const void* plane, int64_t plane_stride) {
    return rgba && plane && w >= 1 && h >= 1 && channel >= 0 && channel <= 3 &&
           stride_fits(stride, int64_t(w) * 4, h) && stride_fits(plane_stride, w, h);
}
}  // namespace

int32_t split_image_channel(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride,
                            int32_t channel, uint8_t* plane, int64_t plane_stride) {
    if (!channel_args(rgba, w, h, stride, channel, plane, plane_stride)) return 0;
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* s = row_at(rgba, stride, y) + channel;
        uint8_t* d = row_at(plane, plane_stride, y);
        for (int64_t x = 0; x < w; ++x, s += 4) d[x] = *s;
    }
    return 1;
}

int32_t combine_image_channel(uint8_t* rgba, int32_t w, int32_t h, int64_t stride, int32_t channel,
                              const uint8_t* plane, int64_t plane_stride) {
    if (!channel_args(rgba, w, h, stride, channel, plane, plane_stride)) return 0;
    for (int64_t y = 0; y < h; ++y) {
        uint8_t* d = row_at(rgba, stride, y) + channel;
        const uint8_t* s = row_at(plane, plane_stride, y);
        for (int64_t x = 0; x < w; ++x, d += 4) *d = s[x];
    }
    return 1;
}

}  // namespace qrn::imaginglib

// Forwards the engine's imaging calls to our imaging library.
#include "engine/imaging_api/imaging.h"

#include "imaginglib/blur.h"
#include "imaginglib/library.h"
#include "imaginglib/overlay.h"
#include "imaginglib/zcodec.h"

namespace qrn::imaging {

int32_t init() {
    imaginglib::initialize_core4();
    imaginglib::initialize_effects4();
    imaginglib::initialize_core3();
    return imaginglib::initialize_effects3();
}

void exit() { imaginglib::exit_core3(); }

void overlay(uint8_t* dst, int32_t dst_w, int32_t dst_h, int32_t bytes_per_pixel,
             int64_t dst_stride, const uint8_t* src, int32_t src_w, int32_t src_h,
             int64_t src_stride, int32_t x, int32_t y) {
    imaginglib::overlay_image(dst, dst_w, dst_h, bytes_per_pixel, dst_stride, src, src_w, src_h,
                              src_stride, x, y, 1.0, 0);
}

int64_t deflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity, int level) {
    return imaginglib::z_deflate(src, len, out, capacity, level);
}

int64_t inflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity) {
    return imaginglib::z_inflate(src, len, out, capacity);
}

bool blur_grey(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
               int64_t dst_stride, int32_t strength) {
    return imaginglib::blur_image(src, w, h, 1, src_stride, dst, dst_stride, strength, 1) != 0;
}

}  // namespace qrn::imaging

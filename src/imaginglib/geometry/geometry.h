// Quick geometry of 1- to 8-byte images: crop, quarter and half turns, and
// the two flips. Strides are in bytes, either sign (negative walks a bottom-up
// image from its last row in memory); every call checks its arguments and
// clips, so no call reads or writes outside the images it is given.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

struct CropRect {
    int32_t left, top, right, bottom;  // right and bottom exclusive
};

// Copies the source pixels inside r into a destination of (right - left) x
// (bottom - top) pixels, pixel (left, top) first. Destination pixels whose
// source position lies outside the source are left as they were. Returns 1,
// or 0 for an empty rectangle, one missing the source entirely, or unusable
// arguments.
int32_t crop_image(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
                   int64_t dst_stride, CropRect r, int32_t bytes_per_pixel);

// Turn codes of quick_rotate_image.
constexpr int32_t kTurnClockwise = 0, kTurnHalf = 1, kTurnCounterClockwise = 2;

// The source turned by a quarter (destination h x w) or half turn (w x h)
// into a separate destination. Returns 1, or 0 for an unknown turn code or
// unusable arguments.
int32_t quick_rotate_image(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride,
                           uint8_t* dst, int64_t dst_stride, int32_t turn,
                           int32_t bytes_per_pixel);

// Mirrors each row left to right in place. Returns 1, or 0 for unusable arguments.
int32_t horizontal_flip_image(uint8_t* image, int32_t w, int32_t h, int32_t bytes_per_pixel,
                              int64_t stride);
// Swaps row y with row h - 1 - y in place, |stride| bytes a row (padding
// travels with its row). Returns 1, or 0 for unusable arguments.
int32_t vertical_flip_image(uint8_t* image, int64_t stride, int32_t h);

}  // namespace qrn::imaginglib

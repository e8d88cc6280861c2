// Filled ellipses and rectangles on 1- to 4-byte images, clipped to the image.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Pixels whose centre lies inside the ellipse around (cx, cy) with radii rx, ry
// (at least 1): ((x - cx) / rx)^2 + ((y - cy) / ry)^2 <= 1. Filled draws them
// all, otherwise only those with a 4-neighbour outside (a one-pixel outline).
// Each covered byte becomes round(colour byte x opacity + old x (1 - opacity)),
// opacity clamped to 0..1; colour bytes are taken from the low byte up
// (0xAABBGGRR). Returns 1, or 0 for unusable arguments.
int32_t draw_ellipse(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                     uint32_t colour, int32_t cx, int32_t cy, int32_t rx, int32_t ry,
                     int32_t filled, double opacity);

// Sets every pixel of columns left..right - 1 and rows top..bottom - 1 (the
// part inside the image) to the colour. Returns 1, or 0 for unusable arguments.
int32_t fill_solid_rect(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                        int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour);

}  // namespace qrn::imaginglib

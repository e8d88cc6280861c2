// Distortions of the effects library: a list of coordinate transforms built up
// by the caller and then applied in one pass, and the point-to-point push warp.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// What an offset transform does where it reaches past the image.
constexpr int32_t kEdgeFill = 0;   // the pixel takes the fill colour (so does any unknown mode)
constexpr int32_t kEdgeWrap = 1;   // the image repeats
constexpr int32_t kEdgeClamp = 2;  // the nearest edge pixel

constexpr int32_t kMaxTransforms = 32;

// Like the library it stands for, this keeps one transform list per process.
// Each transform maps a destination position to the position it samples;
// they apply in the order they were added.
void clear_all_transforms();
int32_t transform_count();

// Every destination pixel takes the source pixel (dx, dy) before it; width and
// height are the image the offsets wrap or clamp within. 0 when the list is full,
// a side is below 1 or an offset is not finite.
int32_t add_offset_transform(int32_t width, int32_t height, double dx, double dy, int32_t edge);

// Displaces each position along the slope of a grey map: by amount x (m(x + 1) -
// m(x - 1)) / 510 across and the same down, the map read at the position scaled
// from width x height to the map's size, neighbours clamped to the map. The map
// (map_w x map_h bytes, packed) is copied. 0 when the list is full, a size is
// below 1 or memory is short.
int32_t add_bump_map_displacement_transform(int32_t width, int32_t height, float amount,
                                            const uint8_t* map, int32_t map_w, int32_t map_h);

// Runs the list over w x h pixels of bytes_per_pixel (1..4) bytes from src into
// dst (distinct buffers). smooth 0 samples the nearest pixel, anything else
// interpolates bilinearly between the four around the position. A position
// rounding outside the image, or not a number, takes the fill colour: its low
// bytes in memory order, so 0xAABBGGRR is R, G, B, A. An empty list copies.
// Returns 1, or 0 for unusable arguments (dst then untouched).
int32_t transform_process(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride,
                          uint8_t* dst, int64_t dst_stride, int32_t bytes_per_pixel, int32_t smooth,
                          uint32_t fill);

// Pushes the picture from (x1, y1) towards (x2, y2): the pixel at (x2, y2) takes
// the one at (x1, y1), the shift fades as (1 - t^2)^2 with t the distance from
// (x2, y2) over the radius, and from the radius on nothing moves. Radius 0 means
// twice the push distance, which never folds the picture over itself. Samples
// are bilinear and clamped to the image. dst (distinct from src) has src's stride.
// Returns 1, or 0 for unusable arguments or a negative radius.
int32_t push_image(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                   int64_t stride, uint8_t* dst, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   int32_t radius);

}  // namespace qrn::imaginglib

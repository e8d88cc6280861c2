// Resamplers of 1- to 4-byte images: exact area averaging, bilinear resize,
// nearest neighbour, bicubic and the fourteen filtered resizes.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Largest side either resampler takes; keeps every weighted sum inside 64 bits.
constexpr int32_t kMaxResampleSide = 65535;

// Each destination pixel is the exact area average of the source rectangle it
// covers, every channel alike, rounded to nearest. Meant for shrinking, but
// any pair of sizes works (an enlarged axis repeats pixels, blending at the
// seams). Pixels are 1 to 4 byte channels, or with 8 bytes a pixel four
// native 16-bit channels (then pointers and strides must be even). Strides
// are in bytes, either sign; source and destination must not overlap.
// Returns 1, or 0 for unusable arguments or a failed allocation.
int32_t decimate_image(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                       int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);

// Bilinear resize to any size with pixel centres aligned (destination centre
// (d + 0.5) x source / destination - 0.5, clamped at the edges), in 16-bit
// fixed point, rounded to nearest; equal sizes copy exactly. Same arguments
// and results as decimate_image.
int32_t resize_image(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                     int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);

// Filters of resize_filter; the codes cross the imaging interface.
enum class ResampleFilter : int32_t {
    Box = 0,
    Triangle = 1,
    Hamming = 2,
    Gaussian = 3,
    Bell = 4,
    BSpline = 5,
    Cubic1 = 6,
    Cubic2 = 7,
    Lanczos3 = 8,
    Mitchell = 9,
    Sinc = 10,
    Hermite = 11,
    Hanning = 12,
    Catrom = 13,
};
constexpr int32_t kResampleFilters = 14;

// Which pixel loops the filtered resizes run; both give the same bytes.
enum class ResampleLoops { Scalar, Best };

// Nearest neighbour: destination pixel d takes source pixel
// floor((d + 0.5) x source / destination) on each axis, bytes copied as they are.
// Same arguments and results as decimate_image.
int32_t resample_nearest(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride,
                         uint8_t* dst, int32_t dw, int32_t dh, int64_t dst_stride,
                         int32_t bytes_per_pixel);

// Catmull-Rom interpolation on the 4 x 4 neighbours of each destination centre,
// never widened when shrinking; edges clamped. Otherwise as resize_filter.
int32_t resize_bicubic(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                       int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel,
                       ResampleLoops loops = ResampleLoops::Best);

// Separable resize with one of the ResampleFilter kernels, widened by the
// ratio when an axis shrinks; an axis whose size does not change is copied.
// Edges repeat the outermost pixels. With 4 bytes a pixel colour is weighted
// by alpha, so transparent pixels give no colour, and a result with alpha 0
// is (0, 0, 0, 0); other sizes filter every channel alike. Results round to
// nearest and clamp to 0..255. Same arguments and results as decimate_image;
// an unknown filter code also returns 0.
int32_t resize_filter(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                      int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel,
                      int32_t filter, ResampleLoops loops = ResampleLoops::Best);

}  // namespace qrn::imaginglib

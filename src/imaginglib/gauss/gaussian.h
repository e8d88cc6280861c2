// Separable Gaussian blur of 1- to 4-byte images in integer arithmetic, with
// plain loops and AVX2 loops that give the same bytes.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Which loops run; both give the same bytes.
enum class GaussLoops { Scalar, Best };

// Taps reach kGaussSigmas standard deviations either side, rounded up, and
// never more than kMaxGaussRadius pixels.
constexpr double kGaussSigmas = 3.0;
constexpr int32_t kMaxGaussRadius = 1000;
int32_t gaussian_radius(double sigma);

// Blurs src into dst with standard deviation sigma (> 0) in pixels, each
// channel alone; the channels whose bit is clear in `channels` (bit 0 the
// first byte of a pixel) are copied. Edges repeat the outermost pixels. The
// weights are a sampled Gaussian in 2.14 fixed point adding up to exactly one;
// results round to nearest. src and dst may be the same image. Returns 1, or 0
// for unusable arguments or a failed allocation.
int32_t gaussian_blur_image(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                            int64_t src_stride, uint8_t* dst, int64_t dst_stride, double sigma,
                            int32_t channels, GaussLoops loops = GaussLoops::Best);

}  // namespace qrn::imaginglib

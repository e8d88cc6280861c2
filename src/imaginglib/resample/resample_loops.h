// Weight tables and pixel loops of the filtered resizes (filter_resample.cpp),
// compiled once plain and once for AVX2 (resample_avx2.cpp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qrn::imaginglib::detail {

// Weights are signed 2.14 fixed point; those of one destination pixel add up
// to exactly kWeightOne.
constexpr int32_t kWeightBits = 14;
constexpr int32_t kWeightOne = 1 << kWeightBits;

// Samples between the passes are 16-bit values v scaled to 0..kSampleMax
// (a byte x 255; with alpha, colour x alpha and alpha x 255), stored as
// v - 32768 so that they fit the signed 16-bit multiplies. Because the weights
// add up exactly to kWeightOne, the offset comes back as a constant.
constexpr int32_t kSampleMax = 255 * 255;
constexpr int32_t kSampleBias = 32768;

// One axis: destination pixel d reads `taps` source pixels from first[d] on,
// with weights[d x taps ...]; taps is a multiple of 4 and the unused ones are 0.
struct AxisWeights {
    int32_t taps = 0;
    std::vector<int32_t> first;
    std::vector<int16_t> weights;
};

// kernel: a ResampleFilter code; widen: stretch the kernel by the ratio when
// shrinking. Throws std::bad_alloc.
AxisWeights axis_weights(int32_t ns, int32_t nd, int32_t kernel, bool widen);

// A weighted sum of biased samples back to a biased sample. The sum stays
// inside +-2^30 (|sample - bias| <= 2^15, and the absolute weights of any
// kernel here add up to less than 2.4 x kWeightOne), so adding the bias back
// and rounding fits in 32 bits.
inline int16_t settle(int32_t sum) {
    int32_t v = (sum + (kSampleBias << kWeightBits) + (1 << (kWeightBits - 1))) >> kWeightBits;
    v = v < 0 ? 0 : (v > kSampleMax ? kSampleMax : v);
    return int16_t(v - kSampleBias);
}

// n values of one row, each the weighted sum of `taps` rows at the same place.
struct VerticalJob {
    const int16_t* const* rows;
    const int16_t* weights;
    int32_t taps;
    int16_t* out;
    size_t n;
};

// A source row of `pixels` RGBA pixels into biased samples, colour times alpha.
void premultiply_scalar(const uint8_t* src, size_t pixels, int16_t* out);
// One source row through the horizontal weights; `in` holds the row's samples
// followed by at least taps zero pixels.
void horizontal_scalar(const int16_t* in, int32_t bpp, const AxisWeights& ax, int16_t* out);
void vertical_scalar(const VerticalJob& job);

// The same loops for AVX2; false when the library was built without it.
// horizontal_avx2 handles 4-byte pixels only.
bool premultiply_avx2(const uint8_t* src, size_t pixels, int16_t* out);
bool horizontal_avx2(const int16_t* in, const AxisWeights& ax, int16_t* out);
bool vertical_avx2(const VerticalJob& job);
bool cpu_has_avx2();

}  // namespace qrn::imaginglib::detail

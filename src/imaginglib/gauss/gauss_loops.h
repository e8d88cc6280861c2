// The two passes of the Gaussian blur (gaussian.cpp), plain and for AVX2
// (gauss_avx2.cpp). Integer sums that cannot overflow, so the order in which
// lanes add up changes no byte.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::imaginglib::gauss {

// Weights add up to 1 << kWeightBits. The vertical pass keeps kMidBits of
// fraction (a byte becomes at most 255 << 7 = 32640, a signed 16-bit value),
// the horizontal pass rounds the rest away.
constexpr int32_t kWeightBits = 14;
constexpr int32_t kMidBits = 7;
constexpr int32_t kVerticalShift = kWeightBits - kMidBits;
constexpr int32_t kHorizontalShift = kWeightBits + kMidBits;

// n values: mid[i] = round(sum over k < taps of weights[k] x rows[k][i]).
// taps is even (a padded last tap has weight 0).
struct VerticalJob {
    const uint8_t* const* rows;
    const int16_t* weights;
    int32_t taps;
    int16_t* mid;
    size_t n;
};
// n bytes: out[i] = round(sum over k < taps of weights[k] x line[i + k x step]),
// line already padded by repeated edge pixels.
struct HorizontalJob {
    const int16_t* line;
    const int16_t* weights;
    int32_t taps;
    int32_t step;  // bytes per pixel
    uint8_t* out;
    size_t n;
};

void vertical_scalar(const VerticalJob& job, size_t from = 0);
void horizontal_scalar(const HorizontalJob& job, size_t from = 0);
// False when the library was built without AVX2.
bool vertical_avx2(const VerticalJob& job);
bool horizontal_avx2(const HorizontalJob& job);
bool cpu_has_avx2();

}  // namespace qrn::imaginglib::gauss

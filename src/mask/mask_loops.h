// The pixel loops of the colour and hue range selections, built once per
// instruction set from mask_kernels.h: SSE2 (the x86-64 baseline) in
// mask_loops.cpp, AVX2 in mask_avx2.cpp, AVX-512 (the hue range only) in
// mask_avx512.cpp. mask.cpp holds the scalar references
// and picks the widest loop the processor runs.
#pragma once
#include <cstdint>

namespace qrn::mask::detail {

// n canvas pixels of a packed RGBA32 image against the mask words; matching
// pixels get `value`, the others keep theirs.
struct ColourRangeJob {
    const uint8_t* img = nullptr;
    uint16_t* mask = nullptr;
    int64_t n = 0;
    uint32_t lo[3] = {}, span[3] = {};  // per channel: (v - lo) mod 256 <= span
    uint16_t value = 0;
};

struct HueRangeJob {
    const uint8_t* img = nullptr;
    uint16_t* mask = nullptr;
    int64_t n = 0;
    double href = 0;  // hue of the reference colour, -1 for a grey
    int32_t t = 0;    // hue_threshold of the range
    uint16_t value = 0;
};

void colour_range_scalar(const ColourRangeJob& job);
void hue_range_scalar(const HueRangeJob& job);
// False when the library was built without the instruction set.
bool colour_range_sse2(const ColourRangeJob& job);
bool colour_range_avx2(const ColourRangeJob& job);
bool hue_range_sse2(const HueRangeJob& job);
bool hue_range_avx2(const HueRangeJob& job);
bool hue_range_avx512(const HueRangeJob& job);

}  // namespace qrn::mask::detail

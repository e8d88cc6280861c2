// What the compositor and the display renderer hand to their pixel loops, which
// are compiled once per instruction set (blend_kernel.h).
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::composite {

// The loops the caller may ask for; Best is the widest the processor runs.
enum class Simd { Scalar, Sse2, Avx2, Avx512, Best };

namespace detail {

// Merge-mode codes as the loops take them: 0..40, and 41 for codes above 40
// (Normal, processed where the source is transparent). Negative codes are 0.
constexpr int32_t kAboveTable = 41;
constexpr size_t kRenderKernels = 42;
inline int32_t loop_code(int32_t code) {
    if (code < 0) return 0;
    return code > 40 ? kAboveTable : code;
}

// h rows of w pixels of src (and of the mask layer, same geometry) over dst.
struct MergeJob {
    const uint16_t* src = nullptr;
    const uint16_t* mask = nullptr;
    int64_t src_stride = 0;  // words
    uint16_t* dst = nullptr;
    int64_t dst_stride = 0;  // words
    int64_t w = 0, h = 0;
    int32_t code = 0;      // loop_code
    uint32_t opacity = 0;  // 0..256
    bool keep_alpha = false;
};

struct RenderEntry {
    const uint16_t* px = nullptr;    // canvas-sized RGBA64
    const uint16_t* mask = nullptr;  // the next entry's pixels when it is a mask layer
    int32_t code = 0;                // loop_code
    uint32_t opacity = 0;            // 0..256
    bool background = false;         // layer 1 at the bottom: alpha read as 0xFFFF
    bool shows_code19 = false;       // list position equals the current layer number
};

struct RenderJob {
    RenderEntry entries[65];
    int count = 0;
    int64_t canvas_width = 0;
    const uint16_t* trace = nullptr;         // layer 0 when tracing, else null
    const uint16_t* overlay_mask = nullptr;  // the mask when its overlay shows, else null
    bool solid_overlay = false;
    uint32_t overlay_a[3] = {}, overlay_b[3] = {};
    int64_t x = 0, y = 0;          // canvas position of output (0, 0)
    int64_t out_w = 0, out_h = 0;  // output pixels
    bool zoom_out = false, zoom_in = false;
    int64_t scale = 1;
    uint8_t* dst = nullptr;
    int64_t stride = 0;  // bytes, may be negative
};

// The loops of one instruction set; false when the library was built without it.
bool merge_sse2(const MergeJob& job);
bool merge_avx2(const MergeJob& job);
void merge_scalar(const MergeJob& job);
bool render_sse2(const RenderJob& job);
bool render_avx2(const RenderJob& job);
void render_scalar(const RenderJob& job);
bool cpu_has_avx2();
// AVX-512 F, BW, DQ and VL: what the 16-lane loops use.
bool cpu_has_avx512();

// Runs the widest of the asked-for loops that this build and processor have;
// a family without an AVX-512 loop runs its AVX2 one at that width.
template <class Job>
void run_best(Simd simd, const Job& job, void (*scalar)(const Job&), bool (*sse2)(const Job&),
              bool (*avx2)(const Job&), bool (*avx512)(const Job&) = nullptr) {
    if (simd == Simd::Scalar) return scalar(job);
    if (avx512 && (simd == Simd::Best || simd == Simd::Avx512) && cpu_has_avx512() && avx512(job))
        return;
    if (simd != Simd::Sse2 && cpu_has_avx2() && avx2(job)) return;
    if (!sse2(job)) scalar(job);
}

}  // namespace detail
}  // namespace qrn::composite

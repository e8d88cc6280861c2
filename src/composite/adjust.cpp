// Adjustment filters. The products are taken in double precision and truncated:
// single precision gives different bytes for some (a, c) pairs (the post-filter
// of c = a = 25 is 254 in double, 255 in float), and hosts see them. The 16-bit
// loops here are the scalar references of the vector ones (adjust_kernels.h).
#include "composite/adjust.h"

#include <algorithm>

#include "composite/adjust_loops.h"
#include "engine/arith.h"
#include "engine/layers.h"
#include "engine/pixels.h"

namespace qrn::composite {
namespace {

int64_t pixel_count(int32_t width, int32_t height) {
    return (width > 0 && height > 0) ? int64_t(width) * int64_t(height) : 0;
}

// The two 8-bit kernels, written once. The + 1 lets an almost opaque bright
// colour keep its level through pre- and post-filter; the post-filter has none.
uint8_t pre_filtered(uint32_t a, uint32_t c) { return uint8_t(trunc_i32((a / 255.0) * (c + 1))); }
uint8_t post_filtered(uint32_t a, uint32_t c) {
    return uint8_t(std::min(trunc_i32((255.0 / a) * c), 255));
}

// An 8-bit kernel as a table: a row of 256 results per alpha, filled from the
// formula the first time that alpha turns up in a pass, so a small buffer pays
// only for the alphas it has. Alphas the filter skips get identity rows. Lookups
// give the formula's bytes without a branch on alpha, which in a picture with
// soft edges is too irregular to predict.
template <uint8_t (*Kernel)(uint32_t, uint32_t)>
class AlphaRows {
public:
    explicit AlphaRows(bool (*takes)(uint32_t)) : takes_(takes) {}
    const uint8_t* row(uint32_t a) {
        if (!ready_[a]) {
            const bool take = takes_(a);
            for (uint32_t c = 0; c < 256; ++c) rows_[a][c] = take ? Kernel(a, c) : uint8_t(c);
            ready_[a] = true;
        }
        return rows_[a];
    }

private:
    bool (*takes_)(uint32_t);
    bool ready_[256] = {};
    uint8_t rows_[256][256];  // a row is read only once ready_ says it is written
};

template <uint8_t (*Kernel)(uint32_t, uint32_t)>
void filter_rgba32(uint8_t* buf, int64_t n, bool (*takes)(uint32_t)) {
    AlphaRows<Kernel> table(takes);
    for (int64_t k = 0; k < n; ++k) {
        uint8_t* p = buf + 4 * k;
        const uint8_t* t = table.row(p[3]);
        p[0] = t[p[0]];
        p[1] = t[p[1]];
        p[2] = t[p[2]];
    }
}

bool translucent(uint32_t a) { return a != 0 && a != 255; }
bool visible(uint32_t a) { return a != 0; }

// The 16-bit pair has no table (65,536 alphas): a division per pixel, which the
// vector loops share out over four pixels.
void pre_filter_rgba64_scalar(uint16_t* buf, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        uint16_t* p = buf + 4 * k;
        const uint32_t a = p[3];
        if (a == 0) continue;
        const double f = a / 65535.0;
        for (int c = 0; c < 3; ++c) p[c] = uint16_t(trunc_i32(f * p[c]));
    }
}

void post_filter_rgba64_scalar(uint16_t* buf, int64_t n) {
    for (int64_t k = 0; k < n; ++k) {
        uint16_t* p = buf + 4 * k;
        const uint32_t a = p[3];
        if (a == 0) continue;
        const double f = 65535.0 / a;
        for (int c = 0; c < 3; ++c) p[c] = uint16_t(std::min(trunc_i32(f * p[c]), 0xFFFF));
    }
}

// One buffer: RGBA64 words for the 16-bit kinds, RGBA32 bytes for the 8-bit ones.
void run(Simd simd, detail::AdjustKind kind, uint16_t* buf, uint8_t* buf8, int64_t n) {
    if (n <= 0) return;
    detail::AdjustJob job;
    job.kind = kind;
    job.buf = buf;
    job.buf8 = buf8;
    job.n = n;
    detail::run_best(simd, job, detail::adjust_scalar, detail::adjust_sse2, detail::adjust_avx2,
                     detail::adjust_avx512);
}

}  // namespace

void detail::adjust_scalar(const AdjustJob& job) {
    if (job.kind == AdjustKind::Pre64) pre_filter_rgba64_scalar(job.buf, job.n);
    if (job.kind == AdjustKind::Post64) post_filter_rgba64_scalar(job.buf, job.n);
    if (job.kind == AdjustKind::Pre32) filter_rgba32<pre_filtered>(job.buf8, job.n, translucent);
    if (job.kind == AdjustKind::Post32) filter_rgba32<post_filtered>(job.buf8, job.n, translucent);
    if (job.kind == AdjustKind::Comp32) filter_rgba32<post_filtered>(job.buf8, job.n, visible);
}

void pre_filter_rgba32(uint8_t* buf, int32_t width, int32_t height, Simd simd) {
    if (buf) run(simd, detail::AdjustKind::Pre32, nullptr, buf, pixel_count(width, height));
}

void post_filter_rgba32(uint8_t* buf, int32_t width, int32_t height, Simd simd) {
    if (buf) run(simd, detail::AdjustKind::Post32, nullptr, buf, pixel_count(width, height));
}

void pre_filter_rgba64(uint16_t* buf, int32_t width, int32_t height, Simd simd) {
    if (buf) run(simd, detail::AdjustKind::Pre64, buf, nullptr, pixel_count(width, height));
}

void post_filter_rgba64(uint16_t* buf, int32_t width, int32_t height, Simd simd) {
    if (buf) run(simd, detail::AdjustKind::Post64, buf, nullptr, pixel_count(width, height));
}

// The post-filter over the canvas, opaque pixels included (where it changes nothing).
int32_t unpremultiply_for_alpha_comp(const EngineState& st, uint8_t flag, uint8_t* buf, Simd simd) {
    if (flag == 0 || !buf) return 0;
    run(simd, detail::AdjustKind::Comp32, nullptr, buf,
        pixel_count(st.canvas.width, st.canvas.height));
    return st.canvas.height;
}

void weight_alpha_by_mask_and_texture(const EngineState& st, uint8_t* buf, int32_t width,
                                      int32_t height) {
    const pixels::LoadWeights wt = pixels::load_weights(st);
    if (!buf || !wt.any() || width <= 0 || height <= 0) return;
    for (int64_t i = 0; i < height; ++i)
        for (int64_t j = 0; j < width; ++j) {
            uint8_t* p = buf + 4 * (i * width + j);
            const uint32_t w = wt.at(i, j);
            p[3] = uint8_t(trunc_i32((w / 65535.0) * p[3]));
        }
}

}  // namespace qrn::composite

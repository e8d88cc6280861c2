#include "composite/merge.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "composite/adjust.h"
#include "engine/layers.h"
#include "engine/pixels.h"

namespace qrn::composite {

bool simd_available(Simd simd) {
    switch (simd) {
    case Simd::Scalar: return true;
    case Simd::Sse2: {
        detail::MergeJob none;
        return detail::merge_sse2(none);
    }
    case Simd::Avx2: {
        detail::MergeJob none;
        return detail::cpu_has_avx2() && detail::merge_avx2(none);
    }
    case Simd::Avx512: return detail::cpu_has_avx512() && simd_available(Simd::Avx2);
    case Simd::Best: return true;
    }
    return false;
}

void composite(const uint16_t* src, int64_t src_stride, const uint16_t* mask_layer, uint16_t* dst,
               int64_t dst_stride, int64_t w, int64_t h, int32_t code, int32_t opacity,
               bool keep_alpha, Simd simd) {
    if (!src || !dst || w <= 0 || h <= 0) return;
    detail::MergeJob job;
    job.src = src;
    job.mask = mask_layer;
    job.src_stride = src_stride;
    job.dst = dst;
    job.dst_stride = dst_stride;
    job.w = w;
    job.h = h;
    job.code = detail::loop_code(code);
    job.opacity = uint32_t(std::clamp(opacity, 0, 256));
    job.keep_alpha = keep_alpha;
    detail::run_best(simd, job, detail::merge_scalar, detail::merge_sse2, detail::merge_avx2);
}

const uint16_t* mask_layer_above(EngineState& st, int32_t s) {
    // The index test comes first: slot 63 has no neighbour above.
    if (s < 0 || s >= st.canvas.top_layer_index || s + 1 >= kLayerSlots) return nullptr;
    LayerRecord* m = layers::canvas_slot(st, s + 1);
    if (!m || !m->visible || m->merge_mode != kLayerMaskCode) return nullptr;
    return m->pixels.data();
}

namespace {

// A layer composited with its own mode and opacity over the canvas rectangle
// (x, y, w, h) of a destination whose pixel (0, 0) is canvas (x, y).
void merge_rect_of(EngineState& st, int32_t s, const LayerRecord& src, uint16_t* dst,
                   int64_t dst_stride, int64_t x, int64_t y, int64_t w, int64_t h) {
    const int64_t cw = st.canvas.width, ch = st.canvas.height;
    const int64_t j0 = std::max<int64_t>(0, -x), j1 = std::min<int64_t>(w, cw - x);
    const int64_t i0 = std::max<int64_t>(0, -y), i1 = std::min<int64_t>(h, ch - y);
    if (j0 >= j1 || i0 >= i1) return;
    const int64_t at = ((y + i0) * cw + x + j0) * 4;
    const uint16_t* mk = mask_layer_above(st, s);
    composite(src.pixels.data() + at, cw * 4, mk ? mk + at : nullptr, dst + (i0 * dst_stride + j0 * 4),
              dst_stride, j1 - j0, i1 - i0, src.merge_mode, src.opacity, false);
}

}  // namespace

void merge_layer(EngineState& st, int32_t src, int32_t dst) {
    const LayerRecord* s = layers::canvas_slot(st, src);
    LayerRecord* d = layers::canvas_slot(st, dst);
    if (!s || !d) return;
    merge_rect_of(st, src, *s, d->pixels.data(), int64_t(st.canvas.width) * 4, 0, 0,
                  st.canvas.width, st.canvas.height);
}

void merge_layer_into_rect(EngineState& st, int32_t layer, uint16_t* buf, int32_t x, int32_t y,
                           int32_t w, int32_t h) {
    const LayerRecord* s = layers::canvas_slot(st, layer);
    if (!s || !buf || w <= 0 || h <= 0) return;
    merge_rect_of(st, layer, *s, buf, int64_t(w) * 4, x, y, w, h);
}

void merge_layer_into(EngineState& st, int32_t layer, uint16_t* buf) {
    merge_layer_into_rect(st, layer, buf, 0, 0, st.canvas.width, st.canvas.height);
}

void merge_paint_layer(EngineState& st, int32_t layer) {
    const LayerRecord& p = st.canvas.paint_layer;
    LayerRecord* d = layers::canvas_slot(st, layer);
    if (!d || !layers::is_canvas_sized(st, p)) return;
    const uint16_t* mk = mask_layer_above(st, layer);
    composite(p.pixels.data(), int64_t(st.canvas.width) * 4, mk, d->pixels.data(),
              int64_t(st.canvas.width) * 4, st.canvas.width, st.canvas.height, p.merge_mode,
              p.opacity, false);
    layers::clear_paint_layer(st);
}

void merge_rect(EngineState& st, uint16_t* buf, int32_t x, int32_t y, int32_t w, int32_t h) {
    if (!buf || w <= 0 || h <= 0) return;
    const int64_t stride = int64_t(w) * 4;
    std::memset(buf, 0, size_t(stride) * size_t(h) * 2);
    // The paper is copied, not blended. A row of more than 2 GB cannot exist.
    if (const LayerRecord* paper = layers::canvas_slot(st, 1);
        paper && paper->visible && stride * 2 <= INT32_MAX)
        pixels::get_rgba64_layer_rect(st, buf, int32_t(stride * 2), 1, x, y, w, h);
    for (int32_t s = 2; s < kLayerSlots; ++s) {
        const LayerRecord* r = layers::canvas_slot(st, s);
        if (r && r->visible) merge_rect_of(st, s, *r, buf, stride, x, y, w, h);
    }
}

void merge(EngineState& st, uint16_t* buf) {
    merge_rect(st, buf, 0, 0, st.canvas.width, st.canvas.height);
}

void merge_rgba32(EngineState& st, const uint8_t* image, LayerRecord& dst, int32_t code,
                  int32_t opacity, bool keep_alpha) {
    if (!image || !layers::is_canvas_sized(st, dst)) return;
    const int64_t n = layers::canvas_pixels(st);
    Buffer<uint16_t> wide = Buffer<uint16_t>::try_make(size_t(n) * 4);
    if (wide.empty()) return;
    pixels::widen_rgba32_image(image, wide.data(), st.canvas.width, st.canvas.height);
    const int64_t stride = int64_t(st.canvas.width) * 4;
    composite(wide.data(), stride, nullptr, dst.pixels.data(), stride, st.canvas.width,
              st.canvas.height, code, opacity, keep_alpha);
}

void load_rgba32_layer_bad(EngineState& st, uint8_t* buf, int32_t layer, int32_t w, int32_t h,
                           bool adjust) {
    LayerRecord* d = layers::canvas_slot(st, layer);
    if (!d || !buf) return;
    if (adjust) weight_alpha_by_mask_and_texture(st, buf, w, h);
    // The masked clear goes to the layer that receives the image, which is the
    // current layer in the usual call.
    pixels::clear_masked_layer(st, *d, 0, 0, 0, 0);
    merge_rgba32(st, buf, *d, 0, 255, d->alpha_locked != 0);
}

int32_t get_color_at_merged(EngineState& st, int32_t x, int32_t y) {
    uint16_t px[4] = {};
    merge_rect(st, px, x, y, 1, 1);
    if ((px[3] >> 8) == 0) return -1;
    return int32_t((uint32_t(px[0] >> 8) << 16) | (uint32_t(px[1] >> 8) << 8) | uint32_t(px[2] >> 8));
}

}  // namespace qrn::composite

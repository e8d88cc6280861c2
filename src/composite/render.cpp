#include "composite/render.h"

#include <algorithm>

#include "composite/merge.h"
#include "engine/layers.h"

namespace qrn::composite {

namespace {

constexpr int32_t kTexturize3 = 19;

void add_entry(detail::RenderJob& job, const LayerRecord& r, int32_t current_num, bool background) {
    detail::RenderEntry& e = job.entries[job.count];
    e.px = r.pixels.data();
    e.code = detail::loop_code(r.merge_mode);
    e.opacity = uint32_t(std::clamp<int32_t>(r.opacity, 0, 256));
    e.background = background;
    e.shows_code19 = job.count == current_num;
    ++job.count;
}

// Layers 1..63 with pixels, visible and not Texturize3, bottom to top, and the
// paint layer right after the current layer's position. raw[k] keeps each
// entry's record for the mask-layer test.
void build_list(EngineState& st, detail::RenderJob& job) {
    const LayerRecord* raw[65] = {};
    const int32_t cur = st.canvas.current_slot;
    const int32_t num = st.canvas.current_layer_num;
    const LayerRecord& paint = st.canvas.paint_layer;
    const bool has_paint = layers::is_canvas_sized(st, paint);
    auto add_paint = [&] {
        raw[job.count] = &paint;
        add_entry(job, paint, num, false);
    };
    if (cur == 0 && has_paint) add_paint();
    for (int32_t i = 1; i < kLayerSlots; ++i) {
        const LayerRecord* r = layers::canvas_slot(st, i);
        if (r && r->visible && r->merge_mode != kTexturize3) {
            raw[job.count] = r;
            add_entry(job, *r, num, i == 1);
        }
        if (i == cur && has_paint) add_paint();
    }
    for (int k = 0; k + 1 < job.count; ++k) {
        const LayerRecord& next = *raw[k + 1];
        if (next.merge_mode == kLayerMaskCode && next.visible && !job.entries[k].background)
            job.entries[k].mask = next.pixels.data();
    }
}

}  // namespace

int32_t render(EngineState& st, uint8_t* dst, int32_t stride, int32_t x, int32_t y, int32_t w,
               int32_t h, Simd simd) {
    if (!layers::current(st) || !dst) return 0;
    const int64_t cw = st.canvas.width, ch = st.canvas.height;
    // Negative x, y move to 0 without shortening the rectangle.
    const int64_t x0 = std::max<int64_t>(0, x), y0 = std::max<int64_t>(0, y);
    const int64_t rw = std::min<int64_t>(w, cw - x0), rh = std::min<int64_t>(h, ch - y0);
    if (rw <= 0 || rh <= 0) return 1;

    detail::RenderJob job;
    const int64_t a = st.settings.scale_a, b = st.settings.scale_b;
    int64_t ow = rw, oh = rh;
    if (a < b && b > 0) {
        job.zoom_out = true;
        job.scale = b;
        ow = rw / b, oh = rh / b;
    } else if (a > b && a > 0) {
        job.zoom_in = true;
        job.scale = a;
        ow = rw * a, oh = rh * a;
    }
    job.out_w = std::min<int64_t>(ow, std::max<int64_t>(0, st.settings.view_width));
    job.out_h = std::min<int64_t>(oh, std::max<int64_t>(0, st.settings.view_height));
    if (job.out_w <= 0 || job.out_h <= 0) return 1;

    build_list(st, job);
    job.canvas_width = cw;
    job.x = x0;
    job.y = y0;
    job.dst = dst;
    job.stride = stride;
    if (st.settings.tracing_mode) job.trace = layers::canvas_view(st, 0);
    if (st.settings.display_mask) job.overlay_mask = layers::weighting_mask(st);
    job.solid_overlay = st.settings.mask_overlay_solid != 0;
    for (int k = 0; k < 3; ++k) {
        job.overlay_a[k] = st.settings.mask_overlay_a[k];
        job.overlay_b[k] = st.settings.mask_overlay_b[k];
    }
    detail::run_best(simd, job, detail::render_scalar, detail::render_sse2, detail::render_avx2);
    return 1;
}

}  // namespace qrn::composite

// Canvas set-up, resize and deletion: the grit, shape, blend, mask, undo and
// work buffers that follow the canvas and the maximum brush size.
#include "engine/canvas.h"

#include "engine/layers.h"
#include "engine/settings.h"
#include "undo/history.h"

namespace qrn::canvas {
namespace {

constexpr int32_t kRandomArrayBytes = 1000000;
constexpr int32_t kMaxBrushCap = 10000;  // 20 grit buffers of (b + 25)^2 bytes follow it

void free_brush_buffers(EngineState& st) {
    for (auto& g : st.brush.grit) g.reset();
    st.brush.shape.reset();
    st.brush.blend.reset();
    st.brush.cached_shape.reset();
    st.brush.grit_choice = -1;
    st.brush.grit_offset = 0;
}

void free_work_buffers(EngineState& st) {
    st.work.src32.reset();
    st.work.dst32.reset();
    st.work.src24.reset();
    st.work.dst24.reset();
}

void store_geometry(EngineState& st, int32_t width, int32_t height, int32_t b, int32_t reserved) {
    Canvas& c = st.canvas;
    c.width = width;
    c.height = height;
    c.row_bytes = width * 4;
    c.max_brush = b;
    c.max_brush_row = b * 4;
    c.reserved = reserved;
    st.settings.scale_a = 1;
    st.settings.scale_b = 1;
    st.settings.offset_x = 0;
    st.settings.offset_y = 0;
}

// The buffers that follow the canvas and brush size, each allocated into a
// local first so that a failure leaves the slot empty rather than half-made.
void allocate_canvas_buffers(EngineState& st) {
    Canvas& c = st.canvas;
    const size_t b = size_t(c.max_brush);
    const size_t grit_bytes = (b + 25) * (b + 25);
    for (auto& g : st.brush.grit) {
        Buffer<uint8_t> grit = Buffer<uint8_t>::make(grit_bytes);
        grit.fill_bytes(255);  // 255 = no grit until a tool builds it
        g = std::move(grit);
    }
    st.brush.grit_choice = -1;
    st.brush.shape = Buffer<uint16_t>::make(b * b);
    st.brush.blend = Buffer<uint16_t>::make(b * b * 4);
    st.brush.blend_row_words = c.max_brush_row;

    // A brush larger than the new buffers would address past them.
    int32_t limit = c.max_brush < 1000 ? c.max_brush : 1000;
    if (st.brush.size > limit) st.brush.size = limit;
    if (st.brush.footprint > st.brush.size) {
        st.brush.footprint = st.brush.size;
        for (int32_t i = 0; i < st.brush.size; ++i) st.brush.scale_map[size_t(i)] = i;
    }

    const size_t pixels = size_t(layers::canvas_pixels(st));
    Buffer<uint16_t> mask = Buffer<uint16_t>::make(pixels);
    mask.fill_bytes(0xFF);
    c.mask = std::move(mask);
    st.settings.mask_enabled = 1;
    st.settings.tracing_mode = 0;
    c.tracing_slot = 0;

    st.undo.back_pixels = Buffer<uint16_t>::make(pixels * 4);
    st.undo.back_mask = Buffer<uint16_t>::make(pixels);
    undo::clear(st);
    st.undo.used_kb = int64_t(pixels) * 10 / 1024;

    settings::make_rand_array_byte(st, st.grit_placement, 255, kRandomArrayBytes);
    settings::make_rand_array_byte(st, st.grit_value, 254, kRandomArrayBytes);
}

int32_t clamp_brush(int32_t b) { return b < 0 ? 0 : (b > kMaxBrushCap ? kMaxBrushCap : b); }

}  // namespace

void create_image(EngineState& st, void* host_window, int32_t width, int32_t height,
                  int32_t max_brush, int32_t reserved) {
    width = clamp_side(width);
    height = clamp_side(height);
    st.canvas.host_window = host_window;
    store_geometry(st, width, height, clamp_brush(max_brush), reserved);
    for (LayerRecord& r : st.canvas.slots) r.pixels.reset();
    st.canvas.current_slot = -1;
    // A live canvas gives its buffers back before the new ones are made.
    free_brush_buffers(st);
    st.canvas.mask.reset();
    st.canvas.texture.reset();
    st.canvas.paint_layer.pixels.reset();
    undo::release_all(st);
    free_work_buffers(st);
    st.canvas.exists = true;
    allocate_canvas_buffers(st);
}

void new_size(EngineState& st, void* host_window, int32_t width, int32_t height, int32_t max_brush,
              int32_t reserved) {
    width = clamp_side(width);
    height = clamp_side(height);
    st.canvas.host_window = host_window;
    st.canvas.width = width;
    st.canvas.height = height;
    st.canvas.mask.reset();
    st.canvas.texture.reset();
    undo::release_all(st);
    undo::clear(st);
    free_brush_buffers(st);
    st.canvas.paint_layer.pixels.reset();
    free_work_buffers(st);
    store_geometry(st, width, height, clamp_brush(max_brush), reserved);
    st.canvas.exists = true;
    allocate_canvas_buffers(st);
}

void delete_image(EngineState& st) {
    st.canvas.mask.reset();
    st.canvas.texture.reset();
    undo::release_all(st);
    undo::clear(st);
    st.undo.used_kb = 0;
    free_brush_buffers(st);
    st.canvas.paint_layer.pixels.reset();
    for (int32_t s = 0; s < kLayerSlots; ++s) layers::delete_layer(st, s);
    free_work_buffers(st);
    // Nothing may keep pointing at the freed layers.
    st.canvas.current_slot = -1;
    st.canvas.exists = false;
}

}  // namespace qrn::canvas

// Layer slots, the paint layer and the texture: slot operations and the access
// helpers every subsystem uses to reach a slot safely.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::layers {

// A slot number outside 0..63 behaves like an empty slot.
inline LayerRecord* slot(EngineState& st, int32_t s) {
    return (s >= 0 && s < kLayerSlots) ? &st.canvas.slots[static_cast<size_t>(s)] : nullptr;
}
inline LayerRecord* slot_with_pixels(EngineState& st, int32_t s) {
    LayerRecord* r = slot(st, s);
    return (r && r->has_pixels()) ? r : nullptr;
}
// A slot addressed with the canvas geometry (W x 4 words a row, H rows): only a
// slot of exactly the canvas size qualifies, anything else acts as empty. Slots
// legitimately differ in size between a geometry change and QRN_NewSize.
inline bool is_canvas_sized(const EngineState& st, const LayerRecord& r) {
    return r.has_pixels() && r.width == st.canvas.width && r.height == st.canvas.height &&
           r.row_words == r.width * 4 &&
           r.pixels.size() >= static_cast<size_t>(r.width) * static_cast<size_t>(r.height) * 4;
}
inline LayerRecord* canvas_slot(EngineState& st, int32_t s) {
    LayerRecord* r = slot(st, s);
    return (r && is_canvas_sized(st, *r)) ? r : nullptr;
}
inline uint16_t* canvas_view(EngineState& st, int32_t s) {
    LayerRecord* r = canvas_slot(st, s);
    return r ? r->pixels.data() : nullptr;
}
// The current layer, or null when there is none or it is not canvas-sized.
inline LayerRecord* current(EngineState& st) { return canvas_slot(st, st.canvas.current_slot); }
inline uint16_t* current_view(EngineState& st) {
    LayerRecord* r = current(st);
    return r ? r->pixels.data() : nullptr;
}
inline int64_t canvas_pixels(const EngineState& st) {
    return int64_t(st.canvas.width) * int64_t(st.canvas.height);
}
// The mask words when present and covering the canvas, enabled or not. A mask
// smaller than the canvas (between a geometry change and the host's resize)
// counts as absent rather than being read past its end.
inline uint16_t* canvas_mask(EngineState& st) {
    const int64_t n = canvas_pixels(st);
    if (n <= 0 || st.canvas.mask.size() < size_t(n)) return nullptr;
    return st.canvas.mask.data();
}
inline const uint16_t* canvas_mask(const EngineState& st) {
    return canvas_mask(const_cast<EngineState&>(st));
}
// The mask as it weights edits: enabled and present.
inline const uint16_t* weighting_mask(const EngineState& st) {
    return st.settings.mask_enabled != 0 ? canvas_mask(st) : nullptr;
}
inline bool mask_active(const EngineState& st) { return weighting_mask(st) != nullptr; }
// The texture when it covers the canvas, else null (no texture).
inline const uint8_t* canvas_texture(const EngineState& st) {
    const int64_t n = canvas_pixels(st);
    if (n <= 0 || st.canvas.texture.size() < size_t(n)) return nullptr;
    return st.canvas.texture.data();
}

// Merge-mode code of a name: exact, case-sensitive match; anything else is 0.
int32_t merge_mode_code(const char* name);

int32_t create_layer(EngineState& st, int32_t s, int32_t width, int32_t height);
void delete_layer(EngineState& st, int32_t s);
void swap_layers(EngineState& st, int32_t a, int32_t b);
void set_layer(EngineState& st, int32_t s);
void set_layer_options(EngineState& st, int32_t s, int32_t visible, int32_t alpha_locked,
                       int32_t opacity_percent, const char* name);
int32_t layer_count(const EngineState& st);
void create_paint_layer(EngineState& st, int32_t opacity_percent, const char* name);
void clear_paint_layer(EngineState& st);
void delete_paint_layer(EngineState& st);
uint8_t* create_texture(EngineState& st, int32_t s);
void delete_texture(EngineState& st);

void set_layer_alpha(EngineState& st, int32_t s, int32_t alpha);
void normalize_layer_alpha(EngineState& st, int32_t s);
void invert_alpha(EngineState& st, int32_t s);
void invert_alpha_rgba32(const EngineState& st, uint8_t* buf);
void set_colour_alpha(EngineState& st, int32_t r, int32_t g, int32_t b);
void set_colour_alpha_rgba_buf(uint8_t* buf, int32_t w, int32_t h, int32_t r, int32_t g, int32_t b);
void set_alpha_from_rgba_image_colour(const EngineState& st, uint8_t* buf, int32_t r, int32_t g,
                                      int32_t b);
void blur_paint_layer_alpha(EngineState& st);
void create_blob_from_image(EngineState& st, int32_t s, int32_t mode);

}  // namespace qrn::layers

// Layer slots, the paint layer, the texture and the whole-layer alpha operations.
#include "engine/layers.h"

#include <cstring>
#include <string_view>

#include "engine/imaging_api/imaging.h"
#include "engine/pixel_format.h"
#include "undo/history.h"

namespace qrn::layers {
namespace {

constexpr int32_t kTexturize3 = 19;

// Code 20 has no name; "Normal" and unknown names give 0.
constexpr const char* kModeNames[] = {
    "Normal", "Multiply", "Screen", "Darken", "Lighten", "Difference", "Negation",
    "Exclusion", "Overlay", "Hard Light", "Soft Light", "Dodge", "Burn", "Reflect", "Glow",
    "Add", "Subtract", "Texturize", "Texturize2", "Texturize3", nullptr, "Alpha Filter",
    "Alpha Black Outline", "Alpha Outline Tint 1", "Alpha Outline Tint 2", "Alpha Invert",
    "Alpha Shader", "Alpha Shader Color", "Alpha Shader Texture2", "Alpha Highlight Texture2",
    "Alpha Smooth", "Alpha Smooth Lum", "Alpha Smooth Lum2", "Alpha Smooth Lum3",
    "Alpha Smooth Lum4", "Alpha Smooth Lum5", "Alpha Overlay Outline", "Alpha Highlight",
    "Layer Mask", "Luminance Alpha", "Luminance Alpha Invert"};
static_assert(sizeof(kModeNames) / sizeof(kModeNames[0]) == 41);

// opacity = trunc(percent x 2.56), held to 0..256 so no blend can exceed 16 bits.
uint16_t opacity_from_percent(int32_t percent) {
    const int32_t v = trunc_i32(double(percent) * 2.56);
    return uint16_t(v < 0 ? 0 : (v > 256 ? 256 : v));
}

// A name shorter than 50 characters is stored; a longer one leaves the field empty.
void store_name(char (&field)[kModeNameBytes], const char* name) {
    const std::string_view n = name ? std::string_view(name) : std::string_view();
    if (n.size() < kModeNameBytes) {
        if (!n.empty()) std::memcpy(field, n.data(), n.size());
        std::memset(field + n.size(), 0, kModeNameBytes - n.size());
    }
}

// Visits every pixel of a slot by its own geometry.
template <class Fn>
void for_each_pixel(LayerRecord& r, Fn fn) {
    if (!r.has_pixels() || r.width < 1 || r.height < 1) return;
    const size_t count = size_t(r.width) * size_t(r.height);
    if (r.pixels.size() < count * 4) return;
    uint16_t* p = r.pixels.data();
    for (size_t i = 0; i < count; ++i, p += 4) fn(p);
}

}  // namespace

int32_t merge_mode_code(const char* name) {
    if (!name) return 0;
    const std::string_view n(name);
    for (int32_t code = 0; code < 41; ++code)
        if (kModeNames[code] && n == kModeNames[code]) return code;
    return 0;
}

int32_t create_layer(EngineState& st, int32_t s, int32_t width, int32_t height) {
    LayerRecord* r = slot(st, s);
    if (!r) return 0;
    // Sides are validated before anything changes: an overflowing byte count
    // would give a block smaller than every later walk of the slot.
    if (!valid_side(width) || !valid_side(height)) return 0;
    const size_t words = size_t(width) * size_t(height) * 4;
    if (r->has_pixels() && (r->width != width || r->height != height)) r->pixels.reset();
    r->width = width;
    r->height = height;
    r->row_words = width * 4;
    if (!r->has_pixels()) {
        Buffer<uint16_t> block = Buffer<uint16_t>::try_make(words);
        if (block.empty()) {
            // The retry frees undo memory in KB, the unit ReduceUndo counts in.
            undo::reduce(st, int64_t(width) * int64_t(height) * 8 / 1024);
            block = Buffer<uint16_t>::make(words);  // a second failure is reported
        }
        r->pixels = std::move(block);
    }
    // Slot 1 is the paper: 0xFF bytes, so every channel is 65535 (not 0xFF00).
    r->pixels.fill_bytes(s == 1 ? 0xFF : 0x00);
    return 1;
}

void delete_layer(EngineState& st, int32_t s) {
    if (LayerRecord* r = slot(st, s)) r->pixels.reset();
}

void swap_layers(EngineState& st, int32_t a, int32_t b) {
    LayerRecord* ra = slot(st, a);
    LayerRecord* rb = slot(st, b);
    if (!ra || !rb || ra == rb) return;
    std::swap(*ra, *rb);
}

void set_layer(EngineState& st, int32_t s) {
    LayerRecord* r = slot_with_pixels(st, s);
    if (!r) return;
    // A texturising layer does not texture its own painting.
    if (r->merge_mode == kTexturize3) delete_texture(st);
    const int32_t prev = st.canvas.current_slot;
    if (LayerRecord* p = slot(st, prev); p && p != r && p->visible && p->merge_mode == kTexturize3)
        create_texture(st, prev);
    st.canvas.current_slot = s;
    st.canvas.current_layer_num = s;
    undo::save_back_buffer(st, s);
}

void set_layer_options(EngineState& st, int32_t s, int32_t visible, int32_t alpha_locked,
                       int32_t opacity_percent, const char* name) {
    LayerRecord* r = slot(st, s);
    if (!r) return;
    if (r->merge_mode == kTexturize3) delete_texture(st);
    r->visible = uint8_t(visible & 0xFF);
    r->alpha_locked = uint8_t(alpha_locked & 0xFF);
    r->opacity = opacity_from_percent(opacity_percent);
    std::memset(r->mode_name, 0, sizeof r->mode_name);
    store_name(r->mode_name, name);
    r->merge_mode = merge_mode_code(name);
    int32_t top = 1;
    for (int32_t i = kLayerSlots - 1; i >= 1; --i)
        if (st.canvas.slots[size_t(i)].has_pixels()) {
            top = i;
            break;
        }
    st.canvas.top_layer_index = top;
    if (s != st.canvas.current_slot && r->visible && r->merge_mode == kTexturize3)
        create_texture(st, s);
}

int32_t layer_count(const EngineState& st) {
    int32_t n = 0;
    for (const LayerRecord& r : st.canvas.slots) n += r.has_pixels() ? 1 : 0;
    return n;
}

void create_paint_layer(EngineState& st, int32_t opacity_percent, const char* name) {
    LayerRecord& p = st.canvas.paint_layer;
    if (!p.has_pixels()) {
        if (!valid_side(st.canvas.width) || !valid_side(st.canvas.height)) return;
        p.pixels = Buffer<uint16_t>::make(size_t(canvas_pixels(st)) * 4);
        p.width = st.canvas.width;
        p.height = st.canvas.height;
        p.row_words = st.canvas.width * 4;
    }
    store_name(p.mode_name, name);
    p.visible = 1;
    p.alpha_locked = 0;
    p.opacity = opacity_from_percent(opacity_percent);
    p.merge_mode = merge_mode_code(name);
}

void clear_paint_layer(EngineState& st) { st.canvas.paint_layer.pixels.fill_bytes(0); }

void delete_paint_layer(EngineState& st) { st.canvas.paint_layer.pixels.reset(); }

uint8_t* create_texture(EngineState& st, int32_t s) {
    const uint16_t* src = canvas_view(st, s);
    if (!src) return nullptr;
    const size_t count = size_t(canvas_pixels(st));
    if (st.canvas.texture.size() != count) st.canvas.texture = Buffer<uint8_t>::make(count);
    uint8_t* t = st.canvas.texture.data();
    for (size_t i = 0; i < count; ++i, src += 4) {
        const uint32_t v = (uint32_t(src[0]) + src[1] + src[2]) / 768;
        t[i] = uint8_t(v < 4 ? 4 : (v > 250 ? 250 : v));
    }
    return t;
}

void delete_texture(EngineState& st) { st.canvas.texture.reset(); }

void set_layer_alpha(EngineState& st, int32_t s, int32_t alpha) {
    LayerRecord* r = slot(st, s);
    if (!r) return;
    const uint16_t a = uint16_t(alpha);
    for_each_pixel(*r, [a](uint16_t* p) { p[3] = a; });
}

void normalize_layer_alpha(EngineState& st, int32_t s) {
    LayerRecord* r = slot_with_pixels(st, s);
    if (!r) return;
    const uint32_t opacity = r->opacity;
    for_each_pixel(*r, [opacity](uint16_t* p) { p[3] = uint16_t((opacity * p[3]) >> 8); });
    r->opacity = 256;
}

void invert_alpha(EngineState& st, int32_t s) {
    LayerRecord* r = slot(st, s);
    if (!r) return;
    for_each_pixel(*r, [](uint16_t* p) { p[3] = uint16_t(65535 - p[3]); });
}

void invert_alpha_rgba32(const EngineState& st, uint8_t* buf) {
    if (!buf) return;
    const int64_t n = canvas_pixels(st);
    for (int64_t i = 0; i < n; ++i) buf[i * 4 + 3] = uint8_t(255 - buf[i * 4 + 3]);
}

void set_colour_alpha(EngineState& st, int32_t r, int32_t g, int32_t b) {
    uint16_t* p = current_view(st);
    if (!p) return;
    // Replicating widening here (255 -> 0xFFFF), unlike host loads.
    const uint16_t rr = uint16_t(uint32_t(r) * 257u), gg = uint16_t(uint32_t(g) * 257u),
                   bb = uint16_t(uint32_t(b) * 257u);
    const int64_t n = canvas_pixels(st);
    for (int64_t i = 0; i < n; ++i, p += 4) {
        if (p[3] < 256) {
            p[0] = rr;
            p[1] = gg;
            p[2] = bb;
            p[3] = 0;
        }
    }
}

void set_colour_alpha_rgba_buf(uint8_t* buf, int32_t w, int32_t h, int32_t r, int32_t g,
                               int32_t b) {
    if (!buf || w < 1 || h < 1) return;
    const int64_t n = int64_t(w) * int64_t(h);
    for (int64_t i = 0; i < n; ++i) {
        uint8_t* p = buf + i * 4;
        if (p[3] == 0) {
            p[0] = uint8_t(r);
            p[1] = uint8_t(g);
            p[2] = uint8_t(b);
        }
    }
}

void set_alpha_from_rgba_image_colour(const EngineState& st, uint8_t* buf, int32_t r, int32_t g,
                                      int32_t b) {
    if (!buf) return;
    const int64_t n = canvas_pixels(st);
    for (int64_t i = 0; i < n; ++i) {
        uint8_t* p = buf + i * 4;
        if (p[0] == r && p[1] == g && p[2] == b) p[3] = 0;
    }
}

void blur_paint_layer_alpha(EngineState& st) {
    LayerRecord& pl = st.canvas.paint_layer;
    if (!is_canvas_sized(st, pl)) return;
    const int32_t w = st.canvas.width, h = st.canvas.height;
    const size_t n = size_t(canvas_pixels(st));
    Buffer<uint8_t> alpha = Buffer<uint8_t>::make(n);
    Buffer<uint8_t> blurred = Buffer<uint8_t>::make(n);
    uint16_t* p = pl.pixels.data();
    for (size_t i = 0; i < n; ++i) alpha[i] = narrow(p[i * 4 + 3]);
    if (!imaging::blur_grey(alpha.data(), w, h, w, blurred.data(), w, 100)) return;
    // Opaque paint keeps its edge; only thin paint is softened.
    for (size_t i = 0; i < n; ++i)
        p[i * 4 + 3] = alpha[i] < 240 ? uint16_t(blurred[i] << 8) : uint16_t(65535);
}

void create_blob_from_image(EngineState& st, int32_t s, int32_t mode) {
    LayerRecord* r = slot(st, s);
    if (!r) return;
    for_each_pixel(*r, [mode](uint16_t* p) {
        const int32_t h = (int32_t(p[0]) + p[1] + p[2]) / 3;
        if (mode != 1) {
            p[0] = p[1] = p[2] = 32767;
        } else {
            for (int c = 0; c < 3; ++c) {
                const double v = p[c];
                // Bright pixels are pulled down and dark ones up, toward the middle.
                const double out = h > 32766 ? v - v * double(h - 32767) / 65534.0
                                             : v + (65535.0 - v) * double(32767 - h) / 65534.0;
                p[c] = uint16_t(trunc_i32(out));
            }
        }
        if (p[3] > 8191) p[3] = uint16_t(trunc_i32(h * 0.843 + 10239));
    });
}

}  // namespace qrn::layers

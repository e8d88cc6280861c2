// Geometry of all layers: each occupied, canvas-sized layer is read as RGBA32,
// transformed by the imaging library and reloaded, one layer at a time, so
// the extra memory is two 8-bit images whatever the number of layers.
#include "imaging/geometry.h"

#include <cstring>

#include "engine/arith.h"
#include "engine/buffer.h"
#include "engine/imaging_api/imaging.h"
#include "engine/layers.h"
#include "engine/pixels.h"

namespace qrn::imaging::geometry {
namespace {

struct NamedResampler {
    const char* name;
    Resampler resampler;
};
constexpr NamedResampler kResamplers[] = {
    {"Area Average", {Method::AreaAverage, -1}},
    {"Nearest Neighbor", {Method::Nearest, -1}},
    {"Bilinear", {Method::Bilinear, -1}},
    {"Bicubic", {Method::Bicubic, -1}},
    {"Box", {Method::Filtered, 0}},
    {"Triangle", {Method::Filtered, 1}},
    {"Hamming", {Method::Filtered, 2}},
    {"Gaussian", {Method::Filtered, 3}},
    {"Bell", {Method::Filtered, 4}},
    {"B-Spline", {Method::Filtered, 5}},
    {"Cubic 1", {Method::Filtered, 6}},
    {"Cubic 2", {Method::Filtered, 7}},
    {"Lanczos3", {Method::Filtered, 8}},
    {"Mitchell", {Method::Filtered, 9}},
    {"Sinc", {Method::Filtered, 10}},
    {"Hermite", {Method::Filtered, 11}},
    {"Hanning", {Method::Filtered, 12}},
    {"Catrom", {Method::Filtered, 13}},
};

constexpr int32_t kTurnRight = 0, kTurnLeft = 2;

// Found now rather than taken from the stored top index, which only
// QRN_SetLayerOptions refreshes: layers created since would be left behind.
int32_t top_occupied_slot(const EngineState& st) {
    for (int32_t s = kLayerSlots - 1; s >= 1; --s)
        if (st.canvas.slots[size_t(s)].has_pixels()) return s;
    return 0;
}

bool have_canvas(const EngineState& st) {
    return st.canvas.exists && st.canvas.width > 0 && st.canvas.height > 0;
}

// The layer's alpha lock is off while the layer is rebuilt and comes back
// even when the rebuild throws.
class AlphaLockPause {
public:
    explicit AlphaLockPause(LayerRecord& r) : r_(r), saved_(r.alpha_locked) { r.alpha_locked = 0; }
    ~AlphaLockPause() { r_.alpha_locked = saved_; }
    AlphaLockPause(const AlphaLockPause&) = delete;
    AlphaLockPause& operator=(const AlphaLockPause&) = delete;

private:
    LayerRecord& r_;
    uint8_t saved_;
};

// The common frame: produce(slot, canvas image, result) fills the new_w x
// new_h result from the canvas-sized RGBA32 copy of the layer; a false answer
// leaves that layer as it was. Layers not of the canvas size (normal between
// a geometry change and QRN_NewSize) are skipped like empty slots.
template <class Produce>
void for_each_layer(EngineState& st, int32_t new_w, int32_t new_h, Produce produce) {
    if (!have_canvas(st) || !valid_side(new_w) || !valid_side(new_h)) return;
    const int32_t top = top_occupied_slot(st);
    if (top < 1) return;
    const int32_t w = st.canvas.width, h = st.canvas.height;
    Buffer<uint8_t> image = Buffer<uint8_t>::make(size_t(w) * size_t(h) * 4);
    Buffer<uint8_t> result = Buffer<uint8_t>::make(size_t(new_w) * size_t(new_h) * 4);
    for (int32_t s = 1; s <= top; ++s) {
        LayerRecord* r = layers::canvas_slot(st, s);
        if (!r) continue;
        pixels::get_rgba32_layer(st, image.data(), w * 4, s);
        if (!produce(s, image.data(), result.data())) continue;
        const AlphaLockPause pause(*r);
        layers::delete_layer(st, s);
        if (layers::create_layer(st, s, new_w, new_h))
            pixels::load_rgba32_layer(st, result.data(), int64_t(new_w) * 4, s, r->width, r->height,
                                      false);
    }
}

template <class Flip>
void flip_each_layer(EngineState& st, Flip flip) {
    if (!have_canvas(st)) return;
    const int32_t top = top_occupied_slot(st);
    if (top < 1) return;
    const int32_t w = st.canvas.width, h = st.canvas.height;
    Buffer<uint8_t> image = Buffer<uint8_t>::make(size_t(w) * size_t(h) * 4);
    for (int32_t s = 1; s <= top; ++s) {
        LayerRecord* r = layers::canvas_slot(st, s);
        if (!r) continue;
        pixels::get_rgba32_layer(st, image.data(), w * 4, s);
        // The lock stays in force: an alpha-locked layer keeps its alpha unflipped.
        if (flip(image.data(), w, h))
            pixels::load_rgba32_layer(st, image.data(), int64_t(w) * 4, s, r->width, r->height, false);
    }
}

}  // namespace

bool resampler_named(const char* name, Resampler& out) {
    if (!name) return false;
    for (const NamedResampler& n : kResamplers)
        if (std::strcmp(name, n.name) == 0) {
            out = n.resampler;
            return true;
        }
    return false;
}

bool anchor_offsets(const char* anchor, int32_t dw, int32_t dh, int32_t& x, int32_t& y) {
    if (!anchor || !anchor[0] || !anchor[1] || anchor[2] != '\0') return false;
    const char* rows = "TMB";
    const char* cols = "LCR";
    const char* row = std::strchr(rows, anchor[0]);
    const char* col = std::strchr(cols, anchor[1]);
    if (!row || !col) return false;
    const int32_t xs[] = {0, dw / 2, dw}, ys[] = {0, dh / 2, dh};
    x = xs[col - cols];
    y = ys[row - rows];
    return true;
}

void resize(EngineState& st, int32_t width, int32_t height, const char* filter) {
    Resampler rs{};
    if (!resampler_named(filter, rs)) return;
    const int32_t w = st.canvas.width, h = st.canvas.height;
    for_each_layer(st, width, height, [&](int32_t, const uint8_t* src, uint8_t* dst) {
        const int64_t ss = int64_t(w) * 4, ds = int64_t(width) * 4;
        switch (rs.method) {
            case Method::AreaAverage: return decimate(src, w, h, ss, dst, width, height, ds, 4);
            case Method::Nearest: return resample_nearest(src, w, h, ss, dst, width, height, ds, 4);
            case Method::Bilinear: return imaging::resize(src, w, h, ss, dst, width, height, ds, 4);
            case Method::Bicubic: return resize_bicubic(src, w, h, ss, dst, width, height, ds, 4);
            case Method::Filtered:
                return resize_filtered(src, w, h, ss, dst, width, height, ds, 4, rs.filter);
        }
        return false;
    });
}

void resize_page(EngineState& st, int32_t width, int32_t height, const char* anchor) {
    const int32_t w = st.canvas.width, h = st.canvas.height;
    int32_t x = 0, y = 0;
    // Growth in 64 bits first: both sides are at most 10000 once checked.
    if (!valid_side(width) || !valid_side(height) ||
        !anchor_offsets(anchor, width - w, height - h, x, y))
        return;
    for_each_layer(st, width, height, [&](int32_t s, const uint8_t* src, uint8_t* dst) {
        // The paper pads opaque white (0xFF bytes, reloaded as 0xFF00), others transparent.
        std::memset(dst, s == 1 ? 0xFF : 0x00, size_t(width) * size_t(height) * 4);
        return place_image(dst, width, height, 4, int64_t(width) * 4, src, w, h, int64_t(w) * 4, x,
                           y);
    });
}

void crop(EngineState& st, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const int32_t w = st.canvas.width, h = st.canvas.height;
    // Rejected rather than clipped: the host sizes the canvas from its own
    // numbers afterwards, and a clipped crop would not match them.
    if (!(0 <= left && left < right && right <= w && 0 <= top && top < bottom && bottom <= h))
        return;
    const int32_t nw = right - left, nh = bottom - top;
    for_each_layer(st, nw, nh, [&](int32_t, const uint8_t* src, uint8_t* dst) {
        return imaging::crop(src, w, h, int64_t(w) * 4, dst, int64_t(nw) * 4, left, top, right,
                             bottom, 4);
    });
}

namespace {
void rotate(EngineState& st, int32_t turn) {
    const int32_t w = st.canvas.width, h = st.canvas.height;
    for_each_layer(st, h, w, [&](int32_t, const uint8_t* src, uint8_t* dst) {
        return quick_rotate(src, w, h, int64_t(w) * 4, dst, int64_t(h) * 4, turn, 4);
    });
}
}  // namespace

void rotate_left(EngineState& st) { rotate(st, kTurnLeft); }
void rotate_right(EngineState& st) { rotate(st, kTurnRight); }

void flip_horizontal(EngineState& st) {
    flip_each_layer(st, [](uint8_t* img, int32_t w, int32_t h) {
        return imaging::flip_horizontal(img, w, h, 4, int64_t(w) * 4);
    });
}

void flip_vertical(EngineState& st) {
    flip_each_layer(st, [](uint8_t* img, int32_t w, int32_t h) {
        return imaging::flip_vertical(img, int64_t(w) * 4, h);
    });
}

}  // namespace qrn::imaging::geometry

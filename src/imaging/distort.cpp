// Pan, push warp, displacement bump and extra blur over the work buffers.
#include "imaging/distort.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "composite/adjust.h"
#include "composite/merge.h"
#include "engine/imaging_api/imaging.h"
#include "engine/imaging_api/scripts.h"
#include "engine/layers.h"
#include "engine/pixels.h"
#include "imaging/work_buffers.h"

namespace qrn::imaging::distort {
namespace {

// The RGBA32 pair and the current layer, all at the canvas size, or nothing.
struct Target {
    uint8_t* src = nullptr;
    uint8_t* dst = nullptr;
    LayerRecord* layer = nullptr;
    int32_t w = 0, h = 0;
    int64_t stride = 0;
    explicit operator bool() const { return layer != nullptr; }
};

Target target(EngineState& st) {
    Target t;
    t.src = work::canvas_buffer(st, work::Kind::Src32);
    t.dst = work::canvas_buffer(st, work::Kind::Dst32);
    LayerRecord* layer = layers::current(st);
    if (!t.src || !t.dst || !layer) return {};
    t.layer = layer;
    t.w = st.canvas.width;
    t.h = st.canvas.height;
    t.stride = int64_t(t.w) * 4;
    return t;
}

// The picture repeated from the top-left corner over the whole image: the
// same as overlaying it at every multiple of its width and height.
void tile(uint8_t* dst, int32_t w, int32_t h, const uint8_t* pic, int32_t pw, int32_t ph) {
    const size_t row_bytes = size_t(w) * 4, pic_row = size_t(pw) * 4;
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* s = pic + size_t(y % ph) * pic_row;
        uint8_t* d = dst + size_t(y) * row_bytes;
        for (size_t x = 0; x < row_bytes; x += pic_row)
            std::memcpy(d + x, s, std::min(pic_row, row_bytes - x));
    }
}

// Rounding to single precision; beyond float's range (undefined for a plain
// conversion) the value becomes an infinity, as the hardware rounding would.
float to_single(double v) {
    if (v > double(std::numeric_limits<float>::max()))
        return std::numeric_limits<float>::infinity();
    if (v < -double(std::numeric_limits<float>::max()))
        return -std::numeric_limits<float>::infinity();
    return float(v);
}

void fill_alpha(uint8_t* rgba, int64_t pixels, uint8_t alpha) {
    for (int64_t i = 0; i < pixels; ++i) rgba[i * 4 + 3] = alpha;
}

}  // namespace

void pan(EngineState& st, int32_t dx, int32_t dy, int32_t edge, int32_t r, int32_t g, int32_t b,
         int32_t a, uint8_t weight) {
    const Target t = target(st);
    if (!t) return;
    if (edge == 0) {
        std::memset(t.dst, 0, size_t(t.stride) * size_t(t.h));
        imaging::overlay(t.dst, t.w, t.h, 4, t.stride, t.src, t.w, t.h, t.stride, dx, dy);
    } else {
        // Packed as written: a component above 255 spills into the next byte.
        const uint32_t fill =
            uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16 | uint32_t(a) << 24;
        imaging::clear_transforms();
        if (!imaging::add_offset_transform(t.w, t.h, double(dx), double(dy), edge) ||
            !imaging::run_transforms(t.src, t.w, t.h, t.stride, t.dst, t.stride, 4, 0, fill))
            return;
    }
    if (weight != 0) composite::weight_alpha_by_mask_and_texture(st, t.dst, t.w, t.h);
    Buffer<uint16_t> wide = Buffer<uint16_t>::make(size_t(t.stride) * size_t(t.h));
    pixels::widen_rgba32_image(t.dst, wide.data(), t.w, t.h);
    composite::composite(wide.data(), t.stride, nullptr, t.layer->pixels.data(), t.stride, t.w, t.h,
                         0, 255, t.layer->alpha_locked != 0);
}

void warp_point_to_point(EngineState& st, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    const Target t = target(st);
    if (!t) return;
    composite::pre_filter_rgba32(t.src, t.w, t.h);
    if (!imaging::push(t.src, t.w, t.h, 4, t.stride, t.dst, x1, y1, x2, y2, 0)) return;
    composite::post_filter_rgba32(t.dst, t.w, t.h);
    pixels::load_rgba32(st, t.dst, int32_t(t.stride), true);
}

void blur_more_rgb24(uint8_t* pixels, int32_t width, int32_t height, int32_t radius_setting,
                     int32_t amount_percent) {
    if (!pixels || !valid_side(width) || !valid_side(height)) return;
    const int64_t stride = int64_t(width) * 3;
    Buffer<uint8_t> out = Buffer<uint8_t>::make(size_t(stride) * size_t(height));
    // The strength is rounded to single precision on its way to the library.
    const double amount = double(float(amount_percent * 0.01));
    if (imaging::blur_more(pixels, width, height, out.data(), 3, stride, stride, radius_setting / 5,
                           amount, 15))
        std::memcpy(pixels, out.data(), out.bytes());
}

void displacement_bump(EngineState& st, const char* script_path, double amount, int32_t fill) {
    const Target t = target(st);
    if (!t) return;
    const int64_t n = int64_t(t.w) * t.h;
    Buffer<uint8_t> bump = Buffer<uint8_t>::make(size_t(n) * 4);
    std::vector<uint8_t> picture;
    int32_t pw = 0, ph = 0;
    // The script's own size is checked (1..10000 a side) before it is drawn;
    // one that fails leaves the layer as it is.
    if (!scripts::render(script_path, picture, pw, ph)) return;
    tile(bump.data(), t.w, t.h, picture.data(), pw, ph);
    fill_alpha(bump.data(), n, 255);

    Buffer<uint8_t> grey = Buffer<uint8_t>::try_make(size_t(n));
    if (grey.empty()) return;
    imaging::clear_transforms();
    if (!imaging::grey8(bump.data(), t.w, t.h, t.stride, grey.data(), t.w) ||
        !imaging::add_bump_transform(t.w, t.h, to_single(amount), grey.data(), t.w, t.h) ||
        !imaging::run_transforms(t.src, t.w, t.h, t.stride, t.dst, t.stride, 4, 1, uint32_t(fill)))
        return;
    composite::post_filter_rgba32(t.dst, t.w, t.h);
    pixels::load_rgba32(st, t.dst, int32_t(t.stride), true);
}

}  // namespace qrn::imaging::distort

// Image brushes: source, sized, rotated and strip pictures, and the mixes of the
// sized and rotated ones into the blend buffer.
#include "brush/image_brush.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/arith.h"
#include "engine/imaging_api/imaging.h"
#include "engine/imaging_api/scripts.h"
#include "engine/pixel_format.h"
#include "engine/pixels.h"

namespace qrn::brush {
namespace {

constexpr int32_t kPngPixelsPerMetre = 2834;  // 72 dots per inch

int32_t max_brush(const EngineState& st) { return std::max(st.canvas.max_brush, 0); }
int32_t brush_side(const EngineState& st) { return std::clamp(st.brush.size, 0, max_brush(st)); }

size_t rgba64_words(int32_t w, int32_t h) { return size_t(w) * size_t(h) * 4; }

// The blend buffer as b x b pixels of four words, or null when it is absent or
// not that shape.
uint16_t* blend_pixels(EngineState& st) {
    const size_t b = size_t(max_brush(st));
    BrushBuffers& br = st.brush;
    if (b == 0 || br.blend.empty() || br.blend_row_words != int64_t(b) * 4 ||
        br.blend.size() < b * b * 4)
        return nullptr;
    return br.blend.data();
}

// A sized copy or rotation made under another maximum brush size may be
// larger than the blend buffer now is.
bool sized_ready(const ImageBrush& ib, int32_t b) { return !ib.sized.empty() && ib.sized_b == b; }
bool rotation_ready(const ImageBrush& ib, int32_t b) {
    return ib.rotate_valid && ib.rotate_b == b && !ib.rotate_first.empty() &&
           !ib.rotate_second.empty();
}

// d = trunc(keep x 2.55) in double: keep 100 gives 254, because the double
// nearest 2.55 lies just below it, so the two weights add up to 255, not 256.
// Keeps outside 0..100 are held to weights 0..255.
uint32_t keep_weight(int32_t keep) { return uint32_t(std::clamp(trunc_i32(keep * 2.55), 0, 255)); }

bool fits_brush(const EngineState& st, int32_t w, int32_t h) {
    const int32_t b = max_brush(st);
    return w >= 1 && h >= 1 && w <= b && h <= b;
}

void set_source(ImageBrush& ib, Buffer<uint16_t> px, int32_t w, int32_t h) {
    ib.source = std::move(px);
    ib.source_w = w;
    ib.source_h = h;
}

// Packed RGBA32 widened by << 8 into a new source.
void source_from_rgba32(ImageBrush& ib, const uint8_t* rgba, int32_t w, int32_t h) {
    Buffer<uint16_t> px = Buffer<uint16_t>::make(rgba64_words(w, h));
    pixels::widen_rgba32_image(rgba, px.data(), w, h);
    set_source(ib, std::move(px), w, h);
}

// (r, g, b) widened x 257 into every source pixel, its alpha kept.
void tint(ImageBrush& ib, uint8_t r, uint8_t g, uint8_t b) {
    const uint16_t rr = widen_replicate(r), gg = widen_replicate(g), bb = widen_replicate(b);
    uint16_t* p = ib.source.data();
    for (size_t k = 0, n = ib.source.size(); k + 3 < n; k += 4) {
        p[k] = rr;
        p[k + 1] = gg;
        p[k + 2] = bb;
    }
}

}  // namespace

void load_image_brush(EngineState& st, const char* path) {
    if (!path) return;
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    if (!imaging::read_image_file(path, rgba, w, h) || !fits_brush(st, w, h)) return;
    source_from_rgba32(st.image_brush, rgba.data(), w, h);
}

void load_image_brush_from_rgba32(EngineState& st, const uint8_t* pixels, int32_t width,
                                  int32_t height) {
    if (!pixels || !fits_brush(st, width, height)) return;
    source_from_rgba32(st.image_brush, pixels, width, height);
}

void load_image_brush_array(EngineState& st, const char* path) {
    if (!path) return;
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    // Only the height has to fit the brush: the frames are H x H. A strip
    // narrower than one frame has none.
    if (!imaging::read_image_file(path, rgba, w, h)) return;
    if (h < 1 || w < h || h > max_brush(st)) return;
    Buffer<uint16_t> strip = Buffer<uint16_t>::make(rgba64_words(w, h));
    pixels::widen_rgba32_image(rgba.data(), strip.data(), w, h);
    Buffer<uint16_t> frame = Buffer<uint16_t>::make(rgba64_words(h, h));
    ImageBrush& ib = st.image_brush;
    ib.strip = std::move(strip);
    ib.strip_w = w;
    ib.strip_h = h;
    ib.strip_frames = w / h;
    set_source(ib, std::move(frame), h, h);
}

void copy_from_image_brush_array(EngineState& st, float position) {
    ImageBrush& ib = st.image_brush;
    if (ib.source.empty() || ib.strip.empty() || ib.strip_frames < 1) return;
    const int32_t h = ib.strip_h;
    // The count times the position in single precision, as the host passes it.
    const float at = float(ib.strip_frames) * position;
    const int32_t frame = std::clamp(trunc_i32(at), 0, ib.strip_frames - 1);
    // A fill, tint or load since the strip came may have resized the source.
    if (ib.source_w != h || ib.source_h != h) {
        Buffer<uint16_t> px = Buffer<uint16_t>::try_make(rgba64_words(h, h));
        if (px.empty()) return;
        set_source(ib, std::move(px), h, h);
    }
    const size_t row_words = size_t(h) * 4;
    for (size_t row = 0; row < size_t(h); ++row)
        std::memcpy(ib.source.data() + row * row_words,
                    ib.strip.data() + (row * size_t(ib.strip_w) + size_t(frame) * size_t(h)) * 4,
                    row_words * sizeof(uint16_t));
}

void save_image_brush(EngineState& st, const char* path) {
    const ImageBrush& ib = st.image_brush;
    if (!path || ib.source.empty()) return;
    const int32_t w = ib.source_w, h = ib.source_h;
    Buffer<uint8_t> rgba = Buffer<uint8_t>::make(size_t(w) * size_t(h) * 4);
    pixels::narrow_rgba64_image(ib.source.data(), rgba.data(), w, h);
    imaging::FileOptions options;
    options.has_resolution = true;
    options.res_x = kPngPixelsPerMetre;
    options.res_y = kPngPixelsPerMetre;
    options.res_unit = 1;  // per metre
    imaging::write_image_file(path, imaging::FileFormat::Png, rgba.data(), w, h, 4, int64_t(w) * 4,
                              options);
}

void fill_image_brush(EngineState& st, uint8_t r, uint8_t g, uint8_t b) {
    const int32_t s = brush_side(st);
    if (s < 1) return;
    Buffer<uint16_t> px = Buffer<uint16_t>::make(rgba64_words(s, s));
    ImageBrush& ib = st.image_brush;
    set_source(ib, std::move(px), s, s);
    ib.source.fill_bytes(0xFF);
    tint(ib, r, g, b);
}

void colour_image_brush(EngineState& st, uint8_t r, uint8_t g, uint8_t b) {
    ImageBrush& ib = st.image_brush;
    if (ib.source.empty()) {
        const int32_t s = brush_side(st);
        if (s < 1) return;
        Buffer<uint16_t> px = Buffer<uint16_t>::make(rgba64_words(s, s));
        px.fill_bytes(0xFF);
        set_source(ib, std::move(px), s, s);
    }
    tint(ib, r, g, b);
}

void copy_to_image_brush(EngineState& st) {
    const int32_t s = brush_side(st);
    if (s < 1) return;
    Buffer<uint16_t> px = Buffer<uint16_t>::make(rgba64_words(s, s));
    if (const uint16_t* blend = blend_pixels(st)) {
        const size_t row_words = size_t(s) * 4, blend_row = size_t(max_brush(st)) * 4;
        for (size_t row = 0; row < size_t(s); ++row)
            std::memcpy(px.data() + row * row_words, blend + row * blend_row,
                        row_words * sizeof(uint16_t));
    }
    set_source(st.image_brush, std::move(px), s, s);
}

void size_image_brush(EngineState& st) {
    ImageBrush& ib = st.image_brush;
    if (ib.source.empty()) return;
    const int32_t b = max_brush(st), s = brush_side(st);
    ib.rotate_valid = false;
    if (!ib.sized.empty() && (ib.sized_side != s || ib.sized_b != b)) {
        ib.sized.reset();
        ib.sized_side = 0;
    }
    if (s < 1) return;
    if (ib.sized.empty()) {
        ib.sized = Buffer<uint16_t>::make(rgba64_words(s, s));
        ib.sized_side = s;
        ib.sized_b = b;
    }
    const int32_t w = ib.source_w, h = ib.source_h;
    const auto* src = reinterpret_cast<const uint8_t*>(ib.source.data());
    auto* dst = reinterpret_cast<uint8_t*>(ib.sized.data());
    if (w == s && h >= s) {
        // Rows of S pixels follow each other, so the top S rows are one block.
        std::memcpy(dst, src, rgba64_words(s, s) * sizeof(uint16_t));
    } else if (s < w) {
        imaging::decimate(src, w, h, int64_t(w) * 8, dst, s, s, int64_t(s) * 8, 8);
    } else {
        imaging::resize(src, w, h, int64_t(w) * 8, dst, s, s, int64_t(s) * 8, 8);
    }
}

// Each channel: the sized word when d = 0, else (d x blend + (255 - d) x sized) >> 8.
void copy_from_image_brush(EngineState& st, int32_t keep) {
    size_image_brush(st);
    const ImageBrush& ib = st.image_brush;
    const int32_t b = max_brush(st);
    uint16_t* blend = blend_pixels(st);
    if (!blend || !sized_ready(ib, b)) return;
    const size_t side = size_t(std::min(ib.sized_side, b)), blend_row = size_t(b) * 4;
    const uint32_t d = keep_weight(keep), e = 255 - d;
    for (size_t row = 0; row < side; ++row) {
        uint16_t* out = blend + row * blend_row;
        const uint16_t* in = ib.sized.data() + row * size_t(ib.sized_side) * 4;
        for (size_t k = 0; k < side * 4; ++k)
            out[k] = d == 0 ? in[k] : uint16_t((d * out[k] + e * in[k]) >> 8);
    }
}

// Two passes, so that the alpha turns with the colour: first the alpha alone,
// carried in the first channel of the second image and split back out into a
// plane; then the colour, with the rotated alpha combined in. A pass whose
// rotation fails leaves the second image as it found it.
void rotate_image_brush(EngineState& st, int32_t angle) {
    ImageBrush& ib = st.image_brush;
    const int32_t b = max_brush(st);
    if (ib.sized.empty()) return;
    if (ib.sized_b != b) {
        ib.sized.reset();
        ib.sized_side = 0;
        ib.rotate_valid = false;
        return;
    }
    const int32_t w = ib.sized_side, h = ib.sized_side;
    const size_t bytes = size_t(w) * size_t(h) * 4;
    if (!rotation_ready(ib, b) || ib.rotate_w != w || ib.rotate_h != h) {
        ib.rotate_valid = false;
        ib.rotate_first.reset();
        ib.rotate_second.reset();
        Buffer<uint8_t> first = Buffer<uint8_t>::make(bytes);
        Buffer<uint8_t> second = Buffer<uint8_t>::make(bytes);
        pixels::narrow_rgba64_image(ib.sized.data(), first.data(), w, h);
        ib.rotate_first = std::move(first);
        ib.rotate_second = std::move(second);
        ib.rotate_w = w;
        ib.rotate_h = h;
        ib.rotate_b = b;
        ib.rotate_valid = true;
    }
    // 360 - angle as the 32-bit arithmetic gives it: 0 passes 360.
    const auto degrees = int32_t(360u - uint32_t(angle));
    Buffer<uint8_t> plane = Buffer<uint8_t>::make(size_t(w) * size_t(h));
    uint8_t* first = ib.rotate_first.data();
    uint8_t* second = ib.rotate_second.data();
    const int64_t stride = int64_t(w) * 4;
    imaging::split_channel(first, w, h, stride, 3, plane.data(), w);
    imaging::combine_channel(second, w, h, stride, 0, plane.data(), w);
    if (scripts::rotate(second, w, h, degrees))
        imaging::split_channel(second, w, h, stride, 0, plane.data(), w);
    std::memcpy(second, first, bytes);
    if (scripts::rotate(second, w, h, degrees))
        imaging::combine_channel(second, w, h, stride, 3, plane.data(), w);
}

// As copy_from_image_brush with the rotated byte << 8 in place of the sized word.
void copy_from_image_brush_rotate(EngineState& st, int32_t keep) {
    const ImageBrush& ib = st.image_brush;
    const int32_t b = max_brush(st);
    uint16_t* blend = blend_pixels(st);
    if (!blend || !rotation_ready(ib, b)) return;
    const size_t w = size_t(std::min(ib.rotate_w, b)), h = size_t(std::min(ib.rotate_h, b));
    const size_t blend_row = size_t(b) * 4;
    const uint32_t d = keep_weight(keep), e = 255 - d;
    for (size_t row = 0; row < h; ++row) {
        uint16_t* out = blend + row * blend_row;
        const uint8_t* in = ib.rotate_second.data() + row * size_t(ib.rotate_w) * 4;
        for (size_t k = 0; k < w * 4; ++k) {
            const uint32_t v = uint32_t(in[k]) << 8;
            out[k] = d == 0 ? uint16_t(v) : uint16_t((d * out[k] + e * v) >> 8);
        }
    }
}

}  // namespace qrn::brush

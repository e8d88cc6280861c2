// Tool and brush shape: the brush shape, scale map, grit buffers and per-pixel
// vary arrays that the dab renderer reads. Called by the brush exports.
#include "brush/tool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "engine/arith.h"
#include "engine/imaging_api/imaging.h"
#include "engine/imaging_api/scripts.h"
#include "engine/settings.h"

namespace qrn::brush {
namespace {

constexpr int32_t kMaxBrushSize = 1000;
constexpr int32_t kMaxFootprint = 999;
constexpr int32_t kGritMargin = 25;        // grit buffers are (b + 25)^2 for the random offsets
constexpr uint32_t kRandomSpan = 1000000;  // nominal length of the grit arrays
constexpr uint32_t kRandMax = 32767;
constexpr int32_t kScriptTileSide = 600;
constexpr int32_t kPlainPaintMode = 32;

const char* text_or_empty(const char* s) { return s ? s : ""; }
bool used_path(const char* s) { return std::strlen(s) > 1; }

int32_t max_brush(const EngineState& st) { return std::max(st.canvas.max_brush, 0); }

// The brush size as the buffers can take it; SetSize already keeps it there.
int32_t brush_side(const EngineState& st) {
    return std::clamp(st.brush.size, 0, std::min(max_brush(st), kMaxBrushSize));
}

uint16_t clamp_word(double v) { return uint16_t(std::clamp(trunc_i32(v), 0, 65535)); }

bool grit_buffers_ready(const EngineState& st) {
    const size_t side = size_t(max_brush(st)) + kGritMargin;
    for (const auto& g : st.brush.grit)
        if (g.empty() || g.size() < side * side) return false;
    return true;
}

bool random_array_ready(const RandomByteArray& a) {
    return !a.bytes.empty() && a.length > 0 && a.bytes.size() >= size_t(a.length);
}

// Reads a random byte array from an offset onwards. Large brushes with small
// grit blocks consume more bytes than lie behind the offset, so the read wraps
// to the array's start; any read the array could serve plainly is unchanged.
class ByteStream {
public:
    ByteStream(const RandomByteArray& a, uint32_t offset)
        : bytes_(a.bytes.data()), length_(size_t(a.length)), pos_(offset % length_) {}
    uint8_t next() {
        const uint8_t v = bytes_[pos_];
        if (++pos_ == length_) pos_ = 0;
        return v;
    }

private:
    const uint8_t* bytes_;
    size_t length_;
    size_t pos_;
};

// Procedural grit: square blocks of side g over the (S + 25) square, each
// placed where its placement byte is below the coverage threshold; a placed
// block writes its value byte where the next placement byte is below the fill
// threshold. The buffer is addressed with row length b, as the dab reads it.
// The offsets are rand() x ((1000000 - 2g) / 32767) and rand() x ((1000000 - g)
// / 32767) in unsigned 32-bit arithmetic, drawn placement first, once per block row.
void build_procedural_grit(EngineState& st, int32_t g, int32_t side_s) {
    BrushBuffers& br = st.brush;
    const int64_t side = int64_t(side_s) + kGritMargin;
    const int64_t row_len = max_brush(st);
    const uint32_t place_step = (kRandomSpan - 2u * uint32_t(g)) / kRandMax;
    const uint32_t value_step = (kRandomSpan - uint32_t(g)) / kRandMax;
    const int32_t coverage = br.grit_coverage;
    const int32_t fill = br.grit_fill;

    for (auto& grit : br.grit) {
        grit.fill_bytes(255);
        uint8_t* buf = grit.data();
        for (int64_t r = 0; r < side; r += g) {
            ByteStream p(st.grit_placement, uint32_t(st.rng.next()) * place_step);
            ByteStream q(st.grit_value, uint32_t(st.rng.next()) * value_step);
            const int64_t rows = std::min<int64_t>(g, side - r);
            for (int64_t c = 0; c < side; c += g) {
                if (int32_t(p.next()) >= coverage) continue;
                const uint8_t u = q.next();
                const int64_t cols = std::min<int64_t>(g, side - c);
                // Only positions inside the square consume a placement byte.
                for (int64_t i = 0; i < rows; ++i) {
                    uint8_t* out = buf + (r + i) * row_len + c;
                    for (int64_t j = 0; j < cols; ++j)
                        if (int32_t(p.next()) < fill) out[j] = u;
                }
            }
        }
    }
}

struct GreyImage {
    std::vector<uint8_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
};

bool usable_rgba(const std::vector<uint8_t>& rgba, int32_t w, int32_t h) {
    return valid_side(w) && valid_side(h) && rgba.size() >= size_t(w) * size_t(h) * 4;
}

bool to_grey(const std::vector<uint8_t>& rgba, int32_t w, int32_t h, GreyImage& out) {
    std::vector<uint8_t> grey(size_t(w) * size_t(h));
    if (!imaging::grey8(rgba.data(), w, h, int64_t(w) * 4, grey.data(), w)) return false;
    out.pixels = std::move(grey);
    out.width = w;
    out.height = h;
    return true;
}

// A script's image is tiled over a 600 x 600 picture (columns outer, rows
// inner); an image file is used at its own size.
bool load_grit_source(const char* path, GreyImage& out) {
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    if (scripts::render(path, rgba, w, h) && usable_rgba(rgba, w, h)) {
        constexpr int32_t n = kScriptTileSide;
        std::vector<uint8_t> tiled(size_t(n) * n * 4);
        for (int32_t x = 0; x < n; x += w)
            for (int32_t y = 0; y < n; y += h)
                imaging::overlay(tiled.data(), n, n, 4, int64_t(n) * 4, rgba.data(), w, h,
                                 int64_t(w) * 4, x, y);
        return to_grey(tiled, n, n, out);
    }
    rgba.clear();
    if (imaging::read_image_file(path, rgba, w, h) && usable_rgba(rgba, w, h))
        return to_grey(rgba, w, h, out);
    return false;
}

// Each buffer gets a random (S + 25)^2 window of the grey source at its
// top-left corner, x drawn before y. A source too small for the window still
// draws both numbers (later strokes stay the same) but uses 0 on that axis and
// copies only the part of the window inside the source; the rest stays 255.
void cut_grit_from(EngineState& st, const GreyImage& src, int32_t side_s) {
    const int64_t window = int64_t(side_s) + kGritMargin;
    const int64_t span_x = int64_t(src.width) - window;
    const int64_t span_y = int64_t(src.height) - window;
    const int32_t b = max_brush(st);
    for (auto& grit : st.brush.grit) {
        grit.fill_bytes(255);
        const uint32_t rx = uint32_t(st.rng.next());
        const uint32_t ry = uint32_t(st.rng.next());
        const int64_t x = span_x > 0 ? int64_t(rx % uint32_t(span_x)) : 0;
        const int64_t y = span_y > 0 ? int64_t(ry % uint32_t(span_y)) : 0;
        const int32_t w = int32_t(std::min(window, src.width - x));
        const int32_t h = int32_t(std::min(window, src.height - y));
        imaging::overlay(grit.data(), b, b, 1, b, src.pixels.data() + y * src.width + x, w, h,
                         src.width, 0, 0);
    }
}

// Freshly built grit starts a fresh run: the next grit dab chooses its buffer
// itself, so a stroke after QRN_SetTool repeats exactly for the same seed
// whatever the previous stroke left chosen. Otherwise a choice that no longer
// lies inside its buffer is dropped.
void settle_grit_choice(BrushBuffers& br, bool rebuilt) {
    const int32_t k = br.grit_choice;
    if (k < 0) return;
    if (rebuilt || k >= kGritBuffers || br.grit[size_t(k)].empty() || br.grit_offset < 0 ||
        uint64_t(br.grit_offset) >= br.grit[size_t(k)].size()) {
        br.grit_choice = -1;
        br.grit_offset = 0;
    }
}

bool load_shape_source(const char* path, ShapeSource source, ShapeCache& cache) {
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    bool loaded = source == ShapeSource::ScriptOrImage && scripts::render(path, rgba, w, h) &&
                  usable_rgba(rgba, w, h);
    if (!loaded) {
        rgba.clear();
        loaded = imaging::read_image_file(path, rgba, w, h) && usable_rgba(rgba, w, h);
    }
    if (!loaded) return false;
    cache.rgba = std::move(rgba);
    cache.width = w;
    cache.height = h;
    cache.path = path;
    return true;
}

// Shape from the cached image: shrunk by area average when the brush is
// narrower than the source (the height is not consulted), else resized; then
// grey, widened by << 8 and scaled by the strength in single precision.
bool shape_from_image(EngineState& st, int32_t s) {
    BrushBuffers& br = st.brush;
    const ShapeCache& src = br.cached_shape;
    const size_t side = size_t(s);
    Buffer<uint8_t> rgba = Buffer<uint8_t>::try_make(side * side * 4);
    Buffer<uint8_t> grey = Buffer<uint8_t>::try_make(side * side);
    if (rgba.empty() || grey.empty()) return false;
    br.grit_countdown = br.grit_repeat;

    const int64_t src_stride = int64_t(src.width) * 4;
    const int64_t dst_stride = int64_t(s) * 4;
    const bool sampled = s < src.width
                             ? imaging::decimate(src.rgba.data(), src.width, src.height, src_stride,
                                                 rgba.data(), s, s, dst_stride, 4)
                             : imaging::resize(src.rgba.data(), src.width, src.height, src_stride,
                                               rgba.data(), s, s, dst_stride, 4);
    if (!sampled || !imaging::grey8(rgba.data(), s, s, dst_stride, grey.data(), s)) return false;

    const size_t b = size_t(max_brush(st));
    const float strength = br.shape_strength;
    for (size_t row = 0; row < side; ++row)
        for (size_t col = 0; col < side; ++col) {
            const float v = float(uint32_t(grey[row * side + col]) << 8) * strength;
            br.shape[row * b + col] = clamp_word(v);
        }
    return true;
}

// Circular tip: R = S x 0.5, centre M = S / 2 (integer, so even sizes sit off
// centre), feather F = R x softness / 255, inner radius I = R - F. The distance
// is truncated to an integer before it is compared; inside I the tip is full,
// from I to R it falls linearly. Written transposed (column x b + row).
void build_circular_tip(EngineState& st, int32_t s) {
    BrushBuffers& br = st.brush;
    const size_t b = size_t(max_brush(st));
    const double radius = s * 0.5;
    const int32_t m = s / 2;
    const double feather = radius * br.softness / 255;
    const double inner = radius - feather;
    const double strength = br.shape_strength;
    for (int32_t i = 0; i < s; ++i)
        for (int32_t j = 0; j < s; ++j) {
            const int64_t dx = j - m, dy = i - m;
            const int32_t d = std::abs(trunc_i32(std::sqrt(double(dx * dx + dy * dy))));
            if (d > radius) continue;
            double v = 65535;
            if (br.softness != 0 && d > inner)
                v = std::clamp((feather - (d - inner)) / feather * 65535, 0.0, 65535.0);
            if (br.invert_shape) v = std::abs(trunc_i32(v - 65535));
            br.shape[size_t(j) * b + size_t(i)] = clamp_word(v * strength);
        }
}

}  // namespace

void set_brush_shape(EngineState& st, const char* path, int32_t angle, ShapeSource source) {
    BrushBuffers& br = st.brush;
    const size_t b = size_t(max_brush(st));
    if (br.shape.empty() || br.shape.size() < b * b) return;
    br.shape.fill_bytes(0);
    const int32_t s = brush_side(st);
    path = text_or_empty(path);

    if (used_path(path)) {
        ShapeCache& cache = br.cached_shape;
        if (!(cache.valid() && cache.path == path && cache.angle == angle)) {
            cache.reset();
            if (load_shape_source(path, source, cache)) {
                scripts::rotate(cache.rgba.data(), cache.width, cache.height, angle);
                cache.angle = angle;
            }
        }
        // A brush of size 0 has no pixels to sample into.
        if (cache.valid() && s >= 1 && shape_from_image(st, s)) return;
    }
    build_circular_tip(st, s);
}

void set_tool(EngineState& st, const ToolSettings& t) {
    st.rng.seed(st.settings.random_seed);

    BrushBuffers& br = st.brush;
    Settings& s = st.settings;
    br.shape_strength = t.shape_strength;
    br.grit_size = t.grit_size;
    br.grit_coverage = t.grit_coverage;
    br.grit_fill = t.grit_fill;
    br.softness = t.softness;
    s.colour_vary = t.colour_vary;
    br.grit_repeat = t.grit_repeat;
    s.blend_strength = t.blend_strength;
    s.primary_strength = t.primary_strength;
    s.blend_remix = t.blend_remix;
    br.tool_arg11 = t.arg11;
    br.invert_shape = t.invert_shape;
    br.tool_arg13 = t.arg13;
    br.shape_angle = t.shape_angle;
    s.mix_mode = kPlainPaintMode;

    const int32_t side = brush_side(st);
    const bool buffers = grit_buffers_ready(st);
    // A negative grit size would never finish its block loops; it means no grit.
    bool rebuilt = false;
    if (t.grit_size > 0) {
        if (buffers && random_array_ready(st.grit_placement) && random_array_ready(st.grit_value)) {
            build_procedural_grit(st, t.grit_size, side);
            rebuilt = true;
        }
        br.grit_countdown = br.grit_repeat;
    }

    const char* grit_source = text_or_empty(t.grit_source);
    if (buffers && used_path(grit_source)) {
        GreyImage grey;
        if (load_grit_source(grit_source, grey)) {
            cut_grit_from(st, grey, side);
            br.grit_countdown = br.grit_repeat;
            rebuilt = true;
        }
    }
    settle_grit_choice(br, rebuilt);

    set_brush_shape(st, t.shape_path, t.shape_angle, ShapeSource::ScriptOrImage);

    settings::set_blend_strength(s, s.blend_strength);
    settings::set_primary_strength(s, s.primary_strength);
    s.temp_disable_blend = 0;
    s.mask_maker_on = 0;
    s.erase_mode_on = 0;
}

void set_size(EngineState& st, int32_t size) {
    const int32_t limit = std::min(max_brush(st), kMaxBrushSize);
    size = std::clamp(size, 0, limit);
    st.brush.size = size;
    st.brush.footprint = size;
    for (int32_t i = 0; i < size; ++i) st.brush.scale_map[size_t(i)] = i;
}

// Entry i samples the centre of strip i: r = S / n in single precision, and
// the position is accumulated step by step (r / 2, then + r each entry), which
// truncates differently from r / 2 + i x r for some sizes (S = 10, n = 3: 5, not 4).
void set_scale_size(EngineState& st, int32_t size) {
    BrushBuffers& br = st.brush;
    const int32_t s = br.size;
    if (s < 1) {
        br.footprint = 0;
        return;
    }
    size = std::min({std::max(size, 1), s, kMaxFootprint});
    br.footprint = size;
    const float step = float(s) / float(size);
    float pos = step / 2;
    for (int32_t i = 0; i < size; ++i) {
        br.scale_map[size_t(i)] = trunc_i32(pos);
        pos += step;
    }
}

void set_pix_colour_vary(EngineState& st, int32_t amount) {
    st.brush.pix_colour_vary = amount;
    if (amount > 0)
        settings::make_rand_array_byte(st, st.pix_colour_vary, 1000,
                                       saturate_i32(3 * int64_t(max_brush(st))));
}

void set_pix_lum_vary(EngineState& st, int32_t amount) {
    st.brush.pix_lum_vary = amount;
    if (amount > 0)
        settings::make_rand_array_byte(st, st.pix_lum_vary, 256,
                                       saturate_i32(3 * int64_t(max_brush(st))));
}

void dec_drawing_length(EngineState& st) {
    if (st.brush.grit_countdown > std::numeric_limits<int32_t>::min()) --st.brush.grit_countdown;
}

}  // namespace qrn::brush

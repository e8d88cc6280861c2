// The selection mask's operations. Each is one pass over the canvas in row
// order. The exact, range, map and diff creations share one branch-free kernel
// so that their tests compile to straight compares; the colour and hue ranges,
// the costly ones, also have vector loops (mask_kernels.h).
#include "mask/mask.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "engine/layers.h"
#include "engine/pixel_format.h"
#include "mask/mask_loops.h"
#include "script/colour_spaces.h"

namespace qrn::mask {
namespace {

static_assert(std::endian::native == std::endian::little);  // byte 0 of a pixel word is R

uint32_t pixel_word(const uint8_t* img, int64_t k) {
    uint32_t p;
    std::memcpy(&p, img + 4 * k, 4);
    return p;
}

// |v - c| <= t for a byte v, as one unsigned compare: v - lo (mod 256) <= span.
// That holds exactly for v in [lo, lo + span] because lo + span never passes 255.
// holds() takes the byte in the low 8 bits of a word, so a whole RGBA32 pixel
// loaded as one little-endian word is tested with shifts alone; compilers
// vectorise that far better than per-byte loads.
struct ByteWindow {
    uint8_t lo = 0;
    uint8_t span = 0;
    bool empty = true;

    static ByteWindow around(int64_t c, int32_t t) {
        ByteWindow w;
        if (t < 0) return w;
        const int64_t lo = std::max<int64_t>(0, c - t);
        const int64_t hi = std::min<int64_t>(255, c + t);
        if (lo > hi) return w;
        w.lo = uint8_t(lo);
        w.span = uint8_t(hi - lo);
        w.empty = false;
        return w;
    }
    bool holds(uint32_t v) const { return ((v - lo) & 0xFFu) <= span; }
};

// Writes `value` at every pixel k where `pred(k)` holds, leaving the others.
// The select keeps the loop free of branches; GCC's -O2 cost model vectorises
// it only for a block of fixed length, so the pixels run in blocks.
template <class Pred>
void select_where(EngineState& st, uint16_t value, Pred pred) {
    uint16_t* m = layers::canvas_mask(st);
    if (!m) return;
    const int64_t n = layers::canvas_pixels(st);
    constexpr int64_t kBlock = 16;
    int64_t k = 0;
    for (; k + kBlock <= n; k += kBlock)
        for (int64_t t = 0; t < kBlock; ++t) m[k + t] = pred(k + t) ? value : m[k + t];
    for (; k < n; ++k) m[k] = pred(k) ? value : m[k];
}

// Direct-mapped memo of hue-test results by colour. Painted images repeat
// colours heavily, and the conversion is the whole cost of the hue range; a
// miss recomputes, so results equal the plain per-pixel test. On the stack:
// nothing is allocated per call or per pixel.
class HueMemo {
public:
    HueMemo() { entries_.fill(kEmpty); }
    template <class Test>
    bool lookup(uint32_t rgb, Test test) {
        uint32_t& e = entries_[(rgb * 0x9E3779B1u) >> (32 - kBits)];
        if ((e >> 1) != rgb) e = (rgb << 1) | uint32_t(test());
        return (e & 1u) != 0;
    }

private:
    static constexpr int kBits = 10;
    static constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit colour shifts to it
    std::array<uint32_t, size_t(1) << kBits> entries_;
};

}  // namespace

// ---- Options and whole-mask operations ------------------------------------------------

void set_options(EngineState& st, int32_t ra, int32_t ga, int32_t ba, int32_t rb, int32_t gb,
                 int32_t bb, int32_t solid) {
    // The low byte only: the display multiplies these by 16-bit weights in 32 bits.
    Settings& s = st.settings;
    s.mask_overlay_a[0] = widen_shift(uint8_t(ra));
    s.mask_overlay_a[1] = widen_shift(uint8_t(ga));
    s.mask_overlay_a[2] = widen_shift(uint8_t(ba));
    s.mask_overlay_b[0] = widen_shift(uint8_t(rb));
    s.mask_overlay_b[1] = widen_shift(uint8_t(gb));
    s.mask_overlay_b[2] = widen_shift(uint8_t(bb));
    s.mask_overlay_solid = solid;
}

void clear(EngineState& st, int32_t r, int32_t g, int32_t b) {
    uint16_t* m = layers::canvas_mask(st);
    if (!m) return;
    // 64-bit sum: three host values cannot overflow it. Division truncates toward zero.
    const int64_t mean = (int64_t(r) + int64_t(g) + int64_t(b)) / 3;
    std::fill_n(m, layers::canvas_pixels(st), from_grey16(mean));
}

void invert(EngineState& st) {
    uint16_t* m = layers::canvas_mask(st);
    if (!m) return;
    const int64_t n = layers::canvas_pixels(st);
    for (int64_t k = 0; k < n; ++k) m[k] = uint16_t(0xFFFF - m[k]);
}

void load(EngineState& st, const uint8_t* src, int32_t stride, int32_t w, int32_t h) {
    uint16_t* m = layers::canvas_mask(st);
    if (!m || !src) return;
    const int64_t width = st.canvas.width;
    const int64_t rows = std::min<int64_t>(st.canvas.height, h);
    const int64_t cols = std::min<int64_t>(width, w);
    for (int64_t i = 0; i < rows; ++i) {
        const uint8_t* s = row_at(src, stride, i);
        uint16_t* d = m + i * width;
        for (int64_t j = 0; j < cols; ++j, s += 3)
            d[j] = from_grey8((uint32_t(s[0]) + s[1] + s[2]) / 3);
    }
}

void save(const EngineState& st, uint8_t* dst, int32_t stride) {
    const uint16_t* m = layers::canvas_mask(st);
    if (!m || !dst) return;
    const int64_t width = st.canvas.width;
    for (int64_t i = 0; i < st.canvas.height; ++i) {
        uint8_t* d = row_at(dst, stride, i);
        const uint16_t* s = m + i * width;
        for (int64_t j = 0; j < width; ++j, d += 3) {
            const uint8_t g = to_grey8(s[j]);
            d[0] = g;
            d[1] = g;
            d[2] = g;
        }
    }
}

void create_image_from_mask(EngineState& st) {
    const uint16_t* m = layers::canvas_mask(st);
    uint16_t* px = layers::current_view(st);
    if (!m || !px) return;
    const int64_t n = layers::canvas_pixels(st);
    for (int64_t k = 0; k < n; ++k, px += 4) {
        const uint16_t g = to_grey16(m[k]);
        px[0] = g;
        px[1] = g;
        px[2] = g;
        px[3] = 0xFFFF;
    }
}

void create_alpha_from_mask(EngineState& st) {
    const uint16_t* m = layers::canvas_mask(st);
    uint16_t* px = layers::current_view(st);
    if (!m || !px) return;
    const int64_t n = layers::canvas_pixels(st);
    for (int64_t k = 0; k < n; ++k) px[4 * k + 3] = m[k];
}

void create_from_image(EngineState& st) {
    uint16_t* m = layers::canvas_mask(st);
    const uint16_t* px = layers::current_view(st);
    if (!m || !px) return;
    const int64_t n = layers::canvas_pixels(st);
    for (int64_t k = 0; k < n; ++k, px += 4)
        m[k] = from_grey16((uint32_t(px[0]) + px[1] + px[2]) / 3);
}

void create_from_alpha(EngineState& st) {
    uint16_t* m = layers::canvas_mask(st);
    const uint16_t* px = layers::current_view(st);
    if (!m || !px) return;
    const int64_t n = layers::canvas_pixels(st);
    for (int64_t k = 0; k < n; ++k) m[k] = px[4 * k + 3];
}

// ---- Selective creation -------------------------------------------------------------------

// Exact match of the colour bytes; alpha plays no part. A component outside 0..255
// matches nothing.
void create_from_rgba_colour(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                             int32_t level) {
    const auto in_byte = [](int32_t v) { return v >= 0 && v <= 255; };
    if (!img || !in_byte(r) || !in_byte(g) || !in_byte(b)) return;
    const uint32_t key = uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
    select_where(st, level_value(level),
                 [=](int64_t k) { return (pixel_word(img, k) & 0xFFFFFFu) == key; });
}

void create_from_rgb24_colour(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                              int32_t level) {
    if (!img) return;
    select_where(st, level_value(level), [=](int64_t k) {
        const uint8_t* p = img + 3 * k;
        return p[0] == r && p[1] == g && p[2] == b;
    });
}

void create_from_colour_range(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                              int32_t range, int32_t level, composite::Simd simd) {
    const int32_t t = range_threshold(range);
    const ByteWindow wr = ByteWindow::around(r, t);
    const ByteWindow wg = ByteWindow::around(g, t);
    const ByteWindow wb = ByteWindow::around(b, t);
    uint16_t* m = layers::canvas_mask(st);
    if (!m || !img || wr.empty || wg.empty || wb.empty) return;
    detail::ColourRangeJob job;
    job.img = img;
    job.mask = m;
    job.n = layers::canvas_pixels(st);
    const ByteWindow* w[3] = {&wr, &wg, &wb};
    for (int c = 0; c < 3; ++c) {
        job.lo[c] = w[c]->lo;
        job.span[c] = w[c]->span;
    }
    job.value = level_value(level);
    composite::detail::run_best(simd, job, detail::colour_range_scalar, detail::colour_range_sse2,
                                detail::colour_range_avx2);
}

void create_from_alpha_range(EngineState& st, const uint8_t* img, int32_t alpha, int32_t range,
                             int32_t level) {
    const ByteWindow wa = ByteWindow::around(alpha, range_threshold(range));
    if (!img || wa.empty) return;
    select_where(st, level_value(level),
                 [=](int64_t k) { return wa.holds(pixel_word(img, k) >> 24); });
}

void create_from_luminance_range(EngineState& st, const uint8_t* img, int32_t r, int32_t g,
                                 int32_t b, int32_t range, int32_t level) {
    // Both means truncate; the pixel's lies in 0..255, so a window over it is exact.
    const int64_t ref = (int64_t(r) + int64_t(g) + int64_t(b)) / 3;
    const ByteWindow wl = ByteWindow::around(ref, range_threshold(range));
    if (!img || wl.empty) return;
    select_where(st, level_value(level), [=](int64_t k) {
        const uint32_t p = pixel_word(img, k);
        return wl.holds(((p & 0xFFu) + (p >> 8 & 0xFFu) + (p >> 16 & 0xFFu)) / 3);
    });
}

void create_from_hue_range(EngineState& st, const uint8_t* img, int32_t r, int32_t g, int32_t b,
                           int32_t range, int32_t level, composite::Simd simd) {
    uint16_t* m = layers::canvas_mask(st);
    if (!m || !img) return;
    detail::HueRangeJob job;
    job.img = img;
    job.mask = m;
    job.n = layers::canvas_pixels(st);
    job.href = script::rgb_to_hsv(r, g, b).h;  // once, not per pixel
    job.t = hue_threshold(range);
    job.value = level_value(level);
    composite::detail::run_best(simd, job, detail::hue_range_scalar, detail::hue_range_sse2,
                                detail::hue_range_avx2, detail::hue_range_avx512);
}

void create_from_flood_map(EngineState& st, const uint8_t* map, int32_t level) {
    if (!map) return;
    select_where(st, level_value(level), [=](int64_t k) { return map[k] == 1; });
}

void create_from_diff(EngineState& st, const uint8_t* a, const uint8_t* b, int32_t value) {
    if (!a || !b) return;
    select_where(st, uint16_t(value),
                 [=](int64_t k) { return pixel_word(a, k) != pixel_word(b, k); });
}

// ---- Applying the mask to host images -------------------------------------------------------

void apply_to_alpha_rgba32(const EngineState& st, uint8_t* img) {
    const uint16_t* m = layers::canvas_mask(st);
    if (!m || !img) return;
    // Only the mask's high byte counts, and >> 8 is not / 255: a fully selected
    // opaque pixel ends at 254. Kept as hosts have always seen it.
    const int64_t n = layers::canvas_pixels(st);
    for (int64_t k = 0; k < n; ++k)
        img[4 * k + 3] = uint8_t((uint32_t(m[k] >> 8) * img[4 * k + 3]) >> 8);
}

void replace_alpha_range_rgba32(const EngineState& st, uint8_t* img, int32_t alpha, int32_t range,
                                int32_t r, int32_t g, int32_t b, int32_t a) {
    if (!layers::canvas_mask(st) || !img) return;
    const ByteWindow wa = ByteWindow::around(alpha, range_threshold(range));
    if (wa.empty) return;
    const uint8_t colour[4] = {uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a)};
    const int64_t n = layers::canvas_pixels(st);
    for (int64_t k = 0; k < n; ++k) {
        uint8_t* p = img + 4 * k;
        if (wa.holds(p[3])) std::memcpy(p, colour, 4);
    }
}

// ---- Scalar references of the vector range loops ----------------------------------------

namespace detail {

void colour_range_scalar(const ColourRangeJob& job) {
    for (int64_t k = 0; k < job.n; ++k) {
        const uint32_t p = pixel_word(job.img, k);
        // Branch-free on purpose: the three tests are cheap, a mispredict is not.
        const bool in = (int(((p - job.lo[0]) & 0xFFu) <= job.span[0]) &
                         int((((p >> 8) - job.lo[1]) & 0xFFu) <= job.span[1]) &
                         int((((p >> 16) - job.lo[2]) & 0xFFu) <= job.span[2])) != 0;
        job.mask[k] = in ? job.value : job.mask[k];
    }
}

void hue_range_scalar(const HueRangeJob& job) {
    HueMemo memo;
    // Runs of one colour, the common case in paint, skip even the memo.
    uint32_t last_rgb = 0xFFFFFFFFu;
    bool last_match = false;
    for (int64_t k = 0; k < job.n; ++k) {
        const uint32_t rgb = pixel_word(job.img, k) & 0xFFFFFFu;
        if (rgb != last_rgb) {
            last_rgb = rgb;
            last_match = memo.lookup(rgb, [rgb, &job] {
                const script::Hsv hsv = script::rgb_to_hsv(rgb & 0xFF, rgb >> 8 & 0xFF, rgb >> 16);
                return hue_matches(hsv.h, job.href, job.t);
            });
        }
        if (last_match) job.mask[k] = job.value;
    }
}

}  // namespace detail

// ---- Packed 8-bit conversions -----------------------------------------------------------------

namespace {
int64_t packed_pixels(const uint8_t* dst, int32_t w, int32_t h, const uint8_t* src) {
    return (!dst || !src || w <= 0 || h <= 0) ? 0 : int64_t(w) * int64_t(h);
}
}  // namespace

void rgb24_to_rgba32(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src) {
    const int64_t n = packed_pixels(dst, w, h, src);
    for (int64_t k = 0; k < n; ++k) std::memcpy(dst + 4 * k, src + 3 * k, 3);
}

void rgba32_to_rgb24(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src) {
    const int64_t n = packed_pixels(dst, w, h, src);
    for (int64_t k = 0; k < n; ++k) std::memcpy(dst + 3 * k, src + 4 * k, 3);
}

void rgb24_mean_to_alpha(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src) {
    const int64_t n = packed_pixels(dst, w, h, src);
    for (int64_t k = 0; k < n; ++k) {
        const uint8_t* s = src + 3 * k;
        dst[4 * k + 3] = uint8_t((uint32_t(s[0]) + s[1] + s[2]) / 3);
    }
}

void alpha_to_rgb24(uint8_t* dst, int32_t w, int32_t h, const uint8_t* src) {
    const int64_t n = packed_pixels(dst, w, h, src);
    for (int64_t k = 0; k < n; ++k) std::memset(dst + 3 * k, src[4 * k + 3], 3);
}

}  // namespace qrn::mask

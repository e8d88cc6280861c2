// Blend buffer loads, clear and filter, and the colour pick-up getters. The
// loads write the top-left S x S square of the b x b buffer (rows of 4 x b
// words); the dab renderer reads it back at its sample positions.
#include "brush/blend_buffer.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/layers.h"

namespace qrn::brush {
namespace {

constexpr int64_t kFull = 65535;
constexpr int64_t kColourCap = 65280;
constexpr int64_t kPrefetchRows = 4;

// The S x S square of the blend buffer, or empty when there is no buffer or
// the brush size does not fit it.
struct Square {
    uint16_t* px = nullptr;
    int64_t row_words = 0;
    int64_t S = 0;
    explicit operator bool() const { return px != nullptr; }
    uint16_t* at(int64_t r, int64_t c) const { return px + r * row_words + c * 4; }
};

Square blend_square(EngineState& st) {
    const int64_t b = st.canvas.max_brush, S = st.brush.size;
    if (b < 1 || S < 1 || S > b || st.brush.blend.size() < size_t(b * b * 4)) return {};
    return {st.brush.blend.data(), b * 4, S};
}

// Footprint of a load: S pixels from x - S / 2 with inclusive right and bottom,
// the part off the canvas cut away and remembered as the blend origin. In 64
// bits, so centres near the int32 limits do not wrap.
struct Footprint {
    int64_t left = 0, top = 0, right = 0, bottom = 0;  // canvas, inclusive
    int64_t col0 = 0, row0 = 0;                        // blend square origin
    bool clipped = false;
};

Footprint footprint_of(const EngineState& st, int32_t x, int32_t y, int64_t S) {
    Footprint f;
    const int64_t h = S / 2;
    f.left = int64_t(x) - h;
    f.top = int64_t(y) - h;
    f.right = f.left + S - 1;
    f.bottom = f.top + S - 1;
    if (f.left < 0) f.col0 = -f.left, f.left = 0, f.clipped = true;
    if (f.top < 0) f.row0 = -f.top, f.top = 0, f.clipped = true;
    if (f.right > int64_t(st.canvas.width) - 1)
        f.right = int64_t(st.canvas.width) - 1, f.clipped = true;
    if (f.bottom > int64_t(st.canvas.height) - 1)
        f.bottom = int64_t(st.canvas.height) - 1, f.clipped = true;
    return f;
}

// Everything a colour load needs per pixel. Products are 64-bit: strength is
// the host's value, unchecked, and must not overflow for any of them.
struct Load {
    int64_t colour[4] = {};
    int64_t c_colour[4] = {};  // c x current channel, formed once
    int64_t D = 0;             // 256 - c
    uint16_t transparent_alpha = 0;
};

// One blend pixel from a source pixel whose alpha sa has already been scaled by
// the mask: a transparent source gives the current colour; otherwise
//   channel = min(65280, ((s x D + c x current) >> 8) + 1), alpha = (sa x D + c x a) >> 8.
inline void load_pixel(const Load& l, const uint16_t* s, int64_t sa, uint16_t* d) {
    if (sa == 0) {
        for (int k = 0; k < 3; ++k) d[k] = uint16_t(l.colour[k]);
        d[3] = l.transparent_alpha;
        return;
    }
    for (int k = 0; k < 3; ++k)
        d[k] = uint16_t(std::min(kColourCap, ((s[k] * l.D + l.c_colour[k]) >> 8) + 1));
    d[3] = uint16_t((sa * l.D + l.c_colour[3]) >> 8);
}

// Source alpha under mask value m: m' = 65535 for a full mask, else
// (m x 65535) >> 16; sa = truncate(m' / 65535 x sa) in double.
inline int64_t masked_alpha(int64_t m, int64_t sa) {
    const int64_t scaled = m == kFull ? kFull : (m * kFull) >> 16;
    return trunc_i32(double(scaled) / 65535 * double(sa));
}

void load_reference(const Load& l, const Footprint& f, const Square& q, const uint16_t* source,
                    const uint16_t* mask, int64_t W) {
    for (int64_t Y = f.top; Y <= f.bottom; ++Y) {
        for (int64_t X = f.left; X <= f.right; ++X) {
            const uint16_t* s = source + (Y * W + X) * 4;
            int64_t sa = s[3];
            if (mask) sa = masked_alpha(mask[Y * W + X], sa);
            load_pixel(l, s, sa, q.at(f.row0 + Y - f.top, f.col0 + X - f.left));
        }
    }
}

void load_row_scalar(const Load& l, const uint16_t* s, const uint16_t* m, uint16_t* d, int64_t n) {
    for (int64_t i = 0; i < n; ++i, s += 4, d += 4) {
        int64_t sa = s[3];
        if (m && m[i] != kFull) sa = masked_alpha(m[i], sa);
        load_pixel(l, s, sa, d);
    }
}

#if defined(__SSE2__)
// Two pixels a step, unmasked. Each pixel's r, g, b, a widen into one register
// of 32-bit lanes: s x D from the 16-bit low and high product halves, plus
// c x current. For 0 <= c <= 256 the sum stays below 2^24, so signed compares
// do the 65280 cap exactly, and the results (0..65535) pack to 16 bits through
// a bias of 32768 without saturating. A zero source alpha selects the
// transparent pixel for all four words of that pixel.
void load_row_sse2(const Load& l, const uint16_t* s, uint16_t* d, int64_t n) {
    const __m128i D = _mm_set1_epi16(int16_t(l.D));
    const __m128i cc = _mm_set_epi32(int32_t(l.c_colour[3]), int32_t(l.c_colour[2]),
                                     int32_t(l.c_colour[1]), int32_t(l.c_colour[0]));
    const __m128i plus_one = _mm_set_epi32(0, 1, 1, 1);  // colour only, not alpha
    const __m128i cap =
        _mm_set_epi32(0x7FFFFFFF, int32_t(kColourCap), int32_t(kColourCap), int32_t(kColourCap));
    const __m128i bias32 = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16(int16_t(0x8000));
    const int16_t c0 = int16_t(l.colour[0]), c1 = int16_t(l.colour[1]), c2 = int16_t(l.colour[2]),
                  ta = int16_t(l.transparent_alpha);
    const __m128i transparent = _mm_set_epi16(ta, c2, c1, c0, ta, c2, c1, c0);
    auto finish = [&](__m128i p) {
        p = _mm_add_epi32(_mm_srli_epi32(_mm_add_epi32(p, cc), 8), plus_one);
        const __m128i over = _mm_cmpgt_epi32(p, cap);
        p = _mm_or_si128(_mm_and_si128(over, cap), _mm_andnot_si128(over, p));
        return _mm_sub_epi32(p, bias32);
    };
    int64_t i = 0;
    for (; i + 2 <= n; i += 2) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * 4));
        const __m128i lo = _mm_mullo_epi16(sv, D), hi = _mm_mulhi_epu16(sv, D);
        const __m128i p0 = finish(_mm_unpacklo_epi16(lo, hi));
        const __m128i p1 = finish(_mm_unpackhi_epi16(lo, hi));
        const __m128i out = _mm_xor_si128(_mm_packs_epi32(p0, p1), bias16);
        __m128i z = _mm_cmpeq_epi16(sv, _mm_setzero_si128());
        z = _mm_shufflehi_epi16(_mm_shufflelo_epi16(z, _MM_SHUFFLE(3, 3, 3, 3)),
                                _MM_SHUFFLE(3, 3, 3, 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * 4),
                         _mm_or_si128(_mm_and_si128(z, transparent), _mm_andnot_si128(z, out)));
    }
    if (i < n) load_pixel(l, s + i * 4, s[i * 4 + 3], d + i * 4);
}
#endif

// A row at a time: where the mask is absent or full, m' / 65535 is exactly 1 and
// the double product gives sa back unchanged, so the scaling is skipped; any
// other mask value takes the reference formula. Rows without such a value go
// through the vector loop when the strength lies in 0..256.
void load_rows(const Load& l, const Footprint& f, const Square& q, const uint16_t* source,
               const uint16_t* mask, int64_t W, bool strength_in_range) {
    const int64_t n = f.right - f.left + 1;
    for (int64_t Y = f.top; Y <= f.bottom; ++Y) {
        const uint16_t* s = source + (Y * W + f.left) * 4;
        const uint16_t* m = mask ? mask + Y * W + f.left : nullptr;
        uint16_t* d = q.at(f.row0 + Y - f.top, f.col0);
#if defined(__SSE2__)
        // Rows a canvas apart share cache sets, so each starts cold; asking for
        // a later row now overlaps its misses with this row's work.
        if (Y + kPrefetchRows <= f.bottom) {
            const char* next = reinterpret_cast<const char*>(s + kPrefetchRows * W * 4);
            for (int64_t b = 0; b < n * 8; b += 64) _mm_prefetch(next + b, _MM_HINT_T0);
            if (m) {
                const char* next_m = reinterpret_cast<const char*>(m + kPrefetchRows * W);
                for (int64_t b = 0; b < n * 2; b += 64) _mm_prefetch(next_m + b, _MM_HINT_T0);
            }
        }
        if (strength_in_range &&
            (!m || std::all_of(m, m + n, [](uint16_t v) { return v == kFull; }))) {
            load_row_sse2(l, s, d, n);
            continue;
        }
#else
        (void)strength_in_range;
#endif
        load_row_scalar(l, s, m, d, n);
    }
}

// A footprint wholly off the canvas: only the preset applies.
bool footprint_empty(const Footprint& f) { return f.left > f.right || f.top > f.bottom; }

int32_t packed(const uint16_t* p) {
    if ((p[3] >> 8) == 0) return -1;
    return int32_t((uint32_t(p[0] >> 8) << 16) | (uint32_t(p[1] >> 8) << 8) | uint32_t(p[2] >> 8));
}

// The back buffer when it covers the canvas, else null.
const uint16_t* back_buffer(const EngineState& st) {
    const int64_t n = layers::canvas_pixels(st);
    const Buffer<uint16_t>& b = st.undo.back_pixels;
    if (n <= 0 || b.size() < size_t(n) * 4) return nullptr;
    return b.data();
}

bool inside_canvas(const EngineState& st, int32_t x, int32_t y) {
    return x >= 0 && y >= 0 && x < st.canvas.width && y < st.canvas.height;
}

}  // namespace

void load_blend(EngineState& st, int32_t x, int32_t y, const uint16_t* source, int32_t strength,
                bool alpha_only, LoadPath path) noexcept {
    if (st.settings.blend_strength == 0 || !source || !st.canvas.exists) return;
    const Square q = blend_square(st);
    if (!q) return;

    Load l;
    const int64_t c = strength;
    l.D = 256 - c;
    for (int k = 0; k < 4; ++k) {
        l.colour[k] = st.settings.colour[k];
        l.c_colour[k] = c * l.colour[k];
    }
    // Low 16 bits on purpose: full strength gives a transparent preset and
    // transparent-source alpha of 0.
    const uint16_t c_alpha = uint16_t(c * 256), d_alpha = uint16_t(l.D * 256);
    l.transparent_alpha = alpha_only ? d_alpha : c_alpha;

    const Footprint f = footprint_of(st, x, y, q.S);
    if (f.clipped) {
        for (int64_t r = 0; r < q.S; ++r)
            for (int64_t col = 0; col < q.S; ++col) {
                uint16_t* d = q.at(r, col);
                if (alpha_only) {
                    d[3] = uint16_t(kFull);
                } else {
                    for (int k = 0; k < 3; ++k) d[k] = uint16_t(l.colour[k]);
                    d[3] = c_alpha;
                }
            }
    }
    if (footprint_empty(f)) return;
    const uint16_t* mask = layers::weighting_mask(st);
    const int64_t W = st.canvas.width;
    if (path == LoadPath::Reference)
        load_reference(l, f, q, source, mask, W);
    else
        load_rows(l, f, q, source, mask, W, c >= 0 && c <= 256);
}

void load_blend_surface(EngineState& st, int32_t x, int32_t y, int32_t strength,
                        bool alpha_only) noexcept {
    load_blend(st, x, y, layers::current_view(st), strength, alpha_only);
}

void load_blend_layer(EngineState& st, int32_t slot, int32_t x, int32_t y,
                      int32_t strength) noexcept {
    load_blend(st, x, y, layers::canvas_view(st, slot), strength, false);
}

void load_blend_under_layer(EngineState& st, int32_t x, int32_t y, int32_t strength) noexcept {
    load_blend(st, x, y, back_buffer(st), strength, false);
}

void load_blend_trace(EngineState& st, int32_t x, int32_t y, int32_t strength) noexcept {
    load_blend(st, x, y, layers::canvas_view(st, st.canvas.tracing_slot), strength, false);
}

// Grey values: v as the mask dab derives it (65535 for l < 256, else 65280 - l,
// held to 16 bits), w = c x v + (256 - c) x m, value = (w >> 8) + 1 below
// 0xFF0000, else 65280.
void load_blend_mask(EngineState& st, int32_t x, int32_t y, int32_t strength) noexcept {
    if (st.settings.blend_strength == 0 || !st.canvas.exists) return;
    const Square q = blend_square(st);
    const uint16_t* mask = layers::canvas_mask(st);
    if (!q || !mask) return;
    const Settings& s = st.settings;
    const int64_t l = (int64_t(s.colour[0]) + s.colour[1] + s.colour[2]) / 3;
    const int64_t v = std::clamp<int64_t>(l < 256 ? kFull : kColourCap - l, 0, kFull);
    const int64_t c = strength, cv = c * v, D = 256 - c;
    const int64_t grey_row = q.row_words;  // one word a position, rows of 4 x b words

    const Footprint f = footprint_of(st, x, y, q.S);
    if (f.clipped)
        for (int64_t r = 0; r < q.S; ++r) std::fill_n(q.px + r * grey_row, q.S, uint16_t(v));
    if (footprint_empty(f)) return;
    const int64_t W = st.canvas.width;
    const int64_t n = f.right - f.left + 1;
    for (int64_t Y = f.top; Y <= f.bottom; ++Y) {
        const uint16_t* m = mask + Y * W + f.left;
        uint16_t* d = q.px + (f.row0 + Y - f.top) * grey_row + f.col0;
        for (int64_t i = 0; i < n; ++i) {
            const int64_t w = cv + D * m[i];
            d[i] = uint16_t(w < 0xFF0000 ? (w >> 8) + 1 : kColourCap);
        }
    }
}

void clear_blend(EngineState& st) noexcept { st.brush.blend.fill_bytes(0); }

// d = truncate(level x 655.35) in double (50 gives 32767); red, green and blue only.
void filter_blend(EngineState& st, int32_t kind, int32_t level) noexcept {
    if (kind < 289 || kind > 292) return;
    const Square q = blend_square(st);
    if (!q) return;
    const int64_t d = trunc_i32(double(level) * 655.35);
    for (int64_t r = 0; r < q.S; ++r) {
        uint16_t* p = q.at(r, 0);
        for (int64_t col = 0; col < q.S; ++col, p += 4) {
            switch (kind) {
                case 289: {
                    const uint16_t grey = uint16_t((int64_t(p[0]) + p[1] + p[2]) / 3);
                    p[0] = p[1] = p[2] = grey;
                    break;
                }
                case 290:
                    for (int k = 0; k < 3; ++k) p[k] = uint16_t(kFull - p[k]);
                    break;
                case 291:
                    for (int k = 0; k < 3; ++k)
                        if (p[k] < d) p[k] = 0;
                    break;
                default:  // 292: to 65280, not 65535
                    for (int k = 0; k < 3; ++k)
                        if (p[k] > d) p[k] = uint16_t(kColourCap);
                    break;
            }
        }
    }
}

int32_t colour_at(const EngineState& st, int32_t x, int32_t y, const uint16_t* pixels) noexcept {
    const int64_t W = st.canvas.width, H = st.canvas.height;
    if (!pixels || !st.canvas.exists || W < 1 || H < 1) return 0;
    const int64_t col = std::clamp<int64_t>(x, 0, W - 1), row = std::clamp<int64_t>(y, 0, H - 1);
    return packed(pixels + (row * W + col) * 4);
}

int32_t colour_at_surface(EngineState& st, int32_t x, int32_t y) noexcept {
    return colour_at(st, x, y, layers::current_view(st));
}

int32_t colour_at_under_layer(EngineState& st, int32_t x, int32_t y) noexcept {
    return colour_at(st, x, y, back_buffer(st));
}

int32_t colour_at_layer(EngineState& st, int32_t x, int32_t y, int32_t slot) noexcept {
    return colour_at(st, x, y, layers::canvas_view(st, slot));
}

int32_t colour_at_trace(EngineState& st, int32_t x, int32_t y) noexcept {
    return colour_at(st, x, y, layers::canvas_view(st, st.canvas.tracing_slot));
}

// The entry at the redo count is the one the next undo restores. Its pixel copy
// holds only its own w x h rectangle, so (x, y) is taken relative to the
// rectangle and clamped into it, as colour_at clamps into the canvas.
int32_t colour_at_history(const EngineState& st, int32_t x, int32_t y) noexcept {
    const UndoHistory& u = st.undo;
    const int32_t k = u.redo_count;
    if (k < 0 || k >= kUndoEntries) return 0;
    const UndoEntry& e = u.entries[size_t(k)];
    const int64_t w = int64_t(e.x2) - e.x1 + 1, h = int64_t(e.y2) - e.y1 + 1;
    if (e.pixels.empty() || w < 1 || h < 1 || e.pixels.size() / 4 < size_t(w) * size_t(h)) return 0;
    const int64_t col = std::clamp<int64_t>(int64_t(x) - e.x1, 0, w - 1);
    const int64_t row = std::clamp<int64_t>(int64_t(y) - e.y1, 0, h - 1);
    return packed(e.pixels.data() + (row * w + col) * 4);
}

int32_t channel_at(EngineState& st, int32_t x, int32_t y, int channel) noexcept {
    const uint16_t* px = layers::current_view(st);
    if (!px || channel < 0 || channel > 3 || !inside_canvas(st, x, y)) return 0;
    return px[(int64_t(y) * st.canvas.width + x) * 4 + channel];
}

int32_t mask_at(EngineState& st, int32_t x, int32_t y) noexcept {
    const uint16_t* mask = layers::weighting_mask(st);
    if (!layers::current(st) || !mask || !inside_canvas(st, x, y)) return 0;
    return int32_t(kFull - mask[int64_t(y) * st.canvas.width + x]);
}

}  // namespace qrn::brush

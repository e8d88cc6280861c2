// Pixel transfer between host buffers and layers. The plain loads and reads are
// straight per-row loops over restrict pointers so the compiler vectorises them;
// the weighted loads live in their own loops and never slow the plain ones.
#include "engine/pixels.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include "engine/arith.h"
#include "engine/buffer.h"
#include "engine/imaging_api/imaging.h"
#include "engine/layers.h"
#include "engine/load_loops.h"
#include "engine/pixel_format.h"

namespace qrn::pixels {
namespace {

constexpr int kDefaultZLevel = 6;

// A slot used with its own geometry: its buffer must hold every row it claims.
LayerRecord* own_geometry_slot(EngineState& st, int32_t s) {
    LayerRecord* r = layers::slot_with_pixels(st, s);
    if (!r || r->width <= 0 || r->height <= 0) return nullptr;
    const int64_t row_words = r->row_words;
    const int64_t used = int64_t(r->width) * 4;
    if (row_words < used) return nullptr;
    if (int64_t(r->pixels.size()) < row_words * (r->height - 1) + used) return nullptr;
    return r;
}

// One channel of a weighted load, 0 < w < 0xFFFF:
//   ((((s * 256) * w) >> 8) + ((d * (65535 - w)) >> 8)) >> 8
// Each term is truncated on its own before the sum; hosts see those low bits.
// Neither product passes 32 bits (65280 x 65534, 65535 x 65535).
constexpr uint16_t blend(uint32_t s8, uint32_t d, uint32_t w) {
    return uint16_t(((((s8 * 256u) * w) >> 8) + ((d * (65535u - w)) >> 8)) >> 8);
}

// Alpha of a weighted load onto a transparent layer pixel.
constexpr uint16_t weighted_alpha(uint32_t s8, uint32_t w) {
    return uint16_t(((s8 * 256u) * w) >> 16);
}

// ---- Plain row kernels (vectorised) ---------------------------------------

// GCC's -O2 cost model vectorises a loop only when its trip count is a multiple
// of the vector width; a fixed-size block gives it one and the tail runs scalar.
// The kernels stay out of line: once inlined, their restrict parameters no longer
// rule out aliasing and the loops would need runtime checks the -O2 model refuses.
template <int64_t Block, class Op>
inline void blocked(int64_t n, Op op) {
    int64_t k = 0;
    for (; k + Block <= n; k += Block)
        for (int64_t t = 0; t < Block; ++t) op(k + t);
    for (; k < n; ++k) op(k);
}

[[gnu::noinline]] void widen_words(uint16_t* __restrict d, const uint8_t* __restrict s, int64_t n) {
    blocked<64>(n, [=](int64_t k) { d[k] = widen_shift(s[k]); });
}

[[gnu::noinline]] void narrow_words(uint8_t* __restrict d, const uint16_t* __restrict s,
                                    int64_t n) {
    blocked<64>(n, [=](int64_t k) { d[k] = narrow(s[k]); });
}

// The plain RGBA32 load works on whole pixels: one 32-bit source pixel R,G,B,A
// becomes two 32-bit halves of the layer pixel, (R<<8 | G<<24) and (B<<8 | A<<24).
// Compilers vectorise that well, where byte-to-word shuffles per channel they do
// not. The halves assume little-endian words, as on every target we build for.
// Host buffers and padded layer rows need not be 4-byte aligned, hence aligned(1).
static_assert(std::endian::native == std::endian::little);
#if defined(__GNUC__)
typedef uint32_t __attribute__((may_alias, aligned(1))) Word32;
#else
typedef uint32_t Word32;  // x86 compilers without type-based alias analysis
#endif

constexpr uint32_t low_half(uint32_t p) { return ((p & 0xFFu) << 8) | ((p & 0xFF00u) << 16); }
constexpr uint32_t blue_word(uint32_t p) { return (p >> 8) & 0xFF00u; }

// Plain load with alpha unlocked: a transparent source pixel clears the whole
// layer pixel, colour included. Branch-free so it vectorises.
[[gnu::noinline]] void widen_row_clear_transparent(uint16_t* __restrict d,
                                                   const uint8_t* __restrict s, int64_t n) {
    Word32* __restrict d32 = reinterpret_cast<Word32*>(d);
    const Word32* __restrict s32 = reinterpret_cast<const Word32*>(s);
    blocked<16>(n, [=](int64_t j) {
        const uint32_t p = s32[j];
        const uint32_t keep = (p >> 24) != 0 ? ~0u : 0u;
        d32[2 * j] = low_half(p) & keep;
        d32[2 * j + 1] = (blue_word(p) & keep) | (p & 0xFF000000u);
    });
}

// Alpha locked: colour words only; the alpha word is read back unchanged.
[[gnu::noinline]] void widen_row_colour(uint16_t* __restrict d, const uint8_t* __restrict s,
                                        int64_t n) {
    Word32* __restrict d32 = reinterpret_cast<Word32*>(d);
    const Word32* __restrict s32 = reinterpret_cast<const Word32*>(s);
    blocked<16>(n, [=](int64_t j) {
        const uint32_t p = s32[j];
        d32[2 * j] = low_half(p);
        d32[2 * j + 1] = blue_word(p) | (d32[2 * j + 1] & 0xFFFF0000u);
    });
}

[[gnu::noinline]] void narrow_row_rgb(uint8_t* __restrict d, const uint16_t* __restrict s,
                                      int64_t n) {
    blocked<16>(n, [=](int64_t j) {
        d[3 * j + 0] = narrow(s[4 * j + 0]);
        d[3 * j + 1] = narrow(s[4 * j + 1]);
        d[3 * j + 2] = narrow(s[4 * j + 2]);
    });
}

// One colour into packed four-channel pixels of either width.
template <class T>
[[gnu::noinline]] void fill4(T* __restrict d, int64_t pixels, T r, T g, T b, T a) {
    blocked<16>(pixels, [=](int64_t j) {
        d[4 * j + 0] = r;
        d[4 * j + 1] = g;
        d[4 * j + 2] = b;
        d[4 * j + 3] = a;
    });
}

// Host RGBA64 buffers come with a byte stride, so an odd stride leaves rows that
// are not word aligned; reading or writing them as uint16_t would be undefined.
// Such rows go through an aligned copy, a chunk of whole pixels at a time.
constexpr int64_t kBouncePixels = 64;

bool word_aligned(const void* p) { return (reinterpret_cast<uintptr_t>(p) & 1) == 0; }

void narrow_host_words(uint8_t* d, const uint16_t* s, int64_t pixels) {
    if (word_aligned(s)) return narrow_words(d, s, pixels * 4);
    uint16_t tmp[kBouncePixels * 4];
    for (int64_t j = 0; j < pixels; j += kBouncePixels) {
        const int64_t n = std::min(kBouncePixels, pixels - j);
        std::memcpy(tmp, reinterpret_cast<const uint8_t*>(s) + j * 8, size_t(n) * 8);
        narrow_words(d + j * 4, tmp, n * 4);
    }
}

void narrow_host_rgb(uint8_t* d, const uint16_t* s, int64_t pixels) {
    if (word_aligned(s)) return narrow_row_rgb(d, s, pixels);
    uint16_t tmp[kBouncePixels * 4];
    for (int64_t j = 0; j < pixels; j += kBouncePixels) {
        const int64_t n = std::min(kBouncePixels, pixels - j);
        std::memcpy(tmp, reinterpret_cast<const uint8_t*>(s) + j * 8, size_t(n) * 8);
        narrow_row_rgb(d + j * 3, tmp, n);
    }
}

void fill_host_words(uint16_t* d, int64_t pixels, uint16_t r, uint16_t g, uint16_t b, uint16_t a) {
    if (word_aligned(d)) return fill4<uint16_t>(d, pixels, r, g, b, a);
    uint16_t tmp[kBouncePixels * 4];
    for (int64_t j = 0; j < kBouncePixels; ++j)
        tmp[4 * j] = r, tmp[4 * j + 1] = g, tmp[4 * j + 2] = b, tmp[4 * j + 3] = a;
    for (int64_t j = 0; j < pixels; j += kBouncePixels)
        std::memcpy(reinterpret_cast<uint8_t*>(d) + j * 8, tmp,
                    size_t(std::min(kBouncePixels, pixels - j)) * 8);
}

// A block read only after it has been written in full, so it skips the zero fill
// of Buffer. A fresh block of tens of megabytes costs more in page faults than the
// inflate that fills it; on Linux it asks for huge pages, one fault per 2 MB.
class Scratch {
public:
    explicit Scratch(size_t bytes) : data_(static_cast<uint8_t*>(aligned_alloc_bytes(bytes))) {
        if (!data_) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        constexpr uintptr_t kHuge = uintptr_t(2) << 20;
        const uintptr_t lo = (reinterpret_cast<uintptr_t>(data_) + kHuge - 1) & ~(kHuge - 1);
        const uintptr_t hi = (reinterpret_cast<uintptr_t>(data_) + bytes) & ~(kHuge - 1);
        if (hi > lo) madvise(reinterpret_cast<void*>(lo), hi - lo, MADV_HUGEPAGE);  // a hint only
#endif
    }
    ~Scratch() { aligned_free_bytes(data_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    uint8_t* data() const { return data_; }

private:
    uint8_t* data_;
};

// ---- Weighted RGBA32 load --------------------------------------------------

template <LoadVariant V>
void load_row_weighted(uint16_t* d, const uint8_t* s, int64_t n, const LoadWeights& wt, int64_t row,
                       bool alpha_locked) {
    for (int64_t j = 0; j < n; ++j, d += 4, s += 4) {
        const uint32_t w = wt.at(row, j);
        if (w == 0) continue;
        if (w == kFullWeight) {
            d[0] = widen_shift(s[0]);
            d[1] = widen_shift(s[1]);
            d[2] = widen_shift(s[2]);
            if (!alpha_locked) d[3] = widen_shift(s[3]);
            continue;
        }
        const bool layer_clear = d[3] == 0;
        if (V != LoadVariant::Good && layer_clear) {
            // Nothing to blend with: take the colour, fade in the alpha.
            d[0] = widen_shift(s[0]);
            d[1] = widen_shift(s[1]);
            d[2] = widen_shift(s[2]);
            if (!alpha_locked) d[3] = weighted_alpha(s[3], w);
            continue;
        }
        if (V == LoadVariant::Plain && s[3] == 0) {
            // A transparent source only erases, in proportion to the weight.
            if (!alpha_locked) d[3] = uint16_t((uint32_t(d[3]) * (65535u - w)) >> 16);
            continue;
        }
        d[0] = blend(s[0], d[0], w);
        d[1] = blend(s[1], d[1], w);
        d[2] = blend(s[2], d[2], w);
        if (!alpha_locked) d[3] = blend(s[3], d[3], w);
    }
}

template <LoadVariant V>
void load_weighted(LayerRecord& r, const uint8_t* buf, int64_t stride, int64_t rows, int64_t cols,
                   const LoadWeights& wt) {
    for (int64_t i = 0; i < rows; ++i)
        load_row_weighted<V>(r.pixels.data() + i * r.row_words, row_at(buf, stride, i), cols, wt, i,
                             r.alpha_locked != 0);
}

// The vector loops take a row's weights ready made; LoadWeights::at() for a whole
// row, with its presence tests hoisted out of the loop.
// Branch-free and one loop per input present, so that it vectorises.
void row_weights(uint16_t* __restrict out, const LoadWeights& wt, int64_t row, int64_t cols) {
    const int64_t inside = row < wt.height ? std::min(cols, wt.width) : 0;
    const uint8_t* __restrict t = wt.texture ? wt.texture + row * wt.width : nullptr;
    const uint16_t* __restrict m = wt.mask ? wt.mask + row * wt.width : nullptr;
    // In 16-bit terms: (2t x 65535) >> 8 is 512t - 1 for 0 < t < 128 (and 0 for 0),
    // and (w x m) >> 16 is the high half of a 16-bit product.
    const auto texture = [](uint16_t v) -> uint16_t {
        return v < 128 ? uint16_t((v << 9) - (v != 0)) : uint16_t(kFullWeight);
    };
    const auto masked = [](uint16_t w, uint16_t v) -> uint16_t {
        const uint16_t scaled = uint16_t((uint32_t(w) * v) >> 16);
        return v != kFullWeight ? scaled : w;
    };
    if (t && m)
        for (int64_t j = 0; j < inside; ++j) out[j] = masked(texture(t[j]), m[j]);
    else if (t)
        for (int64_t j = 0; j < inside; ++j) out[j] = texture(t[j]);
    else if (m)
        for (int64_t j = 0; j < inside; ++j) out[j] = masked(uint16_t(kFullWeight), m[j]);
    std::fill(out + std::max<int64_t>(inside, 0), out + cols, uint16_t(kFullWeight));
}

// False, having written nothing, in a build without the vector loops.
bool load_weighted_rows(LayerRecord& r, const uint8_t* buf, int64_t stride, int64_t rows,
                        int64_t cols, const LoadWeights& wt, LoadVariant variant,
                        composite::Simd simd) {
    const bool avx2 = simd != composite::Simd::Sse2 && composite::detail::cpu_has_avx2();
    std::vector<uint16_t> weights(size_t(std::max<int64_t>(cols, 0)));
    for (int64_t i = 0; i < rows && cols > 0; ++i) {
        row_weights(weights.data(), wt, i, cols);
        detail::WeightedRow row;
        row.d = r.pixels.data() + i * r.row_words;
        row.s = row_at(buf, stride, i);
        row.w = weights.data();
        row.n = cols;
        row.variant = int(variant);
        row.alpha_locked = r.alpha_locked != 0;
        if (!(avx2 && detail::weighted_row_avx2(row)) && !detail::weighted_row_sse2(row))
            return false;
    }
    return true;
}

}  // namespace

LoadWeights load_weights(const EngineState& st) {
    LoadWeights wt;
    if (layers::canvas_pixels(st) <= 0) return wt;
    wt.width = st.canvas.width;
    wt.height = st.canvas.height;
    wt.texture = layers::canvas_texture(st);
    wt.mask = layers::weighting_mask(st);
    return wt;
}

// ---- Loads ---------------------------------------------------------------------

void load_bgr24(EngineState& st, const uint8_t* buf, int32_t stride, int32_t w, int32_t h) {
    uint16_t* px = layers::current_view(st);
    if (!px || !buf) return;
    const int64_t width = st.canvas.width;
    const int64_t rows = std::min<int64_t>(st.canvas.height, h);
    const int64_t cols = std::min<int64_t>(width, w);
    for (int64_t i = 0; i < rows; ++i) {
        const uint8_t* s = row_at(buf, stride, i);
        uint16_t* d = px + i * width * 4;
        for (int64_t j = 0; j < cols; ++j) {
            d[4 * j + 0] = widen_shift(s[3 * j + 2]);
            d[4 * j + 1] = widen_shift(s[3 * j + 1]);
            d[4 * j + 2] = widen_shift(s[3 * j + 0]);
            d[4 * j + 3] = 0xFFFF;  // this loader alone makes the layer opaque
        }
    }
}

int32_t load_rgb24(EngineState& st, const uint8_t* buf, int32_t stride, bool use_mask) {
    uint16_t* px = layers::current_view(st);
    if (!px || !buf) return 0;
    const int64_t width = st.canvas.width;
    const int64_t height = st.canvas.height;
    const LoadWeights wt = load_weights(st);
    if (!use_mask || !wt.any()) {
        for (int64_t i = 0; i < height; ++i) {
            const uint8_t* s = row_at(buf, stride, i);
            uint16_t* d = px + i * width * 4;
            for (int64_t j = 0; j < width; ++j) {
                d[4 * j + 0] = widen_shift(s[3 * j + 0]);
                d[4 * j + 1] = widen_shift(s[3 * j + 1]);
                d[4 * j + 2] = widen_shift(s[3 * j + 2]);
            }
        }
        return st.canvas.height;
    }
    for (int64_t i = 0; i < height; ++i) {
        const uint8_t* s = row_at(buf, stride, i);
        uint16_t* d = px + i * width * 4;
        for (int64_t j = 0; j < width; ++j, s += 3, d += 4) {
            const uint32_t w = wt.at(i, j);
            if (w == 0) continue;
            if (w == kFullWeight) {
                d[0] = widen_shift(s[0]);
                d[1] = widen_shift(s[1]);
                d[2] = widen_shift(s[2]);
            } else {
                d[0] = blend(s[0], d[0], w);
                d[1] = blend(s[1], d[1], w);
                d[2] = blend(s[2], d[2], w);
            }
        }
    }
    return st.canvas.height;
}

void load_rgb24_to_alpha(EngineState& st, const uint8_t* buf, int32_t stride, bool use_mask) {
    uint16_t* px = layers::current_view(st);
    if (!px || !buf) return;
    const int64_t width = st.canvas.width;
    const int64_t height = st.canvas.height;
    const LoadWeights wt = load_weights(st);
    const bool weighted = use_mask && wt.any();
    // Transparent pixels keep their zero alpha on both paths.
    for (int64_t i = 0; i < height; ++i) {
        const uint8_t* s = row_at(buf, stride, i);
        uint16_t* d = px + i * width * 4;
        if (!weighted) {
            for (int64_t j = 0; j < width; ++j)
                if (d[4 * j + 3] != 0) d[4 * j + 3] = widen_shift(s[3 * j]);
            continue;
        }
        for (int64_t j = 0; j < width; ++j, s += 3, d += 4) {
            if (d[3] == 0) continue;
            const uint32_t w = wt.at(i, j);
            if (w == 0) continue;
            d[3] = w == kFullWeight ? widen_shift(s[0]) : blend(s[0], d[3], w);
        }
    }
}

int32_t load_rgba32_layer(EngineState& st, const uint8_t* buf, int64_t stride, int32_t slot,
                          int32_t w, int32_t h, bool use_mask, LoadVariant variant,
                          composite::Simd simd) {
    LayerRecord* r = own_geometry_slot(st, slot);
    if (!r || !buf) return 0;
    const int64_t rows = std::min<int64_t>(r->height, h);
    const int64_t cols = std::min<int64_t>(r->width, w);
    if (rows <= 0) return 0;
    const bool alpha_locked = r->alpha_locked != 0;
    const LoadWeights wt = load_weights(st);

    if (use_mask && wt.any() && simd != composite::Simd::Scalar &&
        load_weighted_rows(*r, buf, stride, rows, cols, wt, variant, simd))
        return static_cast<int32_t>(rows);
    if (use_mask && wt.any()) {
        switch (variant) {
            case LoadVariant::Plain:
                load_weighted<LoadVariant::Plain>(*r, buf, stride, rows, cols, wt);
                break;
            case LoadVariant::Good:
                load_weighted<LoadVariant::Good>(*r, buf, stride, rows, cols, wt);
                break;
            case LoadVariant::Good2:
                load_weighted<LoadVariant::Good2>(*r, buf, stride, rows, cols, wt);
                break;
        }
        return static_cast<int32_t>(rows);
    }
    for (int64_t i = 0; i < rows; ++i) {
        uint16_t* d = r->pixels.data() + i * r->row_words;
        const uint8_t* s = row_at(buf, stride, i);
        if (cols <= 0) continue;
        if (alpha_locked)
            widen_row_colour(d, s, cols);
        else if (variant == LoadVariant::Plain)
            widen_row_clear_transparent(d, s, cols);
        else
            widen_words(d, s, cols * 4);
    }
    return static_cast<int32_t>(rows);
}

int32_t load_rgba32(EngineState& st, const uint8_t* buf, int32_t stride, bool use_mask) {
    // The slot's own size, not the canvas: this loader follows the slot geometry.
    const LayerRecord* r = layers::slot_with_pixels(st, st.canvas.current_slot);
    if (!r) return 0;
    return load_rgba32_layer(st, buf, stride, st.canvas.current_slot, r->width, r->height,
                             use_mask);
}

void load_rgba32_layer_compressed(EngineState& st, const uint8_t* data, int32_t length,
                                  int32_t slot) {
    const LayerRecord* r = own_geometry_slot(st, slot);
    if (!r) return;
    if (!data || length <= 0) throw Failure("compressed layer: no data");
    const size_t bytes = size_t(r->width) * size_t(r->height) * 4;
    const Scratch image(bytes);
    // Only a stream of exactly the slot's size is loaded; anything else would
    // leave part of the layer from stale bytes. That also makes every byte the
    // load reads one the inflate wrote.
    const int64_t got = imaging::inflate(data, size_t(length), image.data(), bytes);
    if (got != int64_t(bytes)) throw Failure("compressed layer: stream does not match the layer");
    load_rgba32_layer(st, image.data(), int64_t(r->width) * 4, slot, r->width, r->height, false);
}

// ---- Raw copies ------------------------------------------------------------------

int32_t set_rgba64_layer(EngineState& st, const uint16_t* buf, int32_t stride, int32_t slot) {
    uint16_t* px = layers::canvas_view(st, slot);
    if (!px || !buf) return 0;
    const int64_t row_words = int64_t(st.canvas.width) * 4;
    for (int64_t i = 0; i < st.canvas.height; ++i)
        std::memcpy(px + i * row_words, row_at(buf, stride, i), size_t(row_words) * 2);
    return st.canvas.height;
}

void set_layer_data(EngineState& st, const uint16_t* packed, int32_t slot) {
    uint16_t* px = layers::canvas_view(st, slot);
    if (!px || !packed) return;
    std::memcpy(px, packed, size_t(layers::canvas_pixels(st)) * 8);
}

void copy_layer_data(EngineState& st, int32_t from, int32_t to) {
    const uint16_t* s = layers::canvas_view(st, from);
    uint16_t* d = layers::canvas_view(st, to);
    if (!s || !d || s == d) return;
    std::memcpy(d, s, size_t(layers::canvas_pixels(st)) * 8);
}

// ---- Reads -----------------------------------------------------------------------

int32_t get_rgb24(EngineState& st, uint8_t* buf, int32_t stride) {
    const uint16_t* px = layers::current_view(st);
    if (!px || !buf) return 0;
    const int64_t width = st.canvas.width;
    for (int64_t i = 0; i < st.canvas.height; ++i)
        narrow_row_rgb(row_at(buf, stride, i), px + i * width * 4, width);
    return st.canvas.height;
}

int32_t get_rgb24_from_alpha(EngineState& st, uint8_t* buf, int32_t stride) {
    const uint16_t* px = layers::current_view(st);
    if (!px || !buf) return 0;
    const int64_t width = st.canvas.width;
    for (int64_t i = 0; i < st.canvas.height; ++i) {
        uint8_t* d = row_at(buf, stride, i);
        const uint16_t* s = px + i * width * 4;
        for (int64_t j = 0; j < width; ++j) {
            const uint8_t a = narrow(s[4 * j + 3]);
            d[3 * j + 0] = a;
            d[3 * j + 1] = a;
            d[3 * j + 2] = a;
        }
    }
    return st.canvas.height;
}

int32_t get_rgba32_layer(EngineState& st, uint8_t* buf, int32_t stride, int32_t slot) {
    const uint16_t* px = layers::canvas_view(st, slot);
    if (!px || !buf) return 0;
    const int64_t row_words = int64_t(st.canvas.width) * 4;
    for (int64_t i = 0; i < st.canvas.height; ++i)
        narrow_words(row_at(buf, stride, i), px + i * row_words, row_words);
    return st.canvas.height;
}

int32_t get_rgba32(EngineState& st, uint8_t* buf, int32_t stride) {
    return get_rgba32_layer(st, buf, stride, st.canvas.current_slot);
}

void get_rgba64_layer_rect(EngineState& st, uint16_t* buf, int32_t stride, int32_t slot, int32_t x,
                           int32_t y, int32_t w, int32_t h) {
    const uint16_t* px = layers::canvas_view(st, slot);
    if (!px || !buf) return;
    const int64_t width = st.canvas.width;
    // Buffer (i, j) is canvas (x + j, y + i); only the part on the canvas is copied.
    const int64_t i0 = std::max<int64_t>(0, -int64_t(y));
    const int64_t i1 = std::min<int64_t>(h, int64_t(st.canvas.height) - y);
    const int64_t j0 = std::max<int64_t>(0, -int64_t(x));
    const int64_t j1 = std::min<int64_t>(w, width - x);
    if (j0 >= j1) return;
    for (int64_t i = i0; i < i1; ++i)
        std::memcpy(row_at(buf, stride, i) + j0 * 4, px + ((y + i) * width + x + j0) * 4,
                    size_t(j1 - j0) * 8);
}

void get_rgba64_layer(EngineState& st, uint16_t* buf, int32_t stride, int32_t slot) {
    get_rgba64_layer_rect(st, buf, stride, slot, 0, 0, st.canvas.width, st.canvas.height);
}

void get_layer_data(EngineState& st, uint16_t* packed, int32_t slot) {
    const uint16_t* px = layers::canvas_view(st, slot);
    if (!px || !packed) return;
    std::memcpy(packed, px, size_t(layers::canvas_pixels(st)) * 8);
}

int32_t get_rgba32_layer_compressed(EngineState& st, uint8_t* out, int32_t capacity, int32_t slot,
                                    int32_t extra) {
    const uint16_t* px = layers::canvas_view(st, slot);
    if (!px) return 0;
    if (!out || capacity <= 0) throw Failure("compressed layer: no output");
    const size_t bytes = size_t(layers::canvas_pixels(st)) * 4;
    Buffer<uint8_t> image = Buffer<uint8_t>::make(bytes);
    narrow_words(image.data(), px, int64_t(bytes));
    const int level = (extra >= 1 && extra <= 9) ? extra : kDefaultZLevel;
    // The capacity is a hard bound: a stream that would not fit is no stream.
    const int64_t n = imaging::deflate(image.data(), bytes, out, size_t(capacity), level);
    if (n <= 0) throw Failure("compressed layer: output does not fit");
    return static_cast<int32_t>(n);
}

// ---- Host-buffer conversions ---------------------------------------------------------

void rgba64_to_rgba32(uint8_t* dst, int64_t dst_stride, const uint16_t* src, int64_t src_stride,
                      int32_t w, int32_t h) {
    if (!dst || !src || w <= 0) return;
    for (int64_t i = 0; i < h; ++i)
        narrow_host_words(row_at(dst, dst_stride, i), row_at(src, src_stride, i), w);
}

void rgba64_to_rgb24(uint8_t* dst, int64_t dst_stride, const uint16_t* src, int64_t src_stride,
                     int32_t w, int32_t h) {
    if (!dst || !src || w <= 0) return;
    for (int64_t i = 0; i < h; ++i)
        narrow_host_rgb(row_at(dst, dst_stride, i), row_at(src, src_stride, i), w);
}

void rgba64_to_rgb24_canvas(const EngineState& st, uint8_t* dst, int32_t dst_stride,
                            const uint16_t* src, int32_t src_stride) {
    rgba64_to_rgb24(dst, dst_stride, src, src_stride, st.canvas.width, st.canvas.height);
}

namespace {
// Shared walk of the two rectangle narrowers; `bpp` bytes a destination pixel.
template <int Bpp>
void rect_narrow(const uint16_t* src, int32_t x, int32_t y, int32_t w, int32_t h, int32_t src_width,
                 uint8_t* dst) {
    if (!src || !dst || w <= 0 || h <= 0 || src_width <= 0) return;
    const int64_t i0 = std::max<int64_t>(0, -int64_t(y));
    const int64_t j0 = std::max<int64_t>(0, -int64_t(x));
    const int64_t j1 = std::min<int64_t>(w, int64_t(src_width) - x);
    if (j0 >= j1) return;
    for (int64_t i = i0; i < h; ++i) {
        const uint16_t* s = src + ((y + i) * int64_t(src_width) + x + j0) * 4;
        uint8_t* d = dst + (i * w + j0) * Bpp;
        if constexpr (Bpp == 4)
            narrow_words(d, s, (j1 - j0) * 4);
        else
            narrow_row_rgb(d, s, j1 - j0);
    }
}
}  // namespace

void rgba64_rect_to_rgba32(const uint16_t* src, int32_t x, int32_t y, int32_t w, int32_t h,
                           int32_t src_width, uint8_t* dst) {
    rect_narrow<4>(src, x, y, w, h, src_width, dst);
}

void rgba64_rect_to_rgb24(const uint16_t* src, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t src_width, uint8_t* dst) {
    rect_narrow<3>(src, x, y, w, h, src_width, dst);
}

void widen_rgba32_image(const uint8_t* src, uint16_t* dst, int32_t w, int32_t h) {
    if (!src || !dst || w <= 0 || h <= 0) return;
    widen_words(dst, src, int64_t(w) * h * 4);
}

void narrow_rgba64_image(const uint16_t* src, uint8_t* dst, int32_t w, int32_t h) {
    if (!src || !dst || w <= 0 || h <= 0) return;
    narrow_words(dst, src, int64_t(w) * h * 4);
}

// ---- Fills -----------------------------------------------------------------------------

void clear(EngineState& st, int32_t r, int32_t g, int32_t b, int32_t a) {
    uint16_t* px = layers::current_view(st);
    if (!px) return;
    fill4<uint16_t>(px, layers::canvas_pixels(st), widen_shift(uint8_t(r)), widen_shift(uint8_t(g)),
               widen_shift(uint8_t(b)), widen_shift(uint8_t(a)));
}

void clear_masked(EngineState& st, int32_t r, int32_t g, int32_t b, int32_t a) {
    if (LayerRecord* cur = layers::current(st)) clear_masked_layer(st, *cur, r, g, b, a);
}

void clear_masked_layer(EngineState& st, LayerRecord& layer, int32_t r, int32_t g, int32_t b,
                        int32_t a) {
    if (!layers::is_canvas_sized(st, layer)) return;
    uint16_t* px = layer.pixels.data();
    const int64_t n = layers::canvas_pixels(st);
    const LoadWeights wt = load_weights(st);
    if (!wt.mask) {
        fill4<uint16_t>(px, n, widen_shift(uint8_t(r)), widen_shift(uint8_t(g)),
                        widen_shift(uint8_t(b)), widen_shift(uint8_t(a)));
        return;
    }
    const uint32_t c[3] = {uint8_t(r), uint8_t(g), uint8_t(b)};
    for (int64_t k = 0; k < n; ++k) {
        uint16_t* d = px + k * 4;
        const uint32_t m = wt.mask[k];
        if (m == 0) continue;
        if (m == kFullWeight) {
            d[0] = widen_shift(uint8_t(c[0]));
            d[1] = widen_shift(uint8_t(c[1]));
            d[2] = widen_shift(uint8_t(c[2]));
            d[3] = widen_shift(uint8_t(a));
            continue;
        }
        // ((c * m) + (((65535 - m) * d) >> 8)) >> 8 with the 8-bit c: the colour term
        // is not widened first. A partly selected pixel always ends up opaque.
        for (int ch = 0; ch < 3; ++ch)
            d[ch] = uint16_t(((c[ch] * m) + (((65535u - m) * d[ch]) >> 8)) >> 8);
        d[3] = 0xFFFF;
    }
}

void clear_masked_alpha(EngineState& st, int32_t r, int32_t g, int32_t b, int32_t a) {
    if (!load_weights(st).mask) {
        clear(st, r, g, b, a);
        return;
    }
    if (!layers::current(st)) return;
    const int32_t width = st.canvas.width;
    const int32_t height = st.canvas.height;
    Buffer<uint8_t> image = Buffer<uint8_t>::make(size_t(layers::canvas_pixels(st)) * 4);
    fill4<uint8_t>(image.data(), layers::canvas_pixels(st), uint8_t(r), uint8_t(g), uint8_t(b),
                uint8_t(a));
    // The weighted load blends through texture and mask alike.
    load_rgba32_layer(st, image.data(), int64_t(width) * 4, st.canvas.current_slot, width, height,
                      true);
}

void clear_rgba64(const EngineState& st, uint16_t* buf, int32_t stride, int32_t r, int32_t g,
                  int32_t b, int32_t a) {
    if (!buf) return;
    for (int64_t i = 0; i < st.canvas.height; ++i)
        fill_host_words(row_at(buf, stride, i), st.canvas.width, uint16_t(r), uint16_t(g),
                        uint16_t(b), uint16_t(a));
}

void clear_rgba32(const EngineState& st, uint8_t* buf, int32_t stride, int32_t r, int32_t g,
                  int32_t b, int32_t a) {
    if (!buf) return;
    for (int64_t i = 0; i < st.canvas.height; ++i)
        fill4<uint8_t>(row_at(buf, stride, i), st.canvas.width, uint8_t(r), uint8_t(g), uint8_t(b),
                    uint8_t(a));
}

void clear_rgba32_buf(uint8_t* buf, int32_t w, int32_t h, int32_t r, int32_t g, int32_t b,
                      int32_t a) {
    if (!buf || w <= 0 || h <= 0) return;
    fill4<uint8_t>(buf, int64_t(w) * h, uint8_t(r), uint8_t(g), uint8_t(b), uint8_t(a));
}

}  // namespace qrn::pixels

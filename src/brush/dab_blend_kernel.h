// The blend dab's pixel formula, scalar and as a vector loop over 16-bit lanes,
// shared by the SSE2 (dab_blend.cpp) and AVX2 (dab_blend_avx2.cpp) builds.
// Internal linkage on purpose, as in dab_lanes.h.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "brush/dab_blend.h"
#include "brush/dab_lanes.h"
#include "brush/dab_strength.h"

namespace qrn::brush::detail {
namespace {

constexpr uint32_t kBlobFloor = 8191;       // blob lock: alpha at or below is left alone
constexpr uint32_t kBlobEraseFloor = 9215;  // blob-locked erasing never goes below

// One footprint pixel: coverage from shape s, grit byte g (skip above the
// density threshold), texture t (255 = none) and mask w (65535 = none); then
// the working colour from the blend pixel bp,
//   c = (P x dab + (256 - P) x blend) >> 8 (alpha alike), or the blend pixel for P = 0,
// the blend-buffer paint-over
//   f = 0:  r = c, u = (M a) >> 16
//   else:   u = (((65536 - M) f >> 8) + (M a >> 8)) >> 8, r = d for a = 0, else
//           r = (((65536 - M) d >> 8) + (M c >> 8)) >> 8,
// blend remix and the write rules. P <= 256 and B <= 256 keep every term in range.
inline void blend_pixel(const BlendDab& p, uint32_t s, const uint8_t* g, uint32_t t, uint32_t w,
                        uint16_t* bp, uint16_t* px) {
    if (g && int32_t(*g) > p.density_threshold) return;
    uint32_t m = opacity_strength(p.alpha_full, p.alpha_scaled, s);
    if (t < 255) m = (m * t) >> 8;
    if (w < 65535) m = (m * w) >> 16;
    if (m == 0) return;
    if (p.solid) m = 65535;

    uint32_t ba = bp[3];
    if (p.image_brush && ba < 65535) {
        m = (m * ba) >> 16;
        if (m == 0) m = 1;
        ba = 65535;
    }
    uint32_t c[3], a;
    if (p.P != 0) {
        const uint32_t keep = uint32_t(256 - p.P);
        for (int k = 0; k < 3; ++k) c[k] = (p.pdab[k] + keep * bp[k]) >> 8;
        a = (p.pdab[3] + keep * ba) >> 8;
    } else {
        for (int k = 0; k < 3; ++k) c[k] = bp[k];
        a = ba;
    }

    const uint32_t d[3] = {px[0], px[1], px[2]};
    const uint32_t f = px[3];
    const uint32_t mc = 65536 - m;
    uint32_t r[3] = {d[0], d[1], d[2]};
    uint32_t u;
    if (f == 0) {
        for (int k = 0; k < 3; ++k) r[k] = c[k];
        u = (m * a) >> 16;
    } else {
        u = (((mc * f) >> 8) + ((m * a) >> 8)) >> 8;
        if (a != 0)
            for (int k = 0; k < 3; ++k) r[k] = (((mc * d[k]) >> 8) + ((m * c[k]) >> 8)) >> 8;
    }

    if (p.remix) {
        const uint32_t B = uint32_t(p.B), keep = uint32_t(256 - p.B);
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = ((keep * d[k] + B * c[k]) >> 8) + 1;
            bp[k] = uint16_t(a == 0 ? d[k] : f == 0 ? c[k] : (v > 65535 ? 65535 : v));
        }
        bp[3] = uint16_t((keep * f + B * a) >> 8);
    }

    if (p.erase) {
        if (!p.blob)
            px[3] = uint16_t(u);
        else if (f > kBlobFloor)
            px[3] = uint16_t(u > kBlobEraseFloor ? u : kBlobEraseFloor);
        return;
    }
    if (!p.colour_locked)
        for (int k = 0; k < 3; ++k) px[k] = uint16_t(r[k]);
    if (p.write_alpha && (!p.blob || (f > kBlobFloor && u > kBlobFloor)))
        px[3] = uint16_t(p.alpha_level ? p.alpha_level : u);
}

struct BlendRow {
    const uint16_t* shape;
    const uint8_t* grit;
    uint16_t* blend;
    const uint8_t* texture;
    const uint16_t* mask;
    uint16_t* dst;
};

inline BlendRow blend_row(const BlendRows& f, size_t r) {
    const size_t sr = size_t(f.rows[r]);
    return {f.shape + sr * f.shape_stride,
            f.grit ? f.grit + sr * f.grit_stride : nullptr,
            f.blend + sr * f.blend_stride,
            f.texture ? f.texture + r * f.canvas_stride : nullptr,
            f.mask ? f.mask + r * f.canvas_stride : nullptr,
            f.dst + r * f.dst_stride};
}

inline void blend_pixel_at(const BlendDab& p, const BlendRows& f, const BlendRow& row, size_t j) {
    const size_t col = f.cols ? size_t(f.cols[j]) : size_t(f.first_col) + j;
    blend_pixel(p, row.shape[col], row.grit ? row.grit + col : nullptr,
                row.texture ? row.texture[j] : 255, row.mask ? row.mask[j] : 65535,
                row.blend + col * 4, row.dst + j * 4);
}

inline void blend_scalar(const BlendDab& p, const BlendRows& f) {
    for (size_t r = 0; r < f.row_count; ++r) {
        const BlendRow row = blend_row(f, r);
        for (size_t j = 0; j < f.count; ++j) blend_pixel_at(p, f, row, j);
    }
}

#ifdef QRN_DAB_SSE2

// kLanes (4 or 8) words, or bytes widened to words, into the low lanes.
template <size_t kLanes>
inline __m128i words_at(const uint16_t* w) {
    if constexpr (kLanes == 8) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(w));
}
template <size_t kLanes>
inline __m128i bytes_at(const uint8_t* b) {
    __m128i v;
    if constexpr (kLanes == 8) {
        v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b));
    } else {
        int32_t four;
        std::memcpy(&four, b, 4);
        v = _mm_cvtsi32_si128(four);
    }
    return _mm_unpacklo_epi8(v, _mm_setzero_si128());
}

// The per-dab constants of the vector loop, made once.
template <class V>
struct BlendLanes {
    using R = typename V::R;
    __m128i ones16, zero16, scale, no_texture, threshold;
    R ones, zero, alpha_lanes, colour_lanes, plus_one, keep_p, strength, keep_b;
    R level, erase_floor, take_out, take_level, keep_p256, low_byte, pd_high, pd_low;

    explicit BlendLanes(const BlendDab& p) {
        ones16 = _mm_set1_epi16(-1);
        zero16 = _mm_setzero_si128();
        scale = _mm_set1_epi16(short(p.alpha_scaled));
        no_texture = _mm_set1_epi16(255);
        threshold = _mm_set1_epi16(short(std::clamp(p.density_threshold, -1, 255)));
        ones = V::set1(0xFFFF);
        zero = V::set1(0);
        alpha_lanes = V::pixel(0, 0, 0, 0xFFFF);
        colour_lanes = V::pixel(0xFFFF, 0xFFFF, 0xFFFF, 0);
        plus_one = V::pixel(1, 1, 1, 0);
        keep_p = V::set1(uint16_t(256 - p.P));
        keep_p256 = V::set1(uint16_t((256 - p.P) << 8));  // used only for P >= 1
        low_byte = V::set1(0xFF);
        pd_high = V::pixel(uint16_t(p.pdab[0] >> 8), uint16_t(p.pdab[1] >> 8),
                           uint16_t(p.pdab[2] >> 8), uint16_t(p.pdab[3] >> 8));
        pd_low = V::pixel(uint16_t(p.pdab[0] & 255), uint16_t(p.pdab[1] & 255),
                          uint16_t(p.pdab[2] & 255), uint16_t(p.pdab[3] & 255));
        strength = V::set1(uint16_t(p.B));
        keep_b = V::set1(uint16_t(256 - p.B));
        level = V::set1(p.alpha_level);
        erase_floor = V::set1(uint16_t(kBlobEraseFloor));
        // Which lanes take the result: colour unless locked, alpha when writable
        // (the level instead of u when one is set).
        const uint16_t colour = p.colour_locked ? 0 : 0xFFFF;
        const bool alpha = p.write_alpha && !p.alpha_level;
        take_out = V::pixel(colour, colour, colour, alpha ? 0xFFFF : 0);
        take_level = V::pixel(0, 0, 0, p.write_alpha && p.alpha_level ? 0xFFFF : 0);
    }
};

// Asks for every cache line the bytes from at on touch. GCC's dead-code pass
// drops a loop of nothing but prefetches, so each step is marked as needed.
inline void fetch_lines(const void* at, size_t bytes) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(at) & ~uintptr_t(63);
    const uintptr_t end = reinterpret_cast<uintptr_t>(at) + bytes;
    for (uintptr_t line = first; line < end; line += 64) {
        const char* p = reinterpret_cast<const char*>(line);
        _mm_prefetch(p, _MM_HINT_T0);
#if defined(__GNUC__)
        __asm__ volatile("" : : "r"(p));
#endif
    }
}

// Sample pointers of a group of pixels: straight into the brush rows for a
// contiguous footprint, else gathered into the group's own copies (the blend
// pixels written back after remixing).
template <size_t kLanes>
struct Samples {
    uint16_t shape[kLanes];
    uint8_t grit[kLanes];
    uint16_t blend[4 * kLanes];
    const uint16_t* sp;
    const uint8_t* gp;
    uint16_t* bp;

    Samples(const BlendRows& f, const BlendRow& row, size_t j) {
        if (!f.cols) {
            const size_t col = size_t(f.first_col) + j;
            sp = row.shape + col;
            gp = row.grit ? row.grit + col : nullptr;
            bp = row.blend + col * 4;
            return;
        }
        for (size_t k = 0; k < kLanes; ++k) {
            const size_t col = size_t(f.cols[j + k]);
            shape[k] = row.shape[col];
            if (row.grit) grit[k] = row.grit[col];
            std::memcpy(blend + 4 * k, row.blend + col * 4, 8);
        }
        sp = shape;
        gp = row.grit ? grit : nullptr;
        bp = blend;
    }
    void scatter(const BlendRows& f, const BlendRow& row, size_t j) const {
        if (!f.cols) return;
        for (size_t k = 0; k < kLanes; ++k)
            std::memcpy(row.blend + size_t(f.cols[j + k]) * 4, blend + 4 * k, 8);
    }
};

// Coverage of kLanes pixels, one lane a pixel, and the lanes to skip (grit
// above the density threshold, or no coverage left); solid mode applied.
template <class V, size_t kLanes, bool kTexture, bool kGrit>
inline __m128i coverage_lanes(const BlendDab& p, const BlendLanes<V>& k, const uint16_t* sp,
                              const uint8_t* gp, const uint8_t* texture, const uint16_t* mask,
                              __m128i& skip) {
    __m128i m = words_at<kLanes>(sp);
    if (!p.alpha_full)  // (s x alpha scaled) >> 7 with alpha scaled 0..128
        m = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epu16(m, k.scale), 9),
                         _mm_srli_epi16(_mm_mullo_epi16(m, k.scale), 7));
    if constexpr (kTexture) {  // (M x t) >> 8, below 2^16, for t < 255
        const __m128i t = bytes_at<kLanes>(texture);
        const __m128i mt = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epu16(m, t), 8),
                                        _mm_srli_epi16(_mm_mullo_epi16(m, t), 8));
        m = select16(_mm_cmpeq_epi16(t, k.no_texture), m, mt);
    }
    if (mask) {
        const __m128i w = words_at<kLanes>(mask);
        m = select16(_mm_cmpeq_epi16(w, k.ones16), m, _mm_mulhi_epu16(m, w));
    }
    skip = _mm_cmpeq_epi16(m, k.zero16);
    if constexpr (kGrit)
        skip = _mm_or_si128(skip, _mm_cmpgt_epi16(bytes_at<kLanes>(gp), k.threshold));
    if (p.solid) m = _mm_andnot_si128(skip, k.ones16);
    return m;
}

// V::kPixels pixels from their compact coverage m and skip lanes (the low
// V::kPixels), blend pixels at bp and destination pixels at px.
template <class V, bool kPrimary, bool kRemix>
inline void blend_group(const BlendDab& p, const BlendLanes<V>& k, __m128i m, __m128i skip16,
                        uint16_t* bp, uint16_t* px) {
    using R = typename V::R;
    R M = V::spread(m);
    const R skip = V::spread(skip16);
    const R bl = V::load(bp);
    R src = bl;
    if (p.image_brush) {  // ba < 65535: M = max((M x ba) >> 16, 1), ba = 65535
        const R ba = V::alpha_spread(bl);
        const R thin = V::xor_(V::cmpeq(ba, k.ones), k.ones);
        R mi = V::mulhi(M, ba);
        mi = V::sub(mi, V::cmpeq(mi, k.zero));
        M = V::select(thin, mi, M);
        src = V::or_(bl, V::and_(thin, k.alpha_lanes));
    }
    // (x + y) >> 8 from the halves of x and y, x + y < 2^24.
    const auto sum_shr8 = [&](R xlo, R xhi, R ylo, R yhi) {
        const R lo = V::add(xlo, ylo);
        const R carry = V::xor_(V::cmpeq(V::adds(xlo, ylo), lo), k.ones);
        return V::or_(V::shl8(V::sub(V::add(xhi, yhi), carry)), V::shr8(lo));
    };
    R c = src;
    if constexpr (kPrimary) {
        // (A + (256 - P) b) >> 8 with A = P x dab, 256 - P <= 255:
        //   (A >> 8) + ((256 - P) 256 b >> 16) + (((A & 255) + ((256 - P) b & 255)) >> 8)
        const R low = V::and_(V::mullo(k.keep_p, src), k.low_byte);
        c = V::add(V::add(k.pd_high, V::mulhi(k.keep_p256, src)), V::shr8(V::add(k.pd_low, low)));
    }
    const R a = V::alpha_spread(c);

    const R d = V::load(px);
    const R fa = V::alpha_spread(d);
    const R clear = V::cmpeq(fa, k.zero);
    const R no_paint = V::cmpeq(a, k.zero);
    const R mc = V::sub(k.zero, M);
    // Lane 3 of the mix is u; where f = 0 it is (M a) >> 16, the colour c.
    const R mixed = V::add(V::add(V::mulhi(mc, d), V::mulhi(M, c)),
                           V::shr8(V::add(V::shr8(V::mullo(mc, d)), V::shr8(V::mullo(M, c)))));
    R out = V::select(V::and_(no_paint, k.colour_lanes), d, mixed);
    out = V::select(V::and_(clear, k.colour_lanes), c, out);

    if constexpr (kRemix) {  // ((256 - B) d + B c) >> 8; + 1 on colour, inside the min
        const R mix = sum_shr8(V::mullo(k.keep_b, d), V::mulhi(k.keep_b, d),
                               V::mullo(k.strength, c), V::mulhi(k.strength, c));
        const R col = V::select(no_paint, d, V::select(clear, c, V::adds(mix, k.plus_one)));
        V::store(bp, V::select(skip, bl, V::select(k.alpha_lanes, mix, col)));
    }

    R res;
    if (p.erase) {
        R ua = out;
        if (p.blob) {  // only where f > 8191, never below 9215
            const R thick = V::xor_(V::cmpeq(V::shr13(fa), k.zero), k.ones);
            ua = V::select(thick, V::adds(V::subs(out, k.erase_floor), k.erase_floor), d);
        }
        res = V::select(k.alpha_lanes, ua, d);
    } else {
        res = V::select(k.take_out, out, d);
        if (p.alpha_level) res = V::select(k.take_level, k.level, res);
        if (p.blob) {  // alpha only where f > 8191 and u > 8191
            const R thin = V::or_(V::cmpeq(V::shr13(fa), k.zero), V::cmpeq(V::shr13(out), k.zero));
            res = V::select(V::and_(thin, k.alpha_lanes), d, res);
        }
    }
    V::store(px, V::select(skip, d, res));
}

// Coverage for eight pixels a step in one register, then each group of
// V::kPixels of them that paints anything. Every product is a 16 x 16-bit one split into its
// halves lo (mullo) and hi (mulhi); the formula's two shapes of sum are
//   ((x >> 8) + (y >> 8)) >> 8 = hi(x) + hi(y) + ((lo(x) >> 8) + (lo(y) >> 8)) >> 8,
//   (x + y) >> 8 = (hi(x + y) << 8) | (lo(x + y) >> 8) for x + y < 2^24,
// the low halves' carry found by comparing the wrapped sum with the saturated
// one. 65536 - M fits 16 bits because M >= 1 wherever a pixel is painted. With
// distinct columns a group's blend pixels all differ, so reading them before
// writing them back is what the pixel-by-pixel order does.
template <class V, bool kTexture, bool kGrit, bool kPrimary, bool kRemix>
void blend_rows(const BlendDab& p, const BlendRows& f) {
    constexpr size_t N = V::kPixels;
    constexpr size_t kStep = 8;  // coverage lanes a step: one or two groups
    const BlendLanes<V> k(p);
    // Canvas rows lie a layer row apart, beyond what the hardware prefetcher
    // follows: ask for the canvas rows some way ahead of the one being painted,
    // and for a small footprint for all of them at once, so that their misses
    // overlap instead of coming one row at a time.
    const size_t lead = std::max<size_t>(8, std::min<size_t>(16, 512 / f.count));
    const auto fetch_row = [&](size_t r) {
        fetch_lines(f.dst + r * f.dst_stride, f.count * 8);
        if (kTexture) fetch_lines(f.texture + r * f.canvas_stride, f.count);
        if (f.mask) fetch_lines(f.mask + r * f.canvas_stride, f.count * 2);
    };
    for (size_t r = 0; r < lead && r < f.row_count; ++r) fetch_row(r);
    for (size_t r = 0; r < f.row_count; ++r) {
        if (r + lead < f.row_count) fetch_row(r + lead);
        const BlendRow row = blend_row(f, r);
        const uint16_t* mask_row = row.mask && selects_all(row.mask, f.count) ? nullptr : row.mask;
        size_t j = 0;
        for (; j + kStep <= f.count; j += kStep) {
            Samples<kStep> at(f, row, j);
            __m128i skip;
            const __m128i m = coverage_lanes<V, kStep, kTexture, kGrit>(
                p, k, at.sp, at.gp, kTexture ? row.texture + j : nullptr,
                mask_row ? mask_row + j : nullptr, skip);
            const int skipped = _mm_movemask_epi8(skip);
            if (skipped == 0xFFFF) continue;
            uint16_t* px = row.dst + j * 4;
            if constexpr (N == kStep) {
                blend_group<V, kPrimary, kRemix>(p, k, m, skip, at.bp, px);
            } else {
                if ((skipped & 0xFF) != 0xFF)
                    blend_group<V, kPrimary, kRemix>(p, k, m, skip, at.bp, px);
                if ((skipped >> 8) != 0xFF)
                    blend_group<V, kPrimary, kRemix>(p, k, _mm_unpackhi_epi64(m, m),
                                                     _mm_unpackhi_epi64(skip, skip), at.bp + 4 * N,
                                                     px + 4 * N);
            }
            if (kRemix) at.scatter(f, row, j);
        }
        if constexpr (N < kStep) {
            if (j + N <= f.count) {
                Samples<N> at(f, row, j);
                __m128i skip;
                const __m128i m = coverage_lanes<V, N, kTexture, kGrit>(
                    p, k, at.sp, at.gp, kTexture ? row.texture + j : nullptr,
                    mask_row ? mask_row + j : nullptr, skip);
                if ((_mm_movemask_epi8(skip) & 0xFF) != 0xFF) {
                    blend_group<V, kPrimary, kRemix>(p, k, m, skip, at.bp, row.dst + j * 4);
                    if (kRemix) at.scatter(f, row, j);
                }
                j += N;
            }
        }
        for (; j < f.count; ++j) blend_pixel_at(p, f, row, j);
    }
}

template <class V, int kKey>
void blend_rows_for(const BlendDab& p, const BlendRows& f) {
    blend_rows<V, (kKey & 8) != 0, (kKey & 4) != 0, (kKey & 2) != 0, (kKey & 1) != 0>(p, f);
}

template <class V, int... kKeys>
constexpr auto blend_loops(std::integer_sequence<int, kKeys...>) {
    return std::array{&blend_rows_for<V, kKeys>...};
}

// The loop made for the settings of this dab: texture, grit, primary colour
// strength and remix decide which steps exist at all.
template <class V>
void blend_vector(const BlendDab& p, const BlendRows& f) {
    static constexpr auto kLoops = blend_loops<V>(std::make_integer_sequence<int, 16>{});
    const int key = (f.texture ? 8 : 0) | (f.grit ? 4 : 0) | (p.P != 0 ? 2 : 0) | (p.remix ? 1 : 0);
    kLoops[size_t(key)](p, f);
}

#endif

}  // namespace
}  // namespace qrn::brush::detail

// The blend dab's pixel formula, scalar and as a vector loop over 16-bit lanes,
// shared by the SSE2 (dab_blend.cpp) and AVX2 (dab_blend_avx2.cpp) builds.
// Internal linkage on purpose, as in dab_lanes.h.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "brush/dab_blend.h"
#include "brush/dab_lanes.h"

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
    uint32_t m;
    if (p.alpha_full) {
        m = s;
    } else {
        const int64_t v = (int64_t(s) * p.alpha_scaled) >> 7;
        m = uint32_t(v < 0 ? 0 : (v > 65535 ? 65535 : v));
    }
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

// Four bytes widened to the low four 16-bit lanes.
inline __m128i bytes4(const uint8_t* b) {
    int32_t v;
    std::memcpy(&v, b, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), _mm_setzero_si128());
}

// V::kPixels pixels at a time, every product a 16 x 16-bit one split into its
// halves lo (mullo) and hi (mulhi). The two shapes of sum the formula has:
//   ((x >> 8) + (y >> 8)) >> 8 = hi(x) + hi(y) + ((lo(x) >> 8) + (lo(y) >> 8)) >> 8,
//   (x + y) >> 8 = (hi(x + y) << 8) | (lo(x + y) >> 8) for x + y < 2^24,
// the low halves' carry found by comparing the wrapped sum with the saturated one.
// 65536 - M fits 16 bits because M >= 1 wherever a pixel is painted. Coverage is
// worked out on the compact values, one lane a pixel, then spread to the pixel's
// four lanes; lane 3 of each mixed value is the alpha the same formula gives.
// With distinct columns the group's blend pixels are all different, so reading
// the four before writing them back is what the pixel-by-pixel order does.
template <class V>
void blend_vector(const BlendDab& p, const BlendRows& f) {
    using R = typename V::R;
    constexpr size_t N = V::kPixels;
    constexpr int kAllSkipped = (1 << (2 * N)) - 1;
    const __m128i ones16 = _mm_set1_epi16(-1);
    const __m128i zero16 = _mm_setzero_si128();
    const __m128i scale = _mm_set1_epi16(short(p.alpha_scaled));
    const __m128i no_texture = _mm_set1_epi16(255);
    const int32_t thr = p.density_threshold < -1 ? -1 : (p.density_threshold > 255 ? 255 : p.density_threshold);
    const __m128i threshold = _mm_set1_epi16(short(thr));
    const R ones = V::set1(0xFFFF);
    const R zero = V::set1(0);
    const R alpha_lanes = V::pixel(0, 0, 0, 0xFFFF);
    const R colour_lanes = V::pixel(0xFFFF, 0xFFFF, 0xFFFF, 0);
    const R plus_one = V::pixel(1, 1, 1, 0);
    const R keep_p = V::set1(uint16_t(256 - p.P));
    const R pd_lo = V::pixel(uint16_t(p.pdab[0]), uint16_t(p.pdab[1]), uint16_t(p.pdab[2]),
                             uint16_t(p.pdab[3]));
    const R pd_hi = V::pixel(uint16_t(p.pdab[0] >> 16), uint16_t(p.pdab[1] >> 16),
                             uint16_t(p.pdab[2] >> 16), uint16_t(p.pdab[3] >> 16));
    const R strength = V::set1(uint16_t(p.B));
    const R keep_b = V::set1(uint16_t(256 - p.B));
    const R level = V::set1(p.alpha_level);
    const R erase_floor = V::set1(uint16_t(kBlobEraseFloor));
    // (x + y) >> 8 from the halves of x and y, x + y < 2^24.
    const auto sum_shr8 = [&](R xlo, R xhi, R ylo, R yhi) {
        const R lo = V::add(xlo, ylo);
        const R carry = V::xor_(V::cmpeq(V::adds(xlo, ylo), lo), ones);
        const R hi = V::sub(V::add(xhi, yhi), carry);
        return V::or_(V::shl8(hi), V::shr8(lo));
    };
    constexpr size_t kAhead = 3;
    for (size_t r = 0; r < f.row_count; ++r) {
        const BlendRow row = blend_row(f, r);
        const uint16_t* mask_row = row.mask && selects_all(row.mask, f.count) ? nullptr : row.mask;
        if (r + kAhead < f.row_count) {
            const char* next = reinterpret_cast<const char*>(row.dst + kAhead * f.dst_stride);
            for (size_t off = 0; off < f.count * 8; off += 64) _mm_prefetch(next + off, _MM_HINT_T0);
            if (f.texture)
                for (size_t off = 0; off < f.count; off += 64)
                    _mm_prefetch(reinterpret_cast<const char*>(row.texture + kAhead * f.canvas_stride) + off,
                                 _MM_HINT_T0);
        }
        const bool run = f.cols == nullptr;
        size_t j = 0;
        for (; j + N <= f.count; j += N) {
            uint16_t shape_at[N];
            uint8_t grit_at[N];
            uint16_t blend_at[4 * N];
            const uint16_t* sp;
            const uint8_t* gp;
            uint16_t* bp;
            if (run) {
                const size_t col = size_t(f.first_col) + j;
                sp = row.shape + col;
                gp = row.grit ? row.grit + col : nullptr;
                bp = row.blend + col * 4;
            } else {
                for (size_t k = 0; k < N; ++k) {
                    const size_t col = size_t(f.cols[j + k]);
                    shape_at[k] = row.shape[col];
                    if (row.grit) grit_at[k] = row.grit[col];
                    std::memcpy(blend_at + 4 * k, row.blend + col * 4, 8);
                }
                sp = shape_at;
                gp = row.grit ? grit_at : nullptr;
                bp = blend_at;
            }

            __m128i m = V::compact(sp);
            if (!p.alpha_full)  // (s x alpha scaled) >> 7 with alpha scaled 0..128
                m = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epu16(m, scale), 9),
                                 _mm_srli_epi16(_mm_mullo_epi16(m, scale), 7));
            if (row.texture) {  // (M x t) >> 8 below 2^16 for t < 255
                const __m128i t = bytes4(row.texture + j);
                const __m128i mt = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epu16(m, t), 8),
                                                _mm_srli_epi16(_mm_mullo_epi16(m, t), 8));
                m = select16(_mm_cmpeq_epi16(t, no_texture), m, mt);
            }
            if (mask_row) {
                const __m128i w = V::compact(mask_row + j);
                m = select16(_mm_cmpeq_epi16(w, ones16), m, _mm_mulhi_epu16(m, w));
            }
            __m128i skip16 = _mm_cmpeq_epi16(m, zero16);
            if (gp) skip16 = _mm_or_si128(skip16, _mm_cmpgt_epi16(bytes4(gp), threshold));
            if ((_mm_movemask_epi8(skip16) & kAllSkipped) == kAllSkipped) continue;
            if (p.solid) m = _mm_andnot_si128(skip16, ones16);
            R M = V::spread(m);
            const R skip = V::spread(skip16);

            const R bl = V::load(bp);
            R src = bl;
            if (p.image_brush) {  // ba < 65535: M = max((M x ba) >> 16, 1), ba = 65535
                const R thin = V::xor_(V::cmpeq(V::alpha_spread(bl), ones), ones);
                R mi = V::mulhi(M, V::alpha_spread(bl));
                mi = V::sub(mi, V::cmpeq(mi, zero));
                M = V::select(thin, mi, M);
                src = V::or_(bl, V::and_(thin, alpha_lanes));
            }
            R c = src;
            if (p.P != 0) c = sum_shr8(V::mullo(keep_p, src), V::mulhi(keep_p, src), pd_lo, pd_hi);
            const R a = V::alpha_spread(c);

            uint16_t* px = row.dst + j * 4;
            const R d = V::load(px);
            const R fa = V::alpha_spread(d);
            const R clear = V::cmpeq(fa, zero);
            const R no_paint = V::cmpeq(a, zero);
            const R mc = V::sub(zero, M);
            const R x = V::mullo(mc, d), y = V::mullo(M, c);
            const R mixed =
                V::add(V::add(V::mulhi(mc, d), V::mulhi(M, c)),
                       V::shr8(V::add(V::shr8(x), V::shr8(y))));
            R out = V::select(V::and_(no_paint, colour_lanes), d, mixed);
            out = V::select(clear, V::select(alpha_lanes, V::mulhi(M, c), c), out);

            if (p.remix) {  // ((256 - B) d + B c) >> 8; + 1 on colour, inside the min
                const R mix = sum_shr8(V::mullo(keep_b, d), V::mulhi(keep_b, d),
                                       V::mullo(strength, c), V::mulhi(strength, c));
                const R col = V::select(no_paint, d, V::select(clear, c, V::adds(mix, plus_one)));
                V::store(bp, V::select(skip, bl, V::select(alpha_lanes, mix, col)));
                if (!run)
                    for (size_t k = 0; k < N; ++k)
                        std::memcpy(row.blend + size_t(f.cols[j + k]) * 4, blend_at + 4 * k, 8);
            }

            R res;
            if (p.erase) {
                R ua = out;
                if (p.blob) {  // only where f > 8191, never below 9215
                    const R thick = V::xor_(V::cmpeq(V::shr13(fa), zero), ones);
                    ua = V::select(thick, V::adds(V::subs(out, erase_floor), erase_floor), d);
                }
                res = V::select(alpha_lanes, ua, d);
            } else {
                res = p.colour_locked ? d : out;
                R ua = d;
                if (p.write_alpha) {
                    ua = p.alpha_level ? level : out;
                    if (p.blob) {  // only where f > 8191 and u > 8191
                        const R thin = V::or_(V::cmpeq(V::shr13(fa), zero),
                                              V::cmpeq(V::shr13(out), zero));
                        ua = V::select(thin, d, ua);
                    }
                }
                res = V::select(alpha_lanes, ua, res);
            }
            V::store(px, V::select(skip, d, res));
        }
        for (; j < f.count; ++j) blend_pixel_at(p, f, row, j);
    }
}

#endif

}  // namespace
}  // namespace qrn::brush::detail

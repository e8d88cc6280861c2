// The plain dab's pixel formula, scalar and as a vector loop over 16-bit lanes,
// shared by the SSE2 (dab_plain.cpp) and AVX2 (dab_plain_avx2.cpp) builds.
// Everything here has internal linkage on purpose: each including file compiles
// its own copy for its own instruction set, and the linker must never pick one
// copy for the other.
#pragma once
#include <cstddef>
#include <cstdint>

#include "brush/dab_lanes.h"
#include "brush/dab_plain.h"
#include "brush/dab_strength.h"

namespace qrn::brush::detail {
namespace {

// Paint-over of the constant dab colour (c, a) with coverage M:
//   f = 0:   r = c, u = (M a) >> 16
//   else:    e = M a / 65535, u = f + (65535 - f) e / 65535,
//            r = ((d f >> 16) (65535 - e) / 65535 + (e c >> 16)) 65535 / u
// For an opaque destination u = 65535 and the sum never exceeds 65535, so the
// final x 65535 / u gives the sum back exactly.
inline void plain_pixel(const PlainDab& p, uint32_t s, uint32_t w, uint16_t* px) {
    uint32_t m = opacity_strength(p.alpha_full, p.alpha_scaled, s);
    if (w < 65535) m = (m * w) >> 16;
    if (m == 0) return;
    if (p.solid) m = 65535;
    const uint32_t a = p.alpha;
    const uint32_t f = px[3];
    uint32_t u;
    if (f == 0) {
        px[0] = p.colour[0];
        px[1] = p.colour[1];
        px[2] = p.colour[2];
        u = (m * a) >> 16;
    } else {
        const uint32_t e = m * a / 65535;
        if (f == 65535) {
            u = 65535;
            for (int k = 0; k < 3; ++k)
                px[k] = uint16_t((px[k] * 65535u >> 16) * (65535 - e) / 65535 +
                                 ((e * p.colour[k]) >> 16));
        } else {
            u = f + (65535 - f) * e / 65535;
            for (int k = 0; k < 3; ++k)
                px[k] =
                    uint16_t(((px[k] * f >> 16) * (65535 - e) / 65535 + ((e * p.colour[k]) >> 16)) *
                             65535 / u);
        }
    }
    if (p.write_alpha) px[3] = uint16_t(p.alpha_level ? p.alpha_level : u);
}

inline uint32_t shape_at(const uint16_t* shape_row, const int32_t* cols, const uint16_t* run,
                         size_t j) {
    return run ? run[j] : shape_row[cols[j]];
}

inline void plain_scalar(const PlainDab& p, const PlainRows& f) {
    for (size_t r = 0; r < f.row_count; ++r) {
        const uint16_t* shape_row = f.shape + size_t(f.rows[r]) * f.shape_stride;
        const uint16_t* run = f.cols ? nullptr : shape_row + f.first_col;
        const uint16_t* mask_row = f.mask ? f.mask + r * f.mask_stride : nullptr;
        uint16_t* dst = f.dst + r * f.dst_stride;
        for (size_t j = 0; j < f.count; ++j)
            plain_pixel(p, shape_at(shape_row, f.cols, run, j), mask_row ? mask_row[j] : 65535,
                        dst + j * 4);
    }
}

#ifdef QRN_DAB_SSE2

// V::kPixels pixels at a time, every product a 16 x 16-bit one: mulhi gives
// >> 16 directly, and mullo with mulhi give both halves x = hi:lo for the
// divisions by 65535, done exactly as (x + (x >> 16) + 1) >> 16, which is
// hi + the carry of lo + hi + 1 (checked for every x up to 65535 x 65535).
// Coverage is worked out on the compact values, one lane a pixel, then spread
// to the pixel's four lanes. Only a group with a partly transparent
// destination pays for the division by u (V::div_by, in double). The
// constants are made once a dab; the last count % kPixels pixels of a row go
// to plain_pixel.
template <class V>
void plain_vector(const PlainDab& p, const PlainRows& f) {
    using R = typename V::R;
    constexpr size_t N = V::kPixels;
    constexpr int kAllSkipped = (1 << (2 * N)) - 1;
    const __m128i ones16 = _mm_set1_epi16(-1);
    const __m128i zero16 = _mm_setzero_si128();
    const __m128i scale = _mm_set1_epi16(short(p.alpha_scaled));
    const R ones = V::set1(0xFFFF);
    const R zero = V::set1(0);
    const R colour = V::pixel(p.colour[0], p.colour[1], p.colour[2], 0);
    const R alpha = V::set1(p.alpha);
    const R alpha_lanes = V::pixel(0, 0, 0, 0xFFFF);
    const R level = V::set1(p.alpha_level);
    const bool alpha_is_full = p.alpha == 65535;
    const auto div65535 = [&](R lo, R hi) { return V::sub(hi, V::cmpeq(V::adds(lo, hi), ones)); };
    // Canvas rows lie a layer row apart, beyond what the hardware prefetcher
    // follows: ask for the row three ahead while painting this one.
    constexpr size_t kAhead = 3;
    for (size_t r = 0; r < f.row_count; ++r) {
        const uint16_t* shape_row = f.shape + size_t(f.rows[r]) * f.shape_stride;
        const uint16_t* run = f.cols ? nullptr : shape_row + f.first_col;
        const uint16_t* mask_row = f.mask ? f.mask + r * f.mask_stride : nullptr;
        if (mask_row && selects_all(mask_row, f.count)) mask_row = nullptr;
        uint16_t* dst = f.dst + r * f.dst_stride;
        if (r + kAhead < f.row_count) {
            const char* next = reinterpret_cast<const char*>(dst + kAhead * f.dst_stride);
            for (size_t off = 0; off < f.count * 8; off += 64)
                _mm_prefetch(next + off, _MM_HINT_T0);
            if (f.mask) {
                const char* nm =
                    reinterpret_cast<const char*>(f.mask + (r + kAhead) * f.mask_stride);
                for (size_t off = 0; off < f.count * 2; off += 64)
                    _mm_prefetch(nm + off, _MM_HINT_T0);
            }
        }
        size_t j = 0;
        for (; j + N <= f.count; j += N) {
            uint16_t gathered[N];
            const uint16_t* s_at = run ? run + j : gathered;
            if (!run)
                for (size_t k = 0; k < N; ++k) gathered[k] = shape_row[f.cols[j + k]];
            __m128i m = V::compact(s_at);
            if (!p.alpha_full)  // (s x alpha scaled) >> 7 with alpha scaled 0..128
                m = _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epu16(m, scale), 9),
                                 _mm_srli_epi16(_mm_mullo_epi16(m, scale), 7));
            if (mask_row) {
                const __m128i w = V::compact(mask_row + j);
                m = select16(_mm_cmpeq_epi16(w, ones16), m, _mm_mulhi_epu16(m, w));
            }
            const __m128i skip16 = _mm_cmpeq_epi16(m, zero16);
            if ((_mm_movemask_epi8(skip16) & kAllSkipped) == kAllSkipped) continue;
            if (p.solid) m = _mm_andnot_si128(skip16, ones16);
            const R M = V::spread(m);
            const R skip = V::spread(skip16);

            uint16_t* px = dst + j * 4;
            const R d = V::load(px);
            const R fa = V::alpha_spread(d);
            const R clear = V::cmpeq(fa, zero);
            const R e = alpha_is_full ? M : div65535(V::mullo(M, alpha), V::mulhi(M, alpha));
            const R dk = V::mulhi(d, fa);
            const R keep = V::xor_(e, ones);
            R over = V::add(div65535(V::mullo(dk, keep), V::mulhi(dk, keep)), V::mulhi(e, colour));
            R u = ones;
            const R thin = V::andnot(V::or_(V::or_(skip, clear), V::cmpeq(fa, ones)), ones);
            if (V::any(thin)) {
                // u = f + (65535 - f) e / 65535; exact for opaque lanes too (u = 65535).
                const R rest = V::xor_(fa, ones);
                u = V::add(fa, div65535(V::mullo(rest, e), V::mulhi(rest, e)));
                over = V::div_by(over, V::sub(u, V::cmpeq(u, zero)));  // u = 0 only where f = 0
            }
            R out = V::select(clear, colour, over);
            if (p.write_alpha) {
                const R ua = p.alpha_level ? level : V::select(clear, V::mulhi(M, alpha), u);
                out = V::select(alpha_lanes, ua, out);
            } else {
                out = V::select(alpha_lanes, d, out);
            }
            V::store(px, V::select(skip, d, out));
        }
        for (; j < f.count; ++j)
            plain_pixel(p, shape_at(shape_row, f.cols, run, j), mask_row ? mask_row[j] : 65535,
                        dst + j * 4);
    }
}

#endif

}  // namespace
}  // namespace qrn::brush::detail

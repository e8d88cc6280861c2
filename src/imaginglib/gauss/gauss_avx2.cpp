// The Gaussian blur's two passes for AVX2, sixteen values a step; called only
// after a run-time check of the processor. The tails run the plain loops.
#include "imaginglib/gauss/gauss_loops.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace qrn::imaginglib::gauss {

#if defined(__AVX2__)
namespace {

// Weights k and k + 1 in every 32-bit lane, for madd on interleaved values.
inline __m256i weight_pair(const int16_t* w) {
    return _mm256_set1_epi32(int32_t(uint16_t(w[0])) | int32_t(uint32_t(uint16_t(w[1])) << 16));
}

inline __m128i load16(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline __m256i load16x16(const int16_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

}  // namespace

bool vertical_avx2(const VerticalJob& job) {
    const __m256i round = _mm256_set1_epi32(1 << (kVerticalShift - 1));
    size_t i = 0;
    for (; i + 16 <= job.n; i += 16) {
        __m256i lo = round, hi = round;
        for (int32_t k = 0; k < job.taps; k += 2) {
            const __m256i a = _mm256_cvtepu8_epi16(load16(job.rows[k] + i));
            const __m256i b = _mm256_cvtepu8_epi16(load16(job.rows[k + 1] + i));
            const __m256i wk = weight_pair(job.weights + k);
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), wk));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), wk));
        }
        // unpack and packs both work within 128-bit lanes, so the order returns.
        const __m256i v = _mm256_packs_epi32(_mm256_srai_epi32(lo, kVerticalShift),
                                             _mm256_srai_epi32(hi, kVerticalShift));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(job.mid + i), v);
    }
    vertical_scalar(job, i);
    return true;
}

bool horizontal_avx2(const HorizontalJob& job) {
    const __m256i round = _mm256_set1_epi32(1 << (kHorizontalShift - 1));
    const size_t step = size_t(job.step);
    size_t i = 0;
    for (; i + 16 <= job.n; i += 16) {
        __m256i lo = round, hi = round;
        const int16_t* p = job.line + i;
        for (int32_t k = 0; k < job.taps; k += 2) {
            const __m256i a = load16x16(p + size_t(k) * step);
            const __m256i b = load16x16(p + size_t(k + 1) * step);
            const __m256i wk = weight_pair(job.weights + k);
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), wk));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), wk));
        }
        const __m256i v = _mm256_packs_epi32(_mm256_srai_epi32(lo, kHorizontalShift),
                                             _mm256_srai_epi32(hi, kHorizontalShift));
        // Bytes 0-7 sit in the low lane, 8-15 in the high one: gather both halves.
        const __m256i b = _mm256_permute4x64_epi64(_mm256_packus_epi16(v, v), 0x08);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(job.out + i), _mm256_castsi256_si128(b));
    }
    horizontal_scalar(job, i);
    return true;
}

#else

bool vertical_avx2(const VerticalJob&) { return false; }
bool horizontal_avx2(const HorizontalJob&) { return false; }

#endif

}  // namespace qrn::imaginglib::gauss

// The filtered resizes' loops built for AVX2; called only after a run-time
// check of the processor. Integer sums without overflow (see settle), so the
// order in which the lanes add up cannot change a byte.
#include "imaginglib/resample/resample_loops.h"

#if defined(__AVX2__)
#include <immintrin.h>
#endif

namespace qrn::imaginglib::detail {

#if defined(__AVX2__)
namespace {

// settle() on eight sums at once.
inline __m256i settle8(__m256i sum) {
    const __m256i round = _mm256_set1_epi32((kSampleBias << kWeightBits) + (1 << (kWeightBits - 1)));
    __m256i v = _mm256_srai_epi32(_mm256_add_epi32(sum, round), kWeightBits);
    v = _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(kSampleMax));
    return _mm256_sub_epi32(v, _mm256_set1_epi32(kSampleBias));
}

inline __m128i settle4(__m128i sum) {
    const __m128i round = _mm_set1_epi32((kSampleBias << kWeightBits) + (1 << (kWeightBits - 1)));
    __m128i v = _mm_srai_epi32(_mm_add_epi32(sum, round), kWeightBits);
    v = _mm_min_epi32(_mm_max_epi32(v, _mm_setzero_si128()), _mm_set1_epi32(kSampleMax));
    return _mm_sub_epi32(v, _mm_set1_epi32(kSampleBias));
}

}  // namespace

bool premultiply_avx2(const uint8_t* src, size_t pixels, int16_t* out) {
    // Alpha (word 3 of each pixel) copied over its pixel's words.
    const __m256i spread = _mm256_setr_epi8(6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15,
                                            6, 7, 6, 7, 6, 7, 6, 7, 14, 15, 14, 15, 14, 15, 14, 15);
    const __m256i k255 = _mm256_set1_epi16(255);
    const __m256i bias = _mm256_set1_epi16(int16_t(0x8000));
    size_t i = 0;
    for (; i + 4 <= pixels; i += 4) {
        const __m256i v = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4)));
        // Colour x alpha and alpha x 255, both at most 65025: the low 16 bits
        // of the product are the whole unsigned value; xor 0x8000 subtracts the bias.
        const __m256i m = _mm256_blend_epi16(_mm256_shuffle_epi8(v, spread), k255, 0x88);
        const __m256i p = _mm256_xor_si256(_mm256_mullo_epi16(v, m), bias);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * 4), p);
    }
    if (i < pixels) premultiply_scalar(src + i * 4, pixels - i, out + i * 4);
    return true;
}

bool horizontal_avx2(const int16_t* in, const AxisWeights& ax, int16_t* out) {
    // Four pixels R0 G0 B0 A0 R1 .. | R2 .. A3 regrouped per lane into
    // R0 R1 G0 G1 B0 B1 A0 A1 | R2 R3 ..: one madd then sums two taps a lane.
    const __m256i pair = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,
                                          0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
    const __m256i low_high = _mm256_setr_epi32(0, 0, 0, 0, 1, 1, 1, 1);
    const size_t taps = size_t(ax.taps);
    const int16_t* w = ax.weights.data();
    for (int32_t f : ax.first) {
        const int16_t* p = in + int64_t(f) * 4;
        __m256i acc = _mm256_setzero_si256();
        for (size_t k = 0; k < taps; k += 4) {
            const __m256i px = _mm256_shuffle_epi8(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k * 4)), pair);
            const __m256i wk = _mm256_permutevar8x32_epi32(
                _mm256_castsi128_si256(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + k))),
                low_high);
            acc = _mm256_add_epi32(acc, _mm256_madd_epi16(px, wk));
        }
        const __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(settle4(sum), sum));
        out += 4;
        w += taps;
    }
    return true;
}

bool vertical_avx2(const VerticalJob& job) {
    size_t i = 0;
    for (; i + 16 <= job.n; i += 16) {
        __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
        for (int32_t k = 0; k < job.taps; k += 2) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(job.rows[k] + i));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(job.rows[k + 1] + i));
            const __m256i wk = _mm256_set1_epi32(int32_t(uint16_t(job.weights[k])) |
                                                 int32_t(uint32_t(uint16_t(job.weights[k + 1])) << 16));
            lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_unpacklo_epi16(a, b), wk));
            hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_unpackhi_epi16(a, b), wk));
        }
        // unpacklo/hi and packs work per 128-bit lane alike, so the order returns.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(job.out + i),
                            _mm256_packs_epi32(settle8(lo), settle8(hi)));
    }
    for (; i < job.n; ++i) {
        int32_t sum = 0;
        for (int32_t k = 0; k < job.taps; ++k) sum += job.weights[k] * job.rows[k][i];
        job.out[i] = settle(sum);
    }
    return true;
}

#else

bool premultiply_avx2(const uint8_t*, size_t, int16_t*) { return false; }
bool horizontal_avx2(const int16_t*, const AxisWeights&, int16_t*) { return false; }
bool vertical_avx2(const VerticalJob&) { return false; }

#endif

}  // namespace qrn::imaginglib::detail

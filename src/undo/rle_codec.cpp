// Run-length line codecs and the layer and mask line transfers built on them.
// Runs are found by comparing whole pixels with their low bytes masked off, so an
// RGBA pixel costs one 64-bit load and compare rather than four byte tests.
#include "undo/rle_codec.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>

#include "engine/layers.h"
#include "engine/pixel_format.h"

namespace qrn::undo {
namespace {

// Pixel words R, G, B, A sit at bits 0, 16, 32, 48 of a little-endian load.
static_assert(std::endian::native == std::endian::little);
constexpr uint64_t kHighBytes = 0xFF00FF00FF00FF00u;

inline uint64_t pixel_bits(const uint16_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The run length is capped at 255; an equal element after a full run starts the
// next run, which is the only way two neighbouring runs share a value.
inline size_t run_end(size_t i, size_t n) { return std::min(n, i + kMaxRunLength); }

// First element at or after j, before end, whose high byte is not key. Soft
// edges make many runs of one or two elements, which the first few plain tests
// settle; longer runs go sixteen high bytes a compare. Reads only before end.
inline size_t grey_run_end(const uint16_t* src, size_t j, size_t end, uint8_t key) {
    for (const size_t plain = std::min(end, j + 4); j < plain; ++j)
        if (narrow(src[j]) != key) return j;
    const __m128i want = _mm_set1_epi8(char(key));
    for (; j + 16 <= end; j += 16) {
        const __m128i lo =
            _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + j)), 8);
        const __m128i hi =
            _mm_srli_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + j + 8)), 8);
        const uint32_t differ =
            ~uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_packus_epi16(lo, hi), want))) & 0xFFFFu;
        if (differ) return j + size_t(std::countr_zero(differ));
    }
    while (j < end && narrow(src[j]) == key) ++j;
    return j;
}

inline void fill_pixels(uint16_t* d, int64_t n, uint64_t bits) {
    for (int64_t k = 0; k < n; ++k) std::memcpy(d + 4 * k, &bits, sizeof bits);
}

// Rows in canvas geometry: W elements a row, H rows.
bool row_on_canvas(const EngineState& st, int32_t row) {
    return row >= 0 && row < st.canvas.height && st.canvas.width > 0;
}

uint16_t* layer_row(EngineState& st, int32_t slot, int32_t row) {
    uint16_t* px = layers::canvas_view(st, slot);
    if (!px || !row_on_canvas(st, row)) return nullptr;
    return px + size_t(row) * size_t(st.canvas.width) * 4;
}

// The line codec stores the mask's content whether or not the mask is enabled:
// enabling only decides whether it weights edits. A mask smaller than the canvas
// (between a geometry change and the host's resize) counts as absent.
uint16_t* mask_row(EngineState& st, int32_t row) {
    uint16_t* m = layers::canvas_mask(st);
    if (!m || !row_on_canvas(st, row)) return nullptr;
    return m + size_t(row) * size_t(st.canvas.width);
}

}  // namespace

int32_t compress_rgba64(const uint16_t* src, uint8_t* out, int32_t count) noexcept {
    if (!src || !out || count <= 0 || count > kMaxRgbaCount) return 0;
    const size_t n = size_t(count);
    uint8_t* o = out;
    for (size_t i = 0; i < n;) {
        const uint64_t key = pixel_bits(src + 4 * i) & kHighBytes;
        const size_t end = run_end(i, n);
        size_t j = i + 1;
        while (j < end && (pixel_bits(src + 4 * j) & kHighBytes) == key) ++j;
        o[0] = uint8_t(j - i);
        o[1] = uint8_t(key >> 8);
        o[2] = uint8_t(key >> 24);
        o[3] = uint8_t(key >> 40);
        o[4] = uint8_t(key >> 56);
        o += kRgbaRunBytes;
        i = j;
    }
    return int32_t(o - out);
}

int32_t compress_g16(const uint16_t* src, uint8_t* out, int32_t count) noexcept {
    if (!src || !out || count <= 0 || count > kMaxGreyCount) return 0;
    const size_t n = size_t(count);
    uint8_t* o = out;
    for (size_t i = 0; i < n;) {
        const uint8_t key = narrow(src[i]);
        const size_t j = grey_run_end(src, i + 1, run_end(i, n), key);
        o[0] = uint8_t(j - i);
        o[1] = key;
        o += kGreyRunBytes;
        i = j;
    }
    return int32_t(o - out);
}

// The run count bounds the read: every line the encoders produce has at most
// `count` runs, and zero-length runs (skipped) count against it too. A last run
// longer than what is left is cut at element count - 1.
void uncompress_rgba32(const uint8_t* in, uint16_t* dst, int32_t count) noexcept {
    if (!in || !dst || count <= 0) return;
    const int64_t n = count;
    int64_t total = 0;
    for (int64_t runs = 0; runs < n && total < n; ++runs, in += kRgbaRunBytes) {
        const uint64_t bits = uint64_t(widen_shift(in[1])) | uint64_t(widen_shift(in[2])) << 16 |
                              uint64_t(widen_shift(in[3])) << 32 |
                              uint64_t(widen_shift(in[4])) << 48;
        fill_pixels(dst + total * 4, std::min<int64_t>(in[0], n - total), bits);
        total += in[0];
    }
}

void uncompress_g8(const uint8_t* in, uint16_t* dst, int32_t count) noexcept {
    if (!in || !dst || count <= 0) return;
    const int64_t n = count;
    int64_t total = 0;
    for (int64_t runs = 0; runs < n && total < n; ++runs, in += kGreyRunBytes) {
        std::fill_n(dst + total, std::min<int64_t>(in[0], n - total), widen_shift(in[1]));
        total += in[0];
    }
}

int32_t get_layer_line(EngineState& st, uint8_t* out, int32_t slot, int32_t row) {
    const uint16_t* p = layer_row(st, slot, row);
    return p ? compress_rgba64(p, out, st.canvas.width) : 0;
}

void put_layer_line(EngineState& st, const uint8_t* in, int32_t slot, int32_t row) {
    if (uint16_t* p = layer_row(st, slot, row)) uncompress_rgba32(in, p, st.canvas.width);
}

int32_t get_mask_line(EngineState& st, uint8_t* out, int32_t row) {
    const uint16_t* p = mask_row(st, row);
    return p ? compress_g16(p, out, st.canvas.width) : 0;
}

void put_mask_line(EngineState& st, const uint8_t* in, int32_t row) {
    if (uint16_t* p = mask_row(st, row)) uncompress_g8(in, p, st.canvas.width);
}

}  // namespace qrn::undo

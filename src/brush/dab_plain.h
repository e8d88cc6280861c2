// The plain dab (paint-over, no blend buffer, grit, texture, pixel variation,
// rotation, erase or locks), used by dab.cpp for the common settings.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::brush::detail {

struct PlainDab {
    uint16_t colour[3] = {};
    uint16_t alpha = 0;
    bool alpha_full = true;    // opacity 100: M = s
    int64_t alpha_scaled = 0;  // otherwise M = (s x alpha scaled) >> 7
    bool solid = false;
    bool write_alpha = false;
    uint16_t alpha_level = 0;  // 1..65535 replaces the result alpha
    bool wide = true;          // AVX2 where the processor has it; else SSE2 only
};

// The footprint of one plain dab: row r paints count pixels from
// dst + r x dst_stride words on, with the shape values of shape row rows[r]
// (shape_stride words a row) at columns first_col + j, or cols[j] when cols is
// set, and the mask words from mask + r x mask_stride on (mask null when the
// mask does not apply).
struct PlainRows {
    const uint16_t* shape = nullptr;
    size_t shape_stride = 0;
    const int32_t* rows = nullptr;
    const int32_t* cols = nullptr;
    int32_t first_col = 0;
    const uint16_t* mask = nullptr;
    size_t mask_stride = 0;
    uint16_t* dst = nullptr;
    size_t dst_stride = 0;
    size_t row_count = 0;
    size_t count = 0;
};

void paint_plain(const PlainDab& p, const PlainRows& f) noexcept;

// The AVX2 build of paint_plain (dab_plain_avx2.cpp); false, having painted
// nothing, when the library was built without it.
bool paint_plain_avx2(const PlainDab& p, const PlainRows& f) noexcept;

}  // namespace qrn::brush::detail

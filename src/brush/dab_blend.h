// The blend dab: paint-over (mode 32) with the blend buffer in use, with or
// without grit, canvas texture, mask, blend remix, image brush mode, erase and
// locks; no rotation and no pixel variation. Used by dab.cpp for those settings.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::brush::detail {

struct BlendDab {
    uint32_t pdab[4] = {};  // P x dab channel, P x dab alpha
    int32_t P = 0;          // primary colour strength, 0..256
    int32_t B = 1;          // blend strength, 1..256
    bool remix = false;
    bool image_brush = false;
    bool erase = false;
    bool colour_locked = false;
    bool blob = false;
    bool write_alpha = false;
    uint16_t alpha_level = 0;  // 1..65535 replaces the result alpha
    bool alpha_full = true;    // opacity 100: M = s
    int64_t alpha_scaled = 0;  // otherwise M = (s x alpha scaled) >> 7
    bool solid = false;
    int32_t density_threshold = 0;
    int32_t max_bits = 512;  // widest vectors to use where the processor has them: 128, 256, 512
};

// The footprint of one blend dab: row r paints count pixels from
// dst + r x dst_stride words on. Its samples come from brush row rows[r], at
// columns first_col + j, or cols[j] when cols is set: the shape (shape_stride
// words a row), the grit (grit_stride bytes a row, already at the grit run; null
// without grit) and the blend buffer (blend_stride words a row, four a sample).
// Texture bytes and mask words come from texture and mask + r x canvas_stride
// on (null when they do not apply). distinct says no two columns sample the
// same place, so a row's blend pixels may be remixed a group at a time.
struct BlendRows {
    const uint16_t* shape = nullptr;
    size_t shape_stride = 0;
    const uint8_t* grit = nullptr;
    size_t grit_stride = 0;
    uint16_t* blend = nullptr;
    size_t blend_stride = 0;
    const int32_t* rows = nullptr;
    const int32_t* cols = nullptr;
    int32_t first_col = 0;
    bool distinct = true;
    const uint8_t* texture = nullptr;
    const uint16_t* mask = nullptr;
    size_t canvas_stride = 0;
    uint16_t* dst = nullptr;
    size_t dst_stride = 0;
    size_t row_count = 0;
    size_t count = 0;
};

void paint_blend(const BlendDab& p, const BlendRows& f) noexcept;

// The AVX2 and AVX-512 builds of paint_blend's vector loop (dab_blend_avx2.cpp,
// dab_blend_avx512.cpp); false, having painted nothing, when the library was
// built without them.
bool paint_blend_avx2(const BlendDab& p, const BlendRows& f) noexcept;
bool paint_blend_avx512(const BlendDab& p, const BlendRows& f) noexcept;

}  // namespace qrn::brush::detail

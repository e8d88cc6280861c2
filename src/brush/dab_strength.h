// The dab's opacity step, shared by the reference loop and the specialised
// ones: at opacity 100 the shape value s passes unchanged, otherwise
// (s x alpha scaled) >> 7 held to 0..65535.
#pragma once
#include <cstdint>

namespace qrn::brush::detail {

inline uint32_t opacity_strength(bool alpha_full, int64_t alpha_scaled, uint32_t s) {
    if (alpha_full) return s;
    const int64_t v = (int64_t(s) * alpha_scaled) >> 7;
    return uint32_t(v < 0 ? 0 : (v > 65535 ? 65535 : v));
}

}  // namespace qrn::brush::detail

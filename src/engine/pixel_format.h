// How channels widen, narrow and order; the one place that knows it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>

namespace qrn {

struct Rgba64 {
    uint16_t r, g, b, a;  // straight colour; a == 0xFFFF is opaque
    bool operator==(const Rgba64&) const = default;
};

// Two widenings, both on purpose: host loads and colour setters shift
// (255 -> 0xFF00); image-brush fills and layer colour-alpha replicate
// (255 -> 0xFFFF). Narrowing keeps the high byte and truncates.
constexpr uint16_t widen_shift(uint8_t v) { return uint16_t(v << 8); }
constexpr uint16_t widen_replicate(uint8_t v) { return uint16_t(v * 257u); }
constexpr uint8_t narrow(uint16_t v) { return uint8_t(v >> 8); }

// Row address of a host buffer; strides are signed so bottom-up images work.
template <class T>
inline T* row_at(T* base, int64_t stride_bytes, int64_t row) {
    using Byte = std::conditional_t<std::is_const_v<T>, const uint8_t, uint8_t>;
    return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) + static_cast<std::ptrdiff_t>(row * stride_bytes));
}

}  // namespace qrn

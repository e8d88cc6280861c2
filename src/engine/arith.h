// Arithmetic helpers shared by every kernel: the one real-to-integer conversion,
// 64-bit size checks, and the engine's random generator.
#pragma once
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace qrn {

// Thrown for input a subsystem cannot handle safely; the export guard reports it.
struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Truncates toward zero; NaN gives 0 and out-of-range values saturate, so no
// host value can reach undefined behaviour through a conversion.
constexpr int32_t trunc_i32(double v) {
    if (v != v) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

constexpr int kMaxSide = 10000;

// A side length the engine is willing to allocate for.
constexpr bool valid_side(int64_t v) { return v >= 1 && v <= kMaxSide; }

// Saturates a 64-bit count to the int32 range of the C API.
constexpr int32_t saturate_i32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

// The 32-bit Windows C runtime generator: hosts replay recorded paintings, so the
// sequence (seed 1: 41, 18467, 6334, ...) must be the same on every platform.
class Rng {
public:
    void seed(uint32_t s) { state_ = s; }
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFFu);
    }
    uint32_t state() const { return state_; }

private:
    uint32_t state_ = 1;  // the C runtime's state before any srand
};

}  // namespace qrn

// The 8-bit adjustment filters' exceptions: the (alpha, colour) pairs where the
// double-precision formula falls just below the exact integer quotient, so an
// integer or single-precision loop must give one less there. Found at compile
// time by the same double arithmetic the scalar reference runs.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace qrn::composite::detail {
namespace {

// Pre-filter, trunc((a / 255) x (c + 1)) against a(c + 1) / 255: keys a << 8 | c.
constexpr int kPreExceptionCount = [] {
    int count = 0;
    for (uint32_t a = 1; a < 255; ++a)
        for (uint32_t c = 0; c < 256; ++c)
            count += int((a / 255.0) * (c + 1)) != int(a * (c + 1) / 255);
    return count;
}();
constexpr auto kPreExceptions = [] {
    std::array<uint16_t, kPreExceptionCount> keys{};
    size_t k = 0;
    for (uint32_t a = 1; a < 255; ++a)
        for (uint32_t c = 0; c < 256; ++c)
            if (int((a / 255.0) * (c + 1)) != int(a * (c + 1) / 255))
                keys[k++] = uint16_t(a << 8 | c);
    return keys;
}();
static_assert(kPreExceptionCount <= 16, "each exception is a compare a step");
// Every exception is one below the exact quotient, never above.
static_assert([] {
    for (uint16_t key : kPreExceptions) {
        const uint32_t a = key >> 8, c = key & 0xFF;
        if (int((a / 255.0) * (c + 1)) != int(a * (c + 1) / 255) - 1) return false;
    }
    return true;
}());

// Post-filter, min(trunc((255 / a) x c), 255) against min(255c / a, 255): a bit
// per key a << 8 | c. Every exception has a whole quotient.
constexpr bool post_exception(uint32_t a, uint32_t c) {
    return uint32_t(std::min(int((255.0 / a) * c), 255)) != std::min<uint32_t>(255 * c / a, 255);
}
constexpr auto kPostExceptions = [] {
    std::array<uint64_t, 1024> bits{};
    for (uint32_t a = 1; a < 256; ++a)
        for (uint32_t c = 1; c < 256; ++c)
            if (post_exception(a, c)) {
                const uint32_t key = a << 8 | c;
                bits[key >> 6] |= uint64_t(1) << (key & 63);
            }
    return bits;
}();
// Every exception is one below the exact quotient.
static_assert([] {
    for (uint32_t a = 1; a < 256; ++a)
        for (uint32_t c = 1; c < 256; ++c) {
            const int exact = int(std::min<uint32_t>(255 * c / a, 255));
            const int dbl = std::min(int((255.0 / a) * c), 255);
            if (dbl != exact && dbl != exact - 1) return false;
        }
    return true;
}());

inline bool is_post_exception(uint32_t key) { return kPostExceptions[key >> 6] >> (key & 63) & 1; }

// The vector post-filters' fix-up: bit c x L + lane of `lanes` flags channel c
// of pixel `lane` in a step of L pixels at px, whose bytes before filtering are
// in orig; a flagged pair that is listed takes one off its result.
template <int L>
void lower_post_exceptions(uint8_t* px, const uint8_t* orig, uint64_t lanes) {
    for (; lanes != 0; lanes &= lanes - 1) {
        const int bit = __builtin_ctzll(lanes), lane = bit % L, c = bit / L;
        const uint32_t key = uint32_t(orig[4 * lane + 3]) << 8 | orig[4 * lane + c];
        if (is_post_exception(key)) --px[4 * lane + c];
    }
}

}  // namespace
}  // namespace qrn::composite::detail

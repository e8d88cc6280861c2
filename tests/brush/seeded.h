// Splitmix-style generator of the brush tests' own, so the engine's sequence
// stays untouched.
#pragma once
#include <cstdint>

namespace qrn::test_support {

struct Seeded {
    uint64_t s;
    uint32_t next() {
        s += 0x9E3779B97F4A7C15ull;
        uint64_t z = (s ^ (s >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return uint32_t((z ^ (z >> 31)) >> 16);
    }
    int below(int n) { return int(next() % uint32_t(n)); }
    bool one_in(int n) { return below(n) == 0; }
    uint16_t word() { return uint16_t(next()); }
};

}  // namespace qrn::test_support

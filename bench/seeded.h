// Seeded xorshift for benchmark inputs: the same pixels for every entry and
// every run, and never the engine's own generator.
#pragma once
#include <cstdint>

namespace qrn::bench {

struct Seeded {
    uint32_t s;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    int below(int n) { return int(next() % uint32_t(n)); }
};

}  // namespace qrn::bench

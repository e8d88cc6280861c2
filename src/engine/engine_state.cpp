// The process-wide engine state and the last-error text.
#include "engine/engine_state.h"

#include <cstring>

namespace qrn {

void LastError::set(const char* msg) {
    if (!msg) return;
    constexpr size_t kMax = kLastErrorBytes - 1;
    size_t n = 0;
    while (n < kMax && msg[n] != '\0') ++n;
    std::memcpy(text, msg, n);
    std::memset(text + n, 0, kMax - n);
}

void LastError::set_failure(const char* op) {
    char buf[kLastErrorBytes] = {};
    size_t n = 0;
    for (const char* p = op ? op : ""; *p && n < kLastErrorBytes - 8; ++p) buf[n++] = *p;
    std::memcpy(buf + n, " Excpt", 7);
    set(buf);
}

EngineState& engine() {
    static EngineState state;
    return state;
}

}  // namespace qrn

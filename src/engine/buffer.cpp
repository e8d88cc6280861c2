// Aligned allocation behind every engine buffer, plus the failure-injection hook.
#include "engine/buffer.h"

#include <cstdlib>

namespace qrn {
namespace {
// Test-only counters; the engine itself is single-threaded.
long g_fail_after = -1;
long g_fail_next = 0;
long g_live = 0;
}  // namespace

namespace alloc_hook {
void fail_after(long n) { g_fail_after = n; }
void fail_next(long n) { g_fail_next = n; }
void reset() {
    g_fail_after = -1;
    g_fail_next = 0;
}
long live_blocks() { return g_live; }
}  // namespace alloc_hook

void* aligned_alloc_bytes(std::size_t bytes) noexcept {
    if (g_fail_next > 0) {
        --g_fail_next;
        return nullptr;
    }
    if (g_fail_after == 0) return nullptr;
    if (g_fail_after > 0) --g_fail_after;
    const std::size_t rounded = (bytes + 63) & ~std::size_t(63);
    if (rounded < bytes) return nullptr;
    void* p = std::aligned_alloc(64, rounded);
    if (p) ++g_live;
    return p;
}

void aligned_free_bytes(void* p) noexcept {
    if (!p) return;
    --g_live;
    std::free(p);
}

}  // namespace qrn

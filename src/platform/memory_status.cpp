// Linux memory status from /proc/meminfo and the address-space limit.
#include "platform/memory_status.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <optional>

namespace qrn::platform {
namespace {
std::optional<MemoryStatus> g_fake;

uint64_t meminfo_kb(const char* key) {
    std::FILE* f = std::fopen("/proc/meminfo", "r");
    if (!f) return 0;
    char line[256];
    uint64_t value = 0;
    const size_t klen = std::strlen(key);
    while (std::fgets(line, sizeof line, f)) {
        if (std::strncmp(line, key, klen) == 0 && line[klen] == ':') {
            unsigned long long v = 0;
            if (std::sscanf(line + klen + 1, "%llu", &v) == 1) value = v;
            break;
        }
    }
    std::fclose(f);
    return value;
}
}  // namespace

MemoryStatus memory_status() {
    if (g_fake) return *g_fake;
    MemoryStatus m;
    m.total_phys = meminfo_kb("MemTotal") * 1024;
    m.avail_phys = meminfo_kb("MemAvailable") * 1024;
    // The page file's counterpart is the commit limit: RAM plus swap under the
    // kernel's overcommit rules. Headroom is what is not yet committed.
    const uint64_t limit = meminfo_kb("CommitLimit") * 1024;
    const uint64_t committed = meminfo_kb("Committed_AS") * 1024;
    const uint64_t swap_total = meminfo_kb("SwapTotal") * 1024;
    const uint64_t swap_free = meminfo_kb("SwapFree") * 1024;
    m.total_page = limit > m.total_phys + swap_total ? limit : m.total_phys + swap_total;
    const uint64_t headroom = limit > committed ? limit - committed : 0;
    const uint64_t avail_ram_swap = m.avail_phys + swap_free;
    m.avail_page = headroom > avail_ram_swap ? headroom : avail_ram_swap;
    // 64-bit address space: report the rlimit when one is set, else 128 TiB.
    rlimit rl{};
    uint64_t vtotal = uint64_t(1) << 47;
    if (getrlimit(RLIMIT_AS, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) vtotal = rl.rlim_cur;
    m.total_virtual = vtotal;
    uint64_t vm_size = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        unsigned long long pages = 0;
        if (std::fscanf(f, "%llu", &pages) == 1) vm_size = pages * uint64_t(sysconf(_SC_PAGESIZE));
        std::fclose(f);
    }
    m.avail_virtual = vtotal > vm_size ? vtotal - vm_size : 0;
    return m;
}

void set_fake_memory_status(const MemoryStatus* fake) {
    if (fake) g_fake = *fake;
    else g_fake.reset();
}

}  // namespace qrn::platform

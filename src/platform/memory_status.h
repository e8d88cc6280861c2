// Memory figures of the machine, for the memory getters and the undo budget.
#pragma once
#include <cstdint>

namespace qrn::platform {

struct MemoryStatus {
    uint64_t total_phys = 0, avail_phys = 0;
    uint64_t total_page = 0, avail_page = 0;      // commit limit and headroom
    uint64_t total_virtual = 0, avail_virtual = 0;
};

MemoryStatus memory_status();

// Tests pin the figures; null returns to the live reading.
void set_fake_memory_status(const MemoryStatus* fake);

}  // namespace qrn::platform

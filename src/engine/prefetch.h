// Prefetch for streaming passes over canvas-sized buffers. A loop that spends
// tens of instructions on each cache line cannot run far enough ahead for the
// processor to fetch the next lines in time, so without this it waits on every
// one. A kilobyte ahead covers the memory latency at these loops' rates; asking
// past the end of a buffer is harmless (a prefetch never faults).
#pragma once

namespace qrn {

inline void prefetch_ahead(const void* p) {
    __builtin_prefetch(static_cast<const char*>(p) + 1024, 0, 3);
}

}  // namespace qrn

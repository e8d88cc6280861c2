// What the sweeps compare before and after a call: the layer count, the current
// layer, the undo counts, and the pixels of every slot and of the mask as read
// back through the API at the canvas size (an absent slot or mask reads as the
// fill pattern, so appearing and vanishing count as changes).
#pragma once
#include <quornel/quornel.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace sweep {

inline uint64_t hash(const uint8_t* p, size_t n) {
    uint64_t h = 1469598103934665603ull;
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

struct Snapshot {
    int32_t layers = 0, current = 0, undo = 0, redo = 0;
    uint64_t slot[64] = {};
    uint64_t mask = 0;

    // scratch must hold the canvas as RGBA64 (width x height x 8 bytes) at least.
    static Snapshot take(int32_t width, int32_t height, std::vector<uint8_t>& scratch) {
        Snapshot s;
        s.layers = QRN_GetLayerCount();
        s.current = QRN_GetLayerNum();
        s.undo = QRN_GetUndoCount();
        s.redo = QRN_GetRedoCount();
        const size_t words = size_t(width) * size_t(height) * 8, grey = size_t(width) * size_t(height) * 3;
        for (int k = 0; k < 64; ++k) {
            std::memset(scratch.data(), 0xA5, words);
            QRN_GetLayerData(reinterpret_cast<uint16_t*>(scratch.data()), k);
            s.slot[k] = hash(scratch.data(), words);
        }
        std::memset(scratch.data(), 0xA5, grey);
        QRN_SaveMask(scratch.data(), width * 3);
        s.mask = hash(scratch.data(), grey);
        return s;
    }

    // The first thing that differs, or empty; the undo counts only when asked.
    std::string differs(const Snapshot& o, bool with_undo = true) const {
        if (layers != o.layers) return "layer count";
        if (current != o.current) return "current layer";
        if (with_undo && (undo != o.undo || redo != o.redo)) return "undo counts";
        for (int k = 0; k < 64; ++k)
            if (slot[k] != o.slot[k]) return "slot " + std::to_string(k);
        if (mask != o.mask) return "mask";
        return {};
    }
};

}  // namespace sweep

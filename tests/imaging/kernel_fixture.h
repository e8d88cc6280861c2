// A canvas with a current layer and the RGBA32 work buffers, built directly in
// the state, for the kernel and effect tests.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

#include "engine/buffer.h"
#include "engine/engine_state.h"

namespace qrn::test {

struct WorkCanvas {
    EngineState st;
    int32_t w, h;

    WorkCanvas(int32_t width, int32_t height, bool work_buffers = true) : w(width), h(height) {
        st.canvas.width = w;
        st.canvas.height = h;
        st.canvas.row_bytes = w * 8;
        st.canvas.exists = true;
        st.canvas.current_slot = 2;
        LayerRecord& r = st.canvas.slots[2];
        r.width = w;
        r.height = h;
        r.row_words = w * 4;
        r.pixels = Buffer<uint16_t>::make(size_t(w) * size_t(h) * 4);
        if (work_buffers) {
            st.work.src32 = Buffer<uint8_t>::make(bytes());
            st.work.dst32 = Buffer<uint8_t>::make(bytes());
        }
    }
    size_t bytes() const { return size_t(w) * size_t(h) * 4; }
    uint16_t* layer() { return st.canvas.slots[2].pixels.data(); }
    // The layer as bytes (high byte of each word).
    std::vector<uint8_t> layer_bytes() {
        std::vector<uint8_t> out(bytes());
        for (size_t i = 0; i < out.size(); ++i) out[i] = uint8_t(layer()[i] >> 8);
        return out;
    }
    void set_layer(const std::vector<uint8_t>& rgba) {
        for (size_t i = 0; i < rgba.size(); ++i) layer()[i] = uint16_t(rgba[i] << 8);
    }
};

// Blocks of colour with noise, so that edges, flat areas and greys all occur.
inline std::vector<uint8_t> seeded_rgba(int32_t w, int32_t h, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
            const uint32_t block = rng() % 4;
            for (int c = 0; c < 3; ++c)
                p[c] = block == 0 ? uint8_t(rng())
                                  : uint8_t(((x / 5 + y / 4 + c) % 3) * 120 + rng() % 8);
            if (block == 1) p[1] = p[2] = p[0];
            p[3] = uint8_t(rng() % 3 == 0 ? 255 : rng());
        }
    return px;
}

}  // namespace qrn::test

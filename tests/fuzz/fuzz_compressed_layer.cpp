// Compressed layer data from a host: any stream either loads a whole 16 x 16
// layer or is refused with the layer left exactly as it was.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/arith.h"
#include "engine/buffer.h"
#include "engine/engine_state.h"
#include "engine/pixels.h"

namespace {
constexpr int kSide = 16;
constexpr size_t kWords = size_t(kSide) * kSide * 4;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qrn::EngineState st;
    st.canvas.width = kSide;
    st.canvas.height = kSide;
    qrn::LayerRecord& r = st.canvas.slots[0];
    r.width = kSide;
    r.height = kSide;
    r.row_words = kSide * 4;
    r.pixels = qrn::Buffer<uint16_t>::make(kWords);
    uint16_t* px = r.pixels.data();
    for (size_t k = 0; k < kWords; ++k) px[k] = uint16_t(k * 2654435761u >> 7);
    uint16_t before[kWords];
    std::memcpy(before, px, sizeof before);

    bool refused = false;
    try {
        qrn::pixels::load_rgba32_layer_compressed(st, data,
                                                  int32_t(size > INT32_MAX ? INT32_MAX : size), 0);
    } catch (const qrn::Failure&) {
        refused = true;
    }
    if (refused && std::memcmp(before, px, sizeof before) != 0) __builtin_trap();
    // A loaded layer narrows and compresses back to a stream that loads the same pixels.
    if (!refused) {
        uint16_t loaded[kWords];
        std::memcpy(loaded, px, sizeof loaded);
        uint8_t z[kWords * 2];
        const int32_t n = qrn::pixels::get_rgba32_layer_compressed(st, z, int32_t(sizeof z), 0, 1);
        qrn::pixels::load_rgba32_layer_compressed(st, z, n, 0);
        if (std::memcmp(loaded, px, sizeof loaded) != 0) __builtin_trap();
    }
    return 0;
}

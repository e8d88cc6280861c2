// The displacement bump's script from a file the user picked: any bytes either
// fail to render and leave the layer and the destination as they were, or
// tile a picture of any size over a small odd-sized canvas and displace it,
// never touching memory outside the engine's buffers.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/canvas.h"
#include "engine/layers.h"
#include "imaging/distort.h"
#include "scriptlib/script.h"

namespace {
constexpr int32_t kW = 13, kH = 7, kSlot = 2;
// Pictures above this are rendered by the library at up to 10000 x 10000 a
// side; the fuzzer would spend its time drawing them, not finding anything.
constexpr int64_t kMaxRenderPixels = 256 * 256;

const std::string& script_path() {
    static const std::string path = "/tmp/fuzz_bump_script." + std::to_string(getpid()) + ".qis";
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qrn;
    scriptlib::Script parsed;
    const bool script =
        scriptlib::parse_script({reinterpret_cast<const char*>(data), size}, parsed);
    if (script && int64_t(parsed.header.width) * parsed.header.height > kMaxRenderPixels) return 0;
    if (FILE* f = std::fopen(script_path().c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }

    // The canvas is made once: making it allocates far more than one input costs.
    static EngineState& st = *[] {
        auto* s = new EngineState;
        canvas::create_image(*s, nullptr, kW, kH, 4, 0);
        layers::create_layer(*s, kSlot, kW, kH);
        layers::set_layer(*s, kSlot);
        s->work.src32 = Buffer<uint8_t>::make(size_t(kW) * kH * 4);
        s->work.dst32 = Buffer<uint8_t>::make(size_t(kW) * kH * 4);
        return s;
    }();
    const size_t bytes = size_t(kW) * kH * 4;
    uint16_t* words = st.canvas.slots[kSlot].pixels.data();
    for (size_t i = 0; i < bytes; ++i) {
        st.work.src32[i] = uint8_t(i * 13 + 5);
        words[i] = uint16_t(i * 977);
    }
    st.work.dst32.fill_bytes(0xA5);
    const std::vector<uint16_t> layer(words, words + bytes);

    const double amount = size > 0 ? double(data[size - 1]) - 100.0 : 1.0;
    imaging::distort::displacement_bump(st, script_path().c_str(), amount, 0x00405060);
    if (!script) {
        if (std::memcmp(st.canvas.slots[kSlot].pixels.data(), layer.data(), bytes * 2) != 0)
            __builtin_trap();
        for (size_t i = 0; i < bytes; ++i)
            if (st.work.dst32[i] != 0xA5) __builtin_trap();
    }
    return 0;
}

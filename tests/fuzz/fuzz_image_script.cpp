// Image scripts from files the user picked: any bytes either fail to parse or
// give a script whose header size is valid and whose effects are known; small
// ones render twice to the same pixels without writing past their buffer, and
// their effect list runs on a caller's image through the one-effect protocol.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "scriptlib/script.h"

namespace {
constexpr int64_t kMaxRenderPixels = 256 * 256;
constexpr uint8_t kUnwritten = 0xA5;
constexpr int32_t kSide = 24;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qrn::scriptlib;
    const char* text = reinterpret_cast<const char*>(data);
    Script s;
    if (!parse_script({text, size}, s)) return 0;
    const ScriptHeader& h = s.header;
    if (h.width < 1 || h.width > kMaxSide || h.height < 1 || h.height > kMaxSide ||
        size_t(h.effect_count) != s.effects.size() || s.effects.size() > kMaxEffects)
        __builtin_trap();
    for (const EffectCall& call : s.effects)
        if (!find_effect(call.number)) __builtin_trap();

    if (int64_t(h.width) * h.height <= kMaxRenderPixels) {
        // One guard pixel past the picture, so a stray write shows even where
        // the sanitizer's redzone would not.
        const size_t bytes = size_t(h.width) * size_t(h.height) * 4;
        std::vector<uint8_t> a(bytes + 4, kUnwritten), b(bytes + 4, 0);
        if (!render_script(s, a.data()) || !render_script(s, b.data())) __builtin_trap();
        for (size_t i = bytes; i < bytes + 4; ++i)
            if (a[i] != kUnwritten) __builtin_trap();
        if (std::memcmp(a.data(), b.data(), bytes) != 0) __builtin_trap();
    }

    // The same list through the protocol, on an image of another size.
    initialize();
    if (load_script_from_memory(text, size) != 1) __builtin_trap();
    std::vector<uint8_t> img(size_t(kSide) * kSide * 4);
    for (size_t i = 0; i < img.size(); ++i) img[i] = uint8_t(i * 7);
    execute_script_on_image(img.data(), kSide, kSide);
    finish();
    return 0;
}

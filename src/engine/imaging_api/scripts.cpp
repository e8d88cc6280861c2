// Drives our image-script library through its calling protocol for the engine.
#include "engine/imaging_api/scripts.h"

#include <cstddef>
#include <new>
#include <stdexcept>
#include <utility>

#include "engine/arith.h"
#include "scriptlib/script.h"

namespace qrn::scripts {
namespace {

// Once the library has started it is finished on every way out.
struct Started {
    bool ok = scriptlib::initialize() != 0;
    ~Started() {
        if (ok) scriptlib::finish();
    }
};

}  // namespace

bool render(const char* path, std::vector<uint8_t>& rgba, int32_t& width, int32_t& height) {
    const Started lib;
    if (!lib.ok || !scriptlib::load_script_from_file(path) || !scriptlib::init_buffers())
        return false;
    scriptlib::ScriptHeader header;
    if (!scriptlib::read_script_header(path, header)) return false;
    const int32_t w = header.width, h = header.height;
    if (!valid_side(w) || !valid_side(h)) return false;
    const uint64_t bytes = uint64_t(w) * uint64_t(h) * 4;
    std::vector<uint8_t> px;
    try {
        if (bytes > px.max_size()) return false;
        px.resize(size_t(bytes));
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    if (!scriptlib::execute_script(px.data())) return false;
    // The library draws B, G, R, A.
    for (size_t i = 0; i < px.size(); i += 4) std::swap(px[i], px[i + 2]);
    rgba = std::move(px);
    width = w;
    height = h;
    return true;
}

bool run_effect(int32_t effect, const int32_t* slot_values, int32_t slot_count, uint8_t* rgba,
                int32_t width, int32_t height) {
    const Started lib;
    if (!lib.ok || !scriptlib::add_effect(effect, 1)) return false;
    for (int32_t i = 0; slot_values && i < slot_count && i < scriptlib::kSlotCount; ++i)
        scriptlib::set_effect_value(0, scriptlib::kFirstSlot + i, slot_values[i]);
    return scriptlib::execute_script_on_image(rgba, width, height) != 0;
}

bool rotate(uint8_t* rgba, int32_t width, int32_t height, int32_t degrees) {
    const int32_t slots[2] = {degrees, 100};
    return run_effect(scriptlib::kRotate, slots, 2, rgba, width, height);
}

EffectTrace last_effect() {
    const scriptlib::EffectCall call = scriptlib::last_executed_effect();
    EffectTrace t;
    t.effect = call.number;
    for (int i = 0; i < 4; ++i) t.slots[i] = call.slots[i];
    return t;
}

}  // namespace qrn::scripts

// The engine's seam to our image-script library: procedural images from script
// files and numbered effects run on RGBA32 buffers.
#pragma once
#include <cstdint>
#include <vector>

namespace qrn::scripts {

// Renders a script file to RGBA32 (R, G, B, A order) at the size its header
// gives. False when the library cannot start, the file is not a script, or the
// header size is unusable (1..10000 a side); callers then read the path as an
// image file.
bool render(const char* path, std::vector<uint8_t>& rgba, int32_t& width, int32_t& height);

// Runs one numbered effect in place on an RGBA32 buffer with its slot values
// (slot_values[0] goes to slot 3, and so on). False when the effect is not
// available or changed nothing.
bool run_effect(int32_t effect, const int32_t* slot_values, int32_t slot_count, uint8_t* rgba,
                int32_t width, int32_t height);

// Effect 51: rotation in place by whole degrees.
bool rotate(uint8_t* rgba, int32_t width, int32_t height, int32_t degrees);

// The effect last run on a buffer, as the library received it: number and the
// values of slots 3 to 6 (number 0 before any). For tests of the callers.
struct EffectTrace {
    int32_t effect = 0;
    int32_t slots[4] = {};
};
EffectTrace last_effect();

}  // namespace qrn::scripts

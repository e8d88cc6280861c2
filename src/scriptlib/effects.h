// The numbered effects of the image-script library and the table that finds
// them. Scripts and one-effect runs both go through apply_effect().
#pragma once
#include <cstdint>

namespace qrn::scriptlib {

constexpr int32_t kMaxSide = 10000;

// Slot values are addressed from 3, as callers number them.
constexpr int32_t kFirstSlot = 3;
constexpr int32_t kSlotCount = 32;

// Effect numbers. Rotation is fixed by its callers; the generators and filters
// sit from 100 up so the numbers below stay free for effects yet to come.
constexpr int32_t kRotate = 51;
constexpr int32_t kFill = 100;
constexpr int32_t kGradient = 101;
constexpr int32_t kNoise = 102;
constexpr int32_t kStripes = 103;
constexpr int32_t kChecker = 104;
constexpr int32_t kBoxBlur = 110;
constexpr int32_t kInvert = 111;

// Pixels are 4 bytes in B, G, R, A order, rows top first, no padding. Colour
// slot values are packed 0xAARRGGBB; geometry effects ignore the order.
struct Image {
    uint8_t* px = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

// One effect with all its slot values; slots[i] is slot kFirstSlot + i.
struct EffectCall {
    int32_t number = 0;
    bool enabled = true;
    int32_t slots[kSlotCount] = {};
};

// Returns true when the image changed. Called only with 1..10000 a side.
using EffectFn = bool (*)(const Image& image, const int32_t* slots, uint32_t seed);

struct EffectInfo {
    int32_t number;
    const char* name;
    int32_t slot_count;  // slots kFirstSlot .. kFirstSlot + slot_count - 1 mean something
    int32_t defaults[kSlotCount];
    EffectFn apply;
};

// nullptr for a number no effect has.
const EffectInfo* find_effect(int32_t number);

// A call with the effect's defaults in every slot; number 0 when unknown.
EffectCall default_call(int32_t number);

// Runs one call on the image (the seed feeds the noise); false when the call
// is disabled, unknown, the image unusable, or nothing changed. Throws
// std::bad_alloc when scratch memory cannot be had.
bool apply_effect(const EffectCall& call, const Image& image, uint32_t seed);

}  // namespace qrn::scriptlib

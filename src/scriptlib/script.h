// Our image-script library: a small text format for procedural images and the
// calling protocol the engine drives it with (start, load, read the header,
// render, finish; or start, add one effect, set its values, run it on a buffer).
//
//   QIS 1                                    magic and grammar revision
//   header 1 0 4242 0xFFE8E0D0 256 256       version flags seed background width height
//   effect 102 3=0xFF000000 5=30 6=32 7=4    effect number, then slot=value pairs
//   end                                      required: a cut-off file does not load
//
// '#' starts a comment; integers are decimal or 0x hex (a hex value is the
// 32-bit pattern, for colours 0xAARRGGBB).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "scriptlib/effects.h"

namespace qrn::scriptlib {

constexpr size_t kMaxScriptBytes = 64 * 1024;
constexpr size_t kMaxLineBytes = 1024;
constexpr size_t kMaxEffects = 64;
constexpr int32_t kScriptVersion = 1;
constexpr int32_t kFlagOpaque = 1;  // alpha set to 255 once every effect has run

// The header record; callers read width and height as its fifth and sixth
// 32-bit fields.
struct ScriptHeader {
    int32_t version = 0;     // effect semantics the script was written for
    int32_t flags = 0;
    int32_t seed = 0;        // feeds every noise effect
    int32_t background = 0;  // 0xAARRGGBB the image starts as
    int32_t width = 0;
    int32_t height = 0;
    int32_t effect_count = 0;
};
static_assert(offsetof(ScriptHeader, width) == 4 * 4 && offsetof(ScriptHeader, height) == 5 * 4);

struct Script {
    ScriptHeader header;
    std::vector<EffectCall> effects;
};

// False, with `out` unspecified, for anything but a well-formed script: a bad
// magic, a size outside 1..10000, an unknown effect or slot, a malformed
// number, an over-long line or file, a missing end. Throws std::bad_alloc.
bool parse_script(std::string_view text, Script& out);

// Renders at the header's size into width x height x 4 bytes (B, G, R, A).
// False for a null buffer or an unusable script. Throws std::bad_alloc.
bool render_script(const Script& script, uint8_t* bgra);

// The protocol. Like the library it stands for it keeps one state per process;
// every call but initialize() returns 0 before initialize() or after finish().
int32_t initialize();
// 1 when the file is a script; 0 otherwise (then it may be an image file).
int32_t load_script_from_file(const char* path);
int32_t load_script_from_memory(const char* data, size_t size);
int32_t init_buffers();
// Reads the header of the script at path; 0 when it is not a script or, with
// a script loaded, not the loaded one's header (the caller would size its
// buffer for a picture execute_script() does not draw).
int32_t read_script_header(const char* path, ScriptHeader& header);
// Renders the loaded script into header width x height x 4 bytes, B, G, R, A.
int32_t execute_script(uint8_t* bgra);
void finish();

// Appends an effect with its defaults (enabled 0 keeps it but skips it); 0
// when the number is unknown or the list is full.
int32_t add_effect(int32_t effect_number, int32_t enabled);
// 0 for an effect index not added or a slot outside 3..34.
int32_t set_effect_value(int32_t effect_index, int32_t slot, int32_t value);
// Runs the effect list in place on width x height 4-byte pixels; 0 when
// nothing changed (no effects, unusable arguments, or effects without effect).
int32_t execute_script_on_image(uint8_t* pixels, int32_t width, int32_t height);
// The first effect of the last execute_script_on_image() call that got as far
// as running, kept past finish(); number 0 before any. Lets a caller's tests
// see the slot values it passed.
EffectCall last_executed_effect();

}  // namespace qrn::scriptlib

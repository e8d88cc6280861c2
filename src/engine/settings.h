// Tool settings the host sets between dabs, the random byte arrays, and the
// small system utilities of the API. Values are stored as given and checked
// where they are used.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::settings {

void set_colour(Settings& s, int32_t r, int32_t g, int32_t b);
void set_colour16(Settings& s, int32_t r, int32_t g, int32_t b);
void set_colour_banks(Settings& s, const int32_t (&rgb)[12]);
void set_blend_strength(Settings& s, int32_t strength);
void set_primary_strength(Settings& s, int32_t strength);
void set_density(Settings& s, int32_t density);
void set_alpha(Settings& s, int32_t percent);
void set_rotate_brush_mode(Settings& s, int32_t mode, int32_t degrees);
void set_mix_mode(Settings& s, int32_t mode, int32_t amount);
void set_start_dir(Settings& s, const char* path);
void set_random_seed(EngineState& st, uint32_t seed);

// Writes red >> 8, green >> 8, blue >> 8 at (x, y) of a canvas-sized RGB24 buffer.
void set_pixel_rgb24(const EngineState& st, uint8_t* buf, int32_t stride, int32_t x, int32_t y,
                     int32_t r, int32_t g, int32_t b);

// Reads and clears the display-changed flag, taking in what the platform saw.
int32_t take_display_changed(EngineState& st);

// Rebuilds the array unless length, modulus and seed already match; reseeds
// the engine's generator when it rebuilds.
void make_rand_array_byte(EngineState& st, RandomByteArray& arr, int32_t modulus, int32_t length);
void delete_rand_array_byte(RandomByteArray& arr);

const char* dir_info(EngineState& st);
int32_t megabytes(uint64_t bytes);

}  // namespace qrn::settings

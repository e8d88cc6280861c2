// Setters of the tool settings, the random byte arrays and the system utilities.
#include "engine/settings.h"

#include <cmath>
#include <cstring>

#include "engine/pixel_format.h"
#include "platform/display_events.h"
#include "platform/system_info.h"

namespace qrn::settings {

void set_colour(Settings& s, int32_t r, int32_t g, int32_t b) {
    // Only the low byte counts: 511 stores 0xFF00.
    s.colour[0] = widen_shift(uint8_t(r));
    s.colour[1] = widen_shift(uint8_t(g));
    s.colour[2] = widen_shift(uint8_t(b));
    s.colour[3] = 65535;
}

void set_colour16(Settings& s, int32_t r, int32_t g, int32_t b) {
    s.colour[0] = uint16_t(r);
    s.colour[1] = uint16_t(g);
    s.colour[2] = uint16_t(b);
    s.colour[3] = 65535;
}

void set_colour_banks(Settings& s, const int32_t (&rgb)[12]) {
    // Planar: the four reds, then the four greens, blues and alphas.
    for (int bank = 0; bank < 4; ++bank) {
        for (int c = 0; c < 3; ++c) s.colour_banks[c * 4 + bank] = widen_shift(uint8_t(rgb[bank * 3 + c]));
        s.colour_banks[12 + bank] = 65535;
    }
}

// A strength of 0 switches the feature off but keeps the old complement.
void set_blend_strength(Settings& s, int32_t strength) {
    s.blend_strength = strength;
    if (strength > 0) s.blend_strength_comp = int32_t(256 - int64_t(strength));
}

void set_primary_strength(Settings& s, int32_t strength) {
    s.primary_strength = strength;
    if (strength > 0) s.primary_strength_comp = int32_t(256 - int64_t(strength));
}

void set_density(Settings& s, int32_t density) { s.density_threshold = int32_t(int64_t(density) - 1); }

void set_alpha(Settings& s, int32_t percent) {
    s.alpha_percent = percent;
    // 1.28 as a double: 50 % gives 64 (a float 1.28 would give 63).
    s.alpha_scaled = trunc_i32(double(percent) * 1.28);
}

void set_rotate_brush_mode(Settings& s, int32_t mode, int32_t degrees) {
    s.rotate_brush_mode = mode;
    s.rotation_degrees = degrees;
    // The engine's pi is 3.14159; recorded strokes depend on it.
    s.rotation_radians = float(double(degrees) * (1.0 / 180.0) * 3.14159);
    s.rotation_sin = std::sin(s.rotation_radians);
    s.rotation_cos = std::cos(s.rotation_radians);
}

void set_mix_mode(Settings& s, int32_t mode, int32_t amount) {
    s.mix_mode = mode;
    s.mix_amount = amount;
    s.mix_amount_comp = saturate_i32(256 - int64_t(amount));
    s.posterise_step = trunc_i32(((double(amount) - 127.0) / 127.0) * 16.0);
}

void set_start_dir(Settings& s, const char* path) {
    if (!path) return;
    // Texts of 1024 characters or more are ignored entirely, not truncated.
    const size_t n = ::strnlen(path, kStartDirBytes);
    if (n >= size_t(kStartDirBytes)) return;
    std::memcpy(s.start_dir, path, n + 1);
}

void set_random_seed(EngineState& st, uint32_t seed) {
    st.settings.random_seed = seed;
    st.rng.seed(seed);
}

void set_pixel_rgb24(const EngineState& st, uint8_t* buf, int32_t stride, int32_t x, int32_t y,
                     int32_t r, int32_t g, int32_t b) {
    if (!buf || x < 0 || y < 0 || x >= st.canvas.width || y >= st.canvas.height) return;
    uint8_t* p = row_at(buf, stride, y) + ptrdiff_t(x) * 3;
    p[0] = uint8_t((r >> 8) & 0xFF);
    p[1] = uint8_t((g >> 8) & 0xFF);
    p[2] = uint8_t((b >> 8) & 0xFF);
}

int32_t take_display_changed(EngineState& st) {
    if (platform::take_display_changed()) st.settings.display_changed = 1;
    if (!st.settings.display_changed) return 0;
    st.settings.display_changed = 0;
    return 1;
}

void make_rand_array_byte(EngineState& st, RandomByteArray& arr, int32_t modulus, int32_t length) {
    if (!arr.bytes.empty() && arr.length == length && arr.modulus == modulus &&
        arr.seed == st.settings.random_seed)
        return;
    delete_rand_array_byte(arr);
    st.rng.seed(st.settings.random_seed);
    if (length < 1 || modulus == 0) return;
    Buffer<uint8_t> bytes = Buffer<uint8_t>::make(size_t(length));
    // Low 8 bits of rand() % modulus: the modulus-1000 array holds low bytes of 0..999.
    for (int32_t i = 0; i < length; ++i) bytes[size_t(i)] = uint8_t(st.rng.next() % modulus);
    arr.bytes = std::move(bytes);
    arr.length = length;
    arr.modulus = modulus;
    arr.seed = st.settings.random_seed;
}

void delete_rand_array_byte(RandomByteArray& arr) { arr.bytes.reset(); }

const char* dir_info(EngineState& st) {
    const std::string dir = platform::system_directory();
    const size_t n = dir.size() < sizeof st.dir_info - 1 ? dir.size() : sizeof st.dir_info - 1;
    std::memcpy(st.dir_info, dir.data(), n);
    st.dir_info[n] = '\0';
    return st.dir_info;
}

int32_t megabytes(uint64_t bytes) { return saturate_i32(int64_t(bytes >> 20)); }

}  // namespace qrn::settings

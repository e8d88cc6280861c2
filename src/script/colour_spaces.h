// Conversions of one 8-bit RGB colour to and from HSV, HSL, XYZ, L*a*b* and
// CMYK. Pure functions in double precision with the engine's own constants
// and truncations; masks, effects and Lua filters share them.
#pragma once
#include <cstdint>

namespace qrn::script {

struct Hsv { double h, s, v; };  // h in degrees, or -1 for a grey
struct Hsl { double h, s, l; };
struct Xyz { double x, y, z; };  // white has y = 100
struct Lab { double l, a, b; };
struct Cmyk { double c, m, y, k; };
struct Rgb8 { uint8_t r, g, b; };

Hsv rgb_to_hsv(int32_t r, int32_t g, int32_t b);
Rgb8 hsv_to_rgb(double h, double s, double v);
Hsl rgb_to_hsl(int32_t r, int32_t g, int32_t b);
Rgb8 hsl_to_rgb(double h, double s, double l);
int32_t hue_to_channel(double m1, double m2, double hue);
Xyz rgb_to_xyz(int32_t r, int32_t g, int32_t b);
Rgb8 xyz_to_rgb(double x, double y, double z);
Lab xyz_to_lab(double x, double y, double z);
Xyz lab_to_xyz(double l, double a, double b);
Rgb8 lab_to_rgb(double l, double a, double b);
Cmyk cmy_to_cmyk(double c, double m, double y);
Rgb8 cmyk_to_rgb(double c, double m, double y, double k);

}  // namespace qrn::script

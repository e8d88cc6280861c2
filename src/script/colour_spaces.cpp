// Colour-space conversions for masks, effects and Lua filters. Every constant is
// the decimal double hosts have always been given (not a recomputed quotient),
// sums run in the order written and results truncate, because a last-bit change
// can move a truncated byte by one.
#include "script/colour_spaces.h"

#include <algorithm>
#include <cmath>

#include "engine/arith.h"

namespace qrn::script {
namespace {

constexpr double kInv255 = 0.00392156862745098;
constexpr double kOneSixtieth = 0.016666666666666666;
constexpr double kOneSixth = 0.16666666666666666;
constexpr double kOneThird = 0.3333333333333333;
constexpr double kTwoThirds = 0.6666666666666666;
constexpr double kSixteen116 = 0.13793103448275862;  // 16 / 116
constexpr double kLabEpsilon = 0.008856;

// Truncates, then clamps to a byte. In range this is the plain truncation; out of
// range (inputs beyond 0..1, NaN) it keeps bytes from wrapping.
uint8_t to_byte(double v) { return uint8_t(std::clamp(trunc_i32(v), 0, 255)); }

Rgb8 grey(double v) {
    const uint8_t g = to_byte(v * 255);
    return {g, g, g};
}

// sRGB transfer curve to linear light, scaled to 0..100.
double linear_100(int32_t c) {
    double x = c * kInv255;
    if (x > 0.04045)
        x = std::pow((x + 0.055) * 0.9478672985781991, 2.4);
    else
        x = x * 0.07739938080495357;
    return x * 100;
}

uint8_t encoded_byte(double v) {
    if (v > 0.0031308)
        v = 1.055 * std::pow(v, 0.4166666666666667) - 0.055;
    else
        v = v * 12.92;
    return to_byte(v * 255);
}

double lab_f(double t) {
    return t > kLabEpsilon ? std::pow(t, 0.3333333333333333) : 7.787 * t + kSixteen116;
}

double lab_f_inverse(double f) {
    const double cube = std::pow(f, 3);
    return cube > kLabEpsilon ? cube : (f - kSixteen116) * 0.1284191601386927;
}

}  // namespace

Hsv rgb_to_hsv(int32_t red, int32_t green, int32_t blue) {
    const double r = red * kInv255, g = green * kInv255, b = blue * kInv255;
    const double mx = std::max({r, g, b});
    const double delta = mx - std::min({r, g, b});
    if (delta == 0) return {-1, 0, mx};
    // Red is tested first: a colour with red and green both maximal is a red hue.
    double h;
    if (r == mx)
        h = (g - b) / delta;
    else if (g == mx)
        h = (b - r) / delta + 2;
    else
        h = (r - g) / delta + 4;
    h = h * 60;
    if (h < 0) h += 360;
    return {h, delta / mx, mx};
}

Rgb8 hsv_to_rgb(double h, double s, double v) {
    if (s == 0) return grey(v);
    if (h == 360) h = 0;
    // Hues outside the circle wrap onto it (NaN and infinities count as 0); in
    // range this changes nothing. The sector is reduced modulo 6 as well, so no
    // hue can select a sector that does not exist.
    if (!std::isfinite(h)) h = 0;
    if (h < 0 || h > 360) {
        h = std::fmod(h, 360.0);
        if (h < 0) h += 360;
    }
    const double h6 = h * kOneSixtieth;
    const double i = std::floor(h6);
    const double f = h6 - i;
    const double p = v * (1 - s);
    const double q = v * (1 - s * f);
    const double t = v * (1 - s * (1 - f));
    double r, g, b;
    switch (((trunc_i32(i) % 6) + 6) % 6) {
        case 0: r = v, g = t, b = p; break;
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        default: r = v, g = p, b = q; break;
    }
    return {to_byte(r * 255), to_byte(g * 255), to_byte(b * 255)};
}

Hsl rgb_to_hsl(int32_t red, int32_t green, int32_t blue) {
    const double r = red * kInv255, g = green * kInv255, b = blue * kInv255;
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    const double l = (mx + mn) * 0.5;
    const double delta = mx - mn;
    if (delta == 0) return {0, 0, l};  // greys have hue 0 here, unlike HSV's -1
    const double s = l < 0.5 ? delta / (mx + mn) : delta / (2 - mx - mn);
    const double half = delta * 0.5;
    const double dr = ((mx - r) * kOneSixth + half) / delta;
    const double dg = ((mx - g) * kOneSixth + half) / delta;
    const double db = ((mx - b) * kOneSixth + half) / delta;
    double h;
    if (r == mx)
        h = db - dg;
    else if (g == mx)
        h = kOneThird + dr - db;
    else
        h = kTwoThirds + dg - dr;
    if (h < 0) h += 1;
    if (h > 1) h -= 1;
    return {h * 360, s, l};
}

// The hue wraps once only; callers pass H + 120 and H - 120 for H in 0..360.
int32_t hue_to_channel(double m1, double m2, double hue) {
    if (hue > 360)
        hue -= 360;
    else if (hue < 0)
        hue += 360;
    double v;
    if (hue < 60)
        v = m1 + (m2 - m1) * hue * kOneSixtieth;
    else if (hue < 180)
        v = m2;
    else if (hue < 240)
        v = m1 + (m2 - m1) * (240 - hue) * kOneSixtieth;
    else
        v = m1;
    return to_byte(v * 255);
}

Rgb8 hsl_to_rgb(double h, double s, double l) {
    if (s == 0) return grey(l);
    const double m2 = l < 0.5 ? l * (1 + s) : (l + s) - s * l;
    const double m1 = 2 * l - m2;
    return {uint8_t(hue_to_channel(m1, m2, h + 120)), uint8_t(hue_to_channel(m1, m2, h)),
            uint8_t(hue_to_channel(m1, m2, h - 120))};
}

Xyz rgb_to_xyz(int32_t red, int32_t green, int32_t blue) {
    const double r = linear_100(red), g = linear_100(green), b = linear_100(blue);
    const double x = 0.4124 * r + 0.3576 * g + 0.1805 * b;
    const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    const double z = 0.0193 * r + 0.1192 * g + 0.9505 * b;
    return {std::max(x, 0.0), std::max(y, 0.0), std::max(z, 0.0)};
}

// The terms of each row are summed in this order, not the matrix's column order:
// a reordered sum can differ in the last bit and so by one in a byte.
Rgb8 xyz_to_rgb(double x_in, double y_in, double z_in) {
    const double x = x_in * 0.01, y = y_in * 0.01, z = z_in * 0.01;
    const double r = 3.2406 * x - 0.4986 * z - 1.5372 * y;
    const double g = 1.8758 * y + 0.0415 * z - 0.9689 * x;
    const double b = 1.057 * z - 0.204 * y + 0.0557 * x;
    return {encoded_byte(r), encoded_byte(g), encoded_byte(b)};
}

Lab xyz_to_lab(double x, double y, double z) {
    const double fx = lab_f(x * 0.010521110608435826);
    const double fy = lab_f(y * 0.01);
    const double fz = lab_f(z * 0.009184170164304804);
    return {116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)};
}

Xyz lab_to_xyz(double l, double a, double b) {
    const double fy = (l + 16) * 0.008620689655172414;
    const double fx = a * 0.002 + fy;
    const double fz = fy - b * 0.005;
    const double x = lab_f_inverse(fx) * 95.047;
    const double y = lab_f_inverse(fy) * 100;
    const double z = lab_f_inverse(fz) * 108.883;
    return {std::max(x, 0.0), std::max(y, 0.0), std::max(z, 0.0)};
}

Rgb8 lab_to_rgb(double l, double a, double b) {
    const Xyz xyz = lab_to_xyz(l, a, b);
    return xyz_to_rgb(xyz.x, xyz.y, xyz.z);
}

// K starts at 1 and takes each ink only when strictly smaller.
Cmyk cmy_to_cmyk(double c, double m, double y) {
    double k = 1;
    if (c < k) k = c;
    if (m < k) k = m;
    if (y < k) k = y;
    if (k == 1) return {0, 0, 0, k};
    return {(c - k) / (1 - k), (m - k) / (1 - k), (y - k) / (1 - k), k};
}

Rgb8 cmyk_to_rgb(double c, double m, double y, double k) {
    return {to_byte(255 * (1 - (c * (1 - k) + k))), to_byte(255 * (1 - (m * (1 - k) + k))),
            to_byte(255 * (1 - (y * (1 - k) + k)))};
}

}  // namespace qrn::script

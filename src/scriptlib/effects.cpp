// The numbered effects: rotation, the generators that make textures and grain,
// and two filters. Deterministic: integer colour arithmetic, doubles only for
// positions, a counter-based hash for noise, exact quarter turns.
#include "scriptlib/effects.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace qrn::scriptlib {
namespace {

constexpr int32_t kOpaqueBlack = int32_t(0xFF000000u);
constexpr int32_t kOpaqueWhite = int32_t(0xFFFFFFFFu);
constexpr double kPi = 3.14159265358979323846;

int32_t clamp_slot(int32_t v, int32_t lo, int32_t hi) { return std::clamp(v, lo, hi); }

size_t pixel_bytes(const Image& im) { return size_t(im.width) * size_t(im.height) * 4; }

// Colour slot 0xAARRGGBB as bytes in memory order B, G, R, A.
struct Bgra {
    uint32_t c[4];
};
Bgra unpack(int32_t packed) {
    const auto v = uint32_t(packed);
    return {{v & 0xFF, v >> 8 & 0xFF, v >> 16 & 0xFF, v >> 24}};
}

// Unit direction for whole degrees; quarter turns are exact so that axis-aligned
// gradients, stripes and rotations do not depend on the maths library.
struct Direction {
    double c, s;
};
Direction direction(int32_t degrees) {
    int32_t d = degrees % 360;
    if (d < 0) d += 360;
    switch (d) {
        case 0: return {1.0, 0.0};
        case 90: return {0.0, 1.0};
        case 180: return {-1.0, 0.0};
        case 270: return {0.0, -1.0};
        default: break;
    }
    const double r = d * (kPi / 180.0);
    return {std::cos(r), std::sin(r)};
}

uint32_t to_t16(double t) {
    if (!(t > 0.0)) return 0;
    if (t >= 1.0) return 65535;
    return uint32_t(t * 65535.0 + 0.5);
}

// Every generator computes a ramp t (0..65535) per pixel, colours it between
// slot 3 (t = 0) and slot 4 (t = 65535), and mixes it over the pixel already
// there by slot 5 percent. Both mixes round to nearest.
template <class Ramp>
bool paint_ramp(const Image& im, const int32_t* slots, Ramp ramp) {
    const Bgra a = unpack(slots[0]), b = unpack(slots[1]);
    const uint32_t opacity = uint32_t(clamp_slot(slots[2], 0, 100));
    if (opacity == 0) return false;
    for (int32_t y = 0; y < im.height; ++y) {
        uint8_t* row = im.px + size_t(y) * size_t(im.width) * 4;
        for (int32_t x = 0; x < im.width; ++x) {
            const uint32_t t = ramp(x, y);
            uint8_t* p = row + size_t(x) * 4;
            for (int ch = 0; ch < 4; ++ch) {
                const uint32_t c = (a.c[ch] * (65535 - t) + b.c[ch] * t + 32767) / 65535;
                p[ch] = uint8_t((p[ch] * (100 - opacity) + c * opacity + 50) / 100);
            }
        }
    }
    return true;
}

bool fill(const Image& im, const int32_t* slots, uint32_t) {
    return paint_ramp(im, slots, [](int32_t, int32_t) { return 0u; });
}

// Slot 6: angle in degrees (0 runs left to right, 90 top to bottom). The first
// and last pixel centres along the direction get exactly slots 3 and 4.
bool gradient(const Image& im, const int32_t* slots, uint32_t) {
    const Direction d = direction(slots[3]);
    const double cx = (im.width - 1) * 0.5, cy = (im.height - 1) * 0.5;
    const double extent = std::abs(d.c) * cx + std::abs(d.s) * cy;
    return paint_ramp(im, slots, [&](int32_t x, int32_t y) {
        if (extent <= 0.0) return 0u;
        const double p = (x - cx) * d.c + (y - cy) * d.s;
        return to_t16((p + extent) / (2.0 * extent));
    });
}

uint32_t mix32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    x *= 0x846CA68Bu;
    x ^= x >> 16;
    return x;
}

// Lattice value 0..1 for a cell of one octave: a hash of (seed, octave, i, j),
// so noise does not depend on the order pixels are visited in.
double lattice(uint32_t seed, int32_t octave, int32_t i, int32_t j) {
    const uint32_t h = mix32(mix32(mix32(seed + uint32_t(octave)) ^ uint32_t(i)) + uint32_t(j) * 0x9E3779B9u);
    return h * (1.0 / 4294967295.0);
}

// Value noise, smoothstep-interpolated on a lattice that wraps at the image
// edges, so every noise image tiles. Slot 6: cells across the width (cells
// down follow the aspect); 7: octaves, each twice as fine; 8: percent each
// octave keeps of the one before; 9: added to the script seed.
bool noise(const Image& im, const int32_t* slots, uint32_t seed) {
    const int32_t cells = clamp_slot(slots[3], 1, 4096);
    const int32_t octaves = clamp_slot(slots[4], 1, 8);
    const double persistence = clamp_slot(slots[5], 0, 100) / 100.0;
    const uint32_t s = mix32(seed ^ mix32(uint32_t(slots[6]) + 0x632BE5ABu));
    const auto cells_down = int32_t(std::clamp<int64_t>(
        (int64_t(cells) * im.height + im.width / 2) / im.width, 1, 4096));

    struct Axis {
        int32_t i0, i1;
        double f;
    };
    // Interpolation positions per octave along one axis, computed once.
    auto axis = [](int32_t n, int32_t period, std::vector<Axis>& out) {
        out.resize(size_t(n));
        for (int32_t k = 0; k < n; ++k) {
            const double u = (k + 0.5) * period / n;
            const auto i = int32_t(u);  // u >= 0 and below period
            const double f = u - i;
            out[size_t(k)] = {i, i + 1 == period ? 0 : i + 1, f * f * (3.0 - 2.0 * f)};
        }
    };
    struct Octave {
        std::vector<Axis> xs, ys;
        double amp;
    };
    std::vector<Octave> oct(static_cast<size_t>(octaves));
    double total = 0.0, amp = 1.0;
    for (int32_t o = 0; o < octaves; ++o) {
        Octave& k = oct[size_t(o)];
        axis(im.width, cells << o, k.xs);
        axis(im.height, cells_down << o, k.ys);
        k.amp = amp;
        total += amp;
        amp *= persistence;
    }
    return paint_ramp(im, slots, [&](int32_t x, int32_t y) {
        double v = 0.0;
        for (int32_t o = 0; o < octaves; ++o) {
            const Axis& ax = oct[size_t(o)].xs[size_t(x)];
            const Axis& ay = oct[size_t(o)].ys[size_t(y)];
            const double v00 = lattice(s, o, ax.i0, ay.i0), v10 = lattice(s, o, ax.i1, ay.i0);
            const double v01 = lattice(s, o, ax.i0, ay.i1), v11 = lattice(s, o, ax.i1, ay.i1);
            const double top = v00 + (v10 - v00) * ax.f;
            const double bottom = v01 + (v11 - v01) * ax.f;
            v += (top + (bottom - top) * ay.f) * oct[size_t(o)].amp;
        }
        return to_t16(v / total);
    });
}

// Slot 6: period in pixels; 7: angle of the stripes' normal (0 gives vertical
// stripes); 8: percent of each period in slot 4's colour; 9: 1 for a smooth
// wave instead of hard edges (the duty is then ignored).
bool stripes(const Image& im, const int32_t* slots, uint32_t) {
    const double period = clamp_slot(slots[3], 2, kMaxSide);
    const Direction d = direction(slots[4]);
    const double duty = clamp_slot(slots[5], 0, 100) / 100.0;
    const bool wave = slots[6] != 0;
    return paint_ramp(im, slots, [&](int32_t x, int32_t y) {
        const double u = ((x + 0.5) * d.c + (y + 0.5) * d.s) / period;
        const double phase = u - std::floor(u);
        if (!wave) return phase < duty ? 65535u : 0u;
        // A triangle through the period, smoothstepped: no maths library call.
        const double tri = 1.0 - std::abs(2.0 * phase - 1.0);
        return to_t16(tri * tri * (3.0 - 2.0 * tri));
    });
}

// Slots 6 and 7: cell width and height in pixels (height 0 = the width).
bool checker(const Image& im, const int32_t* slots, uint32_t) {
    const int32_t cw = clamp_slot(slots[3], 1, kMaxSide);
    const int32_t ch = slots[4] == 0 ? cw : clamp_slot(slots[4], 1, kMaxSide);
    return paint_ramp(im, slots, [&](int32_t x, int32_t y) {
        return ((x / cw + y / ch) & 1) != 0 ? 65535u : 0u;
    });
}

// One box pass over a line of n pixels (4 channels, `step` bytes apart),
// through a copy so the line can be rewritten in place.
void box_line(uint8_t* first, int32_t n, size_t step, int32_t radius, bool wrap,
              std::vector<uint8_t>& line) {
    for (int32_t k = 0; k < n; ++k)
        std::copy_n(first + size_t(k) * step, 4, line.begin() + ptrdiff_t(k) * 4);
    auto at = [&](int64_t k) -> const uint8_t* {
        if (wrap) k = ((k % n) + n) % n;
        else k = std::clamp<int64_t>(k, 0, n - 1);
        return line.data() + size_t(k) * 4;
    };
    const auto taps = uint32_t(2 * radius + 1);
    uint32_t sum[4] = {};
    for (int64_t k = -radius; k <= radius; ++k)
        for (int ch = 0; ch < 4; ++ch) sum[ch] += at(k)[ch];
    for (int32_t k = 0; k < n; ++k) {
        uint8_t* out = first + size_t(k) * step;
        const uint8_t* enter = at(int64_t(k) + radius + 1);
        const uint8_t* leave = at(int64_t(k) - radius);
        for (int ch = 0; ch < 4; ++ch) {
            out[ch] = uint8_t((sum[ch] + taps / 2) / taps);
            sum[ch] = sum[ch] + enter[ch] - leave[ch];
        }
    }
}

// Separable box blur of all four channels. Slot 3: radius; 4: 1 to wrap at
// the edges (keeps a texture tileable), 0 to repeat the edge pixels; 5: passes
// (three come close to a Gaussian).
bool box_blur(const Image& im, const int32_t* slots, uint32_t) {
    const int32_t radius = clamp_slot(slots[0], 0, 100);
    const bool wrap = slots[1] != 0;
    const int32_t passes = clamp_slot(slots[2], 1, 3);
    if (radius == 0) return false;
    std::vector<uint8_t> line(size_t(std::max(im.width, im.height)) * 4);
    const size_t row_bytes = size_t(im.width) * 4;
    for (int32_t pass = 0; pass < passes; ++pass) {
        for (int32_t y = 0; y < im.height; ++y)
            box_line(im.px + size_t(y) * row_bytes, im.width, 4, radius, wrap, line);
        for (int32_t x = 0; x < im.width; ++x)
            box_line(im.px + size_t(x) * 4, im.height, row_bytes, radius, wrap, line);
    }
    return true;
}

// Colour channels only: alpha is coverage, not colour.
bool invert(const Image& im, const int32_t*, uint32_t) {
    uint8_t* p = im.px;
    for (size_t k = 0, n = pixel_bytes(im); k < n; k += 4) {
        p[k] = uint8_t(255 - p[k]);
        p[k + 1] = uint8_t(255 - p[k + 1]);
        p[k + 2] = uint8_t(255 - p[k + 2]);
    }
    return true;
}

// Rotation about the image centre, in place, same size. Slot 3: degrees,
// positive turning clockwise on screen (rows top first); slot 4: scale percent
// (100 = none). Each pixel samples the source bilinearly with 8-bit weights;
// samples beyond the source's edge count as transparent black, and pixels
// whose source point lies outside the image become transparent black. Pixel
// centres sit on integers, so a quarter turn of a square image moves whole
// pixels and is exact.
bool rotate(const Image& im, const int32_t* slots, uint32_t) {
    const int32_t scale = clamp_slot(slots[1], 1, 1000);
    if (slots[0] % 360 == 0 && scale == 100) return false;
    const Direction d = direction(slots[0]);
    const double inv = 100.0 / scale;
    const std::vector<uint8_t> src(im.px, im.px + pixel_bytes(im));
    const int32_t w = im.width, h = im.height;
    const double cx = (w - 1) * 0.5, cy = (h - 1) * 0.5;
    static constexpr uint8_t kClear[4] = {0, 0, 0, 0};
    auto at = [&](int32_t x, int32_t y) -> const uint8_t* {
        if (x < 0 || y < 0 || x >= w || y >= h) return kClear;
        return src.data() + (size_t(y) * size_t(w) + size_t(x)) * 4;
    };
    for (int32_t y = 0; y < h; ++y) {
        const double dy = y - cy;
        for (int32_t x = 0; x < w; ++x) {
            const double dx = x - cx;
            const double sx = cx + (dx * d.c + dy * d.s) * inv;
            const double sy = cy + (dy * d.c - dx * d.s) * inv;
            uint8_t* out = im.px + (size_t(y) * size_t(w) + size_t(x)) * 4;
            if (!(sx >= -0.5 && sx < w - 0.5 && sy >= -0.5 && sy < h - 0.5)) {
                std::fill_n(out, 4, uint8_t(0));
                continue;
            }
            const double fx0 = std::floor(sx), fy0 = std::floor(sy);
            const auto x0 = int32_t(fx0), y0 = int32_t(fy0);
            const auto wx = uint32_t((sx - fx0) * 256.0 + 0.5), wy = uint32_t((sy - fy0) * 256.0 + 0.5);
            const uint8_t *p00 = at(x0, y0), *p10 = at(x0 + 1, y0);
            const uint8_t *p01 = at(x0, y0 + 1), *p11 = at(x0 + 1, y0 + 1);
            for (int ch = 0; ch < 4; ++ch) {
                const uint32_t top = p00[ch] * (256 - wx) + p10[ch] * wx;
                const uint32_t bottom = p01[ch] * (256 - wx) + p11[ch] * wx;
                out[ch] = uint8_t((top * (256 - wy) + bottom * wy + 32768) >> 16);
            }
        }
    }
    return true;
}

// Generators share slots 3..5 (colour at t = 0, colour at t = 1, opacity %).
const EffectInfo kEffects[] = {
    {kRotate, "rotate", 2, {0, 100}, rotate},
    {kFill, "fill", 3, {kOpaqueBlack, kOpaqueWhite, 100}, fill},
    {kGradient, "gradient", 4, {kOpaqueBlack, kOpaqueWhite, 100, 0}, gradient},
    {kNoise, "noise", 7, {kOpaqueBlack, kOpaqueWhite, 100, 8, 1, 50, 0}, noise},
    {kStripes, "stripes", 7, {kOpaqueBlack, kOpaqueWhite, 100, 16, 0, 50, 0}, stripes},
    {kChecker, "checker", 5, {kOpaqueBlack, kOpaqueWhite, 100, 8, 0}, checker},
    {kBoxBlur, "box blur", 3, {1, 0, 1}, box_blur},
    {kInvert, "invert", 0, {}, invert},
};

}  // namespace

const EffectInfo* find_effect(int32_t number) {
    for (const EffectInfo& e : kEffects)
        if (e.number == number) return &e;
    return nullptr;
}

EffectCall default_call(int32_t number) {
    EffectCall call;
    if (const EffectInfo* e = find_effect(number)) {
        call.number = number;
        std::copy_n(e->defaults, kSlotCount, call.slots);
    }
    return call;
}

bool apply_effect(const EffectCall& call, const Image& image, uint32_t seed) {
    const EffectInfo* e = find_effect(call.number);
    if (!e || !call.enabled || !image.px) return false;
    if (image.width < 1 || image.width > kMaxSide || image.height < 1 || image.height > kMaxSide)
        return false;
    return e->apply(image, call.slots, seed);
}

}  // namespace qrn::scriptlib

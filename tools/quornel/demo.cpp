// quornel demo: a small landscape painted stroke by stroke through the C API. Writes
// the merged page and the display render as PNG files.
#include "cli.h"

#include <quornel/quornel.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

// ---- demo ------------------------------------------------------------------------------
//
// A small landscape painted stroke by stroke through the C API: paper, sky, hills,
// a lake limited by the selection mask, trees, and glazes in the merge modes. The
// same build writes the same bytes on every run: every random choice comes from a
// fixed seed, and the PNG files carry no time or text.

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kW = 1024, kH = 768;
constexpr int kMaxBrush = 256;
constexpr size_t kDocsLimit = 300 * 1024;  // the page copy shown in the README
constexpr int kSmallW = 448, kSmallH = 336;

struct Rgb {
    int r, g, b;
};

Rgb mix(Rgb a, Rgb b, double t) {
    auto m = [t](int x, int y) { return int(std::lround(x + (y - x) * t)); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// The host's own jitter for positions and colours; the engine draws its own numbers.
struct Jitter {
    uint32_t s;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    double unit() { return double(next() >> 8) / 16777216.0; }
    double range(double a, double b) { return a + (b - a) * unit(); }
    Rgb vary(Rgb c, int k) {
        auto v = [&](int x) { return std::clamp(x + int(range(-k, k)), 0, 255); };
        return {v(c.r), v(c.g), v(c.b)};
    }
};

struct Tip {
    int size = 40;
    int softness = 128;
    int grit = 0, coverage = 0, fill = 0;
    int density = 256;  // below 256 lets the grit leave paper showing
    int repeat = 1;     // dabs that share one grit pattern before the next is picked
    int vary = 0;       // colour vary per dab, 8-bit steps
    int lum_vary = 0;   // luminance vary per pixel
    int alpha = 100;
    int blend = 0;          // blend buffer strength; non-zero smudges
    double spacing = 0.18;  // dab distance as a fraction of the size
    double taper = 0.2;     // share of the stroke at each end that narrows
};

uint32_t g_stroke = 0;

// Loads a tip; every stroke gets its own seed so grit and vary differ between strokes.
void take(const Tip& t) {
    QRN_SetRandomSeed(0x5EED0000u + g_stroke++);
    QRN_SetSize(t.size);
    QRN_SetPixLumVary(t.lum_vary);
    QRN_SetTool(1.0f, t.grit, t.coverage, t.fill, uint8_t(t.softness), t.vary, t.repeat, t.blend, 0,
                uint8_t(t.blend > 0), 0, 0, 0, "", "", 0);
    QRN_SetAlpha(t.alpha);
    QRN_SetDensity(t.density);
    QRN_SetMixMode(32, 0);
    QRN_SetBlendStrength(t.blend);
}

struct Pt {
    double x, y;
};

// A quadratic curve from a to c pulled toward b, waved sideways by `wave` px over
// `waves` periods.
struct Path {
    Pt a, b, c;
    double wave = 0, waves = 0;

    Pt at(double t) const {
        const double u = 1 - t;
        Pt p{u * u * a.x + 2 * u * t * b.x + t * t * c.x,
             u * u * a.y + 2 * u * t * b.y + t * t * c.y};
        if (wave != 0) {
            const double dx = 2 * u * (b.x - a.x) + 2 * t * (c.x - b.x);
            const double dy = 2 * u * (b.y - a.y) + 2 * t * (c.y - b.y);
            const double len = std::max(1e-9, std::hypot(dx, dy));
            const double w = wave * std::sin(t * waves * 2 * 3.141592653589793);
            p.x += -dy / len * w;
            p.y += dx / len * w;
        }
        return p;
    }
};

Path line(Pt a, Pt c, double bend = 0, double wave = 0, double waves = 0) {
    const Pt mid{(a.x + c.x) / 2, (a.y + c.y) / 2};
    const double dx = c.x - a.x, dy = c.y - a.y, len = std::max(1e-9, std::hypot(dx, dy));
    return {a, {mid.x - dy / len * bend, mid.y + dx / len * bend}, c, wave, waves};
}

void dab(Pt p, Rgb c) {
    QRN_DrawDabGrit(int32_t(std::lround(p.x)), int32_t(std::lround(p.y)), c.r << 8, c.g << 8,
                    c.b << 8);
    QRN_DecDrawingLength();
}

// Dabs at equal arc-length steps along the path; the footprint narrows at both
// ends and the colour runs from `from` to `to`.
void stroke(const Tip& tip, const Path& path, Rgb from, Rgb to) {
    constexpr int kSamples = 512;
    std::vector<Pt> pts(kSamples + 1);
    std::vector<double> len(kSamples + 1, 0.0);
    for (int i = 0; i <= kSamples; ++i) {
        pts[size_t(i)] = path.at(double(i) / kSamples);
        if (i > 0)
            len[size_t(i)] =
                len[size_t(i - 1)] + std::hypot(pts[size_t(i)].x - pts[size_t(i - 1)].x,
                                                pts[size_t(i)].y - pts[size_t(i - 1)].y);
    }
    const double total = len.back();
    const double step = std::max(1.0, tip.spacing * tip.size);
    size_t k = 0;
    for (double s = 0; s <= total; s += step) {
        while (k + 1 < len.size() && len[k + 1] < s) ++k;
        const double seg = k + 1 < len.size() ? len[k + 1] - len[k] : 0;
        const double f = seg > 0 ? (s - len[k]) / seg : 0;
        const Pt& p0 = pts[k];
        const Pt& p1 = pts[std::min(k + 1, pts.size() - 1)];
        const double u = total > 0 ? s / total : 0;
        const double end =
            tip.taper > 0 ? std::min({1.0, u / tip.taper, (1 - u) / tip.taper}) : 1.0;
        QRN_SetScaleSize(int32_t(std::lround(tip.size * (0.35 + 0.65 * std::sqrt(end)))));
        dab({p0.x + (p1.x - p0.x) * f, p0.y + (p1.y - p0.y) * f}, mix(from, to, u));
    }
}

void stroke(const Tip& tip, const Path& path, Rgb c) { stroke(tip, path, c, c); }

// The blend buffer, remixed on every dab, carries the colour under the brush along
// the path. Faint dabs at the start fill it from the layer first, so the first
// full dab does not lift the paint it lands on.
void smudge(Tip tip, const Path& path) {
    take(tip);
    QRN_SetAlpha(1);
    for (int i = 0; i < 16; ++i) dab(path.at(0), {0, 0, 0});
    QRN_SetAlpha(tip.alpha);
    tip.taper = 0;
    stroke(tip, path, {0, 0, 0});
}

void new_layer(int slot, int opacity, const char* mode) {
    QRN_CreateLayer(slot, kW, kH);
    QRN_SetLayerOptions(slot, 1, 0, opacity, mode);
    QRN_SetLayer(slot);
}

// ---- The picture ----

constexpr double kHorizon = 440;
constexpr Pt kSun{700, 392};

Rgb sky_at(double y) {
    const Rgb top{44, 78, 146}, mid{112, 150, 204}, low{236, 186, 150}, rim{250, 214, 168};
    const double t = std::clamp(y / kHorizon, 0.0, 1.0);
    if (t < 0.45) return mix(top, mid, t / 0.45);
    if (t < 0.8) return mix(mid, low, (t - 0.45) / 0.35);
    return mix(low, rim, (t - 0.8) / 0.2);
}

double ridge_far(double x) {
    return 388 - 46 * std::exp(-std::pow((x - 250) / 150, 2)) -
           30 * std::exp(-std::pow((x - 560) / 90, 2)) - 18 * std::sin(x / 37) * std::sin(x / 113) -
           12 * std::sin(x / 71 + 1);
}

double ridge_near(double x) { return 468 - 22 * std::sin(x / 160 + 0.6) - 9 * std::sin(x / 47); }

// Warm paper with slow mottling and fine fibres.
void paint_paper(Jitter& j) {
    std::vector<uint8_t> rgb(size_t(kW) * kH * 3);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const double mottle = 4 * std::sin(x / 53.0 + std::sin(y / 41.0)) * std::sin(y / 67.0);
            const double fibre = j.range(-5, 5);
            uint8_t* p = &rgb[(size_t(y) * kW + size_t(x)) * 3];
            p[0] = uint8_t(std::clamp(247 + mottle + fibre, 0.0, 255.0));
            p[1] = uint8_t(std::clamp(240 + mottle + fibre, 0.0, 255.0));
            p[2] = uint8_t(std::clamp(224 + mottle + fibre * 1.2, 0.0, 255.0));
        }
    // A created slot starts hidden, the paper too.
    QRN_SetLayerOptions(1, 1, 0, 100, "Normal");
    QRN_SetLayer(1);
    QRN_LoadRGB24(rgb.data(), kW * 3, 0);
}

// The tooth of the paper: the engine's texture scales every dab's coverage, so thin
// paint skips the pits. It is read from a scratch layer that is dropped afterwards.
void paint_tooth(Jitter& j) {
    constexpr int kScratch = 63;
    QRN_CreateLayer(kScratch, kW, kH);
    std::vector<uint8_t> rgba(size_t(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const double weave = std::sin(x * 1.3 + std::sin(y * 0.21) * 2) * std::sin(y * 1.1);
            const double pit = j.unit() < 0.08 ? j.range(60, 140) : 0;
            const double v = 255 - 40 * std::max(0.0, weave) - pit;
            uint8_t* p = &rgba[(size_t(y) * kW + size_t(x)) * 4];
            p[0] = p[1] = p[2] = uint8_t(std::clamp(v, 0.0, 255.0));
            p[3] = 255;
        }
    QRN_LoadRGBA32Layer(rgba.data(), kW * 4, kScratch, kW, kH, 0);
    QRN_CreateTexture(kScratch);
    QRN_DeleteLayer(kScratch);
}

void paint_sky(Jitter& j) {
    new_layer(2, 100, "Normal");
    Tip wash{.size = 150,
             .softness = 190,
             .grit = 2,
             .coverage = 235,
             .fill = 250,
             .density = 236,
             .repeat = 60,
             .vary = 6,
             .lum_vary = 6,
             .alpha = 70,
             .spacing = 0.12,
             .taper = 0};
    for (double y = -30; y < kHorizon + 40; y += 34) {
        take(wash);
        const double y0 = y + j.range(-8, 8), y1 = y + j.range(-14, 14);
        stroke(wash, line({-90, y0}, {kW + 90, y1}, j.range(-30, 30), j.range(4, 10), 1.5),
               j.vary(sky_at(y0), 6), j.vary(sky_at(y1), 6));
    }
    // Clouds: lit tops, greyed violet undersides, short curved strokes.
    Tip cloud{.size = 70,
              .softness = 220,
              .grit = 3,
              .coverage = 240,
              .fill = 250,
              .density = 244,
              .repeat = 20,
              .vary = 8,
              .alpha = 55,
              .spacing = 0.15};
    const Pt clouds[] = {{180, 130}, {420, 90}, {640, 170}, {880, 110}, {300, 250}, {820, 260}};
    for (const Pt& c : clouds) {
        for (int k = 0; k < 6; ++k) {
            cloud.size = int(j.range(40, 90));
            take(cloud);
            const Pt a{c.x + j.range(-120, -20), c.y + j.range(-20, 20)};
            const Pt b{c.x + j.range(20, 130), c.y + j.range(-20, 20)};
            const bool under = k >= 4;
            const Rgb tone = under ? Rgb{186, 166, 196} : Rgb{252, 238, 228};
            stroke(cloud,
                   line(under ? Pt{a.x, a.y + 22} : a, under ? Pt{b.x, b.y + 22} : b,
                        j.range(-30, -8), 0, 0),
                   j.vary(tone, 10), j.vary(tone, 10));
        }
    }
    // The sun's disc sits in the sky, behind the mountains.
    Tip disc{.size = 48, .softness = 40, .alpha = 100};
    take(disc);
    dab(kSun, {255, 244, 214});
}

void smudge_sky(Jitter& j) {
    // Wind drags the clouds' edges to the right and down.
    Tip s{.size = 64, .softness = 255, .alpha = 80, .blend = 240, .spacing = 0.04};
    const Pt from[] = {{250, 120}, {480, 80}, {700, 160}, {930, 100}, {360, 240}, {880, 250}};
    for (const Pt& c : from)
        for (int k = 0; k < 3; ++k) {
            const Pt a{c.x + j.range(-40, 40), c.y + j.range(-16, 16)};
            smudge(s, line(a, {a.x + j.range(120, 200), a.y + j.range(10, 40)}, j.range(-30, -10)));
        }
}

void paint_land(Jitter& j) {
    new_layer(3, 100, "Normal");
    // Far mountains: short downward strokes hanging from the ridge.
    Tip far{.size = 34,
            .softness = 70,
            .grit = 2,
            .coverage = 245,
            .fill = 250,
            .density = 246,
            .repeat = 30,
            .vary = 6,
            .alpha = 90,
            .spacing = 0.15,
            .taper = 0.15};
    take(far);
    for (double x = -10; x < kW + 10; x += 9) {
        const double top = ridge_far(x) + 10;
        const Rgb lit =
            x > kSun.x - 220 && x < kSun.x + 160 ? Rgb{150, 130, 160} : Rgb{112, 118, 160};
        stroke(far, line({x, top}, {x + j.range(-10, 16), 505}, j.range(-8, 8)), j.vary(lit, 6),
               j.vary({150, 150, 182}, 6));
    }
    // Rolling green hills in front, diagonal strokes.
    Tip hill{.size = 46,
             .softness = 90,
             .grit = 2,
             .coverage = 235,
             .fill = 245,
             .density = 232,
             .repeat = 40,
             .vary = 8,
             .lum_vary = 10,
             .alpha = 90,
             .spacing = 0.14};
    take(hill);
    for (double x = -20; x < kW + 20; x += 13) {
        const double top = ridge_near(x) + 12;
        stroke(hill, line({x, top}, {x + j.range(10, 40), 590}, j.range(-10, 10)),
               j.vary({84, 112, 66}, 8), j.vary({64, 92, 52}, 8));
    }
    // The meadow: short, opaque strokes of ochre and green, slanting across.
    Tip meadow{.size = 44,
               .softness = 50,
               .grit = 2,
               .coverage = 245,
               .fill = 250,
               .density = 236,
               .repeat = 200,
               .vary = 14,
               .lum_vary = 10,
               .alpha = 95,
               .spacing = 0.12,
               .taper = 0.3};
    const Rgb greens[] = {
        {150, 140, 70}, {118, 132, 62}, {170, 126, 66}, {96, 116, 58}, {132, 150, 76}};
    int n = 0;
    for (double y = 548; y < kH + 40; y += 16) {
        const double depth = (y - 540) / 230;
        for (double x = j.range(-120, -40); x < kW + 40; ++n) {
            meadow.size = int(j.range(26, 46) * (0.7 + depth));
            take(meadow);
            const double len = j.range(90, 200) * (0.7 + depth);
            const double rise = j.range(-0.25, 0.1) * len;
            stroke(meadow, line({x, y + j.range(-8, 8)}, {x + len, y + rise}, j.range(-14, 14)),
                   j.vary(greens[n % 5], 12), j.vary(greens[(n + 2) % 5], 12));
            x += len * j.range(0.45, 0.75);
        }
    }
    // Grass: clumps of thin blades, taller toward the viewer.
    Tip blade{.size = 6, .softness = 150, .vary = 14, .alpha = 90, .spacing = 0.2, .taper = 0.6};
    const Rgb blades[] = {{58, 80, 40}, {40, 60, 34}, {196, 176, 92}, {120, 128, 56}};
    for (int clump = 0; clump < 150; ++clump) {
        const double cx = j.range(-20, kW + 20), cy = j.range(620, kH + 10);
        const double scale = 0.5 + (cy - 600) / 170;
        blade.size = int(4 + 4 * scale);
        take(blade);
        for (int k = 0; k < 5; ++k) {
            const double x = cx + j.range(-12, 12) * scale, h = j.range(20, 56) * scale;
            const double lean = j.range(-0.45, 0.45) * h;
            stroke(blade, line({x, cy + j.range(-4, 4)}, {x + lean, cy - h}, lean * 0.3),
                   j.vary(blades[(clump + k) % 4], 12));
        }
    }
}

// The lake: an ellipse leaning down to the right, its shore waved.
constexpr double kLakeX = 690, kLakeY = 548, kLakeRx = 330, kLakeRy = 44;

double lake_top(double x) {
    const double dx = std::clamp((x - kLakeX) / kLakeRx, -1.0, 1.0);
    return kLakeY + 10 * dx - (kLakeRy - 10 * dx) * std::sqrt(1 - dx * dx);
}

// The lake's outline, loaded as the selection mask: grey 0 selects, with a soft rim.
void mask_lake(Jitter& j) {
    std::vector<uint8_t> grey(size_t(kW) * kH * 3, 255);
    const double phase = j.range(0, 6);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const double dx = (x - kLakeX) / kLakeRx,
                         dy = (y - kLakeY - 10 * dx) / (kLakeRy - 10 * dx);
            const double edge = 1 + 0.07 * std::sin(x / 61.0 + phase) + 0.04 * std::sin(x / 23.0) +
                                0.05 * std::sin(y / 5.0 + x / 90.0);
            const double d = (std::sqrt(dx * dx + dy * dy) - edge) * kLakeRy;  // about px outside
            const double v = std::clamp(d / 3 + 0.5, 0.0, 1.0) * 255;
            uint8_t* p = &grey[(size_t(y) * kW + size_t(x)) * 3];
            p[0] = p[1] = p[2] = uint8_t(v);
        }
    QRN_LoadMask(grey.data(), kW * 3, kW, kH);
    QRN_EnableMask(1);
}

void paint_water(Jitter& j) {
    new_layer(4, 100, "Normal");
    // Level strokes wider than the lake: the mask trims them to the shore.
    Tip ripple{.size = 30,
               .softness = 120,
               .grit = 2,
               .coverage = 240,
               .fill = 245,
               .density = 236,
               .repeat = 80,
               .vary = 6,
               .alpha = 85,
               .spacing = 0.12,
               .taper = 0};
    for (double y = 496; y < 600; y += 7) {
        ripple.size = int(j.range(18, 34));
        take(ripple);
        const double t = (y - 496) / 104;
        const Rgb near_sun = mix({238, 184, 140}, {150, 160, 196}, t);
        const Rgb away = mix({150, 174, 210}, {80, 100, 146}, t);
        stroke(ripple,
               line({300, y + j.range(-3, 3)}, {kW + 20, y + j.range(-3, 3)}, j.range(-4, 4), 2, 3),
               j.vary(away, 8), j.vary(near_sun, 8));
    }
    // The far shore mirrored: dark greens just below it.
    Tip shore{.size = 16,
              .softness = 140,
              .grit = 2,
              .coverage = 240,
              .fill = 250,
              .density = 240,
              .repeat = 60,
              .vary = 8,
              .alpha = 70,
              .spacing = 0.12,
              .taper = 0.3};
    for (double x = 340; x < kW; x += j.range(30, 70)) {
        take(shore);
        const double len = j.range(60, 120), y0 = lake_top(x) + 3, y1 = lake_top(x + len) + 3;
        stroke(shore, line({x, y0}, {x + len, y1}), j.vary({58, 82, 60}, 8),
               j.vary({90, 110, 120}, 8));
    }
    Tip glint{.size = 5, .softness = 100, .alpha = 90, .spacing = 0.3, .taper = 0.45};
    take(glint);
    for (int k = 0; k < 50; ++k) {
        const double y = j.range(506, 596), spread = 30 + (y - 500) * 1.2;
        const double x = kSun.x + j.range(-spread, spread), half = j.range(6, 26);
        stroke(glint, line({x - half, y}, {x + half, y + j.range(-1, 1)}), {252, 232, 196});
    }
    QRN_EnableMask(0);
}

void paint_trees(Jitter& j) {
    new_layer(5, 100, "Normal");
    Tip trunk{.size = 10,
              .softness = 60,
              .grit = 1,
              .coverage = 250,
              .fill = 250,
              .density = 230,
              .repeat = 100,
              .vary = 6,
              .alpha = 100,
              .spacing = 0.2,
              .taper = 0.3};
    Tip leaf{.size = 34,
             .softness = 110,
             .grit = 3,
             .coverage = 245,
             .fill = 250,
             .density = 248,
             .repeat = 3,
             .vary = 12,
             .lum_vary = 14,
             .alpha = 80,
             .spacing = 0.3,
             .taper = 0.4};
    const Pt roots[] = {{150, 520}, {236, 500}, {318, 528}, {94, 556}};
    const double heights[] = {230, 190, 160, 250};
    for (int t = 0; t < 4; ++t) {
        const Pt r = roots[t];
        const double h = heights[t];
        trunk.size = int(10 + h / 40);
        take(trunk);
        stroke(trunk, line(r, {r.x + j.range(-10, 10), r.y - h * 0.8}, j.range(-8, 8)),
               {58, 42, 34}, {78, 60, 44});
        // Foliage: clumps of short strokes, dark at the base and lit toward the sun.
        for (int k = 0; k < 70; ++k) {
            leaf.size = int(j.range(16, 44));
            take(leaf);
            const double a = j.range(0, 6.283), rr = std::sqrt(j.unit());
            const Pt c{r.x + std::cos(a) * rr * h * 0.32,
                       r.y - h * 0.62 + std::sin(a) * rr * h * 0.42};
            const double lit =
                std::clamp(0.5 + (c.x - r.x) / (h * 0.6) - (c.y - (r.y - h)) / (h * 2), 0.0, 1.0);
            const Rgb tone = mix({30, 56, 38}, {112, 140, 64}, lit);
            stroke(leaf, line(c, {c.x + j.range(-14, 14), c.y + j.range(-14, 14)}, j.range(-6, 6)),
                   j.vary(tone, 10));
        }
    }
}

void paint_shadows(Jitter& j) {
    new_layer(6, 70, "Multiply");
    Tip glaze{.size = 70,
              .softness = 200,
              .grit = 3,
              .coverage = 230,
              .fill = 240,
              .density = 220,
              .repeat = 10,
              .vary = 6,
              .alpha = 60,
              .spacing = 0.12};
    // Cast shadows of the trees across the meadow, away from the sun.
    const Pt roots[] = {{150, 520}, {236, 500}, {318, 528}, {94, 556}};
    for (const Pt& r : roots) {
        take(glaze);
        stroke(glaze, line({r.x + 20, r.y + 10}, {r.x - 260, r.y + 130}, j.range(-20, 20)),
               {132, 118, 184}, {170, 160, 206});
    }
    // Shade on the hills' shoulders and a heavier foreground.
    glaze.size = 110;
    for (int k = 0; k < 6; ++k) {
        take(glaze);
        const double y = j.range(700, 780);
        stroke(glaze,
               line({j.range(-100, 200), y}, {j.range(700, 1100), y + j.range(-30, 30)},
                    j.range(-40, 40)),
               j.vary({120, 112, 170}, 8));
    }
    glaze.size = 60;
    for (double x = 820; x < kW + 40; x += 40) {
        take(glaze);
        stroke(glaze, line({x, ridge_far(x) + 30}, {x + 30, kHorizon + 20}, 10), {160, 150, 200});
    }
}

void paint_light(Jitter& j) {
    new_layer(7, 85, "Screen");
    // Long light streaks across the horizon and down onto the water.
    Tip streak{.size = 40,
               .softness = 230,
               .grit = 2,
               .coverage = 230,
               .fill = 240,
               .density = 220,
               .repeat = 50,
               .alpha = 50,
               .spacing = 0.12,
               .taper = 0.4};
    for (int k = 0; k < 5; ++k) {
        take(streak);
        const double y = kSun.y + j.range(-40, 60);
        stroke(streak,
               line({kSun.x - j.range(200, 400), y},
                    {kSun.x + j.range(200, 380), y + j.range(-10, 10)}, j.range(-10, 10)),
               {150, 90, 40}, {180, 120, 60});
    }
    streak.size = 26;
    take(streak);
    stroke(streak, line({kSun.x, 500}, {kSun.x + 6, 596}, 0, 10, 4), {200, 140, 70});
    // The glow last, so nothing in this layer covers it.
    Tip glow{.size = 250, .softness = 255, .alpha = 40, .spacing = 0.1, .taper = 0};
    take(glow);
    dab(kSun, {200, 110, 40});
    dab(kSun, {200, 110, 40});
    glow.size = 130;
    glow.alpha = 70;
    take(glow);
    dab(kSun, {255, 190, 110});
}

void paint_accents(Jitter& j) {
    new_layer(8, 60, "Overlay");
    Tip glaze{.size = 160,
              .softness = 230,
              .grit = 3,
              .coverage = 220,
              .fill = 230,
              .density = 210,
              .repeat = 10,
              .vary = 6,
              .alpha = 60,
              .spacing = 0.12,
              .taper = 0.1};
    for (int k = 0; k < 4; ++k) {
        take(glaze);
        const double y = j.range(300, 420);
        stroke(glaze, line({j.range(200, 400), y}, {j.range(900, 1100), y + j.range(-20, 20)}, 20),
               {240, 120, 50});
    }
    for (int k = 0; k < 4; ++k) {
        take(glaze);
        const double y = j.range(-20, 140);
        stroke(glaze, line({-60, y}, {j.range(300, 600), y + j.range(-40, 40)}, 30), {30, 50, 120});
    }
}

void paint_modelling(Jitter& j) {
    new_layer(9, 75, "Soft Light");
    Tip glaze{.size = 200, .softness = 240, .alpha = 50, .spacing = 0.1, .taper = 0.1};
    take(glaze);
    stroke(glaze, line({-40, kH + 20}, {kW + 40, kH + 20}, 0, 30, 2), {40, 30, 70});
    stroke(glaze, line({-60, -40}, {-40, kH}, 40), {40, 30, 70});
    stroke(glaze, line({kW + 60, -40}, {kW + 40, kH}, -40), {40, 30, 70});
    glaze.size = 120;
    for (int k = 0; k < 3; ++k) {
        take(glaze);
        const double y = j.range(600, 680);
        stroke(glaze, line({j.range(350, 500), y}, {j.range(800, 950), y + j.range(-20, 20)}, 20),
               {255, 240, 200});
    }
}

// Canvas weave, loaded opaque: the texturising layer shifts the picture's tone
// by its luminance around the middle grey.
void paint_weave(Jitter& j) {
    QRN_CreateLayer(10, kW, kH);
    std::vector<uint8_t> rgba(size_t(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const bool warp = ((x / 3) + (y / 3)) % 2 == 0;
            const double thread = warp ? std::sin((y % 3 + 0.5) * 3.14159 / 3)
                                       : std::sin((x % 3 + 0.5) * 3.14159 / 3);
            const double v = 128 + 48 * (thread - 0.75) + j.range(-14, 14);
            uint8_t* p = &rgba[(size_t(y) * kW + size_t(x)) * 4];
            p[0] = p[1] = p[2] = uint8_t(std::clamp(v, 0.0, 255.0));
            p[3] = 255;
        }
    QRN_LoadRGBA32Layer(rgba.data(), kW * 4, 10, kW, kH, 0);
    QRN_SetLayerOptions(10, 1, 0, 45, "Texturize2");
}

// ---- Output ----

// Area average of the 16-bit page in integers: output pixel x covers source
// [x W, (x + 1) W) in units of 1 / w, source pixel i covers [i w, (i + 1) w).
std::vector<uint8_t> shrink(const std::vector<uint16_t>& page, int w, int h) {
    auto weights = [](int from, int to, int o, std::vector<std::pair<int, int64_t>>& out) {
        out.clear();
        const int64_t lo = int64_t(o) * from, hi = lo + from;
        for (int64_t i = lo / to; i * to < hi; ++i)
            out.emplace_back(int(i), std::min(hi, (i + 1) * to) - std::max(lo, i * to));
    };
    std::vector<uint8_t> small(size_t(w) * size_t(h) * 3);
    std::vector<std::pair<int, int64_t>> wx, wy;
    for (int y = 0; y < h; ++y) {
        weights(kH, h, y, wy);
        for (int x = 0; x < w; ++x) {
            weights(kW, w, x, wx);
            for (int c = 0; c < 3; ++c) {
                int64_t sum = 0;
                for (const auto& [sy, ky] : wy)
                    for (const auto& [sx, kx] : wx)
                        sum += ky * kx * page[(size_t(sy) * kW + size_t(sx)) * 4 + size_t(c)];
                small[(size_t(y) * size_t(w) + size_t(x)) * 3 + size_t(c)] =
                    uint8_t((sum / (int64_t(kW) * kH)) >> 8);
            }
        }
    }
    return small;
}

// Prints each step's time; on a terminal, progress goes to standard error as well.
struct Timer {
    Progress progress{"demo", 16};
    Clock::time_point t0 = Clock::now();
    void lap(const char* what) {
        const Clock::time_point t = Clock::now();
        progress.clear();
        std::printf("  %-22s %8.1f ms\n", what,
                    std::chrono::duration<double, std::milli>(t - t0).count());
        std::fflush(stdout);
        progress.step(what);
        t0 = t;
    }
};

// The engine's own writers: the page straight from the layers, row by row; the
// other pictures from RGB24 buffers. Equal pixels give equal files.
bool report(const std::string& path) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) {
        std::fprintf(stderr, "quornel demo: cannot write %s\n", path.c_str());
        return false;
    }
    std::printf("  wrote %s (%ju bytes)\n", path.c_str(), size);
    return true;
}

bool wrote(const std::string& path, const uint8_t* rgb, int w, int h) {
    return QRN_WriteToFileRGB24(rgb, w, h, path.c_str(), ".png", 72) == 1 && report(path);
}

bool wrote_page(const std::string& path) {
    std::filesystem::remove(path);
    QRN_SavePageToFileRGB32(path.c_str(), ".png", 72);  // reports nothing: look for the file
    return report(path);
}

}  // namespace

int demo(const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const auto out = [&](const char* name) { return (std::filesystem::path(dir) / name).string(); };
    std::printf("quornel demo: %dx%d canvas into %s\n", kW, kH, dir.c_str());
    Timer t;
    Jitter j{0x9E3779B9u};
    QRN_IPLInit(0);
    QRN_CreateImage(nullptr, kW, kH, kMaxBrush, 0);
    QRN_CreateLayer(1, kW, kH);
    t.lap("create");
    paint_paper(j);
    paint_tooth(j);
    t.lap("paper");
    paint_sky(j);
    t.lap("layer 2 sky");
    smudge_sky(j);
    t.lap("smudge");
    paint_land(j);
    t.lap("layer 3 land");
    mask_lake(j);
    t.lap("mask");
    paint_water(j);
    t.lap("layer 4 water (masked)");
    paint_trees(j);
    t.lap("layer 5 trees");
    paint_shadows(j);
    t.lap("layer 6 Multiply");
    paint_light(j);
    t.lap("layer 7 Screen");
    paint_accents(j);
    t.lap("layer 8 Overlay");
    paint_modelling(j);
    t.lap("layer 9 Soft Light");
    paint_weave(j);
    t.lap("layer 10 Texturize2");

    std::vector<uint16_t> page(size_t(kW) * kH * 4);
    QRN_Merge(page.data());
    t.lap("merge");
    std::vector<uint8_t> page8(size_t(kW) * kH * 3);
    for (size_t i = 0, n = size_t(kW) * kH; i < n; ++i)
        for (int c = 0; c < 3; ++c)
            page8[i * 3 + size_t(c)] = uint8_t(page[i * 4 + size_t(c)] >> 8);

    // The display at 1:1, with 1:2 and 1:3 stacked beside it on a grey desk.
    constexpr int kGap = 16, kSheetW = kW + kGap + kW / 2 + kGap, kSheetH = kH;
    std::vector<uint8_t> sheet(size_t(kSheetW) * kSheetH * 3, 96);
    auto render = [&](int a, int b, int x0, int y0) {
        const int w = kW * a / b, h = kH * a / b, stride = (w * 3 + 3) & ~3;
        std::vector<uint8_t> bgr(size_t(stride) * size_t(h));
        QRN_SetViewSize(w, h);
        QRN_SetScale(a, b);
        QRN_Render(bgr.data(), stride, 0, 0, kW, kH);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint8_t* s = &bgr[size_t(y) * size_t(stride) + size_t(x) * 3];
                uint8_t* d = &sheet[(size_t(y0 + y) * kSheetW + size_t(x0 + x)) * 3];
                d[0] = s[2], d[1] = s[1], d[2] = s[0];
            }
    };
    render(1, 1, 0, 0);
    render(1, 2, kW + kGap, 0);
    render(1, 3, kW + kGap, kH / 2 + kGap);
    t.lap("render");

    // At 1:1 over the opaque paper the display shows the merged page, up to the
    // rounding of the page's 16-bit words between layers (the display keeps floats).
    size_t differ = 0;
    int worst = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW * 3; ++x) {
            const int d = std::abs(int(sheet[size_t(y) * kSheetW * 3 + size_t(x)]) -
                                   int(page8[size_t(y) * kW * 3 + size_t(x)]));
            differ += d != 0;
            worst = std::max(worst, d);
        }
    std::printf("  render 1:1 against the page: %zu channel values differ, by at most %d\n", differ,
                worst);

    bool ok = wrote_page(out("demo-page.png"));
    if (ok && std::filesystem::file_size(out("demo-page.png")) > kDocsLimit) {
        const std::vector<uint8_t> small = shrink(page, kSmallW, kSmallH);
        ok = wrote(out("demo-page-small.png"), small.data(), kSmallW, kSmallH);
    }
    ok = ok && wrote(out("demo-render.png"), sheet.data(), kSheetW, kSheetH);
    // The page file read back must be the merged page.
    if (ok && QRN_ReadFromFile(out("demo-page.png").c_str()) == 1) {
        std::vector<uint8_t> back(page8.size());
        QRN_GetNewRGBA24(back.data());
        QRN_DeleteNewRGBA();
        std::printf("  page file against the merged page: %s\n", back == page8 ? "equal" : "DIFFERENT");
        ok = back == page8;
    }
    t.lap("write");
    const char* err = QRN_GetLastError();
    if (err[0] != '\0') std::printf("  engine reported: %s\n", err);
    QRN_DeleteImage();
    QRN_IPLExit();
    return ok ? 0 : 1;
}

}  // namespace cli

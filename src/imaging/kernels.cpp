// The pixel kernels and their runner. Reads come from the destination when the
// in-place flag is set, else from the source; writes go to the destination.
// Every loop's bounds keep its reads and writes inside the canvas (the
// neighbourhood kernels skip the border, the directional scans stop one short
// of the last column and row), so the accessors' out-of-canvas rules never
// come into play and the loops run without per-pixel checks.
#include "imaging/kernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/arith.h"
#include "engine/imaging_api/imaging.h"
#include "engine/layers.h"
#include "engine/pixels.h"
#include "imaging/work_buffers.h"
#include "script/colour_spaces.h"

namespace qrn::imaging {
namespace {

static_assert(std::endian::native == std::endian::little);

constexpr double kInv255 = 0.00392156862745098;  // the colour conversions' 1 / 255

struct Frame {
    const uint8_t* in;  // the destination itself when in place
    uint8_t* out;
    int64_t w, h;
    const uint8_t* at(int64_t x, int64_t y) const { return in + (y * w + x) * 4; }
    uint8_t* to(int64_t x, int64_t y) const { return out + (y * w + x) * 4; }
    int64_t pixels() const { return w * h; }
};

inline int32_t lum(const uint8_t* p) { return (p[0] + p[1] + p[2]) / 3; }
inline uint8_t clamp_byte(int64_t v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); }
// A real write: clamped to 0..1, stored as trunc(v x 255); NaN stores 0.
inline uint8_t real_byte(double v) {
    v = v < 0 ? 0 : (v > 1 ? 1 : v);
    return uint8_t(trunc_i32(v * 255));
}

// (1 - r) x P + r x N for every pair of bytes, truncated and clamped: the
// directional kernels' blend, looked up instead of recomputed per channel.
std::vector<uint8_t> blend_table(double r) {
    std::vector<uint8_t> t(65536);
    for (int p = 0; p < 256; ++p)
        for (int n = 0; n < 256; ++n)
            t[size_t(p * 256 + n)] = clamp_byte(trunc_i32((1 - r) * p + r * n));
    return t;
}

// lum difference > t for an integer difference, as an integer test: the
// differences lie in -255..255, so the threshold is clamped just outside.
int32_t difference_threshold(double t) {
    const double f = std::floor(t);
    return f < -256 ? -256 : (f > 256 ? 256 : int32_t(f));
}

// "Anti Alias" and "Value Blur": eight in-place scans, horizontal then
// vertical, each in the directions (+x, +y), (-x, -y), (-x, +y), (+x, -y).
// A scan compares P with the next pixel N along it and, for Anti Alias, with
// the diagonal D; the last column and row in scan direction are neighbours
// only. Rows are walked outermost: every pixel is written once per scan, as the
// N of one P, after that P's own write and before its D is written, so the
// nesting of the two loops does not change the result. Luminances are carried
// along (a horizontal scan's N is the next P; a vertical scan's N row is the
// next P row) and recomputed where a blend wrote.
void directional(const KernelParams& k, uint8_t* px, int64_t w, int64_t h, bool anti_alias) {
    const std::vector<uint8_t> case1 = blend_table(k.r[0]), case2 = blend_table(k.r[1]);
    const int32_t t1 = anti_alias ? difference_threshold((1 - k.r[2]) * 255) : 2;
    const int32_t t2 = anti_alias ? difference_threshold((1 - k.r[3]) * 255) : 2;
    // The blend for P and N, or null; D's luminance is asked for only when needed.
    auto choose = [&](int32_t lp, int32_t ln, auto lum_d) -> const uint8_t* {
        if (lp - ln > t1) return (!anti_alias || lp - lum_d() <= 0) ? case1.data() : nullptr;
        if (ln - lp > t2) return (!anti_alias || lum_d() - lp <= 0) ? case2.data() : nullptr;
        return nullptr;
    };
    auto apply = [](const uint8_t* blend, const uint8_t* p, uint8_t* n) {
        for (int c = 0; c < 4; ++c) n[c] = blend[p[c] * 256 + n[c]];
    };
    std::vector<int32_t> lum_p(static_cast<size_t>(w)), lum_n(static_cast<size_t>(w));
    constexpr int64_t kDirections[4][2] = {{1, 1}, {-1, -1}, {-1, 1}, {1, -1}};
    for (int vertical = 0; vertical < 2; ++vertical)
        for (const auto& dir : kDirections) {
            const int64_t dx = dir[0], dy = dir[1];
            const int64_t x0 = dx > 0 ? 0 : w - 1, y0 = dy > 0 ? 0 : h - 1;
            const int64_t to_d = (dy * w + dx) * 4;
            if (!vertical) {
                for (int64_t j = 0; j < h - 1; ++j) {
                    uint8_t* p = px + ((y0 + j * dy) * w + x0) * 4;
                    int32_t lp = lum(p);
                    for (int64_t i = 0; i < w - 1; ++i) {
                        uint8_t* n = p + dx * 4;
                        int32_t ln = lum(n);
                        if (const uint8_t* blend = choose(lp, ln, [&] { return lum(p + to_d); })) {
                            apply(blend, p, n);
                            ln = lum(n);
                        }
                        p = n;
                        lp = ln;
                    }
                }
                continue;
            }
            for (int64_t x = 0; x < w; ++x) lum_p[size_t(x)] = lum(px + (y0 * w + x) * 4);
            for (int64_t j = 0; j < h - 1; ++j) {
                const uint8_t* prow = px + (y0 + j * dy) * w * 4;
                uint8_t* nrow = px + (y0 + (j + 1) * dy) * w * 4;
                for (int64_t x = 0; x < w; ++x) lum_n[size_t(x)] = lum(nrow + x * 4);
                for (int64_t i = 0, x = x0; i < w - 1; ++i, x += dx) {
                    // lum_n[x + dx] is still D's: column x + dx of this N row is written later.
                    if (const uint8_t* blend = choose(lum_p[size_t(x)], lum_n[size_t(x)],
                                                      [&] { return lum_n[size_t(x + dx)]; })) {
                        apply(blend, prow + x * 4, nrow + x * 4);
                        lum_n[size_t(x)] = lum(nrow + x * 4);
                    }
                }
                std::swap(lum_p, lum_n);
            }
        }
}

void anti_alias(EngineState&, KernelParams& k, const Frame& f) {
    directional(k, f.out, f.w, f.h, true);
}
void value_blur(EngineState&, KernelParams& k, const Frame& f) {
    directional(k, f.out, f.w, f.h, false);
}

// Case 1 (a neighbour darker by more than T) blends with r2, case 2 (lighter)
// with r3, through the cross sum as written, odd weights included.
void adaptive_blur(EngineState&, KernelParams& k, const Frame& f) {
    const double t = (1 - k.r[0]) * 255;
    const int64_t row = f.w * 4;
    for (int64_t y = 1; y < f.h - 1; ++y)
        for (int64_t x = 1; x < f.w - 1; ++x) {
            const uint8_t* p = f.at(x, y);
            const uint8_t* nb[4] = {p - 4, p + 4, p - row, p + row};
            const int32_t d = lum(p);
            double s_t = 0;
            bool hit = false;
            for (const uint8_t* n : nb) {
                const int32_t ln = lum(n);
                if (d - ln > t) {
                    s_t = k.r[1];
                    hit = true;
                    break;
                }
                if (ln - d > t) {
                    s_t = k.r[2];
                    hit = true;
                    break;
                }
            }
            if (!hit) continue;
            uint8_t out[4];
            for (int c = 0; c < 4; ++c) {
                const double b = std::trunc((1 - s_t) * p[c]);
                double s = std::trunc(b + s_t * nb[0][c]);
                s = std::trunc(b + (s_t * nb[1][c] + s));
                s = std::trunc(b + (s_t * nb[2][c] + s));
                s = std::trunc(b + (s_t * nb[3][c] + s));
                out[c] = clamp_byte(int64_t(s) / 4);
            }
            std::memcpy(f.to(x, y), out, 4);
        }
}

int32_t box_lum_sum(const uint8_t* p, int64_t row) {
    int32_t s = 0;
    for (int64_t dy = -1; dy <= 1; ++dy)
        for (int64_t dx = -1; dx <= 1; ++dx) s += lum(p + dy * row + dx * 4);
    return s;
}

void detail_blur(EngineState&, KernelParams& k, const Frame& f) {
    const double t = k.r[0] * 255;
    const int64_t row = f.w * 4;
    for (int64_t y = 1; y < f.h - 1; ++y)
        for (int64_t x = 1; x < f.w - 1; ++x) {
            const uint8_t* p = f.at(x, y);
            const int32_t m = box_lum_sum(p, row) / 9;
            if (!(std::abs(lum(p) - m) > t)) continue;
            int32_t sum[4] = {};
            for (int64_t dy = -1; dy <= 1; ++dy)
                for (int64_t dx = -1; dx <= 1; ++dx) {
                    const uint8_t* q = p + dy * row + dx * 4;
                    for (int c = 0; c < 4; ++c) sum[c] += q[c];
                }
            uint8_t* o = f.to(x, y);
            for (int c = 0; c < 4; ++c) o[c] = uint8_t(sum[c] / 9);
        }
}

// Point kernels work on whole pixels as little-endian words (R in the low
// byte), which the compiler turns into vector loops.
template <class Op>
void per_pixel(const Frame& f, Op op) {
    const uint8_t* s = f.in;
    uint8_t* d = f.out;
    const size_t n = size_t(f.pixels());
    for (size_t i = 0; i < n; ++i) {
        uint32_t v;
        std::memcpy(&v, s + 4 * i, 4);
        v = op(v);
        std::memcpy(d + 4 * i, &v, 4);
    }
}

inline uint32_t word_lum(uint32_t v) {
    return ((v & 0xFF) + ((v >> 8) & 0xFF) + ((v >> 16) & 0xFF)) / 3;
}

// lum >= r1 x 255 gives white, else black; alpha stays. For an integer lum
// that is lum >= ceil(r1 x 255).
void threshold(const KernelParams& k, const Frame& f) {
    const double t = std::ceil(k.r[0] * 255);
    const uint32_t from = t <= 0 ? 0 : (t > 256 ? 256 : uint32_t(t));
    per_pixel(f, [from](uint32_t v) {
        return (v & 0xFF000000u) | (word_lum(v) >= from ? 0xFFFFFFu : 0);
    });
}

void basic_threshold(EngineState&, KernelParams& k, const Frame& f) { threshold(k, f); }

// Threshold, load it into the current layer and make it the source too, then
// whiten dark pixels whose neighbourhood is lighter by more than r2 x 255.
void line_art_cleaner(EngineState& st, KernelParams& k, const Frame& f) {
    threshold(k, f);
    pixels::load_rgba32_layer(st, st.work.dst32.data(), f.w * 4, st.canvas.current_slot,
                              int32_t(f.w), int32_t(f.h), true);
    std::memcpy(st.work.src32.data(), st.work.dst32.data(), size_t(f.pixels()) * 4);
    const double dark = k.r[0] * 255, margin = k.r[1] * 255;
    const int64_t row = f.w * 4;
    for (int64_t y = 1; y < f.h - 1; ++y)
        for (int64_t x = 1; x < f.w - 1; ++x) {
            const uint8_t* p = f.at(x, y);
            const int32_t l = lum(p);
            if (!(l < dark)) continue;
            const int32_t m = box_lum_sum(p, row) / 9;
            if (m - margin > l) std::memset(f.to(x, y), 255, 3);
        }
}

void adjust_lab(EngineState&, KernelParams& k, const Frame& f) {
    const double dl = (k.r[0] - 0.5) * 200, da = (k.r[1] - 0.5) * 200, db = (k.r[2] - 0.5) * 200;
    // Runs of one colour are common; the conversion of the last one is kept.
    uint32_t last = 0xFFFFFFFF;
    script::Rgb8 o{};
    const uint8_t* s = f.in;
    uint8_t* d = f.out;
    for (int64_t i = 0; i < f.pixels(); ++i, s += 4, d += 4) {
        const uint32_t key = uint32_t(s[0]) | uint32_t(s[1]) << 8 | uint32_t(s[2]) << 16;
        if (key != last) {
            const script::Xyz x = script::rgb_to_xyz(s[0], s[1], s[2]);
            const script::Lab lab = script::xyz_to_lab(x.x, x.y, x.z);
            o = script::lab_to_rgb(lab.l + dl, lab.a + da, lab.b + db);
            last = key;
        }
        d[0] = o.r;
        d[1] = o.g;
        d[2] = o.b;
    }
}

// hi = 255 - (255 - c)^2 / d and lo = c^2 / d (integer), mixed by the
// pixel's HSL lightness L: trunc(hi x (1 - L) + lo x L). d is at least 1, also
// when r1 > 1 would make it negative.
void hyper_contrast(EngineState&, KernelParams& k, const Frame& f) {
    int32_t d = trunc_i32((1 - k.r[0]) * 255);
    if (d < 1) d = 1;
    std::array<int32_t, 256> hi, lo;
    for (int32_t c = 0; c < 256; ++c) {
        hi[size_t(c)] = 255 - (255 - c) * (255 - c) / d;
        lo[size_t(c)] = c * c / d;
    }
    const uint8_t* s = f.in;
    uint8_t* o = f.out;
    for (int64_t i = 0; i < f.pixels(); ++i, s += 4, o += 4) {
        const int32_t mx = std::max({s[0], s[1], s[2]}), mn = std::min({s[0], s[1], s[2]});
        // As the HSL conversion computes it: each channel scaled, then averaged.
        const double l = (mx * kInv255 + mn * kInv255) * 0.5;
        for (int c = 0; c < 3; ++c) o[c] = clamp_byte(trunc_i32(hi[s[c]] * (1 - l) + lo[s[c]] * l));
    }
}

// k1 0, 1, 2 compare with the pixel left, above, up-left. Any other value
// compares a pixel with itself, which changes nothing: the loop is skipped
// rather than passing every pixel through a lossy HSL round trip.
void bas_relief(EngineState&, KernelParams& k, const Frame& f) {
    if (k.k1 < 0 || k.k1 > 2) return;
    const int64_t back = k.k1 == 0 ? 4 : (k.k1 == 1 ? f.w * 4 : (f.w + 1) * 4);
    const double r1 = k.r[0];
    for (int64_t y = 1; y < f.h - 1; ++y)
        for (int64_t x = 1; x < f.w - 1; ++x) {
            const uint8_t* p = f.at(x, y);
            const uint8_t* q = p - back;
            const script::Hsl a = script::rgb_to_hsl(p[0], p[1], p[2]);
            const script::Hsl b = script::rgb_to_hsl(q[0], q[1], q[2]);
            double l = a.l, s = a.s;
            if (l > b.l) l = l + r1 * (1 - l);
            if (l < b.l) l = l - l * r1;
            if (s > b.s) s = s + r1 * (1 - s);
            if (s < b.s) s = s - s * r1;
            s = s < 0 ? 0 : (s > 1 ? 1 : s);
            l = l < 0 ? 0 : (l > 1 ? 1 : l);
            const script::Rgb8 o = script::hsl_to_rgb(a.h, s, l);
            uint8_t* d = f.to(x, y);
            d[0] = o.r;
            d[1] = o.g;
            d[2] = o.b;
        }
}

void grayscale(EngineState&, KernelParams&, const Frame& f) {
    per_pixel(f, [](uint32_t v) { return (v & 0xFF000000u) | word_lum(v) * 0x010101u; });
}

void invert(EngineState&, KernelParams&, const Frame& f) {
    per_pixel(f, [](uint32_t v) { return v ^ 0xFFFFFFu; });
}

// A shape map (ellipse or rectangle, f4) softened by a Gaussian of radius
// r4 x 50 weights alpha (f2) and the mix towards the colour (r1, r2, r3) (f1);
// f3 picks the map's background and shape values and inverts the weight.
void vignette(EngineState&, KernelParams& k, const Frame& f) {
    const int32_t w = int32_t(f.w), h = int32_t(f.h);
    Buffer<uint8_t> shape = Buffer<uint8_t>::make(size_t(f.pixels()));
    Buffer<uint8_t> soft = Buffer<uint8_t>::make(size_t(f.pixels()));
    const uint8_t f3 = k.f[2];
    int32_t back = 0, value = 255;
    if (f3 == 0)
        back = trunc_i32(255 - k.r[5] * 255);
    else if (f3 == 1)
        value = trunc_i32(k.r[5] * 255);
    shape.fill_bytes(clamp_byte(back));
    const int64_t ex = std::max(2, trunc_i32(w * k.r[4])), ey = std::max(2, trunc_i32(h * k.r[4]));
    const int64_t cx = w / 2, cy = h / 2;
    if (k.f[3] == 0)
        fill_ellipse(shape.data(), w, h, 1, w, clamp_byte(value), int32_t(cx), int32_t(cy),
                     int32_t(ex), int32_t(ey));
    else
        fill_solid_rect(shape.data(), w, h, 1, w, int32_t(std::max<int64_t>(0, cx - ex)),
                        int32_t(std::max<int64_t>(0, cy - ey)),
                        int32_t(std::min<int64_t>(w, cx + ex)),
                        int32_t(std::min<int64_t>(h, cy + ey)), clamp_byte(value));
    double radius = k.r[3] * 50;
    if (radius == 0) radius = 0.1;
    gaussian_blur(shape.data(), w, h, 1, w, soft.data(), w, radius, 15);
    if (k.r[0] == 0) k.r[0] = 0.001;
    const uint8_t* s = f.in;
    uint8_t* d = f.out;
    for (int64_t i = 0; i < f.pixels(); ++i, s += 4, d += 4) {
        double v = soft[size_t(i)] / 255.0;
        if (f3 == 1) v = 1 - v;
        double c[4] = {s[0] / 255.0, s[1] / 255.0, s[2] / 255.0, s[3] / 255.0};
        if (k.f[1] == 1) c[3] = v;
        if (k.f[0] == 1)
            for (int j = 0; j < 3; ++j) c[j] = v * c[j] + (1 - v) * k.r[j];
        for (int j = 0; j < 4; ++j) d[j] = real_byte(c[j]);
    }
}

using Kernel = void (*)(EngineState&, KernelParams&, const Frame&);
struct NamedKernel {
    const char* name;
    Kernel run;
    bool forces_in_place;
    // Writes every byte of the destination from what it reads, so the copy of
    // source to destination would be overwritten unseen.
    bool writes_all = false;
};
constexpr NamedKernel kKernels[] = {
    {"Anti Alias", anti_alias, true},
    {"Adaptive Blur", adaptive_blur, false},
    {"Line Art Cleaner", line_art_cleaner, false},
    {"Basic Threshold", basic_threshold, false, true},
    {"Adjust Lab", adjust_lab, false},
    {"Detail Blur", detail_blur, false},
    {"Value Blur", value_blur, true},
    {"Hyper Contrast", hyper_contrast, false},
    {"Bas Relief", bas_relief, false},
    {"Grayscale", grayscale, false, true},
    {"Invert", invert, false, true},
    {"Vignette", vignette, false},
};

}  // namespace

int32_t run_kernel(EngineState& st, const char* name, uint8_t in_place, const KernelArgs& args) {
    if (!work::canvas_buffer(st, work::Kind::Src32) || !work::canvas_buffer(st, work::Kind::Dst32))
        return 0;
    const int64_t pixels = layers::canvas_pixels(st);
    KernelParams& k = st.kernel;
    k.in_place = in_place;
    for (int i = 0; i < 6; ++i) {
        k.r[i] = args.reals[i] * 0.001;
        k.f[i] = args.flags[i];
    }
    k.k1 = args.k1;
    k.k2 = args.k2;
    k.columns = st.canvas.width;
    k.rows = st.canvas.height;
    k.area[0] = 0;
    k.area[1] = 0;
    k.area[2] = st.canvas.width - 1;
    k.area[3] = st.canvas.height - 1;
    const NamedKernel* kn = nullptr;
    for (const NamedKernel& candidate : kKernels)
        if (std::strcmp(candidate.name, name ? name : "") == 0) kn = &candidate;
    if (in_place == 0 && !(kn && kn->writes_all))
        std::memcpy(st.work.dst32.data(), st.work.src32.data(), size_t(pixels) * 4);
    if (kn) {
        if (kn->forces_in_place) k.in_place = 1;
        const Frame f{k.in_place ? st.work.dst32.data() : st.work.src32.data(),
                      st.work.dst32.data(), st.canvas.width, st.canvas.height};
        kn->run(st, k, f);
    }
    return 1;
}

}  // namespace qrn::imaging

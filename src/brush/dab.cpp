// Dab renderer: colour dabs into the paint layer or the current layer, and mask
// dabs into the selection mask. The per-pixel loop below is the reference; the
// plain paint-over loop of dab_plain.cpp and the blend-buffer paint-over loop of
// dab_blend.cpp take over for the common settings.
#include "brush/dab.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "brush/dab_blend.h"
#include "brush/dab_plain.h"
#include "brush/dab_strength.h"
#include "engine/layers.h"

namespace qrn::brush {
namespace {

constexpr int64_t kFull = 65535;
constexpr int32_t kPaintOver = 32;
constexpr int32_t kMultiply = 33;
constexpr int32_t kBlobFloor = 8191;       // blob lock: alpha at or below is left alone
constexpr int32_t kBlobEraseFloor = 9215;  // blob-locked erasing never goes below

constexpr int64_t clamp16(int64_t v) { return v < 0 ? 0 : (v > kFull ? kFull : v); }

// Footprint bounds in 64 bits: a centre near the int32 limits must not wrap.
struct Footprint {
    int64_t first_col = 0, first_row = 0, right = 0, bottom = 0, j0 = 0, i0 = 0;
};

Footprint footprint_of(const EngineState& st, int32_t x, int32_t y) {
    const int64_t n = st.brush.footprint;
    const int64_t h = n / 2;
    const int64_t left = int64_t(x) - h, top = int64_t(y) - h;
    Footprint f;
    f.right = std::min<int64_t>(left + n, st.canvas.width);
    f.bottom = std::min<int64_t>(top + n, st.canvas.height);
    f.first_col = std::max<int64_t>(left, 0);
    f.first_row = std::max<int64_t>(top, 0);
    f.j0 = left < 0 ? -left : 0;
    f.i0 = top < 0 ? -top : 0;
    return f;
}

// The changed rectangle grows even when the footprint is empty, so a dab far
// outside the canvas still pulls the minimum down to 0.
void grow_changed(UndoHistory& u, const Footprint& f) {
    ChangedRect& r = u.changed;
    r.x1 = saturate_i32(std::min<int64_t>(r.x1, f.first_col));
    r.y1 = saturate_i32(std::min<int64_t>(r.y1, f.first_row));
    r.x2 = saturate_i32(std::max<int64_t>(r.x2, f.right));
    r.y2 = saturate_i32(std::max<int64_t>(r.y2, f.bottom));
}

// Colour vary offset of a dab, (V / 2 - rand() % V) x 256; one draw.
int64_t colour_vary_offset(EngineState& st) {
    const int64_t v = st.settings.colour_vary;
    return (v / 2 - st.rng.next() % v) * 256;
}

// A new grit run starts when the countdown has run out or no buffer has been
// chosen since the buffers were made: a buffer other than the one in use, then
// a row offset and a column offset into it.
void run_grit(EngineState& st) {
    BrushBuffers& br = st.brush;
    if (br.grit_size <= 0) return;
    const bool chosen = br.grit_choice >= 0 && br.grit_choice < kGritBuffers;
    if (chosen && br.grit_countdown >= 1) return;
    int32_t choice;
    do choice = st.rng.next() % kGritBuffers;
    while (choice == br.grit_choice);
    const int64_t row = st.rng.next() % 25;
    const int64_t col = st.rng.next() % 25;
    br.grit_choice = choice;
    br.grit_offset = row * st.canvas.max_brush + col;
    br.grit_countdown = br.grit_repeat;
}

// A pixel variation array read along the rows: each row continues where the
// previous one stopped, or restarts at rand() % b when it might reach the last
// byte. Off when the amount is 0 or the array is shorter than 3 x b (it was made
// for a smaller canvas): then no random number is drawn for it.
struct VaryStream {
    const uint8_t* bytes = nullptr;
    int64_t length = 0;
    int64_t pos = -1;
    int32_t amount = 0;

    VaryStream(const RandomByteArray& arr, int32_t amt, int32_t b) {
        if (amt <= 0 || b < 1 || arr.bytes.empty()) return;
        if (int64_t(arr.length) < 3 * int64_t(b) || arr.bytes.size() < size_t(arr.length)) return;
        bytes = arr.bytes.data();
        length = arr.length;
        amount = amt;
    }
    bool on() const { return bytes != nullptr; }
    // A row reads at most n <= b bytes: continuing needs pos + n below the last
    // byte, and a restart at pos < b ends below 2b, inside the 3 x b bytes.
    void start_row(Rng& rng, int64_t n, int32_t b) {
        if (pos < 0 || pos + n >= length - 1) pos = rng.next() % b;
    }
    int32_t next() { return bytes[pos++]; }
};

// Pixel colour vary: ((Z AND NOT 1) - 2 x (byte % Z)) x 128.
int64_t pixel_vary_offset(int32_t z, int32_t byte) {
    return (int64_t(z & ~1) - 2 * int64_t(byte % z)) * 128;
}

// Pixel luminance vary in double: k = (128 - Z/2 + byte % Z) / 256 pulls the
// channel toward white above 0.5 and toward black below it.
int64_t luminance_vary(int64_t c, int32_t z, int32_t byte) {
    const double k = double(128 - int64_t(z >> 1) + byte % z) / 256;
    const double v = k > 0.5 ? c + (kFull - c) * (k - 0.5) * 2 : c - c * (0.5 - k) * 2;
    return clamp16(trunc_i32(v));
}

// Everything a dab needs per pixel, computed once per dab.
struct Dab {
    Footprint fp;
    int64_t W = 0;
    int32_t b = 0, S = 0, n = 0;
    uint16_t* target = nullptr;  // RGBA64 (colour dab) or the mask (mask dab)
    const uint16_t* shape = nullptr;
    const int32_t* smap = nullptr;
    uint16_t* blend = nullptr;      // null unless the blend buffer is in use
    const uint8_t* grit = nullptr;  // already offset to the current grit run
    const uint8_t* texture = nullptr;
    const uint16_t* mask = nullptr;  // colour dab only
    int32_t density_threshold = 0;
    bool alpha_full = true;
    int64_t alpha_scaled = 0;
    bool solid = false;
    bool rotate = false;
    float sine = 0, cosine = 0;
};

// The checks that keep every read inside the brush buffers: a brush that does
// not fit them paints nothing (the tool clamps, so this holds for any host).
bool brush_fits(const EngineState& st, bool blend_in_use) {
    const BrushBuffers& br = st.brush;
    const int64_t b = st.canvas.max_brush, S = br.size, n = br.footprint;
    if (b < 1 || S < 1 || S > b || n > S || n > kScaleMapEntries) return false;
    if (br.shape.size() < size_t(b * b)) return false;
    for (int64_t i = 0; i < n; ++i) {
        const int32_t e = br.scale_map[size_t(i)];
        if (e < 0 || e >= S) return false;
    }
    if (blend_in_use && br.blend.size() < size_t(b * b * 4)) return false;
    if (br.grit_size > 0) {
        if (br.grit_choice < 0 || br.grit_choice >= kGritBuffers) return false;
        const Buffer<uint8_t>& g = br.grit[size_t(br.grit_choice)];
        const int64_t last = br.grit_offset + (S - 1) * b + (S - 1);
        if (g.empty() || br.grit_offset < 0 || last >= int64_t(g.size())) return false;
    }
    return true;
}

// Shape, grit, blend and coverage set-up shared by the colour and mask dab.
void set_up_brush(EngineState& st, Dab& d, bool blend_in_use) {
    BrushBuffers& br = st.brush;
    const Settings& s = st.settings;
    d.W = st.canvas.width;
    d.b = st.canvas.max_brush;
    d.S = br.size;
    d.n = br.footprint;
    d.shape = br.shape.data();
    d.smap = br.scale_map.data();
    if (blend_in_use) d.blend = br.blend.data();
    if (br.grit_size > 0) d.grit = br.grit[size_t(br.grit_choice)].data() + br.grit_offset;
    d.density_threshold = s.density_threshold;
    d.texture = layers::canvas_texture(st);
    d.alpha_full = s.alpha_percent >= 100;
    d.alpha_scaled = s.alpha_scaled;
    d.solid = s.solid_brush_mode != 0;
    d.rotate = s.rotate_brush_mode == 1;
    d.sine = s.rotation_sin;
    d.cosine = s.rotation_cos;
}

// Sample position of footprint pixel (sr, sc): rotated about the shape centre in
// single precision, falling back to the plain position when it leaves the shape.
inline void sample_position(const Dab& d, int32_t sr, int32_t sc, int32_t& row, int32_t& col) {
    row = sr;
    col = sc;
    if (!d.rotate) return;
    const int32_t m = d.S / 2;
    const float dx = float(sc - m), dy = float(sr - m);
    const int64_t hx = m + int64_t(trunc_i32(dx * d.cosine - dy * d.sine));
    const int64_t hy = m + int64_t(trunc_i32(dy * d.cosine + dx * d.sine));
    if (hx >= 0 && hx < d.S && hy >= 0 && hy < d.S) {
        row = int32_t(hy);
        col = int32_t(hx);
    }
}

// Coverage of a sampled pixel before solid mode, or -1 when grit skips it:
// M = s (alpha 100) or (s x alpha scaled) >> 7, then texture (M x t) >> 8 for
// t < 255, then mask (M x m) >> 16 for m < 65535.
inline int64_t coverage(const Dab& d, size_t at, size_t canvas_at, bool with_mask) {
    if (d.grit && int32_t(d.grit[at]) > d.density_threshold) return -1;
    const int64_t s = d.shape[at];
    int64_t m = detail::opacity_strength(d.alpha_full, d.alpha_scaled, uint32_t(s));
    if (d.texture) {
        const int64_t t = d.texture[canvas_at];
        if (t < 255) m = (m * t) >> 8;
    }
    if (with_mask && d.mask) {
        const int64_t w = d.mask[canvas_at];
        if (w < kFull) m = (m * w) >> 16;
    }
    return m;
}

// ---- Colour dab ----------------------------------------------------------------------

struct ColourDab : Dab {
    int64_t dab[4] = {};   // dab colour and alpha
    int64_t pdab[4] = {};  // P x dab channel
    int64_t P = 0;
    int32_t mode = kPaintOver;  // codes below 32 act as 32
    int64_t Q = 0, T = 0;
    int64_t B = 0;
    bool remix = false;
    bool image_brush = false;
    bool erase = false;
    bool colour_locked = false;
    bool blob = false;
    bool alpha_writable = false;
    int64_t alpha_level = 0;  // 1..65535 replaces the result alpha
    int32_t posterise = 0;
    const uint16_t* banks = nullptr;
};

// Mix-path value Fk of one channel for the codes that mix it with the paint.
// s is the working channel, d the prepared destination, L the working mean.
int64_t mode_value(const ColourDab& c, int ch, int64_t s, int64_t d, int64_t L) {
    const uint16_t* bank = c.banks + ch * 4;  // planar: bank k's channel is bank[k]
    switch (c.mode) {
        case 34:
            return kFull - (((kFull - d) * (kFull - s)) >> 16);
        case 35:
            return std::min(d, s);
        case 36:
            return std::max(d, s);
        case 37:
            return d > s ? d - s : s - d;
        case 38:
            return kFull - std::abs(kFull - s - d);
        case 39:
            return d + s - ((s * d) >> 15);
        case 40:
            return d < 32767 ? (s * d) >> 15 : kFull - ((kFull - d) * (kFull - s)) / 32768;
        case 41:
            return s < 32767 ? (s * d) >> 15 : kFull - ((kFull - d) * (kFull - s)) / 32768;
        case 42: {
            // D is held in single precision; everything else is double.
            const double A = double(s) / 65535;
            const double D = double(float(double(d) / 65535));
            const double v = A < 0.5 ? D * (2 * A + (1 - 2 * A) * D)
                                     : std::sqrt(D) * (2 * A - 1) + 2 * D * (1 - A);
            return trunc_i32(v * 65535);
        }
        case 43:
            return s == kFull ? kFull : std::min((d * 65536) / (kFull - s), kFull);
        case 44:
            return s == 0 ? 0 : std::max<int64_t>(0, kFull - ((kFull - d) * 65536) / s);
        case 45:
            return s == kFull ? kFull : std::min(d * d / (kFull - s), kFull);
        case 46:
            return d == kFull ? kFull : std::min(s * s / (kFull - d), kFull);
        case 47:
            return std::min(d + s, kFull);
        case 48:
            return std::max<int64_t>(d + s - kFull, 0);
        case 249:
            return L < 32767 ? bank[0] : bank[1];
        case 250:
            return L < 21845 ? bank[0] : (L >= 43690 ? bank[2] : bank[1]);
        case 251:
            return L < 16383 ? bank[0] : L < 32767 ? bank[1] : L < 49151 ? bank[2] : bank[3];
        case 252:
            if (L < 32767) {
                const int64_t t = (2 * L) >> 8;
                return (bank[1] * t + bank[0] * (256 - t)) >> 8;
            } else {
                const int64_t t = (2 * L - 65534) >> 8;
                return (bank[2] * t + bank[1] * (256 - t)) >> 8;
            }
        case 253:
            return L < 32767 ? bank[0] : d;
        case 254:
            return L > 32767 ? bank[0] : d;
        case 255:
            return L < 20479 ? bank[0] : (L > 49151 ? bank[1] : s);
        case 259:
            return bank[0];  // reached only below the keep threshold
        case 260:
            return bank[0];
        case 261:
            return s <= 10921 ? 0 : s <= 32766 ? 21845 : s < 54613 ? 43690 : kFull;
        case 262:
            return s < 21845 ? 0 : s < 43690 ? 32767 : kFull;
        default:
            return s;  // 256..258 below their thresholds, and unlisted codes
    }
}

// Codes that leave the destination as it is (r = d, u = f) for some means.
bool mode_keeps(int32_t mode, int64_t L) {
    switch (mode) {
        case 256:
            return L < 20479;
        case 257:
            return L > 49151;
        case 258:
            return L < 20479 || L > 49151;
        case 259:
            return L > 12287;
        case 260:
            return L < 57343;
        default:
            return false;
    }
}

// One footprint pixel of a colour dab: the working colour, the compositing or
// mix path, blend remix and the write rules, in that order.
inline void paint_pixel(ColourDab& c, Rng& rng, VaryStream& cv, VaryStream& lv, uint16_t* px,
                        int64_t m, size_t sample) {
    if (c.solid) m = kFull;

    int64_t ck[3], a;
    if (c.blend) {
        uint16_t* bp = c.blend + sample;
        int64_t ba = bp[3];
        if (c.image_brush && ba < kFull) {
            m = (m * ba) >> 16;
            if (m == 0) m = 1;
            ba = kFull;
        }
        for (int k = 0; k < 3; ++k) ck[k] = bp[k];
        if (cv.on()) {
            const int64_t o = pixel_vary_offset(cv.amount, cv.next());
            for (int64_t& v : ck) v = clamp16(v + o);
        }
        if (lv.on()) {
            const int32_t byte = lv.next();
            for (int64_t& v : ck) v = luminance_vary(v, lv.amount, byte);
        }
        if (c.P != 0) {
            for (int k = 0; k < 3; ++k) ck[k] = clamp16((c.pdab[k] + (256 - c.P) * ck[k]) >> 8);
            a = clamp16((c.pdab[3] + (256 - c.P) * ba) >> 8);
        } else {
            a = ba;
        }
    } else {
        for (int k = 0; k < 3; ++k) ck[k] = c.dab[k];
        a = c.dab[3];
        if (cv.on()) {
            const int64_t o = pixel_vary_offset(cv.amount, cv.next());
            for (int64_t& v : ck) v = clamp16(v + o);
            a = clamp16(a + o);
        }
        if (lv.on()) {
            // Applied to the dab colour itself: it replaces the colour-varied channels.
            const int32_t byte = lv.next();
            for (int k = 0; k < 3; ++k) ck[k] = luminance_vary(c.dab[k], lv.amount, byte);
        }
    }

    int64_t dk[3] = {px[0], px[1], px[2]};
    const int64_t f = px[3];
    int64_t r[3] = {dk[0], dk[1], dk[2]};
    int64_t u;

    if (c.mode <= kMultiply) {
        // Compositing path. Paint-over (32):
        //   e = M a / 65535, u = f + (65535 - f) e / 65535,
        //   r = ((d f >> 16) (65535 - e) / 65535 + (e c >> 16)) 65535 / u
        // Multiply (33), with D = d f >> 16 and S = e c >> 16:
        //   r = ((65535 - e) D / 65535 + (65535 - f) S / 65535 + D S / 65535) 65535 / u
        if (f == 0) {
            for (int k = 0; k < 3; ++k) r[k] = ck[k];
            u = (m * a) >> 16;
        } else if (c.blend && c.mode == kPaintOver) {
            u = ((((65536 - m) * f) >> 8) + ((m * a) >> 8)) >> 8;
            if (a != 0)
                for (int k = 0; k < 3; ++k)
                    r[k] = ((((65536 - m) * dk[k]) >> 8) + ((m * ck[k]) >> 8)) >> 8;
        } else if (c.erase) {
            u = ((kFull - m) * f) >> 16;
        } else {
            const int64_t e = (m * a) / kFull;
            u = f + (kFull - f) * e / kFull;
            for (int k = 0; k < 3; ++k) {
                const int64_t D = (dk[k] * f) >> 16, S = (e * ck[k]) >> 16;
                const int64_t sum =
                    c.mode == kPaintOver
                        ? D * (kFull - e) / kFull + S
                        : (kFull - e) * D / kFull + (kFull - f) * S / kFull + D * S / kFull;
                r[k] = sum * kFull / u;
            }
        }
    } else {
        // Mix path: the destination is first pulled toward the paint where it is
        // thin, w = min(((65535 - f) M >> 16) x 3, 65535); mixed codes give
        // r = ((T c >> 4) + (Q F >> 4)) >> 4; partial coverage then blends r with
        // d (+1 on colour, inside the min) and u with f (no +1).
        if (f == 0) {
            for (int k = 0; k < 3; ++k) dk[k] = ck[k];
        } else if (f < kFull) {
            const int64_t w = std::min((((kFull - f) * m) >> 16) * 3, kFull);
            for (int k = 0; k < 3; ++k)
                dk[k] = (((kFull - w) * dk[k] >> 8) + (w * ck[k] >> 8)) >> 8;
        }
        if (c.erase) a = 0;
        u = a;
        const int64_t L = (ck[0] + ck[1] + ck[2]) / 3;
        if (c.mode == 253 || c.mode == 254) rng.next();  // drawn and discarded
        if (mode_keeps(c.mode, L)) {
            for (int k = 0; k < 3; ++k) r[k] = dk[k];
            u = f;
        } else if (c.mode == 295) {
            for (int k = 0; k < 3; ++k) r[k] = (ck[k] >> c.posterise) << c.posterise;
        } else if (c.mode == 340) {
            for (int k = 0; k < 3; ++k) r[k] = dk[k] = 32767;
        } else {
            for (int k = 0; k < 3; ++k) {
                const int64_t F = mode_value(c, k, ck[k], dk[k], L);
                r[k] = clamp16((((c.T * ck[k]) >> 4) + ((c.Q * F) >> 4)) >> 4);
            }
        }
        if (m < kFull) {
            for (int k = 0; k < 3; ++k)
                r[k] =
                    std::min(kFull, ((((m * r[k]) >> 8) + (((65536 - m) * dk[k]) >> 8)) >> 8) + 1);
            u = (((m * u) >> 8) + (((65536 - m) * f) >> 8)) >> 8;
        }
    }

    if (c.blend && c.remix) {
        uint16_t* bp = c.blend + sample;
        const int64_t B = c.B;
        if (a == 0) {
            for (int k = 0; k < 3; ++k) bp[k] = uint16_t(dk[k]);
            bp[3] = uint16_t(clamp16(((256 - B) * f) >> 8));
        } else if (f == 0) {
            for (int k = 0; k < 3; ++k) bp[k] = uint16_t(ck[k]);
            bp[3] = uint16_t(clamp16((B * a) >> 8));
        } else {
            for (int k = 0; k < 3; ++k)
                bp[k] = uint16_t(clamp16((((256 - B) * dk[k] + B * ck[k]) >> 8) + 1));
            bp[3] = uint16_t(clamp16(((256 - B) * f + B * a) >> 8));
        }
    }

    u = clamp16(u);
    if (c.erase) {
        if (!c.blob)
            px[3] = uint16_t(u);
        else if (f > kBlobFloor)
            px[3] = uint16_t(std::max<int64_t>(u, kBlobEraseFloor));
        return;
    }
    if (!c.colour_locked)
        for (int k = 0; k < 3; ++k) px[k] = uint16_t(clamp16(r[k]));
    if (c.alpha_writable && (!c.blob || (f > kBlobFloor && u > kBlobFloor)))
        px[3] = uint16_t(c.alpha_level >= 1 ? c.alpha_level : u);
}

void paint_general(ColourDab& c, EngineState& st) {
    VaryStream cv(st.pix_colour_vary, st.brush.pix_colour_vary, c.b);
    VaryStream lv(st.pix_lum_vary, st.brush.pix_lum_vary, c.b);
    const Footprint& fp = c.fp;
    const size_t blend_row = size_t(c.b) * 4;
    for (int64_t Y = fp.first_row; Y < fp.bottom; ++Y) {
        const int32_t sr = c.smap[fp.i0 + (Y - fp.first_row)];
        if (cv.on()) cv.start_row(st.rng, c.n, c.b);
        if (lv.on()) lv.start_row(st.rng, c.n, c.b);
        uint16_t* row = c.target + size_t(Y * c.W) * 4;
        for (int64_t X = fp.first_col; X < fp.right; ++X) {
            const int32_t sc = c.smap[fp.j0 + (X - fp.first_col)];
            int32_t hr, hc;
            sample_position(c, sr, sc, hr, hc);
            const size_t at = size_t(hr) * size_t(c.b) + size_t(hc);
            const int64_t m = coverage(c, at, size_t(Y * c.W + X), true);
            if (m <= 0) continue;
            paint_pixel(c, st.rng, cv, lv, row + X * 4, m, size_t(hr) * blend_row + size_t(hc) * 4);
        }
    }
}

// The plain loop covers mode 32 without blend, grit, texture, pixel variation,
// rotation, erase or locks; it must give the same words as paint_general.
bool plain_applies(const ColourDab& c, const EngineState& st) {
    return c.mode == kPaintOver && !c.blend && !c.grit && !c.texture && !c.rotate && !c.erase &&
           !c.colour_locked && !c.blob && st.brush.pix_colour_vary <= 0 &&
           st.brush.pix_lum_vary <= 0;
}

void paint_plain(const ColourDab& c, bool wide) {
    detail::PlainDab p;
    p.wide = wide;
    p.colour[0] = uint16_t(c.dab[0]);
    p.colour[1] = uint16_t(c.dab[1]);
    p.colour[2] = uint16_t(c.dab[2]);
    p.alpha = uint16_t(c.dab[3]);
    p.alpha_full = c.alpha_full;
    p.alpha_scaled = c.alpha_scaled;
    p.solid = c.solid;
    p.write_alpha = c.alpha_writable;
    p.alpha_level = uint16_t(c.alpha_level);
    const Footprint& fp = c.fp;
    if (fp.right <= fp.first_col || fp.bottom <= fp.first_row) return;
    detail::PlainRows f;
    f.count = size_t(fp.right - fp.first_col);
    f.row_count = size_t(fp.bottom - fp.first_row);
    f.shape = c.shape;
    f.shape_stride = size_t(c.b);
    f.rows = c.smap + fp.i0;
    const int32_t* cols = c.smap + fp.j0;
    bool contiguous = true;
    for (size_t j = 0; j < f.count && contiguous; ++j) contiguous = cols[j] == cols[0] + int64_t(j);
    f.cols = contiguous ? nullptr : cols;
    f.first_col = cols[0];
    const size_t canvas_at = size_t(fp.first_row * c.W + fp.first_col);
    f.mask = c.mask ? c.mask + canvas_at : nullptr;
    f.mask_stride = size_t(c.W);
    f.dst = c.target + canvas_at * 4;
    f.dst_stride = size_t(c.W) * 4;
    detail::paint_plain(p, f);
}

// The blend loop covers mode 32 with the blend buffer in use, with grit, texture,
// mask, remix, image brush, erase and locks, but without rotation or pixel
// variation; strengths beyond 256 would turn its terms negative.
bool blend_applies(const ColourDab& c, const EngineState& st) {
    return c.mode == kPaintOver && c.blend && !c.rotate && st.brush.pix_colour_vary <= 0 &&
           st.brush.pix_lum_vary <= 0 && c.P >= 0 && c.P <= 256 && c.B >= 1 && c.B <= 256;
}

void paint_blend(const ColourDab& c, DabPath path) {
    const Footprint& fp = c.fp;
    if (fp.right <= fp.first_col || fp.bottom <= fp.first_row) return;
    detail::BlendDab p;
    for (int k = 0; k < 4; ++k) p.pdab[k] = uint32_t(c.pdab[k]);
    p.P = int32_t(c.P);
    p.B = int32_t(c.B);
    p.remix = c.remix;
    p.image_brush = c.image_brush;
    p.erase = c.erase;
    p.colour_locked = c.colour_locked;
    p.blob = c.blob;
    p.write_alpha = c.alpha_writable;
    p.alpha_level = uint16_t(c.alpha_level);
    p.alpha_full = c.alpha_full;
    p.alpha_scaled = c.alpha_scaled;
    p.solid = c.solid;
    p.density_threshold = c.density_threshold;
    p.max_bits = path == DabPath::Baseline ? 128 : path == DabPath::Avx2 ? 256 : 512;
    detail::BlendRows f;
    f.count = size_t(fp.right - fp.first_col);
    f.row_count = size_t(fp.bottom - fp.first_row);
    f.shape = c.shape;
    f.shape_stride = size_t(c.b);
    f.grit = c.grit;
    f.grit_stride = size_t(c.b);
    f.blend = c.blend;
    f.blend_stride = size_t(c.b) * 4;
    f.rows = c.smap + fp.i0;
    const int32_t* cols = c.smap + fp.j0;
    bool contiguous = true, increasing = true;
    for (size_t j = 1; j < f.count; ++j) {
        contiguous = contiguous && cols[j] == cols[0] + int64_t(j);
        increasing = increasing && cols[j] > cols[j - 1];
    }
    f.cols = contiguous ? nullptr : cols;
    f.first_col = cols[0];
    f.distinct = increasing;
    const size_t canvas_at = size_t(fp.first_row * c.W + fp.first_col);
    f.texture = c.texture ? c.texture + canvas_at : nullptr;
    f.mask = c.mask ? c.mask + canvas_at : nullptr;
    f.canvas_stride = size_t(c.W);
    f.dst = c.target + canvas_at * 4;
    f.dst_stride = size_t(c.W) * 4;
    detail::paint_blend(p, f);
}

LayerRecord* paint_layer(EngineState& st) {
    LayerRecord& p = st.canvas.paint_layer;
    return layers::is_canvas_sized(st, p) ? &p : nullptr;
}

}  // namespace

void draw_dab(EngineState& st, int32_t x, int32_t y, int32_t red, int32_t green, int32_t blue,
              DabPath path) noexcept {
    Settings& s = st.settings;
    s.colour[0] = uint16_t(red & 0xFF00);
    s.colour[1] = uint16_t(green & 0xFF00);
    s.colour[2] = uint16_t(blue & 0xFF00);
    s.colour[3] = uint16_t(kFull);
    if (s.mask_maker_on) {
        draw_mask_dab(st, x, y);
        return;
    }

    ColourDab c;
    for (int k = 0; k < 4; ++k) c.dab[k] = s.colour[k];
    if (s.colour_vary >= 1) {
        const int64_t o = colour_vary_offset(st);
        for (int64_t& v : c.dab) v = clamp16(v + o);  // alpha too: it can only drop
    }
    if (s.erase_mode_on) c.dab[0] = c.dab[1] = c.dab[2] = kFull, c.dab[3] = 0;

    run_grit(st);

    c.P = s.primary_strength;
    if (c.P != 0)
        for (int k = 0; k < 4; ++k) c.pdab[k] = c.P * c.dab[k];

    c.fp = footprint_of(st, x, y);
    grow_changed(st.undo, c.fp);

    LayerRecord* current = layers::current(st);
    LayerRecord* paint = paint_layer(st);
    LayerRecord* target = paint ? paint : current;
    const bool blend_in_use = s.blend_strength != 0 && !s.temp_disable_blend;
    if (target && st.canvas.exists && brush_fits(st, blend_in_use)) {
        set_up_brush(st, c, blend_in_use);
        c.target = target->pixels.data();
        c.mask = layers::weighting_mask(st);
        c.mode = s.mix_mode < kPaintOver ? kPaintOver : s.mix_mode;
        c.Q = s.mix_amount;
        c.T = 256 - c.Q;
        c.B = s.blend_strength;
        c.remix = s.blend_remix != 0;
        c.image_brush = s.image_brush_mode != 0;
        c.erase = s.erase_mode_on != 0;
        c.colour_locked = s.colour_locked != 0;
        c.blob = s.blob_locked != 0;
        // Layers 0 (tracing) and 1 (paper) keep their alpha unless a paint layer
        // takes the paint.
        c.alpha_writable = paint || (current && current->alpha_locked == 0 && s.alpha_locked == 0 &&
                                     st.canvas.current_layer_num > 1);
        c.alpha_level = s.alpha_level >= 1 ? clamp16(s.alpha_level) : 0;
        c.posterise = s.posterise_step & 31;
        c.banks = s.colour_banks;
        if (path != DabPath::General && plain_applies(c, st))
            paint_plain(c, path != DabPath::Baseline);
        else if (path != DabPath::General && blend_applies(c, st))
            paint_blend(c, path);
        else
            paint_general(c, st);
    }

    s.temp_disable_blend = 0;
    s.mask_maker_on = 0;
    s.erase_mode_on = 0;
}

// ---- Mask dab ------------------------------------------------------------------------

// The mask dab paints one grey value v (black selects) into the mask:
//   new = (((65536 - M') old >> 8) + (M' J >> 8)) >> 8,
// with J the paint value after pixel variation and the blend buffer, whose
// one word per sample position is remixed as min(65535, ((B J + (256 - B) old) >> 8) + 1).
void draw_mask_dab(EngineState& st, int32_t x, int32_t y) noexcept {
    Settings& s = st.settings;
    const int64_t l = (int64_t(s.colour[0]) + s.colour[1] + s.colour[2]) / 3;
    int64_t v = l <= 255 ? kFull : 65280 - l;
    if (s.colour_vary >= 1) v += colour_vary_offset(st);
    v = clamp16(v);
    if (s.erase_mode_on) v = kFull;

    run_grit(st);

    const Footprint fp = footprint_of(st, x, y);
    grow_changed(st.undo, fp);

    const bool blend_in_use = s.blend_strength != 0 && !s.temp_disable_blend;
    uint16_t* mask = layers::canvas_mask(st);
    const int64_t P = s.primary_strength, B = s.blend_strength;
    if (st.canvas.exists && mask && brush_fits(st, blend_in_use)) {
        Dab d;
        set_up_brush(st, d, blend_in_use);
        d.fp = fp;
        d.target = mask;
        VaryStream cv(st.pix_colour_vary, st.brush.pix_colour_vary, d.b);
        VaryStream lv(st.pix_lum_vary, st.brush.pix_lum_vary, d.b);
        const bool remix = s.blend_remix != 0;
        const size_t blend_row = size_t(d.b) * 4;
        for (int64_t Y = fp.first_row; Y < fp.bottom; ++Y) {
            const int32_t sr = d.smap[fp.i0 + (Y - fp.first_row)];
            if (cv.on()) cv.start_row(st.rng, d.n, d.b);
            if (lv.on()) lv.start_row(st.rng, d.n, d.b);
            for (int64_t X = fp.first_col; X < fp.right; ++X) {
                const int32_t sc = d.smap[fp.j0 + (X - fp.first_col)];
                int32_t hr, hc;
                sample_position(d, sr, sc, hr, hc);
                const size_t at = size_t(hr) * size_t(d.b) + size_t(hc);
                const size_t canvas_at = size_t(Y * d.W + X);
                int64_t m = coverage(d, at, canvas_at, false);
                if (m <= 0) continue;
                if (d.solid) m = kFull;
                uint16_t* bv = d.blend ? d.blend + size_t(hr) * blend_row + size_t(hc) : nullptr;
                int64_t J = bv ? *bv : v;
                if (cv.on()) J = clamp16(J + pixel_vary_offset(cv.amount, cv.next()));
                if (lv.on()) J = luminance_vary(bv ? J : v, lv.amount, lv.next());
                if (bv && P != 0) J = clamp16((v * P + J * (256 - P)) >> 8);
                uint16_t& word = d.target[canvas_at];
                const int64_t old = word;
                word = uint16_t(((((65536 - m) * old) >> 8) + ((m * J) >> 8)) >> 8);
                if (bv && remix) *bv = uint16_t(clamp16(((B * J + (256 - B) * old) >> 8) + 1));
            }
        }
    }

    s.temp_disable_blend = 0;
}

}  // namespace qrn::brush

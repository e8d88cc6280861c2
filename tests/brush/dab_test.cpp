#include "brush/dab.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <vector>

#include "brush/tool.h"
#include "engine/canvas.h"
#include "engine/layers.h"
#include "engine/pixel_format.h"
#include "engine/settings.h"
#include "seeded.h"
#include "undo/history.h"

namespace qrn {

void PrintTo(const Rgba64& p, std::ostream* os) {
    *os << "(" << p.r << ", " << p.g << ", " << p.b << ", " << p.a << ")";
}

namespace {

constexpr int kSlot = 2;  // slot 1 is the white paper; others start transparent
constexpr int64_t kFull = 65535;

using qrn::test_support::Seeded;

// Draws the generator made between two states (the dab draws well under a million).
int draws_between(Rng from, const Rng& to) {
    for (int k = 0; k < 1000000; ++k) {
        if (from.state() == to.state()) return k;
        from.next();
    }
    return -1;
}

uint64_t fnv1a(const uint16_t* words, size_t count) {
    uint64_t hsh = 1469598103934665603ull;
    for (size_t i = 0; i < count; ++i) {
        hsh = (hsh ^ (words[i] & 0xFF)) * 1099511628211ull;
        hsh = (hsh ^ (words[i] >> 8)) * 1099511628211ull;
    }
    return hsh;
}

// A real canvas with a canvas-sized current layer, plain settings (opacity 100,
// mode 32, density 256) and a brush set directly: S x S of one shape value with
// the identity scale map.
class Dabs : public ::testing::Test {
protected:
    EngineState st;
    int w = 0, h = 0;

    void make(int width, int height, int max_brush = 16, int slot = kSlot) {
        canvas::create_image(st, nullptr, width, height, max_brush, 0);
        ASSERT_EQ(layers::create_layer(st, slot, width, height), 1);
        layers::set_layer(st, slot);
        w = width;
        h = height;
        Settings& s = st.settings;
        s.alpha_percent = 100;
        s.alpha_scaled = 128;
        s.mix_mode = 32;
        s.mix_amount = 256;
        s.mix_amount_comp = 0;
        s.density_threshold = 255;
    }
    void brush(int size, uint16_t value) {
        st.brush.size = st.brush.footprint = size;
        for (int i = 0; i < size; ++i) st.brush.scale_map[size_t(i)] = i;
        st.brush.shape.fill_bytes(0);
        for (int r = 0; r < size; ++r)
            for (int c = 0; c < size; ++c) shape(r, c) = value;
    }
    int b() const { return st.canvas.max_brush; }
    uint16_t& shape(int r, int c) { return st.brush.shape[size_t(r * b() + c)]; }
    uint16_t* blend_px(int r, int c) { return st.brush.blend.data() + size_t(r * b() + c) * 4; }
    uint16_t* target() {
        LayerRecord& p = st.canvas.paint_layer;
        return p.has_pixels() ? p.pixels.data() : layers::current_view(st);
    }
    uint16_t* px(int x, int y) { return target() + (size_t(y) * size_t(w) + size_t(x)) * 4; }
    Rgba64 at(int x, int y) {
        const uint16_t* p = px(x, y);
        return {p[0], p[1], p[2], p[3]};
    }
    void put(int x, int y, Rgba64 v) {
        uint16_t* p = px(x, y);
        p[0] = v.r, p[1] = v.g, p[2] = v.b, p[3] = v.a;
    }
    std::vector<uint16_t> words() { return {target(), target() + size_t(w) * size_t(h) * 4}; }
    void dab(int x, int y, int32_t r, int32_t g, int32_t bl) {
        brush::draw_dab(st, x, y, r, g, bl);
    }
    // Working colour (c, a) taken from the blend buffer: B = 1, no remix, P = 0.
    void use_blend(Rgba64 work) {
        st.settings.blend_strength = 1;
        uint16_t* bp = blend_px(0, 0);
        bp[0] = work.r, bp[1] = work.g, bp[2] = work.b, bp[3] = work.a;
    }
};

// ---- Compositing path ------------------------------------------------------------------

TEST_F(Dabs, WhiteTipOnTransparentLayerWritesHighBytesAndAlpha65534) {
    make(21, 21);
    brush::set_size(st, 11);
    st.brush.shape_strength = 1.0f;
    brush::set_brush_shape(st, "", 0);
    dab(10, 10, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_EQ(at(10, 10), (Rgba64{65280, 65280, 65280, 65534}));
    EXPECT_EQ(at(5, 5), (Rgba64{0, 0, 0, 0}));   // corner, d = 7
    EXPECT_EQ(at(4, 10), (Rgba64{0, 0, 0, 0}));  // outside the footprint

    st.brush.softness = 255;
    brush::set_brush_shape(st, "", 0);
    ASSERT_EQ(shape(5, 0), 5957);
    put(5, 10, {});
    dab(10, 10, 0xFF00, 0xFF00, 0xFF00);
    EXPECT_EQ(at(5, 10).a, (5957u * 65535u) >> 16);
}

TEST_F(Dabs, LayersZeroAndOneTakeColourButNeverAlpha) {
    for (int slot : {0, 1}) {
        SCOPED_TRACE(slot);
        st = EngineState{};
        make(4, 4, 8, slot);
        brush(1, 65535);
        put(1, 1, {0, 0, 0, 0});
        put(2, 2, {1000, 1000, 1000, 30000});
        dab(1, 1, 0x1200, 0x3400, 0x5600);
        dab(2, 2, 0x1200, 0x3400, 0x5600);
        EXPECT_EQ(at(1, 1), (Rgba64{0x1200, 0x3400, 0x5600, 0}));
        EXPECT_EQ(at(2, 2).a, 30000);
        EXPECT_NE(at(2, 2).r, 1000);
        // A paint layer takes the paint, alpha included.
        layers::create_paint_layer(st, 100, "Normal");
        dab(1, 1, 0x1200, 0x3400, 0x5600);
        EXPECT_EQ(at(1, 1), (Rgba64{0x1200, 0x3400, 0x5600, 65534}));
    }
}

TEST_F(Dabs, CoverageScalesByOpacityTextureAndMask) {
    make(4, 1);
    brush(1, 32768);
    st.settings.alpha_percent = 50;
    st.settings.alpha_scaled = 64;
    dab(0, 0, 0, 0, 0);
    EXPECT_EQ(at(0, 0).a, (16384u * 65535u) >> 16);  // M = 16384

    st.settings.alpha_percent = 100;
    st.canvas.texture = Buffer<uint8_t>::make(4);
    st.canvas.texture.fill_bytes(255);
    st.canvas.texture[1] = 200;
    st.canvas.mask[2] = 40000;
    dab(1, 0, 0, 0, 0);
    dab(2, 0, 0, 0, 0);
    dab(3, 0, 0, 0, 0);
    EXPECT_EQ(at(1, 0).a, (((32768u * 200u) >> 8) * 65535u) >> 16);
    EXPECT_EQ(at(2, 0).a, (((32768u * 40000u) >> 16) * 65535u) >> 16);
    EXPECT_EQ(at(3, 0).a, (32768u * 65535u) >> 16);  // t = 255, m = 65535: unscaled

    // Zero coverage skips the pixel before solid mode could raise it.
    st.settings.solid_brush_mode = 1;
    st.canvas.mask[0] = 1;
    put(0, 0, {});
    dab(0, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{}));
    st.canvas.mask[0] = 2;
    dab(0, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{0xFF00, 0, 0, 65534}));
}

enum class Over { Paint, PaintWithBlend, Multiply };

// Straightforward compositing path, step by step in 64 bits.
Rgba64 compositing_ref(Over kind, Rgba64 d, const int64_t c[3], int64_t a, int64_t m) {
    const int64_t dk[3] = {d.r, d.g, d.b}, f = d.a;
    int64_t r[3], u;
    if (f == 0) {
        for (int k = 0; k < 3; ++k) r[k] = c[k];
        u = m * a / 65536;
    } else if (kind == Over::PaintWithBlend) {
        const auto weigh = [&](int64_t dv, int64_t cv) {
            return ((65536 - m) * dv / 256 + m * cv / 256) / 256;
        };
        for (int k = 0; k < 3; ++k) r[k] = a == 0 ? dk[k] : weigh(dk[k], c[k]);
        u = weigh(f, a);
    } else {
        const int64_t e = m * a / 65535;
        u = f + (65535 - f) * e / 65535;
        for (int k = 0; k < 3; ++k) {
            const int64_t D = dk[k] * f / 65536, S = e * c[k] / 65536;
            const int64_t sum = kind == Over::Multiply ? (65535 - e) * D / 65535 +
                                                             (65535 - f) * S / 65535 + D * S / 65535
                                                       : D * (65535 - e) / 65535 + S;
            r[k] = sum * 65535 / u;
        }
    }
    return {uint16_t(r[0]), uint16_t(r[1]), uint16_t(r[2]), uint16_t(u)};
}

TEST_F(Dabs, CompositingPathMatchesItsFormulasOverAGrid) {
    make(1, 1);
    brush(1, 0);
    const uint16_t ms[] = {1, 255, 256, 16384, 32767, 32768, 65534, 65535};
    const uint16_t fs[] = {0, 1, 8191, 32768, 65534, 65535};
    const uint16_t ds[] = {0, 1, 32768, 65535};
    for (Over kind : {Over::Paint, Over::PaintWithBlend, Over::Multiply})
        for (uint16_t m : ms)
            for (uint16_t f : fs)
                for (uint16_t d : ds)
                    for (int variant = 0; variant < 3; ++variant) {
                        SCOPED_TRACE(testing::Message()
                                     << "kind " << int(kind) << " M " << m << " f " << f << " d "
                                     << d << " variant " << variant);
                        st.settings.mix_mode = kind == Over::Multiply ? 33 : 32;
                        shape(0, 0) = m;
                        const Rgba64 dst{d, uint16_t(65535 - d), uint16_t(d / 3), f};
                        put(0, 0, dst);
                        int64_t c[3], a;
                        if (kind != Over::Paint) {
                            // Any working colour through the blend buffer, alpha 0 included.
                            const Rgba64 work{uint16_t(12345 * variant), 65535,
                                              uint16_t(40000 - variant),
                                              uint16_t(65535 - 32767 * variant)};
                            st.settings.colour_vary = 0;
                            use_blend(work);
                            c[0] = work.r, c[1] = work.g, c[2] = work.b, a = work.a;
                            dab(0, 0, 0, 0, 0);
                        } else {
                            // Colour vary lowers the dab alpha; replay its one draw.
                            st.settings.colour_vary = variant * 100;
                            Rng replay = st.rng;
                            const int64_t o =
                                variant ? (variant * 50 - replay.next() % (variant * 100)) * 256
                                        : 0;
                            const int64_t base[3] = {0xFF00, 0x8000, 0};
                            for (int k = 0; k < 3; ++k)
                                c[k] = std::clamp<int64_t>(base[k] + o, 0, kFull);
                            a = std::clamp<int64_t>(kFull + o, 0, kFull);
                            dab(0, 0, 0xFFFF, 0x80AA, 0x00FF);
                        }
                        ASSERT_EQ(at(0, 0), compositing_ref(kind, dst, c, a, m));
                    }
}

TEST_F(Dabs, BlobLockKeepsThinAlphaAndFloorsErasing) {
    make(4, 1);
    brush(1, 65535);
    st.settings.blob_locked = 1;
    put(0, 0, {1000, 1000, 1000, 8191});
    put(1, 0, {1000, 1000, 1000, 8192});
    dab(0, 0, 0x4000, 0x4000, 0x4000);
    dab(1, 0, 0x4000, 0x4000, 0x4000);
    const int64_t c[3] = {0x4000, 0x4000, 0x4000};
    Rgba64 want = compositing_ref(Over::Paint, {1000, 1000, 1000, 8191}, c, kFull, kFull);
    ASSERT_NE(want.r, 1000);
    want.a = 8191;
    EXPECT_EQ(at(0, 0), want);
    EXPECT_EQ(at(1, 0), compositing_ref(Over::Paint, {1000, 1000, 1000, 8192}, c, kFull, kFull));
    EXPECT_EQ(at(1, 0).a, 65535);

    put(2, 0, {1000, 2000, 3000, 20000});
    put(3, 0, {1000, 2000, 3000, 8191});
    for (int x : {2, 3}) {
        st.settings.erase_mode_on = 1;
        dab(x, 0, 0, 0, 0);
    }
    EXPECT_EQ(at(2, 0), (Rgba64{1000, 2000, 3000, 9215}));
    EXPECT_EQ(at(3, 0), (Rgba64{1000, 2000, 3000, 8191}));

    // Without blob lock erasing writes ((65535 - M) f) >> 16.
    st.settings.blob_locked = 0;
    shape(0, 0) = 16384;
    st.settings.erase_mode_on = 1;
    dab(2, 0, 0, 0, 0);
    EXPECT_EQ(at(2, 0), (Rgba64{1000, 2000, 3000, uint16_t((49151 * 9215) >> 16)}));
}

TEST_F(Dabs, LocksAndAlphaLevelDecideWhatIsWritten) {
    make(5, 1);
    brush(1, 65535);
    st.settings.colour_locked = 1;
    dab(0, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{0, 0, 0, 65534}));
    st.settings.colour_locked = 0;
    st.settings.alpha_locked = 1;
    dab(1, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(1, 0), (Rgba64{0xFF00, 0, 0, 0}));
    st.settings.alpha_locked = 0;
    st.canvas.slots[kSlot].alpha_locked = 1;
    dab(2, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(2, 0), (Rgba64{0xFF00, 0, 0, 0}));
    st.canvas.slots[kSlot].alpha_locked = 0;
    st.settings.alpha_level = 40000;
    dab(3, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(3, 0), (Rgba64{0xFF00, 0, 0, 40000}));
    st.settings.alpha_level = 100000;  // out of range: clamped, not wrapped
    dab(4, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(4, 0).a, 65535);
}

// ---- Working colour --------------------------------------------------------------------

TEST_F(Dabs, BlendBufferGivesWorkingColourWithPrimaryStrengthAndImageBrush) {
    make(4, 1);
    brush(1, 40000);
    use_blend({10000, 20000, 30000, 65535});
    st.settings.primary_strength = 64;
    dab(0, 0, 0xFF00, 0, 0x8000);  // f = 0: r = c
    EXPECT_EQ(
        at(0, 0),
        (Rgba64{uint16_t((64 * 65280 + 192 * 10000) >> 8), uint16_t((192 * 20000) >> 8),
                uint16_t((64 * 32768 + 192 * 30000) >> 8), uint16_t((40000u * 65535u) >> 16)}));

    // Image brush: the blend alpha scales the coverage, raised to at least 1.
    st.settings.primary_strength = 0;
    st.settings.image_brush_mode = 1;
    use_blend({10000, 20000, 30000, 1});
    dab(1, 0, 0, 0, 0);
    EXPECT_EQ(at(1, 0), (Rgba64{10000, 20000, 30000, 0}));  // M = 1, a = 65535: u = 0
    put(3, 0, {0, 0, 0, 65535});
    use_blend({65535, 65535, 65535, 1});
    dab(3, 0, 0, 0, 0);
    EXPECT_EQ(at(3, 0), (Rgba64{0, 0, 0, 65534}));  // M = 1 thins the alpha; M = 0 would not
    use_blend({10000, 20000, 30000, 32768});
    dab(2, 0, 0, 0, 0);
    EXPECT_EQ(at(2, 0).a, (((40000u * 32768u) >> 16) * 65535u) >> 16);
}

TEST_F(Dabs, PixelVariationReadsItsArraysAlongTheRows) {
    make(3, 2, 4);
    brush(3, 65535);
    shape(0, 1) = 0;  // a skipped pixel reads no byte
    RandomByteArray& cv = st.pix_colour_vary;
    RandomByteArray& lv = st.pix_lum_vary;
    cv.bytes = Buffer<uint8_t>::make(12);
    lv.bytes = Buffer<uint8_t>::make(12);
    cv.length = lv.length = 12;  // 3 x b
    for (int i = 0; i < 12; ++i)
        cv.bytes[size_t(i)] = uint8_t(10 * i), lv.bytes[size_t(i)] = uint8_t(7 * i);
    st.brush.pix_colour_vary = 200;
    st.brush.pix_lum_vary = 100;
    Rng replay = st.rng;
    dab(1, 1, 0x8000, 0x4000, 0x2000);  // canvas rows 0 and 1 are footprint rows 0 and 1
    const int cpos = replay.next() % 4, lpos = replay.next() % 4;  // colour stream first
    EXPECT_EQ(draws_between(replay, st.rng), 0);  // row 1 continues: pos + 3 stays below 11
    const int64_t dabc[3] = {0x8000, 0x4000, 0x2000};
    int used = 0;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            if (x == 1 && y == 0) {
                EXPECT_EQ(at(x, y), (Rgba64{}));
                continue;
            }
            const int cb = cv.bytes[size_t(cpos + used)], lb = lv.bytes[size_t(lpos + used)];
            ++used;
            const int64_t o = (200 - 2 * int64_t(cb % 200)) * 128;
            const int64_t alpha = std::clamp<int64_t>(kFull + o, 0, kFull);
            // Luminance vary replaces the colour-varied channels; the varied alpha stays.
            const double k = (128 - 50 + lb % 100) / 256.0;
            uint16_t ch[3];
            for (int i = 0; i < 3; ++i) {
                const double v = k > 0.5 ? dabc[i] + (65535 - dabc[i]) * (k - 0.5) * 2
                                         : dabc[i] - dabc[i] * (0.5 - k) * 2;
                ch[i] = uint16_t(v);
            }
            EXPECT_EQ(at(x, y), (Rgba64{ch[0], ch[1], ch[2], uint16_t((65535 * alpha) >> 16)}));
        }
}

// ---- Mix path --------------------------------------------------------------------------

struct MixInput {
    int64_t c[3], a;
    Rgba64 dst;
    int64_t m, q;
};

// The mix path as a plain reference: destination preparation, mode value, the
// mix amount, then the coverage mix.
Rgba64 mix_ref(int mode, const MixInput& in, const uint16_t banks[16], int posterise) {
    const int64_t* c = in.c;
    int64_t d[3] = {in.dst.r, in.dst.g, in.dst.b};
    const int64_t f = in.dst.a, m = in.m;
    if (f == 0) {
        for (int k = 0; k < 3; ++k) d[k] = c[k];
    } else if (f < 65535) {
        const int64_t w = std::min((65535 - f) * m / 65536 * 3, kFull);
        for (int k = 0; k < 3; ++k) d[k] = ((65535 - w) * d[k] / 256 + w * c[k] / 256) / 256;
    }
    const int64_t L = (c[0] + c[1] + c[2]) / 3;
    int64_t r[3], u = in.a;
    for (int k = 0; k < 3; ++k) {
        const int64_t s = c[k], dk = d[k];
        const auto bank = [&](int i) { return int64_t(banks[k * 4 + i]); };
        int64_t F = s;
        bool kept = false, mixed = true;
        switch (mode) {
            case 34:
                F = 65535 - (65535 - dk) * (65535 - s) / 65536;
                break;
            case 35:
                F = std::min(dk, s);
                break;
            case 36:
                F = std::max(dk, s);
                break;
            case 37:
                F = std::abs(dk - s);
                break;
            case 38:
                F = 65535 - std::abs(65535 - s - dk);
                break;
            case 39:
                F = dk + s - s * dk / 32768;
                break;
            case 40:
                F = dk < 32767 ? s * dk / 32768 : 65535 - (65535 - dk) * (65535 - s) / 32768;
                break;
            case 41:
                F = s < 32767 ? s * dk / 32768 : 65535 - (65535 - dk) * (65535 - s) / 32768;
                break;
            case 42: {
                const double A = s / 65535.0;
                const float D = float(dk / 65535.0);
                const double v = A < 0.5 ? D * (2 * A + (1 - 2 * A) * D)
                                         : std::sqrt(double(D)) * (2 * A - 1) + 2 * D * (1 - A);
                F = int64_t(v * 65535);
                break;
            }
            case 43:
                F = s == 65535 ? 65535 : std::min(dk * 65536 / (65535 - s), kFull);
                break;
            case 44:
                F = s == 0 ? 0 : std::max<int64_t>(0, 65535 - (65535 - dk) * 65536 / s);
                break;
            case 45:
                F = s == 65535 ? 65535 : std::min(dk * dk / (65535 - s), kFull);
                break;
            case 46:
                F = dk == 65535 ? 65535 : std::min(s * s / (65535 - dk), kFull);
                break;
            case 47:
                F = std::min(dk + s, kFull);
                break;
            case 48:
                F = std::max<int64_t>(dk + s - 65535, 0);
                break;
            case 249:
                F = bank(L < 32767 ? 0 : 1);
                break;
            case 250:
                F = bank(L < 21845 ? 0 : L >= 43690 ? 2 : 1);
                break;
            case 251:
                F = bank(L < 16383 ? 0 : L < 32767 ? 1 : L < 49151 ? 2 : 3);
                break;
            case 252: {
                const int64_t t = L < 32767 ? 2 * L / 256 : (2 * L - 65534) / 256;
                F = L < 32767 ? (bank(1) * t + bank(0) * (256 - t)) / 256
                              : (bank(2) * t + bank(1) * (256 - t)) / 256;
                break;
            }
            case 253:
                F = L < 32767 ? bank(0) : dk;
                break;
            case 254:
                F = L > 32767 ? bank(0) : dk;
                break;
            case 255:
                F = L < 20479 ? bank(0) : L > 49151 ? bank(1) : s;
                break;
            case 256:
                kept = L < 20479;
                break;
            case 257:
                kept = L > 49151;
                break;
            case 258:
                kept = L < 20479 || L > 49151;
                break;
            case 259:
                kept = L > 12287, F = bank(0);
                break;
            case 260:
                kept = L < 57343, F = bank(0);
                break;
            case 261:
                F = s <= 10921 ? 0 : s <= 32766 ? 21845 : s < 54613 ? 43690 : 65535;
                break;
            case 262:
                F = s < 21845 ? 0 : s < 43690 ? 32767 : 65535;
                break;
            case 295:
                F = (s >> posterise) << posterise, mixed = false;
                break;
            case 340:
                F = 32767, d[k] = 32767, mixed = false;
                break;
            default:
                break;  // unlisted: the paint colour itself, mixed
        }
        if (kept) {
            r[k] = d[k];
            u = f;
        } else {
            r[k] = mixed ? ((256 - in.q) * s / 16 + in.q * F / 16) / 16 : F;
        }
    }
    if (m < 65535) {
        for (int k = 0; k < 3; ++k)
            r[k] = std::min(kFull, (m * r[k] / 256 + (65536 - m) * d[k] / 256) / 256 + 1);
        u = (m * u / 256 + (65536 - m) * f / 256) / 256;
    }
    return {uint16_t(r[0]), uint16_t(r[1]), uint16_t(r[2]), uint16_t(u)};
}

class MixModes : public Dabs, public ::testing::WithParamInterface<int> {};

// Chosen inputs put the working channels and their mean on every threshold of
// the table and the destination at transparent, thin and opaque.
TEST_P(MixModes, MatchReferenceOverChosenInputs) {
    const int mode = GetParam();
    make(1, 1);
    brush(1, 0);
    const int32_t banks[12] = {10, 20, 30, 100, 110, 120, 200, 210, 220, 250, 5, 128};
    settings::set_colour_banks(st.settings, banks);
    settings::set_mix_mode(st.settings, mode, 256);
    const int64_t greys[] = {0,     1,     10921, 12287, 16383, 20478, 20479, 21845, 32766,
                             32767, 32768, 43690, 49151, 49152, 54613, 57343, 65534, 65535};
    std::vector<std::array<int64_t, 4>> works;
    for (int64_t g : greys) works.push_back({g, g, g, 65535});
    works.push_back({40000, 3000, 65535, 30000});
    works.push_back({65535, 0, 32767, 0});
    const Rgba64 dsts[] = {{30000, 0, 65535, 65535},
                           {65535, 65535, 65535, 40000},
                           {5000, 60000, 32767, 0},
                           {32766, 32767, 100, 1}};
    const int64_t ms[] = {65535, 30000, 1};
    const int qs[] = {256, 200, 0};
    for (const auto& wk : works)
        for (const Rgba64& dst : dsts)
            for (int64_t m : ms)
                for (int q : qs) {
                    SCOPED_TRACE(testing::Message()
                                 << "c " << wk[0] << "," << wk[1] << "," << wk[2] << " a " << wk[3]
                                 << " f " << dst.a << " M " << m << " Q " << q);
                    settings::set_mix_mode(st.settings, mode, q);
                    use_blend({uint16_t(wk[0]), uint16_t(wk[1]), uint16_t(wk[2]), uint16_t(wk[3])});
                    shape(0, 0) = uint16_t(m);
                    put(0, 0, dst);
                    Rng before = st.rng;
                    dab(0, 0, 0, 0, 0);
                    const MixInput in{{wk[0], wk[1], wk[2]}, wk[3], dst, m, q};
                    ASSERT_EQ(at(0, 0), mix_ref(mode, in, st.settings.colour_banks,
                                                st.settings.posterise_step & 31));
                    ASSERT_EQ(draws_between(before, st.rng), mode == 253 || mode == 254 ? 1 : 0);
                }
}

INSTANTIATE_TEST_SUITE_P(EveryCode, MixModes,
                         ::testing::Values(34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47,
                                           48, 249, 250, 251, 252, 253, 254, 255, 256, 257, 258,
                                           259, 260, 261, 262, 295, 340, 100, 1000));

// With Q = 256, full coverage and an opaque destination the result is the mode
// value itself: hand-computed values catch a reference that shares a slip.
TEST_F(Dabs, MixModesGiveHandComputedValues) {
    make(1, 1);
    brush(1, 65535);
    struct Case {
        int mode;
        uint16_t s, d, want;
    };
    const Case cases[] = {
        {34, 0x8000, 0x8000, 49152}, {35, 40000, 30000, 30000}, {36, 40000, 30000, 40000},
        {37, 40000, 30000, 10000},   {38, 40000, 30000, 61070}, {39, 40000, 30000, 33379},
        {40, 40000, 30000, 36621},   {41, 40000, 30000, 37844}, {42, 40000, 30000, 33165},
        {42, 20000, 30000, 23661},   {43, 40000, 10000, 25665}, {43, 40000, 30000, 65535},
        {44, 40000, 30000, 7315},    {44, 0, 30000, 0},         {45, 40000, 30000, 35245},
        {46, 40000, 30000, 45026},   {47, 40000, 30000, 65535}, {47, 1000, 2000, 3000},
        {48, 40000, 30000, 4465},    {48, 1000, 2000, 0},       {261, 10921, 0, 0},
        {261, 10922, 0, 21845},      {262, 43690, 0, 65535},    {340, 1234, 4321, 32767},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " s " << c.s << " d " << c.d);
        settings::set_mix_mode(st.settings, c.mode, 256);
        use_blend({c.s, c.s, c.s, 65535});
        put(0, 0, {c.d, c.d, c.d, 65535});
        dab(0, 0, 0, 0, 0);
        EXPECT_EQ(at(0, 0), (Rgba64{c.want, c.want, c.want, 65535}));
    }
    // Posterise: amount 200 gives step 9; the colour is not mixed.
    settings::set_mix_mode(st.settings, 295, 200);
    put(0, 0, {1, 2, 3, 65535});
    use_blend({0xFFFF, 0x1234, 0x0200, 65535});
    dab(0, 0, 0, 0, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{0xFE00, 0x1200, 0x0200, 65535}));
}

TEST_F(Dabs, MixPathCoverageMixAddsOneInsideTheMin) {
    make(2, 1);
    brush(1, 30000);
    settings::set_mix_mode(st.settings, 36, 256);
    use_blend({65535, 65535, 65535, 65535});
    put(0, 0, {65535, 65535, 65535, 65535});
    dab(0, 0, 0, 0, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{65535, 65535, 65535, 65534}));
    // Zero channels come out as 1: the +1 is unconditional on colour, absent on alpha.
    use_blend({0, 0, 0, 0});
    put(1, 0, {0, 0, 0, 65535});
    dab(1, 0, 0, 0, 0);
    EXPECT_EQ(at(1, 0), (Rgba64{1, 1, 1, uint16_t(((35536u * 65535u) >> 8) >> 8)}));
}

TEST_F(Dabs, OutOfRangeMixAmountAndCodesStayInRange) {
    make(3, 1);
    brush(1, 65535);
    put(0, 0, {60000, 60000, 60000, 65535});
    st.settings.mix_mode = 47;
    st.settings.mix_amount = 1000;  // T = -744: ((T c >> 4) + (Q F >> 4)) >> 4 = 226933
    use_blend({10000, 10000, 10000, 65535});
    dab(0, 0, 0, 0, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{65535, 65535, 65535, 65535}));
    put(0, 0, {60000, 60000, 60000, 65535});
    st.settings.mix_amount = -1000;  // negative
    dab(0, 0, 0, 0, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{0, 0, 0, 65535}));

    // Codes below 32 paint as 32.
    st.settings.blend_strength = 0;
    for (int mode : {32, 5}) {
        st.settings.mix_mode = mode;
        put(mode == 32 ? 1 : 2, 0, {1000, 2000, 3000, 30000});
        dab(mode == 32 ? 1 : 2, 0, 0x1200, 0x3400, 0x5600);
    }
    EXPECT_EQ(at(1, 0), at(2, 0));
}

TEST_F(Dabs, BlendRemixRewritesTheBlendPixel) {
    make(3, 1);
    brush(1, 65535);
    st.settings.blend_remix = 1;
    const int64_t B = 64;
    struct Case {
        Rgba64 work, dst, want_blend;
    };
    const Case cases[] = {
        {{100, 200, 300, 0},
         {1000, 2000, 3000, 40000},
         {1000, 2000, 3000, uint16_t((192 * 40000) >> 8)}},
        {{100, 200, 300, 50000},
         {1000, 2000, 3000, 0},
         {100, 200, 300, uint16_t((64 * 50000) >> 8)}},
        {{100, 200, 300, 50000},
         {1000, 2000, 3000, 40000},
         {uint16_t(((192 * 1000 + 64 * 100) >> 8) + 1),
          uint16_t(((192 * 2000 + 64 * 200) >> 8) + 1),
          uint16_t(((192 * 3000 + 64 * 300) >> 8) + 1), uint16_t((192 * 40000 + 64 * 50000) >> 8)}},
    };
    for (const Case& c : cases) {
        use_blend(c.work);
        st.settings.blend_strength = int32_t(B);
        put(0, 0, c.dst);
        dab(0, 0, 0, 0, 0);
        const uint16_t* bp = blend_px(0, 0);
        EXPECT_EQ((Rgba64{bp[0], bp[1], bp[2], bp[3]}), c.want_blend);
    }
}

// ---- Mask dab and one-shot flags -------------------------------------------------------

TEST_F(Dabs, MaskDabSelectsWithDarkPaintAndStaysOn) {
    make(3, 1);
    brush(1, 65535);
    std::fill(st.canvas.mask.data(), st.canvas.mask.data() + 3, uint16_t(12345));
    st.settings.mask_maker_on = 1;
    st.settings.erase_mode_on = 0;
    st.settings.temp_disable_blend = 1;
    const auto before = words();
    dab(0, 0, 0, 0, 0);
    EXPECT_EQ(st.canvas.mask[0], 65534);  // (1 x old >> 8) + (65535 x 65535 >> 8), >> 8
    EXPECT_EQ(st.settings.mask_maker_on, 1);
    EXPECT_EQ(st.settings.temp_disable_blend, 0);
    dab(1, 0, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_EQ(st.canvas.mask[1], 0);
    EXPECT_EQ(words(), before);  // the layer is untouched
    // Partial coverage: (((65536 - M) old >> 8) + (M v >> 8)) >> 8 with v = 65280 - l.
    shape(0, 0) = 20000;
    st.settings.erase_mode_on = 1;  // v = 65535, and the flag stays set
    dab(2, 0, 0x8000, 0x8000, 0x8000);
    EXPECT_EQ(st.canvas.mask[2], ((((65536 - 20000) * 12345) >> 8) + ((20000 * 65535) >> 8)) >> 8);
    EXPECT_EQ(st.settings.erase_mode_on, 1);

    // With the blend buffer: J = (v P + J (256 - P)) >> 8 from the blend word,
    // which is remixed as min(65535, ((B J + (256 - B) old) >> 8) + 1).
    shape(0, 0) = 65535;
    st.settings.erase_mode_on = 0;
    st.settings.blend_strength = 128;
    st.settings.blend_remix = 1;
    st.settings.primary_strength = 64;
    st.canvas.mask[0] = 1000;
    blend_px(0, 0)[0] = 20000;
    settings::set_colour(st.settings, 0, 0, 0);  // the mask dab's own entry uses the current colour
    brush::draw_mask_dab(st, 0, 0);
    const int64_t J = (65535 * 64 + 20000 * 192) >> 8;
    EXPECT_EQ(st.canvas.mask[0], ((((65536 - 65535) * 1000) >> 8) + ((65535 * J) >> 8)) >> 8);
    EXPECT_EQ(blend_px(0, 0)[0], std::min<int64_t>(kFull, ((128 * J + 128 * 1000) >> 8) + 1));

    brush::set_tool(st, {});
    EXPECT_EQ(st.settings.mask_maker_on, 0);
}

TEST_F(Dabs, OneShotFlagsLastOneDab) {
    make(2, 1);
    brush(1, 65535);
    use_blend({1000, 2000, 3000, 65535});
    st.settings.temp_disable_blend = 1;
    dab(0, 0, 0x5500, 0x5500, 0x5500);
    dab(1, 0, 0x5500, 0x5500, 0x5500);
    EXPECT_EQ(at(0, 0), (Rgba64{0x5500, 0x5500, 0x5500, 65534}));
    EXPECT_EQ(at(1, 0), (Rgba64{1000, 2000, 3000, 65534}));
    st.settings.erase_mode_on = 1;
    st.settings.temp_disable_blend = 1;
    dab(0, 0, 0, 0, 0);
    EXPECT_EQ(st.settings.erase_mode_on, 0);
    EXPECT_EQ(st.settings.temp_disable_blend, 0);
    EXPECT_EQ(at(0, 0), (Rgba64{0x5500, 0x5500, 0x5500, 0}));
}

// ---- Geometry, grit and rotation -------------------------------------------------------

TEST_F(Dabs, GritDensityDecidesWhichBytesPaint) {
    make(4, 1);
    brush(1, 65535);
    st.brush.grit_size = 2;
    st.brush.grit_repeat = 5;
    for (auto& g : st.brush.grit) g.fill_bytes(0);
    st.brush.grit[3][0] = 255;
    st.brush.grit_choice = 3;
    st.brush.grit_offset = 0;
    st.brush.grit_countdown = 1;
    st.settings.density_threshold = 254;  // density 255: 255 does not paint
    dab(0, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(0, 0).a, 0);
    st.settings.density_threshold = 255;
    dab(1, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(1, 0).a, 65534);
    st.brush.grit[3][0] = 1;
    st.settings.density_threshold = 0;  // density 1: only grit bytes 0 paint
    dab(2, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(2, 0).a, 0);
    st.brush.grit[3][0] = 0;
    dab(3, 0, 0xFF00, 0, 0);
    EXPECT_EQ(at(3, 0).a, 65534);
}

TEST_F(Dabs, RotationSamplesTheTurnedShapeInsideItsSquare) {
    make(8, 8);
    brush(8, 0);
    // Every shape value distinct, so the alpha (s x 65535) >> 16 tells where it was sampled.
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) shape(r, c) = uint16_t(1024 * (r * 8 + c + 1));
    const auto sampled = [&](int r, int c) {
        return uint16_t((uint32_t(shape(r, c)) * 65535u) >> 16);
    };
    settings::set_rotate_brush_mode(st.settings, 1, 45);
    dab(4, 4, 0xFF00, 0xFF00, 0xFF00);  // footprint = canvas, m = 4
    EXPECT_EQ(at(4, 4).a, sampled(4, 4));
    EXPECT_EQ(at(4, 0).a, sampled(2, 6));  // (dx, dy) = (0, -4): hx = 4 + 2, hy = 4 - 2
    EXPECT_EQ(at(0, 4).a, sampled(2, 2));  // (-4, 0): hx = 4 - 2, hy = 4 - 2
    EXPECT_EQ(at(7, 0).a,
              sampled(0, 7));  // (3, -4): hx = 4 + trunc(4.95) = 8 is outside: unrotated
}

TEST_F(Dabs, FootprintFollowsTheScaleMapAndClipsAtEdges) {
    make(6, 6);
    brush(8, 0);
    for (int c = 0; c < 8; ++c) shape(c, c) = 65535;  // diagonal
    st.brush.footprint = 4;
    const int32_t map[4] = {1, 3, 5, 7};
    std::copy(map, map + 4, st.brush.scale_map.begin());
    undo::reset_changed_rect(st);
    dab(0, 0, 0xFF00, 0, 0);  // left = top = -2: footprint rows and columns 2, 3 land on 0, 1
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(at(x, y).a, x == y && x < 2 ? 65534 : 0) << x << "," << y;
    const ChangedRect& r = st.undo.changed;
    EXPECT_EQ(r.x1, 0);
    EXPECT_EQ(r.y1, 0);
    EXPECT_EQ(r.x2, 2);  // exclusive right and bottom
    EXPECT_EQ(r.y2, 2);
    dab(6, 6, 0xFF00, 0, 0);  // right = min(8, 6)
    EXPECT_EQ(r.x2, 6);
    EXPECT_EQ(r.y2, 6);
}

// ---- Sound behaviour for bad input -----------------------------------------------------

TEST_F(Dabs, FarAwayDabOnlyTouchesTheChangedRectangle) {
    make(8, 8);
    brush(5, 65535);
    const auto before = words();
    st.undo.changed = {3, 4, 5, 6};
    dab(-1000, -1000, 0xFF00, 0, 0);
    EXPECT_EQ(words(), before);
    EXPECT_EQ(st.undo.changed.x1, 0);
    EXPECT_EQ(st.undo.changed.y1, 0);
    EXPECT_EQ(st.undo.changed.x2, 5);
    dab(INT32_MAX, INT32_MIN, 0xFF00, 0, 0);
    EXPECT_EQ(words(), before);
    EXPECT_EQ(st.undo.changed.x2, 8);  // min(left + n, W) in 64 bits
    EXPECT_EQ(st.undo.changed.y1, 0);
    dab(INT32_MIN, INT32_MAX, 0xFF00, 0, 0);
    EXPECT_EQ(words(), before);
    EXPECT_EQ(st.undo.changed.y2, 8);
}

// Without a valid target or brush buffers the dab still takes its colour, its
// random numbers, its grit run and the changed rectangle, and clears the flags.
TEST_F(Dabs, MissingBuffersPaintNothingButKeepTheDabSteps) {
    struct Scenario {
        const char* name;
        void (*spoil)(EngineState&);
    };
    const Scenario scenarios[] = {
        {"no current layer", [](EngineState& s) { s.canvas.current_slot = -1; }},
        {"deleted current layer", [](EngineState& s) { layers::delete_layer(s, kSlot); }},
        {"layer not canvas-sized", [](EngineState& s) { layers::create_layer(s, kSlot, 5, 5); }},
        {"no canvas", [](EngineState& s) { canvas::delete_image(s); }},
        {"no shape", [](EngineState& s) { s.brush.shape.reset(); }},
        {"no blend buffer",
         [](EngineState& s) { s.settings.blend_strength = 10, s.brush.blend.reset(); }},
        {"no grit buffer", [](EngineState& s) { s.brush.grit[7].reset(); }},
        {"brush above b", [](EngineState& s) { s.brush.size = 20; }},
        {"footprint above brush", [](EngineState& s) { s.brush.footprint = 5; }},
        {"scale map outside shape", [](EngineState& s) { s.brush.scale_map[1] = 4; }},
        {"grit offset outside", [](EngineState& s) { s.brush.grit_offset = 1000000; }},
    };
    for (const Scenario& sc : scenarios) {
        SCOPED_TRACE(sc.name);
        st = EngineState{};
        make(6, 6, 8);
        brush(4, 65535);
        st.settings.colour_vary = 3;
        st.brush.grit_size = 2;
        st.brush.grit_choice = 7;
        st.brush.grit_countdown = 2;
        brush::set_pix_colour_vary(st, 10);
        sc.spoil(st);
        const auto before = st.canvas.slots[kSlot].has_pixels()
                                ? std::vector<uint16_t>(st.canvas.slots[kSlot].pixels.data(),
                                                        st.canvas.slots[kSlot].pixels.data() +
                                                            st.canvas.slots[kSlot].pixels.size())
                                : std::vector<uint16_t>{};
        if (st.settings.blend_strength == 0) st.settings.temp_disable_blend = 1;
        st.undo.changed = {100, 100, -5, -5};
        // Colour vary, and a grit run where the buffers were remade (no choice left).
        const int want = st.brush.grit_choice < 0 ? 4 : 1;
        Rng rng = st.rng;
        dab(3, 3, 0x12FF, 0x34FF, 0x56FF);
        EXPECT_EQ(draws_between(rng, st.rng), want);
        EXPECT_EQ(st.settings.colour[0], 0x1200);
        EXPECT_EQ(st.settings.temp_disable_blend, 0);
        const int n = st.brush.footprint;
        EXPECT_EQ(st.undo.changed.x1, 3 - n / 2);
        EXPECT_EQ(st.undo.changed.y2, std::min(3 - n / 2 + n, st.canvas.height));
        if (st.canvas.slots[kSlot].has_pixels()) {
            EXPECT_TRUE(
                std::equal(before.begin(), before.end(), st.canvas.slots[kSlot].pixels.data()));
        }
    }
}

TEST_F(Dabs, RandomDrawsFollowTheStatedOrder) {
    make(8, 8, 8);
    brush(4, 65535);
    const auto count = [&](auto&& setup) {
        setup();
        Rng before = st.rng;
        dab(3, 3, 0, 0, 0);
        return draws_between(before, st.rng);
    };
    EXPECT_EQ(count([] {}), 0);
    EXPECT_EQ(count([&] { st.settings.colour_vary = 5; }), 1);
    st.settings.colour_vary = 0;
    // Grit with no buffer chosen yet (as after QRN_SetTool with repeat 5): buffer, row, column.
    EXPECT_EQ(count([&] {
                  st.brush.grit_size = 3;
                  st.brush.grit_repeat = 5;
                  st.brush.grit_countdown = 5;
                  st.brush.grit_choice = -1;
              }),
              3);
    EXPECT_EQ(st.brush.grit_countdown, 5);
    EXPECT_GE(st.brush.grit_choice, 0);
    EXPECT_EQ(count([] {}), 0);  // countdown still running
    // A due run draws again while it meets the buffer in use.
    st.brush.grit_countdown = 0;
    Rng replay = st.rng;
    int want = 2;
    for (int k = replay.next() % 20; k == st.brush.grit_choice; k = replay.next() % 20) ++want;
    EXPECT_EQ(count([] {}), want + 1);
    st.brush.grit_size = -3;  // negative grit sizes mean no grit
    st.brush.grit_countdown = 0;
    EXPECT_EQ(count([] {}), 0);
    st.brush.grit_size = 0;

    // Pixel variation: one draw per stream on the first row; later rows continue
    // while nothing is read (shape 0 skips every pixel).
    brush::set_pix_colour_vary(st, 10);
    brush::set_pix_lum_vary(st, 10);
    brush(4, 0);
    EXPECT_EQ(count([] {}), 2);
    // Arrays made for a smaller b: variation off, no draw.
    st.pix_lum_vary.length = 23;
    EXPECT_EQ(count([] {}), 1);
    st.brush.pix_colour_vary = st.brush.pix_lum_vary = 0;

    // Modes 253 and 254 draw once per painted pixel.
    brush(4, 65535);
    shape(1, 1) = 0;
    st.settings.mix_mode = 254;
    EXPECT_EQ(count([] {}), 15);
}

TEST_F(Dabs, HugeVaryAmountsClampInsteadOfWrapping) {
    make(2, 1, 8);
    brush(1, 65535);
    st.settings.colour_vary = INT32_MAX;  // offset (V / 2 - rand() % V) x 256 is far above 65535
    dab(0, 0, 0x8000, 0x8000, 0x8000);
    EXPECT_EQ(at(0, 0), (Rgba64{65535, 65535, 65535, 65534}));
    // Pixel vary pushes up, luminance vary far below 0: the luminance wins on
    // colour, the varied alpha stays.
    brush::set_pix_colour_vary(st, INT32_MAX);
    brush::set_pix_lum_vary(st, INT32_MAX);
    dab(1, 0, 0x8000, 0x8000, 0x8000);
    EXPECT_EQ(at(1, 0), (Rgba64{0, 0, 0, 65534}));
    // A negative primary strength drives colour and alpha below 0: clamped to 0.
    st.settings.blend_strength = 7;
    st.settings.primary_strength = -300;
    st.settings.blend_remix = 1;
    dab(1, 0, 0x8000, 0x8000, 0x8000);
    EXPECT_EQ(at(1, 0), (Rgba64{0, 0, 0, 0}));
    const uint16_t* bp = blend_px(0, 0);
    EXPECT_EQ((Rgba64{bp[0], bp[1], bp[2], bp[3]}),
              (Rgba64{0, 0, 0, uint16_t((249 * 65534) >> 8)}));
}

// ---- Specialised loop against the reference --------------------------------------------

constexpr uint16_t kMaskWords[6] = {65535, 65535, 65534, 1, 32768, 0};  // 0: a random word

struct StrokeSetup {
    int slot;
    int alpha_percent;
    bool solid, mask, colour_vary, squeeze;
    int32_t alpha_level;
};

// Paints seeded strokes on a canvas half transparent, half mixed alpha, and
// returns the layer's words.
std::vector<uint16_t> paint_strokes(const StrokeSetup& cfg, brush::DabPath path) {
    EngineState st;
    const int W = 96, H = 80, b = 40;
    canvas::create_image(st, nullptr, W, H, b, 0);
    layers::create_layer(st, cfg.slot, W, H);
    layers::set_layer(st, cfg.slot);
    Seeded rnd{uint64_t(cfg.slot * 31 + cfg.alpha_percent)};
    uint16_t* layer = layers::current_view(st);
    for (int y = 0; y < H; ++y)
        for (int x = W / 2; x < W; ++x) {
            uint16_t* p = layer + (size_t(y) * W + size_t(x)) * 4;
            const int kind = rnd.below(4);
            for (int k = 0; k < 3; ++k) p[k] = rnd.word();
            p[3] = kind == 0   ? 0
                   : kind == 1 ? 65535
                   : kind == 2 ? uint16_t(1 + rnd.below(65534))
                               : 65534;
        }
    if (cfg.mask)
        for (size_t k = 0; k < st.canvas.mask.size(); ++k) {
            const uint16_t pick = kMaskWords[rnd.below(6)];
            st.canvas.mask[k] = pick ? pick : rnd.word();
        }
    Settings& s = st.settings;
    settings::set_alpha(s, cfg.alpha_percent);
    s.mix_mode = 32;
    s.solid_brush_mode = cfg.solid;
    s.alpha_level = cfg.alpha_level;
    s.colour_vary = cfg.colour_vary ? 40 : 0;
    const int sizes[] = {1, 2, 7, 16, 33, 40};
    for (int stroke = 0; stroke < 24; ++stroke) {
        const int S = sizes[stroke % 6];
        st.brush.size = S;
        st.brush.footprint = cfg.squeeze && S > 2 ? S * 2 / 3 : S;
        for (int i = 0; i < st.brush.footprint; ++i)
            st.brush.scale_map[size_t(i)] = cfg.squeeze ? std::min(S - 1, i * 3 / 2) : i;
        for (int r = 0; r < S; ++r)
            for (int c = 0; c < S; ++c)
                st.brush.shape[size_t(r * b + c)] = rnd.below(5) == 0 ? 0
                                                    : rnd.below(3)    ? 65535
                                                                      : rnd.word();
        const int32_t colour[3] = {int32_t(rnd.word()), int32_t(rnd.word()), int32_t(rnd.word())};
        int x = rnd.below(W + 20) - 10, y = rnd.below(H + 20) - 10;
        for (int d = 0; d < 12; ++d) {
            brush::draw_dab(st, x, y, colour[0], colour[1], colour[2], path);
            x += rnd.below(9) - 4;
            y += rnd.below(9) - 4;
        }
    }
    return {layer, layer + size_t(W) * H * 4};
}

TEST(DabPaths, SpecialisedLoopMatchesReferenceWordForWord) {
    const StrokeSetup setups[] = {
        {2, 100, false, false, false, false, 0}, {2, 100, false, true, true, false, 0},
        {2, 50, false, true, false, true, 0},    {2, 73, true, false, true, false, 0},
        {1, 100, false, true, false, false, 0},  {2, 100, false, false, false, true, 40000},
        {0, 99, true, true, true, true, 0},
    };
    for (const StrokeSetup& cfg : setups) {
        SCOPED_TRACE(testing::Message()
                     << "slot " << cfg.slot << " alpha " << cfg.alpha_percent << " solid "
                     << cfg.solid << " mask " << cfg.mask << " vary " << cfg.colour_vary
                     << " squeeze " << cfg.squeeze << " level " << cfg.alpha_level);
        const auto ref = paint_strokes(cfg, brush::DabPath::General);
        for (brush::DabPath path : {brush::DabPath::Auto, brush::DabPath::Baseline}) {
            const auto fast = paint_strokes(cfg, path);
            ASSERT_EQ(fast.size(), ref.size());
            size_t diff = 0;
            for (size_t i = 0; i < ref.size(); ++i) diff += fast[i] != ref[i];
            EXPECT_EQ(diff, 0u) << (path == brush::DabPath::Auto ? "widest vectors" : "SSE2");
        }
    }
}

// One dab over a 256 x 256 layer whose alphas are all 65,536 words, with a
// random shape: every destination alpha meets many coverages in each path.
std::vector<uint16_t> paint_every_alpha(brush::DabPath path, int alpha_percent,
                                        int32_t colour_vary) {
    EngineState st;
    canvas::create_image(st, nullptr, 256, 256, 256, 0);
    layers::create_layer(st, kSlot, 256, 256);
    layers::set_layer(st, kSlot);
    Seeded rnd{uint64_t(alpha_percent * 7 + colour_vary)};
    uint16_t* layer = layers::current_view(st);
    for (size_t i = 0; i < 65536; ++i) {
        for (int k = 0; k < 3; ++k) layer[i * 4 + size_t(k)] = rnd.word();
        layer[i * 4 + 3] = uint16_t(i * 40503u);  // a permutation of the words
    }
    brush::set_size(st, 256);
    for (size_t i = 0; i < st.brush.shape.size(); ++i)
        st.brush.shape[i] = rnd.below(8) ? rnd.word() : 65535;
    settings::set_alpha(st.settings, alpha_percent);
    st.settings.colour_vary = colour_vary;
    st.settings.mix_mode = 32;
    brush::draw_dab(st, 128, 128, 0x9A00, 0x3300, 0xFF00, path);
    return {layer, layer + 65536 * 4};
}

TEST(DabPaths, EveryDestinationAlphaMatchesReference) {
    for (int alpha : {100, 61})
        for (int32_t vary : {0, 90}) {
            SCOPED_TRACE(testing::Message() << "alpha " << alpha << " vary " << vary);
            const auto ref = paint_every_alpha(brush::DabPath::General, alpha, vary);
            for (brush::DabPath path : {brush::DabPath::Auto, brush::DabPath::Baseline}) {
                const auto fast = paint_every_alpha(path, alpha, vary);
                EXPECT_EQ(std::mismatch(fast.begin(), fast.end(), ref.begin()).first - fast.begin(),
                          std::ptrdiff_t(ref.size()));
            }
        }
}

// ---- Determinism -----------------------------------------------------------------------

// A seeded stroke with grit, colour and pixel variation, blend remix and a mix mode.
uint64_t seeded_stroke() {
    EngineState st;
    canvas::create_image(st, nullptr, 64, 48, 32, 0);
    layers::create_layer(st, kSlot, 64, 48);
    layers::set_layer(st, kSlot);
    settings::set_random_seed(st, 1234);
    settings::set_alpha(st.settings, 80);
    settings::set_density(st.settings, 200);
    brush::set_size(st, 20);
    brush::ToolSettings tool;
    tool.grit_size = 3;
    tool.grit_coverage = 200;
    tool.grit_fill = 180;
    tool.softness = 120;
    tool.colour_vary = 12;
    tool.grit_repeat = 4;
    tool.blend_strength = 40;
    tool.primary_strength = 100;
    tool.blend_remix = 1;
    brush::set_tool(st, tool);
    brush::set_pix_colour_vary(st, 30);
    brush::set_pix_lum_vary(st, 20);
    uint16_t* layer = layers::current_view(st);
    for (int k = 0; k < 40; ++k) {
        if (k == 20) settings::set_mix_mode(st.settings, 253, 180);
        brush::draw_dab(st, 8 + k, 10 + k / 2, 0xC000, 0x4000 + k * 256, 0x2000);
        brush::dec_drawing_length(st);
    }
    return fnv1a(layer, 64 * 48 * 4);
}

TEST(DabDeterminism, SameSeedGivesTheSameStroke) {
    EXPECT_EQ(seeded_stroke(), seeded_stroke());
    // Pinned after looking at the picture: a soft gritty orange stroke turning dark
    // brown where mode 253 takes over. A change here changes every host's strokes.
    EXPECT_EQ(seeded_stroke(), 0xeac459eb3746ddccull);
}

}  // namespace
}  // namespace qrn

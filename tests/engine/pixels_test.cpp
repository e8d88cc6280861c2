#include "engine/pixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/buffer.h"
#include "engine/imaging_api/imaging.h"
#include "engine/pixel_format.h"

namespace qrn {
namespace {

using pixels::LoadVariant;

// A canvas and its slots set up directly in the state, so these tests do not
// depend on the canvas and layer modules.
class Pixels : public ::testing::Test {
protected:
    EngineState st;

    void make_canvas(int w, int h) {
        st.canvas.width = w;
        st.canvas.height = h;
        st.canvas.row_bytes = w * 8;
        st.canvas.exists = true;
    }
    LayerRecord& make_slot(int s, int w, int h, int row_words = 0) {
        LayerRecord& r = st.canvas.slots[size_t(s)];
        r.width = w;
        r.height = h;
        r.row_words = row_words ? row_words : w * 4;
        r.pixels = Buffer<uint16_t>::make(size_t(r.row_words) * size_t(h));
        return r;
    }
    LayerRecord& canvas_with_current(int w, int h) {
        make_canvas(w, h);
        st.canvas.current_slot = 0;
        return make_slot(0, w, h);
    }
    void enable_mask(uint16_t fill) {
        st.canvas.mask = Buffer<uint16_t>::make(size_t(st.canvas.width) * size_t(st.canvas.height));
        for (size_t k = 0; k < st.canvas.mask.size(); ++k) st.canvas.mask[k] = fill;
        st.settings.mask_enabled = 1;
    }
    static Rgba64 px(const LayerRecord& r, int x, int y) {
        const uint16_t* p = r.pixels.data() + size_t(y) * size_t(r.row_words) + size_t(x) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
    static void set_px(LayerRecord& r, int x, int y, Rgba64 v) {
        uint16_t* p = r.pixels.data() + size_t(y) * size_t(r.row_words) + size_t(x) * 4;
        p[0] = v.r, p[1] = v.g, p[2] = v.b, p[3] = v.a;
    }
    static void fill(LayerRecord& r, Rgba64 v) {
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x) set_px(r, x, y, v);
    }
    static std::vector<uint16_t> words(const LayerRecord& r) {
        return {r.pixels.data(), r.pixels.data() + r.pixels.size()};
    }
};

constexpr Rgba64 kGrey{0x1000, 0x2000, 0x3000, 0x4000};

// Every byte value widens by shifting and narrows back unchanged; this also runs
// a 256-pixel row through the blocked loops and their scalar tails.
TEST_F(Pixels, WidensEveryByteByShiftingAndReadsItBack) {
    LayerRecord& r = canvas_with_current(256, 1);
    std::vector<uint8_t> src(256 * 4), back(256 * 4);
    for (int v = 0; v < 256; ++v)
        for (int c = 0; c < 4; ++c)
            src[size_t(v) * 4 + size_t(c)] = uint8_t(v == 0 && c == 3 ? 1 : v);
    EXPECT_EQ(pixels::load_rgba32(st, src.data(), 256 * 4, false), 1);
    EXPECT_EQ(px(r, 255, 0), (Rgba64{0xFF00, 0xFF00, 0xFF00, 0xFF00}));
    for (int v = 1; v < 256; ++v) ASSERT_EQ(px(r, v, 0).g, uint16_t(v << 8));
    EXPECT_EQ(pixels::get_rgba32(st, back.data(), 256 * 4), 1);
    EXPECT_EQ(back, src);
}

TEST_F(Pixels, LoadBgr24SwapsToRgbWithOpaqueAlphaAndClipsToCanvas) {
    LayerRecord& r = canvas_with_current(3, 2);
    fill(r, kGrey);
    const uint8_t bgr[4 * 3] = {10, 20, 30, 1, 2, 3, 4, 5, 6, 7, 8, 9};  // stride 6: 2 pixels a row
    pixels::load_bgr24(st, bgr, 6, 9, 1);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{30 << 8, 20 << 8, 10 << 8, 0xFFFF}));
    EXPECT_EQ(px(r, 1, 0), (Rgba64{3 << 8, 2 << 8, 1 << 8, 0xFFFF}));
    EXPECT_EQ(px(r, 2, 0), (Rgba64{6 << 8, 5 << 8, 4 << 8, 0xFFFF}));  // w = 9 clips to W = 3
    EXPECT_EQ(px(r, 0, 1), kGrey);                                     // h = 1 leaves row 1
}

TEST_F(Pixels, UnweightedVariantsTreatTransparentSourceDifferently) {
    const uint8_t src[4] = {200, 100, 50, 0};
    struct Case {
        LoadVariant v;
        bool locked;
        Rgba64 want;
    };
    const Case cases[] = {
        {LoadVariant::Plain, false, {0, 0, 0, 0}},
        {LoadVariant::Good, false, {200 << 8, 100 << 8, 50 << 8, 0}},
        {LoadVariant::Good2, false, {200 << 8, 100 << 8, 50 << 8, 0}},
        {LoadVariant::Plain, true, {200 << 8, 100 << 8, 50 << 8, 0x4000}},
        {LoadVariant::Good, true, {200 << 8, 100 << 8, 50 << 8, 0x4000}},
        {LoadVariant::Good2, true, {200 << 8, 100 << 8, 50 << 8, 0x4000}},
    };
    make_canvas(1, 1);
    LayerRecord& r = make_slot(5, 1, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.v) * 10 + c.locked);
        fill(r, kGrey);
        r.alpha_locked = c.locked;
        EXPECT_EQ(pixels::load_rgba32_layer(st, src, 4, 5, 1, 1, false, c.v), 1);
        EXPECT_EQ(px(r, 0, 0), c.want);
    }
}

TEST_F(Pixels, LoadClipsToSlotAndStepsBySignedStride) {
    make_canvas(4, 4);
    LayerRecord& r = make_slot(2, 3, 2, 16);  // padded rows: 3 pixels used of 4
    fill(r, kGrey);
    // Two source rows 20 bytes apart; pointer at the last one, negative stride.
    std::vector<uint8_t> src(40, 0);
    for (int c = 0; c < 4; ++c) src[20 + size_t(c)] = 9, src[size_t(c)] = 7;
    EXPECT_EQ(pixels::load_rgba32_layer(st, src.data() + 20, -20, 2, 1, 9, false), 2);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{9 << 8, 9 << 8, 9 << 8, 9 << 8}));
    EXPECT_EQ(px(r, 0, 1), (Rgba64{7 << 8, 7 << 8, 7 << 8, 7 << 8}));
    EXPECT_EQ(px(r, 1, 0), kGrey);  // w = 1 leaves the rest
    EXPECT_EQ(r.pixels[12], 0);     // padding never written
    // Rows are counted even when no pixel of them is written.
    EXPECT_EQ(pixels::load_rgba32_layer(st, src.data(), 20, 2, -1, 2, false), 2);
    EXPECT_EQ(pixels::load_rgba32_layer(st, src.data(), 20, 2, 3, -5, false), 0);
    EXPECT_EQ(px(r, 1, 0), kGrey);
}

TEST_F(Pixels, BadSlotsAndNullBuffersWriteNothing) {
    make_canvas(2, 2);
    LayerRecord& odd = make_slot(1, 3, 2);  // not canvas-sized
    fill(odd, kGrey);
    const auto before = words(odd);
    std::vector<uint8_t> buf32(64, 0xAB);
    std::vector<uint16_t> buf64(64, 0xABCD);
    for (int s : {-1, 0, 1, 64}) {
        SCOPED_TRACE(s);
        if (s != 1) {
            EXPECT_EQ(pixels::load_rgba32_layer(st, buf32.data(), 8, s, 2, 2, false), 0);
        }
        EXPECT_EQ(pixels::get_rgba32_layer(st, buf32.data(), 8, s), 0);
        EXPECT_EQ(pixels::set_rgba64_layer(st, buf64.data(), 16, s), 0);
        pixels::get_rgba64_layer_rect(st, buf64.data(), 16, s, 0, 0, 2, 2);
        pixels::get_layer_data(st, buf64.data(), s);
        pixels::set_layer_data(st, buf64.data(), s);
        EXPECT_EQ(pixels::get_rgba32_layer_compressed(st, buf32.data(), 64, s, 6), 0);
        pixels::load_rgba32_layer_compressed(st, buf32.data(), 64, s == 1 ? 0 : s);
    }
    pixels::copy_layer_data(st, 1, 1);
    EXPECT_EQ(words(odd), before);
    EXPECT_EQ(buf32, std::vector<uint8_t>(64, 0xAB));
    EXPECT_EQ(buf64, std::vector<uint16_t>(64, 0xABCD));
    // A slot of its own geometry still loads; a null buffer does not.
    EXPECT_EQ(pixels::load_rgba32_layer(st, nullptr, 12, 1, 3, 2, false), 0);
    EXPECT_EQ(pixels::load_rgba32_layer(st, buf32.data(), 12, 1, 3, 2, false), 2);

    // No current layer: every current-layer function is a no-op returning 0.
    st.canvas.current_slot = -1;
    EXPECT_EQ(pixels::get_rgb24(st, buf32.data(), 6), 0);
    EXPECT_EQ(pixels::get_rgba32(st, buf32.data(), 8), 0);
    EXPECT_EQ(pixels::load_rgb24(st, buf32.data(), 6, false), 0);
    EXPECT_EQ(pixels::load_rgba32(st, buf32.data(), 8, false), 0);
    pixels::clear(st, 1, 2, 3, 4);
    pixels::clear_masked_alpha(st, 1, 2, 3, 4);
    EXPECT_EQ(buf32, std::vector<uint8_t>(64, 0xAB));
}

// Texture and mask words chosen so each weighting rule gives a known weight;
// the blends below are hand-computed from the formula with that weight.
TEST_F(Pixels, WeightComesFromTextureThenMask) {
    LayerRecord& r = canvas_with_current(5, 1);
    st.canvas.texture = Buffer<uint8_t>::make(5);
    const uint8_t tex[5] = {127, 128, 0, 127, 255};
    std::memcpy(st.canvas.texture.data(), tex, 5);
    enable_mask(0xFFFF);
    st.canvas.mask[3] = 0x8000;
    const std::vector<uint8_t> src(5 * 4, 255);
    fill(r, {0, 0, 0, 0x0100});
    EXPECT_EQ(pixels::load_rgba32(st, src.data(), 20, true), 1);
    EXPECT_EQ(px(r, 0, 0).r, 64769);  // t = 127: w = 65023, mask 0xFFFF keeps it
    EXPECT_EQ(px(r, 1, 0), (Rgba64{0xFF00, 0xFF00, 0xFF00, 0xFF00}));  // t >= 128: full
    EXPECT_EQ(px(r, 2, 0), (Rgba64{0, 0, 0, 0x0100}));                 // t = 0: untouched
    EXPECT_EQ(px(r, 3, 0).r, ((((255u * 256) * 32511) >> 8) >> 8));    // (65023 * 0x8000) >> 16
    EXPECT_EQ(px(r, 4, 0).r, 0xFF00);
    // Use-mask without any weighting input is the plain path.
    st.canvas.texture.reset();
    st.settings.mask_enabled = 0;
    fill(r, kGrey);
    const uint8_t clear_px[4] = {1, 2, 3, 0};
    pixels::load_rgba32_layer(st, clear_px, 4, 0, 1, 1, true);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{0, 0, 0, 0}));
}

TEST_F(Pixels, WeightedVariantsFollowLayerAndSourceAlpha) {
    make_canvas(1, 1);
    enable_mask(0x8000);  // w = 32767
    LayerRecord& r = make_slot(3, 1, 1);
    struct Case {
        LoadVariant v;
        Rgba64 layer;
        uint8_t src_a;
        Rgba64 want;
    };
    constexpr uint16_t b200 = 27647;  // blend(200, 0x1000, 32767)
    constexpr Rgba64 kClear{0x1000, 0x1000, 0x1000, 0}, kDark{0x1000, 0x1000, 0x1000, 0x1000};
    constexpr Rgba64 kTaken{200 << 8, 200 << 8, 200 << 8, 12799};  // ((100 * 256) * w) >> 16
    const Case cases[] = {
        // Layer alpha 0: colour taken and alpha faded in, except by _GOOD.
        {LoadVariant::Plain, kClear, 100, kTaken},
        {LoadVariant::Good2, kClear, 100, kTaken},
        {LoadVariant::Good, kClear, 100, {b200, b200, b200, 12799}},
        // Transparent source over a visible pixel: only the plain load just erases.
        {LoadVariant::Plain, {0x1000, 0x1000, 0x1000, 0x8000}, 0, {0x1000, 0x1000, 0x1000, 16384}},
        {LoadVariant::Good, kDark, 0, {b200, b200, b200, 2048}},
        {LoadVariant::Good2, kDark, 0, {b200, b200, b200, 2048}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.v));
        set_px(r, 0, 0, c.layer);
        const uint8_t src[4] = {200, 200, 200, c.src_a};
        pixels::load_rgba32_layer(st, src, 4, 3, 1, 1, true, c.v);
        EXPECT_EQ(px(r, 0, 0), c.want);
        // Alpha locked: the same load never touches the alpha word.
        r.alpha_locked = 1;
        set_px(r, 0, 0, c.layer);
        pixels::load_rgba32_layer(st, src, 4, 3, 1, 1, true, c.v);
        EXPECT_EQ(px(r, 0, 0).a, c.layer.a);
        r.alpha_locked = 0;
    }
}

// The weighted load's vector loops against the scalar one: every variant, alpha
// lock, texture and mask presence, a slot wider and taller than the canvas (full
// weight outside it, a padded row) and widths that leave a tail, on seeded layer
// and source pixels with the alphas and weights each branch tests for.
class WeightedLoops : public Pixels, public ::testing::WithParamInterface<composite::Simd> {};

TEST_P(WeightedLoops, GiveTheScalarLoopsWords) {
    if (GetParam() == composite::Simd::Avx2 && !composite::detail::cpu_has_avx2())
        GTEST_SKIP() << "no AVX2 on this processor";
    std::mt19937 gen(11);
    const auto rng = [&] { return uint32_t(gen()); };
    constexpr int kW = 37, kH = 9;
    make_canvas(kW, kH);
    st.canvas.texture = Buffer<uint8_t>::make(size_t(kW) * kH);
    enable_mask(0);
    const auto pick = [&](std::initializer_list<uint32_t> v) {
        return *(v.begin() + rng() % v.size());
    };
    for (size_t k = 0; k < size_t(kW) * kH; ++k) {
        st.canvas.texture[k] = uint8_t(pick({0, 127, 128, 255, rng() & 0xFF, rng() & 0x7F}));
        st.canvas.mask[k] = uint16_t(pick({0, 0xFFFF, 0xFFFE, 1, rng() & 0xFFFF, rng() & 0xFFFF}));
    }
    const Buffer<uint8_t> texture = std::move(st.canvas.texture);
    for (int slot_w : {kW, kW + 6, 5})
        for (int inputs = 1; inputs < 4; ++inputs)
            for (LoadVariant v : {LoadVariant::Plain, LoadVariant::Good, LoadVariant::Good2})
                for (uint8_t locked : {0, 1}) {
                    SCOPED_TRACE(testing::Message() << "width " << slot_w << " inputs " << inputs
                                                    << " variant " << int(v) << " locked "
                                                    << int(locked));
                    st.canvas.texture = Buffer<uint8_t>::make(inputs & 1 ? texture.size() : 0);
                    if (inputs & 1) std::memcpy(st.canvas.texture.data(), texture.data(), texture.size());
                    st.settings.mask_enabled = (inputs & 2) ? 1 : 0;
                    LayerRecord& r = make_slot(2, slot_w, kH + 2, slot_w * 4 + 4);
                    r.alpha_locked = locked;
                    for (size_t k = 0; k < r.pixels.size(); ++k)
                        r.pixels[k] = uint16_t(k % 4 == 3 ? pick({0, 0xFFFF, rng() & 0xFFFF})
                                                          : rng() & 0xFFFF);
                    std::vector<uint8_t> src(size_t(slot_w + 3) * (kH + 2) * 4);
                    for (size_t k = 0; k < src.size(); ++k)
                        src[k] = uint8_t(k % 4 == 3 ? pick({0, 255, rng() & 0xFF}) : rng() & 0xFF);
                    const std::vector<uint16_t> before = words(r);
                    pixels::load_rgba32_layer(st, src.data(), (slot_w + 3) * 4, 2, slot_w + 1,
                                              kH + 2, true, v, composite::Simd::Scalar);
                    const std::vector<uint16_t> want = words(r);
                    std::memcpy(r.pixels.data(), before.data(), before.size() * 2);
                    pixels::load_rgba32_layer(st, src.data(), (slot_w + 3) * 4, 2, slot_w + 1,
                                              kH + 2, true, v, GetParam());
                    ASSERT_EQ(words(r), want);
                }
}

std::string width_name(const ::testing::TestParamInfo<composite::Simd>& p) {
    return p.param == composite::Simd::Sse2 ? "Sse2" : "Avx2";
}
INSTANTIATE_TEST_SUITE_P(EveryWidth, WeightedLoops,
                         ::testing::Values(composite::Simd::Sse2, composite::Simd::Avx2),
                         width_name);

TEST_F(Pixels, SlotLargerThanCanvasGetsFullWeightOutsideIt) {
    make_canvas(1, 1);
    enable_mask(0);  // nothing selected on the canvas
    LayerRecord& r = make_slot(4, 2, 2);
    fill(r, kGrey);
    const std::vector<uint8_t> src(16, 50);
    EXPECT_EQ(pixels::load_rgba32_layer(st, src.data(), 8, 4, 2, 2, true), 2);
    EXPECT_EQ(px(r, 0, 0), kGrey);
    EXPECT_EQ(px(r, 1, 0), (Rgba64{50 << 8, 50 << 8, 50 << 8, 50 << 8}));
    EXPECT_EQ(px(r, 1, 1), (Rgba64{50 << 8, 50 << 8, 50 << 8, 50 << 8}));
}

TEST_F(Pixels, BlendStaysInSixteenBitsAtTheExtremes) {
    LayerRecord& r = canvas_with_current(2, 1);
    enable_mask(0xFFFF);
    st.canvas.mask[0] = 0xFFFE;  // w = 65533
    st.canvas.mask[1] = 1;       // w = 0: (65535 * 1) >> 16
    fill(r, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF});
    const std::vector<uint8_t> src = {255, 0, 255, 255, 0, 0, 0, 0};
    pixels::load_rgba32(st, src.data(), 8, true);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{65279, 1, 65279, 65279}));
    EXPECT_EQ(px(r, 1, 0), (Rgba64{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}));
}

TEST_F(Pixels, Rgb24LoadsWriteColourOnlyAndAlphaLoadSkipsTransparent) {
    LayerRecord& r = canvas_with_current(2, 1);
    set_px(r, 0, 0, kGrey);
    set_px(r, 1, 0, {1, 2, 3, 0});
    const uint8_t rgb[6] = {10, 20, 30, 40, 50, 60};
    EXPECT_EQ(pixels::load_rgb24(st, rgb, 6, false), 1);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{10 << 8, 20 << 8, 30 << 8, 0x4000}));
    pixels::load_rgb24_to_alpha(st, rgb, 6, false);
    EXPECT_EQ(px(r, 0, 0).a, 10 << 8);
    EXPECT_EQ(px(r, 1, 0).a, 0);
    // Weighted: w = 32767 blends colour (and alpha for the alpha load).
    enable_mask(0x8000);
    set_px(r, 0, 0, {0x1000, 0x1000, 0x1000, 0xFFFF});
    const uint8_t c200[6] = {200, 200, 200, 200, 200, 200};
    pixels::load_rgb24(st, c200, 6, true);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{27647, 27647, 27647, 0xFFFF}));
    set_px(r, 0, 0, {0, 0, 0, 0x1000});
    pixels::load_rgb24_to_alpha(st, c200, 6, true);
    EXPECT_EQ(px(r, 0, 0).a, 27647);
    EXPECT_EQ(px(r, 1, 0).a, 0);
}

TEST_F(Pixels, ClearMaskedBlendsEightBitColourAndMakesPartialPixelsOpaque) {
    LayerRecord& r = canvas_with_current(3, 1);
    enable_mask(0);
    st.canvas.mask[1] = 0x8000;
    st.canvas.mask[2] = 0xFFFF;
    fill(r, {0, 0x4000, 0, 0});
    pixels::clear_masked(st, 255, 10, 0, 7);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{0, 0x4000, 0, 0}));
    EXPECT_EQ(px(r, 1, 0), (Rgba64{0x7F80, 9471, 0, 0xFFFF}));
    EXPECT_EQ(px(r, 2, 0), (Rgba64{0xFF00, 10 << 8, 0, 7 << 8}));
    st.settings.mask_enabled = 0;  // disabled mask: a plain clear
    pixels::clear_masked(st, 1, 2, 3, 4);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{1 << 8, 2 << 8, 3 << 8, 4 << 8}));
}

TEST_F(Pixels, ClearMaskedAlphaGoesThroughTheWeightedLoad) {
    LayerRecord& r = canvas_with_current(2, 1);
    enable_mask(0x8000);
    st.canvas.mask[1] = 0;
    fill(r, {0x1000, 0x1000, 0x1000, 0x1000});
    pixels::clear_masked_alpha(st, 200, 200, 200, 100);
    EXPECT_EQ(px(r, 0, 0), (Rgba64{27647, 27647, 27647, 14847}));  // every channel blended
    pixels::clear_masked_alpha(st, 200, 200, 200, 0);              // transparent colour only erases
    EXPECT_EQ(px(r, 0, 0), (Rgba64{27647, 27647, 27647, (14847u * 32768) >> 16}));
    EXPECT_EQ(px(r, 1, 0), (Rgba64{0x1000, 0x1000, 0x1000, 0x1000}));
    st.settings.mask_enabled = 0;
    pixels::clear_masked_alpha(st, 1, 2, 3, 4);
    EXPECT_EQ(px(r, 1, 0), (Rgba64{1 << 8, 2 << 8, 3 << 8, 4 << 8}));
}

TEST_F(Pixels, Rgba64RectIsClippedAndLeavesOutsidePositionsUntouched) {
    make_canvas(3, 3);
    LayerRecord& r = make_slot(7, 3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) set_px(r, x, y, {uint16_t(x), uint16_t(y), 0, 1});
    constexpr int kStride = 5 * 8 + 8;  // 4 pixels a row plus padding
    std::vector<uint16_t> buf(kStride / 2 * 4, 0xEEEE);
    pixels::get_rgba64_layer_rect(st, buf.data(), kStride, 7, 1, -2, 4, 4);  // (1,-2)..(4,1)
    auto at = [&](int i, int j) { return buf[size_t(i) * kStride / 2 + size_t(j) * 4]; };
    EXPECT_EQ(at(0, 0), 0xEEEE);  // canvas row -2
    EXPECT_EQ(at(2, 0), 1);       // canvas (1, 0)
    EXPECT_EQ(at(3, 1), 2);       // canvas (2, 1)
    EXPECT_EQ(buf[3 * kStride / 2 + 1 * 4 + 1], 1);
    EXPECT_EQ(at(2, 2), 0xEEEE);                                             // canvas column 3
    pixels::get_rgba64_layer_rect(st, buf.data(), kStride, 7, -5, 0, 4, 1);  // wholly left
    pixels::get_rgba64_layer_rect(st, buf.data(), kStride, 7, 0, 0, -1, 3);
    EXPECT_EQ(at(0, 0), 0xEEEE);
}

TEST_F(Pixels, HostConversionsNarrowFromThePointersThemselves) {
    const uint16_t src[2 * 4] = {0x1234, 0x5678, 0x9ABC, 0xDEF0, 0xFF00, 0x00FF, 0x8000, 0x7FFF};
    uint8_t d32[8] = {}, d24[6] = {};
    pixels::rgba64_to_rgba32(d32, 8, src, 16, 2, 1);  // the export's x and y never reach here
    EXPECT_EQ(std::vector<uint8_t>(d32, d32 + 8),
              (std::vector<uint8_t>{0x12, 0x56, 0x9A, 0xDE, 0xFF, 0, 0x80, 0x7F}));
    pixels::rgba64_to_rgb24(d24, 6, src, 16, 2, 1);
    EXPECT_EQ(d24[5], 0x80);
    pixels::rgba64_to_rgba32(nullptr, 8, src, 16, 2, 1);
    pixels::rgba64_rect_to_rgba32(nullptr, 0, 0, 1, 1, 2, d32);
    // The packed rectangle forms offset by (x, y) in a source 2 pixels wide and
    // skip columns beyond it.
    std::memset(d32, 0xEE, sizeof d32);
    pixels::rgba64_rect_to_rgba32(src, 1, 0, 2, 1, 2, d32);
    EXPECT_EQ(d32[0], 0xFF);
    EXPECT_EQ(d32[4], 0xEE);
}

TEST_F(Pixels, HostFillsCoverCanvasOrPackedSizeOnly) {
    make_canvas(2, 2);
    std::vector<uint8_t> b32(2 * 12, 0);
    pixels::clear_rgba32(st, b32.data(), 12, 1, 2, 3, 0x104);  // low byte only
    EXPECT_EQ(b32[4], 1);
    EXPECT_EQ(b32[7], 4);
    EXPECT_EQ(b32[8], 0);  // padding
    std::vector<uint16_t> b64(2 * 8, 0);
    pixels::clear_rgba64(st, b64.data(), 16, 0x1234, 2, 3, 0xFFFF);
    EXPECT_EQ(b64[8], 0x1234);
    EXPECT_EQ(b64[15], 0xFFFF);
    std::vector<uint8_t> packed(12, 0);
    pixels::clear_rgba32_buf(packed.data(), 3, 1, 9, 9, 9, 9);
    pixels::clear_rgba32_buf(packed.data(), -3, 1, 1, 1, 1, 1);
    EXPECT_EQ(packed, std::vector<uint8_t>(12, 9));
}

// The vectorised plain loops against a per-pixel reference on seeded input, at a
// width that runs full blocks and a scalar tail, from an odd (unaligned) address.
TEST_F(Pixels, PlainLoopsMatchPerPixelReference) {
    constexpr int kW = 37, kH = 3;
    LayerRecord& r = canvas_with_current(kW, kH);
    std::mt19937 rng(11);
    std::vector<uint8_t> buf(kW * kH * 4 + 1);
    for (auto& v : buf) v = uint8_t(rng() % 4 == 0 ? 0 : rng());
    const uint8_t* src = buf.data() + 1;
    for (int locked = 0; locked < 2; ++locked)
        for (LoadVariant v : {LoadVariant::Plain, LoadVariant::Good}) {
            SCOPED_TRACE(int(v) * 10 + locked);
            fill(r, kGrey);
            r.alpha_locked = uint8_t(locked);
            pixels::load_rgba32_layer(st, src, kW * 4, 0, kW, kH, false, v);
            for (int k = 0; k < kW * kH; ++k) {
                const uint8_t* s = &src[size_t(k) * 4];
                Rgba64 want{widen_shift(s[0]), widen_shift(s[1]), widen_shift(s[2]),
                            widen_shift(s[3])};
                if (locked)
                    want.a = kGrey.a;
                else if (v == LoadVariant::Plain && s[3] == 0)
                    want = {0, 0, 0, 0};
                ASSERT_EQ(px(r, k % kW, k / kW), want) << k;
            }
        }
    std::vector<uint8_t> rgb(kW * kH * 3);
    pixels::get_rgb24(st, rgb.data(), kW * 3);
    for (int k = 0; k < kW * kH; ++k)
        ASSERT_EQ(rgb[size_t(k) * 3 + 2], src[size_t(k) * 4 + 2]) << k;
}

// ---- Compressed layer transfer ----------------------------------------------------

class CompressedLayer : public Pixels {
protected:
    LayerRecord* layer = nullptr;
    void SetUp() override {
        layer = &canvas_with_current(8, 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                set_px(*layer, x, y,
                       {uint16_t(x * 0x1F00), uint16_t(y << 8), 0x7F00, uint16_t((x + 1) << 12)});
    }
    std::vector<uint8_t> stream(int extra = 6) {
        std::vector<uint8_t> out(1024);
        const int32_t n = pixels::get_rgba32_layer_compressed(st, out.data(), 1024, 0, extra);
        out.resize(size_t(n));
        return out;
    }
};

TEST_F(CompressedLayer, RoundTripRestoresTheNarrowedLayer) {
    const auto before = words(*layer);
    for (int extra : {1, 9, 0, 42}) {
        SCOPED_TRACE(extra);
        const auto z = stream(extra);
        ASSERT_GT(z.size(), 2u);
        std::vector<uint8_t> plain(8 * 4 * 4);
        ASSERT_EQ(imaging::inflate(z.data(), z.size(), plain.data(), plain.size()),
                  int64_t(plain.size()));
        EXPECT_EQ(plain[4 * 3], 0x5D);  // red of x = 3: 0x5D00 narrowed
        fill(*layer, kGrey);
        pixels::load_rgba32_layer_compressed(st, z.data(), int32_t(z.size()), 0);
        EXPECT_EQ(words(*layer), before);
    }
}

TEST_F(CompressedLayer, BadStreamsLeaveTheLayerUnchanged) {
    const auto good = stream();
    std::vector<uint8_t> corrupt = good;
    corrupt[corrupt.size() / 2] ^= 0x55;
    std::vector<uint8_t> small(16, 3), big(8 * 4 * 4 + 1, 3);
    std::vector<uint8_t> z_small(64), z_big(256);
    const int64_t n_small = imaging::deflate(small.data(), small.size(), z_small.data(), 64, 6);
    const int64_t n_big = imaging::deflate(big.data(), big.size(), z_big.data(), 256, 6);
    ASSERT_TRUE(n_small > 0 && n_big > 0);
    const uint8_t gzip_magic[] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3};
    struct Case {
        const char* name;
        const uint8_t* data;
        size_t len;
    };
    const Case cases[] = {
        {"truncated", good.data(), good.size() - 3},
        {"corrupt", corrupt.data(), corrupt.size()},
        {"too short", z_small.data(), size_t(n_small)},
        {"too long", z_big.data(), size_t(n_big)},
        {"foreign", gzip_magic, sizeof gzip_magic},
        {"empty", good.data(), 0},
        {"null", nullptr, 100},
    };
    fill(*layer, kGrey);
    const auto before = words(*layer);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THROW(pixels::load_rgba32_layer_compressed(st, c.data, int32_t(c.len), 0), Failure);
        EXPECT_EQ(words(*layer), before);
    }
}

TEST_F(CompressedLayer, CapacityIsAHardBound) {
    const size_t need = stream().size();
    std::vector<uint8_t> out(need + 8, 0xCC);
    EXPECT_THROW(pixels::get_rgba32_layer_compressed(st, out.data(), int32_t(need - 1), 0, 6),
                 Failure);
    EXPECT_EQ(out[need - 1], 0xCC);  // nothing past the capacity
    EXPECT_THROW(pixels::get_rgba32_layer_compressed(st, out.data(), 0, 0, 6), Failure);
    EXPECT_EQ(pixels::get_rgba32_layer_compressed(st, out.data(), int32_t(need), 0, 6),
              int32_t(need));
}

TEST_F(CompressedLayer, FailedAllocationLeavesLayerAndFreesNothingTwice) {
    const auto z = stream();
    const auto before = words(*layer);
    const long live = alloc_hook::live_blocks();
    alloc_hook::fail_after(0);
    EXPECT_THROW(pixels::load_rgba32_layer_compressed(st, z.data(), int32_t(z.size()), 0),
                 std::bad_alloc);
    std::vector<uint8_t> out(1024);
    EXPECT_THROW(pixels::get_rgba32_layer_compressed(st, out.data(), 1024, 0, 6), std::bad_alloc);
    alloc_hook::reset();
    EXPECT_EQ(words(*layer), before);
    EXPECT_EQ(alloc_hook::live_blocks(), live);
}

}  // namespace
}  // namespace qrn

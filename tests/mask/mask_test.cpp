#include "mask/mask.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/canvas.h"
#include "engine/layers.h"
#include "engine/pixels.h"
#include "script/colour_spaces.h"

namespace qrn {
namespace {

constexpr int kSlot = 2;  // slot 1 is the white paper; any other slot starts at zero

// A real canvas and a canvas-sized current layer, built through the engine's own
// set-up so that the mask is exactly W x H words (ASan sees any write past it).
class Mask : public ::testing::Test {
protected:
    EngineState st;
    int w = 0, h = 0;

    void make(int width, int height) {
        canvas::create_image(st, nullptr, width, height, 8, 0);
        ASSERT_EQ(layers::create_layer(st, kSlot, width, height), 1);
        layers::set_layer(st, kSlot);
        ASSERT_NE(layers::current_view(st), nullptr);
        w = width;
        h = height;
    }
    uint16_t& m(int x, int y) { return st.canvas.mask[size_t(y) * size_t(w) + size_t(x)]; }
    void fill_mask(uint16_t v) {
        for (size_t k = 0; k < st.canvas.mask.size(); ++k) st.canvas.mask[k] = v;
    }
    std::vector<uint16_t> mask_words() const {
        return {st.canvas.mask.data(), st.canvas.mask.data() + st.canvas.mask.size()};
    }
    uint16_t* px(int x, int y) {
        return layers::current_view(st) + (size_t(y) * size_t(w) + size_t(x)) * 4;
    }
    std::vector<uint8_t> saved() {
        std::vector<uint8_t> out(size_t(w) * size_t(h) * 3, 0xAA);
        mask::save(st, out.data(), w * 3);
        return out;
    }
    std::vector<uint8_t> rgba_image(std::initializer_list<std::array<uint8_t, 4>> pixels) {
        std::vector<uint8_t> img;
        for (const auto& p : pixels) img.insert(img.end(), p.begin(), p.end());
        img.resize(size_t(w) * size_t(h) * 4);
        return img;
    }
};

constexpr uint16_t kUntouched = 0x1234;

// ---- Grey conversions ---------------------------------------------------------------

TEST_F(Mask, ClearMaskTakesTheTruncatedMeanOfSixteenBitChannels) {
    make(3, 2);
    struct Case {
        int32_t r, g, b;
        uint16_t want;
        uint8_t grey;  // what SaveMask shows
    };
    const Case cases[] = {
        {0, 0, 0, 0xFFFF, 0},                       // black selects everything
        {0xFF00, 0xFF00, 0xFF00, 0, 255},           // white protects everything
        {0x7F00, 0x8000, 0x8100, 0x7F00, 128},      // mean 0x8000
        {0xFF, 0xFF, 0xFF, 0xFFFF, 0},              // 0xFF is still black
        {0x100, 0x100, 0x101, 0xFE00, 1},           // mean truncates to 0x100
        {0xFFFF, 0xFFFF, 0xFFFF, 0, 255},           // above 0xFF00: protected, no wrap
        {INT32_MAX, INT32_MAX, INT32_MAX, 0, 255},  // the sum must not overflow
        {-300, -300, 0, 0xFFFF, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
        fill_mask(kUntouched);
        mask::clear(st, c.r, c.g, c.b);
        EXPECT_EQ(mask_words(), std::vector<uint16_t>(6, c.want));
        EXPECT_EQ(saved(), std::vector<uint8_t>(18, c.grey));
    }
}

TEST_F(Mask, EveryEightBitGreyLoadsAndSavesBackExactly) {
    make(256, 1);
    std::vector<uint8_t> grey(256 * 3);
    for (int g = 0; g < 256; ++g)
        for (int c = 0; c < 3; ++c) grey[size_t(g) * 3 + size_t(c)] = uint8_t(g);
    mask::load(st, grey.data(), 256 * 3, 256, 1);
    EXPECT_EQ(m(0, 0), 0xFFFF);  // grey 0 selects fully, not 0xFF00
    EXPECT_EQ(m(1, 0), 0xFE00);
    EXPECT_EQ(m(255, 0), 0);
    EXPECT_EQ(saved(), grey);

    const uint8_t rgb[6] = {0, 0, 2, 10, 20, 31};  // means truncate: 0 and 20
    mask::load(st, rgb, 6, 2, 1);
    EXPECT_EQ(m(0, 0), 0xFFFF);
    EXPECT_EQ(m(1, 0), (255 - 20) << 8);
}

TEST_F(Mask, LoadMaskClipsToTheCanvasAndKeepsTheRest) {
    // 32 x 4 words fill the mask's aligned block exactly, so under ASan a write
    // past the last row is caught rather than landing in rounding slack.
    make(32, 4);
    constexpr int kStride = 40 * 3 + 5;  // a 40 x 6 source with padded rows
    std::vector<uint8_t> src(size_t(kStride) * 6, 255);
    fill_mask(kUntouched);
    mask::load(st, src.data(), kStride, 40, 6);
    EXPECT_EQ(mask_words(), std::vector<uint16_t>(128, 0));

    fill_mask(kUntouched);
    mask::load(st, src.data(), kStride, 2, 1);  // smaller: the rest keeps its values
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 32; ++x) ASSERT_EQ(m(x, y), (x < 2 && y == 0) ? 0 : kUntouched);

    fill_mask(kUntouched);
    mask::load(st, src.data(), kStride, -1, 3);
    mask::load(st, src.data(), kStride, 4, -7);
    EXPECT_EQ(mask_words(), std::vector<uint16_t>(128, kUntouched));
}

TEST_F(Mask, SaveMaskStepsByStrideAndLeavesPadding) {
    make(2, 2);
    m(0, 0) = 0xFFFF, m(1, 0) = 0x00FF, m(0, 1) = 0x8000, m(1, 1) = 0;
    std::vector<uint8_t> out(2 * 8, 0xAA);
    mask::save(st, out.data(), 8);
    const std::vector<uint8_t> want = {0,   0,   0,   255, 255, 255, 0xAA, 0xAA,
                                       127, 127, 127, 255, 255, 255, 0xAA, 0xAA};
    EXPECT_EQ(out, want);
}

TEST_F(Mask, InvertMaskComplementsAndTwiceRestores) {
    make(256, 256);
    for (size_t k = 0; k < st.canvas.mask.size(); ++k) st.canvas.mask[k] = uint16_t(k);
    mask::invert(st);
    EXPECT_EQ(m(0, 0), 0xFFFF);
    EXPECT_EQ(m(255, 255), 0);
    EXPECT_EQ(m(0x34, 0x12), 0xFFFF - 0x1234);
    mask::invert(st);
    for (size_t k = 0; k < st.canvas.mask.size(); ++k) ASSERT_EQ(st.canvas.mask[k], uint16_t(k));
}

// ---- Mask and current layer -----------------------------------------------------------------

TEST_F(Mask, CreateImageFromMaskShowsTheInvertedGreyCappedAtFF00) {
    make(4, 1);
    m(0, 0) = 0xFFFF;  // selected: black
    m(1, 0) = 0;       // protected: 0xFF00, not 0xFFFF
    m(2, 0) = mask::level_value(0);
    m(3, 0) = 0x1234;
    mask::create_image_from_mask(st);
    const uint16_t want[4] = {0, 0xFF00, 0x00FF, 0xEDCB};
    for (int x = 0; x < 4; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(px(x, 0)[0], want[x]);
        EXPECT_EQ(px(x, 0)[1], want[x]);
        EXPECT_EQ(px(x, 0)[2], want[x]);
        EXPECT_EQ(px(x, 0)[3], 0xFFFF);
    }
}

TEST_F(Mask, CreateMaskFromImageUsesTheLayerPixelRule) {
    make(6, 1);
    // Channel means 0xFF, 0x100, 0x8000, 0xFF00, 0xFF01 and 0xFFFF; alpha never counts.
    const uint16_t rgb[6][3] = {{0xFF, 0xFF, 0xFF},       {0x100, 0x100, 0x100},
                                {0x7000, 0x8000, 0x9000}, {0xFF00, 0xFF00, 0xFF00},
                                {0xFF01, 0xFF01, 0xFF01}, {0xFFFF, 0xFFFF, 0xFFFF}};
    for (int x = 0; x < 6; ++x) {
        uint16_t* p = px(x, 0);
        p[0] = rgb[x][0], p[1] = rgb[x][1], p[2] = rgb[x][2], p[3] = uint16_t(x * 1000);
    }
    mask::create_from_image(st);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0xFFFF, 0xFE00, 0x7F00, 0, 0, 0}));
}

TEST_F(Mask, AlphaCopiesBothWaysUnchanged) {
    make(3, 1);
    m(0, 0) = 0xFFFF, m(1, 0) = 0x00FF, m(2, 0) = 0;
    for (int x = 0; x < 3; ++x) px(x, 0)[0] = 0x1111;
    mask::create_alpha_from_mask(st);
    EXPECT_EQ(px(0, 0)[3], 0xFFFF);
    EXPECT_EQ(px(1, 0)[3], 0x00FF);
    EXPECT_EQ(px(2, 0)[3], 0);
    EXPECT_EQ(px(1, 0)[0], 0x1111);  // colour untouched

    px(1, 0)[3] = 0xABCD;
    mask::create_from_alpha(st);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0xFFFF, 0xABCD, 0}));
}

// Between a geometry change and the host's resize call the current layer may
// differ from the canvas; none of the four may then touch it or the mask.
TEST_F(Mask, LayerTransfersNeedACanvasSizedCurrentLayer) {
    make(4, 4);
    fill_mask(kUntouched);
    const auto run_all = [this] {
        mask::create_image_from_mask(st);
        mask::create_alpha_from_mask(st);
        mask::create_from_image(st);
        mask::create_from_alpha(st);
    };
    ASSERT_EQ(layers::create_layer(st, 3, 5, 4), 1);
    layers::set_layer(st, 3);
    run_all();
    EXPECT_EQ(mask_words(), std::vector<uint16_t>(16, kUntouched));
    const LayerRecord& odd = st.canvas.slots[3];
    for (size_t k = 0; k < odd.pixels.size(); ++k) ASSERT_EQ(odd.pixels[k], 0);

    layers::delete_layer(st, 3);  // the current slot now has no pixels
    run_all();
    EXPECT_EQ(mask_words(), std::vector<uint16_t>(16, kUntouched));
}

// ---- Selective creation -------------------------------------------------------------------

TEST_F(Mask, LevelWritesFF00AtZeroAndWrapsModulo256) {
    for (int level = 0; level < 256; ++level)
        ASSERT_EQ(mask::level_value(level), (255 - level) << 8);
    EXPECT_EQ(mask::level_value(256), 0xFF00);
    EXPECT_EQ(mask::level_value(-1), 0);
    EXPECT_EQ(mask::level_value(511), 0);

    // Level 0 is not fully selected: the picture of it is 0x00FF, not black.
    make(2, 1);
    fill_mask(0);
    const auto img = rgba_image({{9, 8, 7, 0}, {9, 8, 6, 255}});
    mask::create_from_rgba_colour(st, img.data(), 9, 8, 7, 0);
    EXPECT_EQ(m(0, 0), 0xFF00);
    mask::create_image_from_mask(st);
    EXPECT_EQ(px(0, 0)[0], 0x00FF);
}

TEST_F(Mask, ExactColourMatchesIgnoreAlphaAndWriteOnlyMatches) {
    make(4, 1);
    const auto img =
        rgba_image({{10, 20, 30, 0}, {10, 20, 31, 255}, {10, 20, 30, 255}, {30, 20, 10, 255}});
    fill_mask(kUntouched);
    mask::create_from_rgba_colour(st, img.data(), 10, 20, 30, 100);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{155 << 8, kUntouched, 155 << 8, kUntouched}));

    fill_mask(kUntouched);
    mask::create_from_rgba_colour(st, img.data(), 10 + 256, 20, 30, 100);  // no byte equals it
    EXPECT_EQ(mask_words(), std::vector<uint16_t>(4, kUntouched));

    const uint8_t rgb[12] = {1, 2, 3, 3, 2, 1, 1, 2, 3, 1, 2, 4};
    fill_mask(kUntouched);
    mask::create_from_rgb24_colour(st, rgb, 1, 2, 3, 255);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0, kUntouched, 0, kUntouched}));
}

TEST_F(Mask, FloodMapAndDiffWriteOnlyTheirPixels) {
    make(4, 1);
    const uint8_t map[4] = {1, 0, 2, 1};
    fill_mask(kUntouched);
    mask::create_from_flood_map(st, map, 55);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{200 << 8, kUntouched, kUntouched, 200 << 8}));

    // Any one of the four bytes differing counts, alpha included; value keeps 16 bits.
    const auto a = rgba_image({{1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}, {1, 2, 3, 4}});
    const auto b = rgba_image({{1, 2, 3, 4}, {0, 2, 3, 4}, {1, 2, 3, 5}, {1, 2, 9, 4}});
    fill_mask(kUntouched);
    mask::create_from_diff(st, a.data(), b.data(), 0x1ABCD);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{kUntouched, 0xABCD, 0xABCD, 0xABCD}));
}

// The range kernels test windows instead of |v - c| <= T; compare them with the
// plain rule for every byte, at the threshold edges and with references outside 0..255.
TEST_F(Mask, RangeWindowsAgreeWithThePlainRuleForEveryByte) {
    make(256, 1);
    const int32_t ranges[] = {0, 1, 9, 10, 39, 50, 99, 100, 101, -1};
    const int32_t refs[] = {0, 1, 100, 254, 255, -20, 300};
    std::vector<uint8_t> img(256 * 4);
    for (int v = 0; v < 256; ++v)
        for (int c = 0; c < 4; ++c) img[size_t(v) * 4 + size_t(c)] = uint8_t(v);
    const auto near = [](int64_t v, int64_t c, int32_t t) { return (v > c ? v - c : c - v) <= t; };
    for (int32_t range : ranges)
        for (int32_t ref : refs) {
            SCOPED_TRACE(testing::Message() << "range " << range << " ref " << ref);
            const int32_t t = mask::range_threshold(range);
            fill_mask(kUntouched);
            mask::create_from_colour_range(st, img.data(), ref, ref, ref, range, 0);
            for (int v = 0; v < 256; ++v)
                ASSERT_EQ(m(v, 0), near(v, ref, t) ? 0xFF00 : kUntouched) << v;
            fill_mask(kUntouched);
            mask::create_from_alpha_range(st, img.data(), ref, range, 0);
            for (int v = 0; v < 256; ++v)
                ASSERT_EQ(m(v, 0), near(v, ref, t) ? 0xFF00 : kUntouched) << v;
            fill_mask(kUntouched);
            mask::create_from_luminance_range(st, img.data(), ref, ref, ref + 2, range, 0);
            for (int v = 0; v < 256; ++v)
                ASSERT_EQ(m(v, 0), near(v, (3 * int64_t(ref) + 2) / 3, t) ? 0xFF00 : kUntouched)
                    << v;
        }
}

TEST_F(Mask, ColourRangeNeedsEveryChannelAndRange100MatchesAll) {
    EXPECT_EQ(mask::range_threshold(10), 25);
    EXPECT_EQ(mask::range_threshold(100), 256);
    make(4, 1);
    const auto img =
        rgba_image({{125, 100, 100, 0}, {126, 100, 100, 0}, {125, 75, 125, 0}, {0, 255, 0, 0}});
    fill_mask(kUntouched);
    mask::create_from_colour_range(st, img.data(), 100, 100, 100, 10, 255);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0, kUntouched, 0, kUntouched}));
    mask::create_from_colour_range(st, img.data(), 255, 0, 255, 100, 255);
    EXPECT_EQ(mask_words(), std::vector<uint16_t>(4, 0));
}

TEST_F(Mask, LuminanceRangeComparesTruncatedMeans) {
    make(3, 1);
    // Means 10 (31 / 3), 11 and 9; reference (10, 10, 12) has mean 10.
    const auto img = rgba_image({{10, 10, 11, 0}, {11, 11, 11, 0}, {9, 9, 9, 0}});
    fill_mask(kUntouched);
    mask::create_from_luminance_range(st, img.data(), 10, 10, 12, 0, 255);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0, kUntouched, kUntouched}));
}

// ---- Hue range ----------------------------------------------------------------------

TEST(MaskHue, DifferencesTruncateAndWrapThroughThreeTests) {
    EXPECT_EQ(mask::hue_threshold(12), 21);
    EXPECT_EQ(mask::hue_threshold(100), 180);
    EXPECT_TRUE(mask::hue_matches(10.9, 10.0, 0));  // 0.9 truncates to 0
    EXPECT_FALSE(mask::hue_matches(11.0, 10.0, 0));
    EXPECT_TRUE(mask::hue_matches(10.0, 350.0, 20));  // through href - 360
    EXPECT_FALSE(mask::hue_matches(10.0, 350.0, 19));
    EXPECT_TRUE(mask::hue_matches(350.0, 10.0, 20));  // through h - 360 - href
    EXPECT_TRUE(mask::hue_matches(359.5, 0.2, 0));    // -0.7 truncates to 0
    EXPECT_TRUE(mask::hue_matches(-1.0, -1.0, 0));    // two greys
    EXPECT_FALSE(mask::hue_matches(0.0, -1.0, 0));    // red against a grey reference...
    EXPECT_TRUE(mask::hue_matches(0.0, -1.0, 1));     // ...is one degree away
}

TEST_F(Mask, HueRangeWrapsAroundRed) {
    make(3, 1);
    // (204, 0, 34) has hue 350, (204, 34, 0) hue 10; green (0, 204, 0) is 120.
    const auto img = rgba_image({{204, 34, 0, 255}, {204, 0, 34, 255}, {0, 204, 0, 255}});
    fill_mask(kUntouched);
    mask::create_from_hue_range(st, img.data(), 204, 0, 34, 12, 255);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0, 0, kUntouched}));
    fill_mask(kUntouched);
    mask::create_from_hue_range(st, img.data(), 204, 34, 0, 12, 255);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0, 0, kUntouched}));
}

TEST_F(Mask, GreyReferenceWithRangeZeroMatchesOnlyGreys) {
    make(5, 1);
    const auto img = rgba_image(
        {{0, 0, 0, 9}, {128, 128, 128, 9}, {255, 0, 0, 9}, {255, 255, 255, 9}, {1, 0, 0, 9}});
    fill_mask(kUntouched);
    mask::create_from_hue_range(st, img.data(), 77, 77, 77, 0, 255);
    EXPECT_EQ(mask_words(), (std::vector<uint16_t>{0, 0, kUntouched, 0, kUntouched}));
}

// The colour and hue ranges run vector loops; every width must give the words of
// the plain per-pixel rule on seeded pictures with runs (the hue's memo and run
// reuse), repeated palette colours, exact hues, greys and fresh noise, and a
// width that leaves a tail after the last full step.
class MaskRangeLoops : public Mask, public ::testing::WithParamInterface<composite::Simd> {
protected:
    void SetUp() override {
        if (GetParam() == composite::Simd::Avx2 && !composite::detail::cpu_has_avx2())
            GTEST_SKIP() << "no AVX2 on this processor";
        if (GetParam() == composite::Simd::Avx512 && !composite::detail::cpu_has_avx512())
            GTEST_SKIP() << "no AVX-512 on this processor";
        make(97, 63);
        std::mt19937 rng(7);
        std::vector<std::array<uint8_t, 3>> palette = {
            {255, 0, 0}, {255, 255, 0}, {0, 255, 0}, {0, 255, 255}, {0, 0, 255}, {255, 0, 255},
            {204, 0, 34}, {204, 34, 0}, {77, 77, 77}, {0, 0, 0}, {255, 255, 255}, {10, 200, 90}};
        for (int i = 0; i < 40; ++i) palette.push_back({uint8_t(rng()), uint8_t(rng()), uint8_t(rng())});
        img.resize(size_t(w) * size_t(h) * 4);
        for (size_t k = 0; k < size_t(w) * size_t(h); ++k) {
            if (k > 0 && rng() % 2 == 0) {  // continue a run
                std::copy_n(&img[(k - 1) * 4], 4, &img[k * 4]);
                continue;
            }
            const auto c = rng() % 3 == 0
                               ? std::array<uint8_t, 3>{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())}
                               : palette[rng() % palette.size()];
            img[k * 4 + 0] = c[0], img[k * 4 + 1] = c[1], img[k * 4 + 2] = c[2];
            img[k * 4 + 3] = uint8_t(rng());
        }
        for (int i = 0; i < 12; ++i)
            refs.push_back({int32_t(rng() % 256), int32_t(rng() % 256), int32_t(rng() % 256)});
    }
    std::vector<uint8_t> img;
    std::vector<std::array<int32_t, 3>> refs = {
        {255, 0, 0}, {10, 200, 90}, {40, 40, 40}, {0, 0, 255}, {204, 0, 34}, {-20, 300, 128}};
};

TEST_P(MaskRangeLoops, HueRangeMatchesThePerPixelConversion) {
    for (const auto& ref : refs)
        for (int32_t range : {0, 1, 5, 12, 50, 100, -3}) {
            SCOPED_TRACE(testing::Message()
                         << ref[0] << "," << ref[1] << "," << ref[2] << " range " << range);
            fill_mask(kUntouched);
            mask::create_from_hue_range(st, img.data(), ref[0], ref[1], ref[2], range, 3, GetParam());
            const double href = script::rgb_to_hsv(ref[0], ref[1], ref[2]).h;
            const int32_t t = mask::hue_threshold(range);
            for (size_t k = 0; k < size_t(w) * size_t(h); ++k) {
                const double hk = script::rgb_to_hsv(img[k * 4], img[k * 4 + 1], img[k * 4 + 2]).h;
                ASSERT_EQ(st.canvas.mask[k], mask::hue_matches(hk, href, t) ? 252 << 8 : kUntouched)
                    << k;
            }
        }
}

// Colours whose hue is a whole degree, or one step of the mid channel beside
// it, against references at whole degrees: hues exactly on a window edge and a
// hair either side, where a shortcut in the vector loops would go wrong.
TEST_P(MaskRangeLoops, HueRangeDecidesHuesOnTheWindowEdges) {
    std::vector<uint8_t> edge;
    for (int d = 1; d < 256; ++d)
        for (int n = 0; n <= d; ++n) {
            if (60 * n % d != 0) continue;
            for (int step : {-1, 0, 1}) {
                const int mid = n + step;
                if (mid < 0 || mid > d) continue;
                for (int lo : {0, 1, 127, 255 - d}) {
                    const int v[3] = {lo + d, lo + mid, lo};  // max, mid, min
                    static constexpr int kRoles[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2},
                                                         {2, 0, 1}, {1, 2, 0}, {2, 1, 0}};
                    for (const auto& role : kRoles)
                        edge.insert(edge.end(), {uint8_t(v[role[0]]), uint8_t(v[role[1]]),
                                                 uint8_t(v[role[2]]), 255});
                }
            }
        }
    const int width = 509;
    const int height = int((edge.size() / 4 + width - 1) / width);
    edge.resize(size_t(width) * size_t(height) * 4, 0);
    make(width, height);
    const int32_t whole[][3] = {{255, 0, 0}, {255, 255, 0}, {0, 255, 0}, {0, 0, 255}, {255, 0, 255}};
    for (const auto& ref : whole)
        for (int32_t range : {0, 5, 10, 33, 100}) {
            SCOPED_TRACE(testing::Message() << ref[0] << "," << ref[1] << "," << ref[2] << " range " << range);
            fill_mask(kUntouched);
            mask::create_from_hue_range(st, edge.data(), ref[0], ref[1], ref[2], range, 3, GetParam());
            const double href = script::rgb_to_hsv(ref[0], ref[1], ref[2]).h;
            const int32_t t = mask::hue_threshold(range);
            for (size_t k = 0; k < size_t(width) * size_t(height); ++k) {
                const double hk = script::rgb_to_hsv(edge[k * 4], edge[k * 4 + 1], edge[k * 4 + 2]).h;
                ASSERT_EQ(st.canvas.mask[k], mask::hue_matches(hk, href, t) ? 252 << 8 : kUntouched)
                    << int(edge[k * 4]) << "," << int(edge[k * 4 + 1]) << "," << int(edge[k * 4 + 2]);
            }
        }
}

TEST_P(MaskRangeLoops, ColourRangeMatchesThePerPixelRule) {
    for (const auto& ref : refs)
        for (int32_t range : {0, 1, 7, 20, 50, 100, 150}) {
            SCOPED_TRACE(testing::Message()
                         << ref[0] << "," << ref[1] << "," << ref[2] << " range " << range);
            fill_mask(kUntouched);
            mask::create_from_colour_range(st, img.data(), ref[0], ref[1], ref[2], range, 9,
                                           GetParam());
            const int32_t t = mask::range_threshold(range);
            for (size_t k = 0; k < size_t(w) * size_t(h); ++k) {
                bool in = true;
                for (int c = 0; c < 3; ++c) in = in && std::abs(img[k * 4 + size_t(c)] - ref[size_t(c)]) <= t;
                ASSERT_EQ(st.canvas.mask[k], in ? 246 << 8 : kUntouched) << k;
            }
        }
}

std::string width_name(const ::testing::TestParamInfo<composite::Simd>& p) {
    const char* names[] = {"Scalar", "Sse2", "Avx2", "Avx512", "Best"};
    return names[int(p.param)];
}
INSTANTIATE_TEST_SUITE_P(EveryWidth, MaskRangeLoops,
                         ::testing::Values(composite::Simd::Scalar, composite::Simd::Sse2,
                                           composite::Simd::Avx2, composite::Simd::Avx512),
                         width_name);

// ---- Applying the mask to host images ---------------------------------------------------------

TEST_F(Mask, ApplyMaskToAlphaUsesTheHighByteAndIgnoresTheEnableFlag) {
    make(4, 1);
    m(0, 0) = 0xFFFF, m(1, 0) = 0, m(2, 0) = 0x8000, m(3, 0) = 0x80FF;
    auto img = rgba_image({{1, 2, 3, 255}, {1, 2, 3, 255}, {1, 2, 3, 200}, {1, 2, 3, 200}});
    st.settings.mask_enabled = 0;
    mask::apply_to_alpha_rgba32(st, img.data());
    EXPECT_EQ(img, rgba_image({{1, 2, 3, 254}, {1, 2, 3, 0}, {1, 2, 3, 100}, {1, 2, 3, 100}}));
}

TEST_F(Mask, ReplaceByAlphaRangeOverwritesWholePixelsWithinThreshold) {
    make(5, 1);
    auto img =
        rgba_image({{1, 1, 1, 125}, {2, 2, 2, 126}, {3, 3, 3, 75}, {4, 4, 4, 74}, {5, 5, 5, 100}});
    mask::replace_alpha_range_rgba32(st, img.data(), 100, 10, 0x1FF, 7, 8, 9);  // T = 25; low bytes
    EXPECT_EQ(img,
              rgba_image(
                  {{255, 7, 8, 9}, {2, 2, 2, 126}, {255, 7, 8, 9}, {4, 4, 4, 74}, {255, 7, 8, 9}}));
}

// ---- 8-bit conversions --------------------------------------------------------------------

TEST(MaskConversions, CopyTheirChannelsAndLeaveTheOthers) {
    const std::vector<uint8_t> rgb = {10, 20, 31, 255, 254, 255, 0, 0, 2};
    const std::vector<uint8_t> rgba = {1, 2, 3, 40, 5, 6, 7, 80, 9, 10, 11, 120};
    std::vector<uint8_t> out4(12, 0xEE), out3(9, 0xEE);

    mask::rgb24_to_rgba32(out4.data(), 3, 1, rgb.data());
    EXPECT_EQ(out4, (std::vector<uint8_t>{10, 20, 31, 0xEE, 255, 254, 255, 0xEE, 0, 0, 2, 0xEE}));
    mask::rgb24_mean_to_alpha(out4.data(), 3, 1, rgb.data());
    EXPECT_EQ(out4, (std::vector<uint8_t>{10, 20, 31, 20, 255, 254, 255, 254, 0, 0, 2, 0}));
    mask::rgba32_to_rgb24(out3.data(), 1, 3, rgba.data());
    EXPECT_EQ(out3, (std::vector<uint8_t>{1, 2, 3, 5, 6, 7, 9, 10, 11}));
    mask::alpha_to_rgb24(out3.data(), 3, 1, rgba.data());
    EXPECT_EQ(out3, (std::vector<uint8_t>{40, 40, 40, 80, 80, 80, 120, 120, 120}));

    // Empty sizes and null buffers write nothing.
    std::vector<uint8_t> keep(12, 0xEE);
    mask::rgb24_to_rgba32(keep.data(), 0, 5, rgb.data());
    mask::rgb24_mean_to_alpha(keep.data(), 3, -1, rgb.data());
    mask::rgba32_to_rgb24(keep.data(), 3, 1, nullptr);
    mask::alpha_to_rgb24(nullptr, 3, 1, rgba.data());
    EXPECT_EQ(keep, std::vector<uint8_t>(12, 0xEE));
}

// ---- Absent mask, null buffers, options ----------------------------------------------------

// Every operation that reads or writes the mask, with a host buffer large enough
// for any canvas in these tests.
void run_every_mask_operation(EngineState& st, uint8_t* buf, uint8_t* other) {
    mask::clear(st, 0, 0, 0);
    mask::invert(st);
    mask::load(st, buf, 12, 4, 4);
    mask::save(st, buf, 12);
    mask::create_image_from_mask(st);
    mask::create_alpha_from_mask(st);
    mask::create_from_image(st);
    mask::create_from_alpha(st);
    mask::create_from_rgba_colour(st, buf, 0, 0, 0, 0);
    mask::create_from_rgb24_colour(st, buf, 0, 0, 0, 0);
    mask::create_from_colour_range(st, buf, 0, 0, 0, 100, 0);
    mask::create_from_alpha_range(st, buf, 0, 100, 0);
    mask::create_from_luminance_range(st, buf, 0, 0, 0, 100, 0);
    mask::create_from_hue_range(st, buf, 0, 0, 0, 100, 0);
    mask::create_from_flood_map(st, buf, 0);
    mask::create_from_diff(st, buf, other, 0);
    mask::apply_to_alpha_rgba32(st, buf);
    mask::replace_alpha_range_rgba32(st, buf, 0, 100, 1, 2, 3, 4);
}

TEST_F(Mask, WithoutAMaskEveryOperationDoesNothing) {
    make(4, 4);
    canvas::delete_image(st);
    ASSERT_TRUE(st.canvas.mask.empty());
    std::vector<uint8_t> buf(256, 0xAA), other(256, 0x55);
    run_every_mask_operation(st, buf.data(), other.data());
    EXPECT_EQ(buf, std::vector<uint8_t>(256, 0xAA));
    EXPECT_TRUE(st.canvas.mask.empty());

    // A zero-width canvas exists but has no mask either.
    EngineState empty;
    canvas::create_image(empty, nullptr, 0, 4, 8, 0);
    run_every_mask_operation(empty, buf.data(), other.data());
    EXPECT_EQ(buf, std::vector<uint8_t>(256, 0xAA));
}

TEST_F(Mask, NullHostBuffersLeaveTheMaskAlone) {
    make(4, 4);
    fill_mask(kUntouched);
    std::vector<uint8_t> buf(64, 0);
    mask::load(st, nullptr, 12, 4, 4);
    mask::save(st, nullptr, 12);
    mask::create_from_rgba_colour(st, nullptr, 0, 0, 0, 0);
    mask::create_from_rgb24_colour(st, nullptr, 0, 0, 0, 0);
    mask::create_from_colour_range(st, nullptr, 0, 0, 0, 100, 0);
    mask::create_from_alpha_range(st, nullptr, 0, 100, 0);
    mask::create_from_luminance_range(st, nullptr, 0, 0, 0, 100, 0);
    mask::create_from_hue_range(st, nullptr, 0, 0, 0, 100, 0);
    mask::create_from_flood_map(st, nullptr, 0);
    mask::create_from_diff(st, buf.data(), nullptr, 0);
    mask::create_from_diff(st, nullptr, buf.data(), 0);
    mask::apply_to_alpha_rgba32(st, nullptr);
    mask::replace_alpha_range_rgba32(st, nullptr, 0, 100, 1, 2, 3, 4);
    EXPECT_EQ(mask_words(), std::vector<uint16_t>(16, kUntouched));
}

// ---- Consumers ----------------------------------------------------------------------------

// A mask made through these operations weights a mask-using load: m = 0xFFFF
// leaves the coverage alone, 0 protects, anything else scales by (w x m) >> 16;
// a disabled mask does not weight at all.
TEST_F(Mask, WeightedLoadsFollowTheMaskWhileItIsEnabled) {
    make(1, 1);
    const uint8_t src[4] = {200, 100, 50, 255};
    const uint16_t base[4] = {0x1000, 0x2000, 0x3000, 0x4000};
    struct Case {
        int32_t grey;  // ClearMask argument on all three channels
        bool enabled;
        std::array<uint16_t, 4> want;
    };
    const Case cases[] = {
        {0x0000, true, {200 << 8, 100 << 8, 50 << 8, 255 << 8}},   // selected: plain widening
        {0xFF00, true, {0x1000, 0x2000, 0x3000, 0x4000}},          // protected: untouched
        {0x8000, true, {27463, 16827, 12541, 40640}},              // m = 0x7F00, w = 0x7EFF
        {0xFF00, false, {200 << 8, 100 << 8, 50 << 8, 255 << 8}},  // disabled: ignored
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.grey << " enabled " << c.enabled);
        std::copy(base, base + 4, px(0, 0));
        mask::clear(st, c.grey, c.grey, c.grey);
        st.settings.mask_enabled = c.enabled;
        EXPECT_EQ(pixels::load_rgba32(st, src, 4, true), 1);
        EXPECT_EQ((std::array<uint16_t, 4>{px(0, 0)[0], px(0, 0)[1], px(0, 0)[2], px(0, 0)[3]}),
                  c.want);
    }
}

}  // namespace
}  // namespace qrn

// Adjustment filters: which pixels each touches, the double-precision results
// where single precision differs, the table path against the formula over every
// (alpha, colour) pair, the mask and texture weight, and bad arguments.
#include "composite/adjust.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/buffer.h"

namespace qrn::composite {
namespace {

using Px32 = std::array<uint8_t, 4>;
using Px64 = std::array<uint16_t, 4>;

Px32 pre32(Px32 p) {
    pre_filter_rgba32(p.data(), 1, 1);
    return p;
}
Px32 post32(Px32 p) {
    post_filter_rgba32(p.data(), 1, 1);
    return p;
}
Px64 pre64(Px64 p) {
    pre_filter_rgba64(p.data(), 1, 1);
    return p;
}
Px64 post64(Px64 p) {
    post_filter_rgba64(p.data(), 1, 1);
    return p;
}

// One image holding every (alpha, colour) pair: row a, column c is (c, 255 - c, c, a).
std::vector<uint8_t> every_pair() {
    std::vector<uint8_t> img(256 * 256 * 4);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c) {
            uint8_t* p = &img[size_t(a * 256 + c) * 4];
            p[0] = uint8_t(c), p[1] = uint8_t(255 - c), p[2] = uint8_t(c), p[3] = uint8_t(a);
        }
    return img;
}

TEST(AdjustFilters, PreThenPostOfAHalfTransparentOrange) {
    const Px32 pre = pre32({255, 128, 0, 128});
    EXPECT_EQ(pre, (Px32{128, 64, 0, 128}));
    EXPECT_EQ(post32(pre), (Px32{255, 127, 0, 128}));
}

// Every loop width: the scalar reference, SSE2 and (where the processor has them)
// AVX2 and AVX-512.
class AdjustLoops : public ::testing::TestWithParam<Simd> {
protected:
    void SetUp() override {
        if (GetParam() == Simd::Avx2 && !detail::cpu_has_avx2())
            GTEST_SKIP() << "no AVX2 on this processor";
        if (GetParam() == Simd::Avx512 && !detail::cpu_has_avx512())
            GTEST_SKIP() << "no AVX-512 on this processor";
    }
};
std::string width_name(const ::testing::TestParamInfo<Simd>& p) {
    const char* names[] = {"Scalar", "Sse2", "Avx2", "Avx512", "Best"};
    return names[int(p.param)];
}
INSTANTIATE_TEST_SUITE_P(EveryWidth, AdjustLoops,
                         ::testing::Values(Simd::Scalar, Simd::Sse2, Simd::Avx2, Simd::Avx512),
                         width_name);

// The formulas as stated, in double; the filters read them from per-alpha
// tables, which must give the same byte for every pair, and leave alpha 0 and
// 255 alone.
TEST(AdjustFilters, EightBitTablesMatchTheFormulaForEveryPair) {
    const std::vector<uint8_t> src = every_pair();
    std::vector<uint8_t> pre = src, post = src, comp = src;
    pre_filter_rgba32(pre.data(), 256, 256);
    post_filter_rgba32(post.data(), 256, 256);
    EngineState st;
    st.canvas.width = 256;
    st.canvas.height = 256;
    EXPECT_EQ(unpremultiply_for_alpha_comp(st, 1, comp.data()), 256);
    for (size_t k = 0; k < src.size(); ++k) {
        const int a = src[k | 3], c = src[k];
        if ((k & 3) == 3) {
            ASSERT_TRUE(pre[k] == a && post[k] == a && comp[k] == a) << "alpha " << a;
            continue;
        }
        const bool translucent = a != 0 && a != 255;
        const int want_pre = translucent ? int((a / 255.0) * (c + 1)) : c;
        const int want_post = translucent ? std::min(int((255.0 / a) * c), 255) : c;
        const int want_comp = a != 0 ? std::min(int((255.0 / a) * c), 255) : c;
        ASSERT_EQ(pre[k], want_pre) << "a " << a << " c " << c;
        ASSERT_EQ(post[k], want_post) << "a " << a << " c " << c;
        ASSERT_EQ(comp[k], want_comp) << "a " << a << " c " << c;
    }
}

// Single precision gives another byte for 12 pre-filter and 99 post-filter pairs;
// the filters must give the double result on each.
TEST(AdjustFilters, KeepDoublePrecisionWhereFloatDiffers) {
    EXPECT_EQ(post32({25, 25, 25, 25})[0], 254);  // float: 255
    EXPECT_EQ(post32({7, 7, 7, 7})[0], 255);      // float: 254
    EXPECT_EQ(pre32({84, 84, 84, 147})[0], 48);   // float: 49
    EXPECT_EQ(pre32({50, 50, 50, 155})[0], 30);   // float: 31
    const std::vector<uint8_t> src = every_pair();
    std::vector<uint8_t> pre = src, post = src;
    pre_filter_rgba32(pre.data(), 256, 256);
    post_filter_rgba32(post.data(), 256, 256);
    int pre_differs = 0, post_differs = 0;
    for (size_t k = 0; k < src.size(); k += 4) {
        const uint32_t a = src[k + 3], c = src[k];
        if (a == 0 || a == 255) continue;
        pre_differs += int((float(a) / 255.0f) * float(c + 1)) != pre[k];
        post_differs += std::min(int((255.0f / float(a)) * float(c)), 255) != post[k];
    }
    EXPECT_EQ(pre_differs, 12);
    EXPECT_EQ(post_differs, 99);
}

TEST(AdjustFilters, SixteenBitPairWorksOnEveryVisiblePixel) {
    EXPECT_EQ(pre64({0x8000, 0xFFFF, 1, 0x8000}), (Px64{16384, 32768, 0, 0x8000}));
    EXPECT_EQ(pre64({0x1234, 0xFFFF, 7, 0xFFFF}), (Px64{0x1234, 0xFFFF, 7, 0xFFFF}));
    EXPECT_EQ(pre64({0x1234, 0xFFFF, 7, 0}), (Px64{0x1234, 0xFFFF, 7, 0}));
    EXPECT_EQ(post64({0x4000, 0x8000, 0xFFFF, 0x8000}), (Px64{32767, 65535, 65535, 0x8000}));
    EXPECT_EQ(post64({0x1234, 0xFFFF, 7, 0xFFFF}), (Px64{0x1234, 0xFFFF, 7, 0xFFFF}));
    EXPECT_EQ(post64({0x1234, 0xFFFF, 7, 0}), (Px64{0x1234, 0xFFFF, 7, 0}));
    // Alpha 1 multiplies by 65535: every colour but 0 saturates, none wraps.
    EXPECT_EQ(post64({0, 1, 0xFFFF, 1}), (Px64{0, 0xFFFF, 0xFFFF, 1}));
    for (uint32_t a = 1; a <= 0xFFFF; a += 97) {
        const Px64 out = post64({0xFFFF, uint16_t(a), uint16_t(a - 1), uint16_t(a)});
        ASSERT_EQ(out[0], 0xFFFF) << a;
        ASSERT_GE(out[1], 0xFFFE) << a;
    }
}

// The 8-bit loops (integer pre-filter, single-precision post-filter) and their
// exceptions against the formulas, for every (alpha, colour) pair, with a tail
// after the last full step.
TEST_P(AdjustLoops, EightBitFiltersMatchTheFormulaForEveryPair) {
    std::vector<uint8_t> src = every_pair();
    src.insert(src.end(), {84, 169, 50, 147, 7, 7, 7, 25, 25, 25, 25, 25, 255, 255, 255, 254});
    std::vector<uint8_t> pre = src, post = src, comp = src;
    pre_filter_rgba32(pre.data(), int32_t(src.size() / 4), 1, GetParam());
    post_filter_rgba32(post.data(), int32_t(src.size() / 4), 1, GetParam());
    EngineState st;  // the alpha-comp pass covers the canvas, opaque pixels too
    st.canvas.width = int32_t(src.size() / 4);
    st.canvas.height = 1;
    unpremultiply_for_alpha_comp(st, 1, comp.data(), GetParam());
    for (size_t k = 0; k < src.size(); ++k) {
        const int a = src[k | 3], c = src[k];
        const bool colour = (k & 3) != 3, translucent = colour && a != 0 && a != 255;
        const int divided = a != 0 ? std::min(int((255.0 / a) * c), 255) : c;
        ASSERT_EQ(pre[k], translucent ? int((a / 255.0) * (c + 1)) : c) << "a " << a << " c " << c;
        ASSERT_EQ(post[k], translucent ? divided : c) << "a " << a << " c " << c;
        ASSERT_EQ(comp[k], colour ? divided : c) << "a " << a << " c " << c;
    }
}

// Seeded 16-bit pixels with the alphas that matter (0, 1, opaque, any) and a
// count that leaves a tail: each width must give the scalar loop's words.
TEST_P(AdjustLoops, SixteenBitFiltersMatchTheScalarLoop) {
    Rng rng;
    rng.seed(3);
    const auto word = [&] { return uint16_t(rng.next() * 2 + (rng.next() & 1)); };
    constexpr int32_t kWidth = 1001, kHeight = 67;
    std::vector<uint16_t> src(size_t(kWidth) * kHeight * 4);
    for (size_t k = 0; k < src.size(); k += 4) {
        const uint16_t alphas[] = {0, 1, 0xFFFF, 0xFFFE, word(), word()};
        src[k + 3] = alphas[size_t(rng.next()) % 6];
        for (size_t c = 0; c < 3; ++c) {
            const uint16_t colours[] = {0, 0xFFFF, src[k + 3], word()};
            src[k + c] = colours[size_t(rng.next()) % 4];
        }
    }
    // Products that are whole multiples of 65535, where the double product can
    // fall a hair below the quotient: widened 8-bit pixels and multiples of 255.
    for (uint32_t a = 257; a < 0xFFFF; a += 257)
        for (uint32_t c = 0; c <= 0xFFFF; c += 255)
            src.insert(src.end(), {uint16_t(c), uint16_t(0xFFFF - c), uint16_t(a), uint16_t(a)});
    // A grid of pairs, colours at and just below alpha among them (the clamp's edge).
    for (uint32_t a = 1; a <= 0xFFFF; a += 61)
        for (uint32_t c = 0; c <= 0xFFFF; c += 251)
            src.insert(src.end(), {uint16_t(c), uint16_t(a), uint16_t(a - 1), uint16_t(a)});
    std::vector<uint16_t> pre = src, post = src, want_pre = src, want_post = src;
    const int32_t count = int32_t(src.size() / 4);
    pre_filter_rgba64(pre.data(), count, 1, GetParam());
    post_filter_rgba64(post.data(), count, 1, GetParam());
    pre_filter_rgba64(want_pre.data(), count, 1, Simd::Scalar);
    post_filter_rgba64(want_post.data(), count, 1, Simd::Scalar);
    EXPECT_EQ(pre, want_pre);
    EXPECT_EQ(post, want_post);
}

TEST(AdjustFilters, AlphaCompDoesNothingWithoutFlagAndCoversOnlyTheCanvas) {
    EngineState st;
    st.canvas.width = 2;
    st.canvas.height = 1;
    std::vector<uint8_t> buf = {100, 50, 0, 128, 10, 20, 30, 255, 100, 50, 0, 128};
    const std::vector<uint8_t> before = buf;
    EXPECT_EQ(unpremultiply_for_alpha_comp(st, 0, buf.data()), 0);
    EXPECT_EQ(buf, before);
    EXPECT_EQ(unpremultiply_for_alpha_comp(st, 1, buf.data()), 1);
    EXPECT_EQ(buf, (std::vector<uint8_t>{199, 99, 0, 128, 10, 20, 30, 255, 100, 50, 0, 128}));
    EXPECT_EQ(unpremultiply_for_alpha_comp(st, 1, nullptr), 0);
    EngineState no_canvas;
    EXPECT_EQ(unpremultiply_for_alpha_comp(no_canvas, 1, buf.data()), 0);
}

TEST(AdjustFilters, NullBuffersAndEmptySizesTouchNothing) {
    std::vector<uint8_t> buf32 = {200, 100, 50, 100};
    std::vector<uint16_t> buf64 = {200, 100, 50, 100};
    const std::pair<int32_t, int32_t> sizes[] = {{0, 1}, {1, 0}, {-1, -1}, {-5, 3}, {INT32_MIN, 2}};
    for (auto [w, h] : sizes) {
        pre_filter_rgba32(buf32.data(), w, h);
        post_filter_rgba32(buf32.data(), w, h);
        pre_filter_rgba64(buf64.data(), w, h);
        post_filter_rgba64(buf64.data(), w, h);
    }
    EXPECT_EQ(buf32, (std::vector<uint8_t>{200, 100, 50, 100}));
    EXPECT_EQ(buf64, (std::vector<uint16_t>{200, 100, 50, 100}));
    pre_filter_rgba32(nullptr, 4, 4);
    post_filter_rgba32(nullptr, 4, 4);
    pre_filter_rgba64(nullptr, 4, 4);
    post_filter_rgba64(nullptr, 4, 4);
}

// A 3 x 2 canvas with a texture and a mask; buffers line up with its origin.
class WeightAlpha : public ::testing::Test {
protected:
    EngineState st;
    void SetUp() override {
        st.canvas.width = 3;
        st.canvas.height = 2;
    }
    void add_texture(std::initializer_list<uint8_t> t) {
        st.canvas.texture = Buffer<uint8_t>::make(6);
        std::copy(t.begin(), t.end(), st.canvas.texture.data());
    }
    void add_mask(std::initializer_list<uint16_t> m, bool enabled = true) {
        st.canvas.mask = Buffer<uint16_t>::make(6);
        std::copy(m.begin(), m.end(), st.canvas.mask.data());
        st.settings.mask_enabled = enabled ? 1 : 0;
    }
    // w x h pixels of colour (1, 2, 3) and the given alpha.
    static std::vector<uint8_t> image(int w, int h, uint8_t alpha) {
        std::vector<uint8_t> img(size_t(w) * size_t(h) * 4);
        for (size_t k = 0; k < img.size(); k += 4) {
            img[k] = 1;
            img[k + 1] = 2;
            img[k + 2] = 3;
            img[k + 3] = alpha;
        }
        return img;
    }
    static std::vector<int> alphas(const std::vector<uint8_t>& img) {
        std::vector<int> a;
        for (size_t k = 3; k < img.size(); k += 4) a.push_back(img[k]);
        return a;
    }
};

TEST_F(WeightAlpha, TextureThenMaskScaleAlpha) {
    add_texture({0, 127, 128, 255, 64, 200});
    add_mask({0xFFFF, 0xFFFF, 0x8000, 0xFFFF, 0xFFFF, 0});
    std::vector<uint8_t> img = image(3, 2, 255);
    weight_alpha_by_mask_and_texture(st, img.data(), 3, 2);
    // w: 0; 65023; (65535 x 0x8000) >> 16 = 32767; 65535; (128 x 65535) >> 8 = 32767; 0.
    EXPECT_EQ(alphas(img), (std::vector<int>{0, 253, 127, 255, 127, 0}));
    for (size_t k = 0; k < img.size(); k += 4) {
        ASSERT_EQ(img[k], 1);
        ASSERT_EQ(img[k + 1], 2);
        ASSERT_EQ(img[k + 2], 3);
    }
}

TEST_F(WeightAlpha, NothingWithoutTextureOrEnabledMask) {
    std::vector<uint8_t> img = image(3, 2, 200);
    weight_alpha_by_mask_and_texture(st, img.data(), 3, 2);
    EXPECT_EQ(img, image(3, 2, 200));
    add_mask({0, 0, 0, 0, 0, 0}, /*enabled=*/false);
    weight_alpha_by_mask_and_texture(st, img.data(), 3, 2);
    EXPECT_EQ(img, image(3, 2, 200));
    st.settings.mask_enabled = 1;
    weight_alpha_by_mask_and_texture(st, img.data(), 3, 2);
    EXPECT_EQ(img, image(3, 2, 0));
}

// Buffer pixel (i, j) takes the weight of canvas pixel (i, j), not of the same
// offset; outside the canvas there is no texture or mask, so full weight.
TEST_F(WeightAlpha, BufferLargerThanCanvasKeepsAlphaOutsideIt) {
    add_mask({0, 0x4000, 0x8000, 0xC000, 0xFFFF, 0});
    std::vector<uint8_t> img = image(4, 3, 255);
    weight_alpha_by_mask_and_texture(st, img.data(), 4, 3);
    EXPECT_EQ(alphas(img), (std::vector<int>{0, 63, 127, 255,   //
                                             191, 255, 0, 255,  //
                                             255, 255, 255, 255}));
}

TEST_F(WeightAlpha, NarrowerBufferStillReadsCanvasRows) {
    add_texture({0, 255, 255, 255, 0, 255});
    std::vector<uint8_t> img = image(2, 2, 255);
    weight_alpha_by_mask_and_texture(st, img.data(), 2, 2);
    EXPECT_EQ(alphas(img), (std::vector<int>{0, 255, 255, 0}));
}

TEST_F(WeightAlpha, NullBufferAndEmptySizesDoNothing) {
    add_texture({0, 0, 0, 0, 0, 0});
    weight_alpha_by_mask_and_texture(st, nullptr, 3, 2);
    std::vector<uint8_t> img = image(3, 2, 255);
    weight_alpha_by_mask_and_texture(st, img.data(), -3, 2);
    weight_alpha_by_mask_and_texture(st, img.data(), 3, 0);
    EXPECT_EQ(img, image(3, 2, 255));
}

}  // namespace
}  // namespace qrn::composite

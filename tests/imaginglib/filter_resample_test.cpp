// Nearest neighbour, bicubic and the filtered resizes: weight tables, the
// properties every filter keeps, and the AVX2 loops against the plain ones.
#include <gtest/gtest.h>

#ifdef QRN_TEST_VIPS
#include <vips/vips.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "imaginglib/resample/resample.h"
#include "imaginglib/resample/resample_loops.h"
#include "test_image.h"

namespace qrn::imaginglib {
namespace {

constexpr int32_t kBicubic = -1;  // a resizer code of these tests, not of resize_filter

using test_support::Img;
using test_support::kUntouched;
using test_support::random_img;

// bottom_up: both images passed from their last row with a negative stride.
Img resized(int32_t code, Img& src, int32_t dw, int32_t dh, ResampleLoops loops,
            bool bottom_up = false, int64_t pad = 0) {
    Img dst(dw, dh, src.bpp, pad);
    const uint8_t* s = bottom_up ? src.px(0, src.h - 1) : src.bytes.data();
    uint8_t* d = bottom_up ? dst.px(0, dh - 1) : dst.bytes.data();
    const int64_t ss = bottom_up ? -src.stride : src.stride,
                  ds = bottom_up ? -dst.stride : dst.stride;
    const int32_t ok =
        code == kBicubic ? resize_bicubic(s, src.w, src.h, ss, d, dw, dh, ds, src.bpp, loops)
                         : resize_filter(s, src.w, src.h, ss, d, dw, dh, ds, src.bpp, code, loops);
    EXPECT_EQ(ok, 1);
    return dst;
}

const int32_t kSizes[][4] = {{9, 7, 4, 3}, {5, 3, 17, 11}, {6, 6, 6, 2},  {3, 8, 11, 8},
                             {1, 1, 5, 4}, {13, 2, 1, 9},  {40, 31, 7, 5}};

class EveryResizer : public ::testing::TestWithParam<int32_t> {};

TEST_P(EveryResizer, KeepsAUniformImageUniform) {
    const uint8_t colours[][4] = {{200, 17, 96, 130}, {0, 255, 1, 255}, {77, 3, 250, 1}};
    for (int32_t bpp : {1, 3, 4})
        for (const auto& colour : colours)
            for (const auto& s : kSizes) {
                SCOPED_TRACE(testing::Message()
                             << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3] << " bpp "
                             << bpp << " alpha " << int(colour[3]));
                Img src(s[0], s[1], bpp);
                for (size_t i = 0; i < src.bytes.size(); ++i)
                    src.bytes[i] = colour[i % size_t(bpp)];
                const Img dst = resized(GetParam(), src, s[2], s[3], ResampleLoops::Best);
                for (size_t i = 0; i < dst.bytes.size(); ++i)
                    ASSERT_EQ(dst.bytes[i], colour[i % size_t(bpp)]) << i;
            }
}

// Transparent pixels included: an unchanged size is a copy, not a filter.
TEST_P(EveryResizer, CopiesAnUnchangedSizeExactly) {
    for (int32_t bpp : {1, 3, 4}) {
        Img src = random_img(7, 5, bpp, 3, unsigned(bpp));
        for (int32_t y = 0; y < 5; y += 2) src.px(3, y)[bpp - 1] = 0;
        const Img dst = resized(GetParam(), src, 7, 5, ResampleLoops::Best, false, 3);
        EXPECT_EQ(dst.bytes, src.bytes) << "bpp " << bpp;
    }
}

// Shrinking, enlarging, one axis each way, odd sizes, bottom-up rows: every
// byte of the AVX2 loops equals the plain loops'.
TEST_P(EveryResizer, Avx2LoopsEqualThePlainLoops) {
    std::mt19937 gen(unsigned(GetParam() + 100));
    for (int round = 0; round < 24; ++round) {
        const int32_t bpp = round % 3 == 0 ? 1 : (round % 3 == 1 ? 3 : 4);
        auto side = [&] { return int32_t(1 + gen() % 97); };
        const int32_t sw = side(), sh = side(), dw = side(), dh = side();
        SCOPED_TRACE(testing::Message()
                     << sw << "x" << sh << " -> " << dw << "x" << dh << " bpp " << bpp);
        Img src = random_img(sw, sh, bpp, int64_t(gen() % 5), gen());
        const bool bottom_up = round % 2 == 1;
        const Img plain = resized(GetParam(), src, dw, dh, ResampleLoops::Scalar, bottom_up, 2);
        const Img best = resized(GetParam(), src, dw, dh, ResampleLoops::Best, bottom_up, 2);
        ASSERT_EQ(best.bytes, plain.bytes);
    }
    Img big = random_img(301, 203, 4, 0, 5);
    EXPECT_EQ(resized(GetParam(), big, 75, 407, ResampleLoops::Best).bytes,
              resized(GetParam(), big, 75, 407, ResampleLoops::Scalar).bytes);
}

// Magenta pixels of any alpha among transparent green ones: wherever some
// alpha remains the colour is exactly magenta, and alpha 0 has no colour.
TEST_P(EveryResizer, TransparentPixelsGiveNoColour) {
    std::mt19937 gen(unsigned(GetParam() + 7));
    Img src(23, 19, 4);
    for (int32_t y = 0; y < src.h; ++y)
        for (int32_t x = 0; x < src.w; ++x) {
            uint8_t* p = src.px(x, y);
            const bool clear = gen() % 3 == 0 || (x > 8 && x < 15);
            p[0] = clear ? 0 : 255;
            p[1] = clear ? 255 : 0;
            p[2] = clear ? 0 : 255;
            p[3] = clear ? 0 : uint8_t(1 + gen() % 255);
        }
    for (const auto& s : kSizes) {
        SCOPED_TRACE(testing::Message() << s[2] << "x" << s[3]);
        const Img dst = resized(GetParam(), src, s[2] * 3, s[3] * 2, ResampleLoops::Best);
        for (size_t i = 0; i < dst.bytes.size(); i += 4) {
            const uint8_t want = dst.bytes[i + 3] ? 255 : 0;
            ASSERT_EQ(dst.bytes[i], want) << i / 4;
            ASSERT_EQ(dst.bytes[i + 1], 0) << i / 4;
            ASSERT_EQ(dst.bytes[i + 2], want) << i / 4;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(FiltersAndBicubic, EveryResizer,
                         ::testing::Range(kBicubic, kResampleFilters));

TEST(FilterWeights, AddUpToExactlyOneInsideTheImage) {
    const int32_t pairs[][2] = {{1, 7},   {7, 1},   {10, 3},      {3, 10},
                                {100, 7}, {7, 100}, {4096, 1024}, {10000, 1}};
    for (int32_t k = 0; k < kResampleFilters; ++k)
        for (const auto& p : pairs) {
            SCOPED_TRACE(testing::Message() << "filter " << k << " " << p[0] << " -> " << p[1]);
            const detail::AxisWeights ax = detail::axis_weights(p[0], p[1], k, true);
            ASSERT_GT(ax.taps, 0);
            ASSERT_EQ(ax.taps % 4, 0);
            ASSERT_EQ(ax.first.size(), size_t(p[1]));
            for (int32_t d = 0; d < p[1]; ++d) {
                int32_t sum = 0, last = 0;
                for (int32_t t = 0; t < ax.taps; ++t) {
                    const int16_t w = ax.weights[size_t(d) * size_t(ax.taps) + size_t(t)];
                    sum += w;
                    if (w != 0) last = t;
                }
                ASSERT_EQ(sum, detail::kWeightOne) << d;
                ASSERT_GE(ax.first[size_t(d)], 0);
                ASSERT_LT(ax.first[size_t(d)] + last, p[0]) << d;
            }
        }
}

// Enlarging 8 -> 16, destination pixel 8 centres on source 3.75: the weights
// each kernel gives there, from the formulas in double, quantised by hand.
struct Shape {
    ResampleFilter filter;
    int32_t first;
    std::vector<int16_t> weights;
};
const Shape kShapes[] = {
    {ResampleFilter::Box, 4, {16384}},
    {ResampleFilter::Triangle, 3, {4096, 12288}},
    {ResampleFilter::Hamming, 3, {3258, 13126}},
    {ResampleFilter::Gaussian, 3, {4406, 11978}},
    {ResampleFilter::Bell, 3, {4608, 11264, 512}},
    {ResampleFilter::BSpline, 2, {43, 5162, 10027, 1152}},
    {ResampleFilter::Cubic1, 2, {-768, 4864, 14592, -2304}},
    {ResampleFilter::Cubic2, 2, {-576, 4288, 14400, -1728}},
    {ResampleFilter::Lanczos3, 1, {121, -1114, 4440, 14627, -2183, 493}},
    {ResampleFilter::Mitchell, 2, {-242, 4196, 12814, -384}},
    {ResampleFilter::Sinc, 0, {-1041, 1420, -2232, 5207, 15620, -3124, 1736, -1202}},
    {ResampleFilter::Hermite, 3, {2560, 13824}},
    {ResampleFilter::Hanning, 3, {2399, 13985}},
    {ResampleFilter::Catrom, 2, {-384, 3712, 14208, -1152}},
};

TEST(FilterWeights, FollowEachKernelsFormula) {
    for (const Shape& s : kShapes) {
        SCOPED_TRACE(int(s.filter));
        const detail::AxisWeights ax = detail::axis_weights(8, 16, int32_t(s.filter), true);
        EXPECT_EQ(ax.first[8], s.first);
        const int16_t* w = &ax.weights[8 * size_t(ax.taps)];
        std::vector<int16_t> got(w, w + ax.taps);
        got.resize(s.weights.size());
        EXPECT_EQ(got, s.weights);
        for (size_t t = s.weights.size(); t < size_t(ax.taps); ++t) EXPECT_EQ(w[t], 0);
    }
}

TEST(FilterWeights, WidenWhenShrinkingExceptForBicubic) {
    EXPECT_EQ(detail::axis_weights(100, 10, int32_t(ResampleFilter::Catrom), false).taps, 4);
    EXPECT_GE(detail::axis_weights(100, 10, int32_t(ResampleFilter::Catrom), true).taps, 40);
    // Box over two pixels when halving, rounded to nearest.
    Img row(6, 1, 1);
    row.bytes = {0, 10, 20, 31, 100, 200};
    EXPECT_EQ(resized(int32_t(ResampleFilter::Box), row, 3, 1, ResampleLoops::Best).bytes,
              (std::vector<uint8_t>{5, 26, 150}));
}

// Enlarging, bicubic is the Catrom filter; the triangle is bilinear.
TEST(FilterResize, MatchesTheFixedInterpolators) {
    Img src = random_img(9, 6, 4, 1, 3);
    EXPECT_EQ(resized(kBicubic, src, 20, 13, ResampleLoops::Best).bytes,
              resized(int32_t(ResampleFilter::Catrom), src, 20, 13, ResampleLoops::Best).bytes);
    Img two(2, 1, 1);
    two.bytes = {0, 255};
    EXPECT_EQ(resized(int32_t(ResampleFilter::Triangle), two, 4, 1, ResampleLoops::Best).bytes,
              (std::vector<uint8_t>{0, 64, 191, 255}));
}

TEST(Nearest, TakesThePixelUnderEachCentre) {
    Img row(5, 1, 2);
    for (int i = 0; i < 10; ++i) row.bytes[size_t(i)] = uint8_t(i);
    Img two(2, 1, 2), five(5, 1, 2);
    ASSERT_EQ(resample_nearest(row.bytes.data(), 5, 1, 10, two.bytes.data(), 2, 1, 4, 2), 1);
    EXPECT_EQ(two.bytes, (std::vector<uint8_t>{2, 3, 6, 7}));
    ASSERT_EQ(resample_nearest(two.bytes.data(), 2, 1, 4, five.bytes.data(), 5, 1, 10, 2), 1);
    EXPECT_EQ(five.bytes, (std::vector<uint8_t>{2, 3, 2, 3, 6, 7, 6, 7, 6, 7}));
    // Transparent colour survives: nearest copies bytes.
    Img src = random_img(6, 4, 4, 0, 9);
    Img tall(6, 8, 4);
    ASSERT_EQ(
        resample_nearest(src.bytes.data(), 6, 4, src.stride, tall.px(0, 7), 6, 8, -tall.stride, 4),
        1);
    for (int32_t y = 0; y < 8; ++y)
        for (size_t i = 0; i < 24; ++i) ASSERT_EQ(tall.px(0, 7 - y)[i], src.px(0, y / 2)[i]);
}

TEST(FilterResize, RefusesUnusableArgumentsWithoutWriting) {
    std::vector<uint8_t> s(64, 1), d(64, kUntouched);
    const uint8_t* sp = s.data();
    uint8_t* dp = d.data();
    using Fn = int32_t (*)(const uint8_t*, int32_t, int32_t, int64_t, uint8_t*, int32_t, int32_t,
                           int64_t, int32_t);
    const Fn fns[] = {
        resample_nearest,
        [](const uint8_t* a, int32_t b, int32_t c, int64_t e, uint8_t* f, int32_t g, int32_t h,
           int64_t i, int32_t j) { return resize_bicubic(a, b, c, e, f, g, h, i, j); },
        [](const uint8_t* a, int32_t b, int32_t c, int64_t e, uint8_t* f, int32_t g, int32_t h,
           int64_t i, int32_t j) { return resize_filter(a, b, c, e, f, g, h, i, j, 8); },
    };
    for (Fn fn : fns) {
        EXPECT_EQ(fn(nullptr, 2, 2, 8, dp, 2, 2, 8, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, nullptr, 2, 2, 8, 4), 0);
        EXPECT_EQ(fn(sp, 0, 2, 8, dp, 2, 2, 8, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, -1, 8, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, 2, 8, 0), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, 2, 8, 5), 0);
        EXPECT_EQ(fn(sp, kMaxResampleSide + 1, 1, 65536, dp, 1, 1, 1, 1), 0);
        EXPECT_EQ(fn(sp, 2, 2, 7, dp, 2, 2, 8, 4), 0);  // rows would overlap
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, 2, -7, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, INT64_MIN, dp, 2, 2, 8, 4), 0);
    }
    EXPECT_EQ(resize_filter(sp, 2, 2, 8, dp, 3, 3, 12, 4, -1), 0);
    EXPECT_EQ(resize_filter(sp, 2, 2, 8, dp, 3, 3, 12, 4, kResampleFilters), 0);
    EXPECT_EQ(d, std::vector<uint8_t>(64, kUntouched));
}

#ifdef QRN_TEST_VIPS
// The kernels libvips shares with us (reduce with lanczos3, mitchell, cubic =
// Catmull-Rom, linear; shrink for Box) on opaque cells with grain, 512 to
// 128: different rounding and edge rules, the same picture within a small mean.
TEST(FilterResample, SharedKernelsAgreeWithLibvips) {
    ASSERT_EQ(VIPS_INIT("imaginglib_tests"), 0);
    constexpr int32_t kSrc = 512, kDst = 128;
    std::vector<uint8_t> src(size_t(kSrc) * kSrc * 4);
    std::mt19937 gen(11);
    for (size_t k = 0; k < src.size() / 4; ++k) {
        const int32_t x = int32_t(k % kSrc), y = int32_t(k / kSrc);
        const uint32_t cell = ((x / 6 + y / 10) % 2) * 120;  // hard edges, where kernels part
        src[4 * k] = uint8_t(cell + x / 8 + gen() % 8);
        src[4 * k + 1] = uint8_t(cell + y / 8 + gen() % 8);
        src[4 * k + 2] = uint8_t(255 - cell - (x + y) / 16);
        src[4 * k + 3] = 255;
    }
    const struct {
        ResampleFilter ours;
        int vips;  // VipsKernel, or -1 for vips_shrink
        double mean;
    } pairs[] = {{ResampleFilter::Lanczos3, VIPS_KERNEL_LANCZOS3, 1.5},
                 {ResampleFilter::Mitchell, VIPS_KERNEL_MITCHELL, 1.5},
                 {ResampleFilter::Catrom, VIPS_KERNEL_CUBIC, 1.5},
                 {ResampleFilter::Triangle, VIPS_KERNEL_LINEAR, 1.5},
                 {ResampleFilter::Box, -1, 1.5}};
    VipsImage* in =
        vips_image_new_from_memory(src.data(), src.size(), kSrc, kSrc, 4, VIPS_FORMAT_UCHAR);
    ASSERT_NE(in, nullptr);
    for (const auto& p : pairs) {
        std::vector<uint8_t> ours(size_t(kDst) * kDst * 4);
        ASSERT_EQ(resize_filter(src.data(), kSrc, kSrc, kSrc * 4, ours.data(), kDst, kDst, kDst * 4,
                                4, int32_t(p.ours)),
                  1);
        VipsImage* out = nullptr;
        const int failed =
            p.vips < 0 ? vips_shrink(in, &out, 4.0, 4.0, nullptr)
                       : vips_reduce(in, &out, 4.0, 4.0, "kernel", VipsKernel(p.vips), nullptr);
        ASSERT_EQ(failed, 0);
        size_t n = 0;
        auto* theirs = static_cast<uint8_t*>(vips_image_write_to_memory(out, &n));
        ASSERT_EQ(n, ours.size());
        double sum = 0;
        int worst = 0;
        for (size_t i = 0; i < n; ++i) {
            const int d = std::abs(int(ours[i]) - int(theirs[i]));
            sum += d;
            worst = std::max(worst, d);
        }
        g_free(theirs);
        g_object_unref(out);
        std::printf("filter %d against libvips: mean |difference| %.4f, largest %d\n", int(p.ours),
                    sum / double(n), worst);
        EXPECT_LT(sum / double(n), p.mean) << int(p.ours);
    }
    g_object_unref(in);
}
#endif

}  // namespace
}  // namespace qrn::imaginglib

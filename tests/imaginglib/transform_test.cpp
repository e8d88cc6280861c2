// The transform list, the push warp and the box blur against plain models of
// what each pixel should become, and the arguments each must refuse.
#include "imaginglib/transform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "imaginglib/box_blur.h"

using namespace qrn::imaginglib;

namespace {

std::vector<uint8_t> seeded(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    return v;
}

// ---- Offset transforms ------------------------------------------------------------------

struct OffsetCase {
    int32_t edge;
    int64_t dx, dy;
    int32_t bpp;
};

constexpr int32_t kW = 7, kH = 5;

void PrintTo(const OffsetCase& c, std::ostream* os) {
    *os << "edge " << c.edge << " by (" << c.dx << ", " << c.dy << "), " << c.bpp << " bytes";
}

// Pixel (x, y) takes (x - dx, y - dy), wrapped, clamped or, outside, the fill.
std::vector<uint8_t> offset_model(const std::vector<uint8_t>& src, const OffsetCase& c,
                                  uint32_t fill) {
    const int32_t bpp = c.bpp;
    std::vector<uint8_t> out(src.size());
    for (int64_t y = 0; y < kH; ++y)
        for (int64_t x = 0; x < kW; ++x) {
            int64_t sx = x - c.dx, sy = y - c.dy;
            if (c.edge == kEdgeWrap) sx = ((sx % kW) + kW) % kW, sy = ((sy % kH) + kH) % kH;
            if (c.edge == kEdgeClamp)
                sx = std::clamp<int64_t>(sx, 0, kW - 1), sy = std::clamp<int64_t>(sy, 0, kH - 1);
            for (int k = 0; k < bpp; ++k)
                out[size_t((y * kW + x) * bpp + k)] = (sx >= 0 && sx < kW && sy >= 0 && sy < kH)
                                                          ? src[size_t((sy * kW + sx) * bpp + k)]
                                                          : uint8_t(fill >> (8 * k));
        }
    return out;
}

class OffsetTransform : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(OffsetTransform, MatchesShiftedModelWithBothSamplings) {
    const OffsetCase& c = GetParam();
    const std::vector<uint8_t> src = seeded(size_t(kW * kH * c.bpp), 11);
    const uint32_t fill = 0xA1B2C3D4;
    for (const int32_t smooth : {0, 1}) {
        SCOPED_TRACE(smooth);
        std::vector<uint8_t> dst(src.size(), 0x5A);
        clear_all_transforms();
        ASSERT_EQ(add_offset_transform(kW, kH, double(c.dx), double(c.dy), c.edge), 1);
        ASSERT_EQ(transform_process(src.data(), kW, kH, kW * c.bpp, dst.data(), kW * c.bpp, c.bpp,
                                    smooth, fill),
                  1);
        EXPECT_EQ(dst, offset_model(src, c, fill));
    }
}

INSTANTIATE_TEST_SUITE_P(EdgesAndExtremes, OffsetTransform,
                         ::testing::Values(OffsetCase{kEdgeFill, 3, 0, 4},
                                           OffsetCase{kEdgeFill, -2, 1, 3},
                                           OffsetCase{kEdgeFill, INT32_MIN, 0, 4},
                                           OffsetCase{kEdgeFill, 0, INT32_MAX, 1},
                                           OffsetCase{kEdgeWrap, 3, -1, 4},
                                           OffsetCase{kEdgeWrap, -15, 12, 2},
                                           OffsetCase{kEdgeWrap, INT32_MIN, INT32_MAX, 4},
                                           OffsetCase{kEdgeClamp, -4, 2, 4},
                                           OffsetCase{kEdgeClamp, INT32_MAX, INT32_MIN, 3},
                                           OffsetCase{9, 1, 1, 4}, OffsetCase{-1, -1, -1, 4}));

TEST(TransformList, OffsetsComposeInOrderAndAnEmptyListCopies) {
    const std::vector<uint8_t> src = seeded(size_t(kW * kH * 4), 3);
    std::vector<uint8_t> dst(src.size());
    clear_all_transforms();
    ASSERT_EQ(transform_process(src.data(), kW, kH, kW * 4, dst.data(), kW * 4, 4, 0, 0), 1);
    EXPECT_EQ(dst, src);
    // Wrap by 3, then fill by 1: as a wrap by 4, except that column 3, which the
    // first maps to column 0, is pushed out by the second.
    add_offset_transform(kW, kH, 3, 0, kEdgeWrap);
    add_offset_transform(kW, kH, 1, 0, kEdgeFill);
    transform_process(src.data(), kW, kH, kW * 4, dst.data(), kW * 4, 4, 0, 0);
    const OffsetCase wrap4{kEdgeWrap, 4, 0, 4};
    std::vector<uint8_t> want = offset_model(src, wrap4, 0);
    for (int y = 0; y < kH; ++y) std::memset(&want[size_t(y * kW + 3) * 4], 0, 4);
    EXPECT_EQ(dst, want);
}

TEST(TransformList, RefusesUnusableArgumentsWithoutWriting) {
    std::vector<uint8_t> src = seeded(size_t(kW * kH * 4), 5), dst(src.size(), 0x77);
    const std::vector<uint8_t> untouched = dst;
    clear_all_transforms();
    EXPECT_EQ(add_offset_transform(0, kH, 1, 1, 0), 0);
    EXPECT_EQ(add_offset_transform(kW, kH, std::nan(""), 1, 0), 0);
    EXPECT_EQ(add_offset_transform(kW, kH, 1, std::numeric_limits<double>::infinity(), 0), 0);
    EXPECT_EQ(add_bump_map_displacement_transform(kW, kH, 1, nullptr, kW, kH), 0);
    EXPECT_EQ(add_bump_map_displacement_transform(kW, kH, 1, src.data(), 0, kH), 0);
    EXPECT_EQ(transform_count(), 0);
    struct Call {
        const uint8_t* s;
        uint8_t* d;
        int32_t w, h;
        int64_t ss, ds;
        int32_t bpp;
    };
    const Call calls[] = {
        {nullptr, dst.data(), kW, kH, kW * 4, kW * 4, 4},
        {src.data(), nullptr, kW, kH, kW * 4, kW * 4, 4},
        {src.data(), src.data(), kW, kH, kW * 4, kW * 4, 4},
        {src.data(), dst.data(), 0, kH, kW * 4, kW * 4, 4},
        {src.data(), dst.data(), kW, -1, kW * 4, kW * 4, 4},
        {src.data(), dst.data(), kW, kH, kW * 4, kW * 4, 5},
        {src.data(), dst.data(), kW, kH, kW * 4 - 1, kW * 4, 4},
        {src.data(), dst.data(), kW, kH, kW * 4, INT64_MIN, 4},
    };
    for (const Call& c : calls) {
        EXPECT_EQ(transform_process(c.s, c.w, c.h, c.ss, c.d, c.ds, c.bpp, 0, 0), 0);
        EXPECT_EQ(push_image(c.s, c.w, c.h, c.bpp, std::min(c.ss, c.ds), c.d, 0, 0, 2, 2, 0), 0);
    }
    EXPECT_EQ(push_image(src.data(), kW, kH, 4, kW * 4, dst.data(), 0, 0, 2, 2, -1), 0);
    EXPECT_EQ(dst, untouched);
    for (int i = 0; i < kMaxTransforms; ++i) ASSERT_EQ(add_offset_transform(kW, kH, 0, 0, 0), 1);
    EXPECT_EQ(add_offset_transform(kW, kH, 0, 0, 0), 0);
    clear_all_transforms();
}

// ---- Bump map ---------------------------------------------------------------------------

// A map rising 10 levels a column moves every interior pixel 20 x amount / 510
// columns: 2 at amount 51; the clamped first and last columns half as far.
TEST(BumpTransform, MovesAlongTheMapSlope) {
    std::vector<uint8_t> map(size_t(kW * kH));
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) map[size_t(y * kW + x)] = uint8_t(10 * x);
    const std::vector<uint8_t> src = seeded(size_t(kW * kH * 4), 9);
    std::vector<uint8_t> dst(src.size());
    clear_all_transforms();
    ASSERT_EQ(add_bump_map_displacement_transform(kW, kH, 51.0f, map.data(), kW, kH), 1);
    ASSERT_EQ(transform_process(src.data(), kW, kH, kW * 4, dst.data(), kW * 4, 4, 1, 0x04030201),
              1);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const int sx = x + (x == 0 || x == kW - 1 ? 1 : 2);
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(dst[size_t(y * kW + x) * 4 + size_t(k)],
                          sx < kW ? src[size_t(y * kW + sx) * 4 + size_t(k)] : uint8_t(k + 1))
                    << x << "," << y;
        }
    // A flat map moves nothing; an amount that is not a number moves everything out.
    std::fill(map.begin(), map.end(), 200);
    clear_all_transforms();
    add_bump_map_displacement_transform(kW, kH, 1e30f, map.data(), kW, kH);
    transform_process(src.data(), kW, kH, kW * 4, dst.data(), kW * 4, 4, 1, 0);
    EXPECT_EQ(dst, src);
    clear_all_transforms();
    add_bump_map_displacement_transform(kW, kH, std::nanf(""), map.data(), kW, kH);
    transform_process(src.data(), kW, kH, kW * 4, dst.data(), kW * 4, 4, 1, 0);
    EXPECT_EQ(dst, std::vector<uint8_t>(dst.size(), 0));
    clear_all_transforms();
}

// ---- Push -------------------------------------------------------------------------------

TEST(Push, EndPointTakesTheStartPointAndOnlyPixelsWithinTheRadiusMove) {
    constexpr int32_t w = 20, h = 12;
    const std::vector<uint8_t> src = seeded(size_t(w * h * 3), 17);
    struct Case {
        int32_t x1, y1, x2, y2, radius;
    };
    // Equal points move nothing (radius 0 then covers no pixel).
    const Case cases[] = {
        {4, 3, 8, 6, 0}, {8, 6, 4, 3, 0}, {10, 5, 11, 5, 4}, {0, 0, 19, 11, 3}, {3, 3, 3, 3, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x1 * 1000 + c.y1);
        std::vector<uint8_t> dst(src.size());
        ASSERT_EQ(
            push_image(src.data(), w, h, 3, w * 3, dst.data(), c.x1, c.y1, c.x2, c.y2, c.radius),
            1);
        EXPECT_EQ(0, std::memcmp(&dst[size_t(c.y2 * w + c.x2) * 3],
                                 &src[size_t(c.y1 * w + c.x1) * 3], 3));
        const double r = c.radius ? c.radius : 2 * std::hypot(c.x2 - c.x1, c.y2 - c.y1);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (std::hypot(x - c.x2, y - c.y2) >= r) {
                    ASSERT_EQ(
                        0, std::memcmp(&dst[size_t(y * w + x) * 3], &src[size_t(y * w + x) * 3], 3))
                        << x << "," << y;
                }
    }
}

// ---- Box blur ---------------------------------------------------------------------------

struct BlurCase {
    int32_t w, h, bpp, radius;
    double amount;
    int32_t channels;
};

void PrintTo(const BlurCase& c, std::ostream* os) {
    *os << c.w << "x" << c.h << "x" << c.bpp << " radius " << c.radius << " amount " << c.amount
        << " channels " << c.channels;
}

// Plain two-dimensional window per pixel.
std::vector<uint8_t> blur_model(const std::vector<uint8_t>& src, const BlurCase& c) {
    std::vector<uint8_t> out(src.size());
    const int64_t k = int64_t(c.radius) + 1;
    for (int64_t y = 0; y < c.h; ++y)
        for (int64_t x = 0; x < c.w; ++x)
            for (int ch = 0; ch < c.bpp; ++ch) {
                const size_t i = size_t((y * c.w + x) * c.bpp + ch);
                if (!(c.channels & (1 << ch))) {
                    out[i] = src[i];
                    continue;
                }
                uint64_t sum = 0, n = 0;
                for (int64_t yy = std::max<int64_t>(0, y - k);
                     yy <= std::min<int64_t>(c.h - 1, y + k); ++yy)
                    for (int64_t xx = std::max<int64_t>(0, x - k);
                         xx <= std::min<int64_t>(c.w - 1, x + k); ++xx)
                        sum += src[size_t((yy * c.w + xx) * c.bpp + ch)], ++n;
                const double v = src[i] + (double(sum / n) - src[i]) * c.amount;
                out[i] = uint8_t(std::clamp(std::trunc(v), 0.0, 255.0));
            }
    return out;
}

class BoxBlur : public ::testing::TestWithParam<BlurCase> {};

TEST_P(BoxBlur, MatchesWindowModel) {
    const BlurCase& c = GetParam();
    const std::vector<uint8_t> src = seeded(size_t(c.w * c.h * c.bpp), 31);
    // A wider destination stride: the rows' padding stays as it was.
    const int64_t dst_stride = int64_t(c.w) * c.bpp + 5;
    std::vector<uint8_t> dst(size_t(dst_stride * c.h), 0xEE);
    ASSERT_EQ(box_blur_image(src.data(), c.w, c.h, dst.data(), c.bpp, c.w * c.bpp, dst_stride,
                             c.radius, c.amount, c.channels),
              1);
    const std::vector<uint8_t> want = blur_model(src, c);
    for (int y = 0; y < c.h; ++y) {
        const uint8_t* row = &dst[size_t(y * dst_stride)];
        EXPECT_EQ(0, std::memcmp(row, &want[size_t(y * c.w * c.bpp)], size_t(c.w * c.bpp))) << y;
        EXPECT_EQ(row[c.w * c.bpp], 0xEE);
    }
}

INSTANTIATE_TEST_SUITE_P(
    RadiiAmountsChannels, BoxBlur,
    ::testing::Values(BlurCase{9, 7, 3, 0, 1.0, 15}, BlurCase{9, 7, 3, 2, 0.5, 7},
                      BlurCase{1, 9, 4, 0, 1.0, 15}, BlurCase{6, 6, 1, 100, 1.0, 1},
                      BlurCase{8, 5, 3, 1, 1.0, 5}, BlurCase{8, 5, 4, 1, 2.5, 8},
                      BlurCase{5, 5, 2, 0, -1.0, 3}, BlurCase{7, 3, 3, INT32_MAX, 1.0, 15},
                      BlurCase{4, 4, 3, 0, 0.0, 15}));

TEST(BoxBlurArguments, RefusedWithoutWriting) {
    const std::vector<uint8_t> src = seeded(48, 1);
    std::vector<uint8_t> dst(48, 9);
    EXPECT_EQ(box_blur_image(src.data(), 4, 4, dst.data(), 3, 12, 12, -1, 1.0, 15), 0);
    EXPECT_EQ(box_blur_image(src.data(), 4, 4, dst.data(), 3, 12, 12, 0, std::nan(""), 15), 0);
    EXPECT_EQ(box_blur_image(src.data(), 4, 4, dst.data(), 3, 12, 12, 0, HUGE_VAL, 15), 0);
    EXPECT_EQ(
        box_blur_image(src.data(), 4, 4, const_cast<uint8_t*>(src.data()), 3, 12, 12, 0, 1.0, 15),
        0);
    EXPECT_EQ(box_blur_image(src.data(), 4, 4, dst.data(), 3, 11, 12, 0, 1.0, 15), 0);
    EXPECT_EQ(box_blur_image(src.data(), 4, 0, dst.data(), 3, 12, 12, 0, 1.0, 15), 0);
    EXPECT_EQ(dst, std::vector<uint8_t>(48, 9));
}

}  // namespace

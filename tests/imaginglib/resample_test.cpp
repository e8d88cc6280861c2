// Area-average decimation, bilinear resize, and the grey and red/blue
// conversions the brush shape loader runs on their results.
#include "imaginglib/resample/resample.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imaginglib/convert.h"
#include "test_image.h"

namespace qrn::imaginglib {
namespace {

using test_support::Img;
using test_support::kUntouched;
using test_support::random_img;

Img decimated(Img& src, int32_t dw, int32_t dh, int64_t pad = 0) {
    Img dst(dw, dh, src.bpp, pad);
    EXPECT_EQ(decimate_image(src.bytes.data(), src.w, src.h, src.stride, dst.bytes.data(), dw, dh,
                             dst.stride, src.bpp),
              1);
    return dst;
}

Img resized(Img& src, int32_t dw, int32_t dh) {
    Img dst(dw, dh, src.bpp);
    EXPECT_EQ(resize_image(src.bytes.data(), src.w, src.h, src.stride, dst.bytes.data(), dw, dh,
                           dst.stride, src.bpp),
              1);
    return dst;
}

Img row_of(std::vector<uint8_t> values) {
    Img img(int32_t(values.size()), 1, 1);
    img.bytes = std::move(values);
    return img;
}

// Plain reference: blow every source pixel up to dw x dh sub-pixels, so that
// each destination pixel is exactly a block of sw x sh of them, and average.
uint8_t area_reference(Img& src, int32_t dw, int32_t dh, int32_t dx, int32_t dy, int c) {
    uint64_t sum = 0;
    for (int64_t v = int64_t(dy) * src.h; v < int64_t(dy + 1) * src.h; ++v)
        for (int64_t u = int64_t(dx) * src.w; u < int64_t(dx + 1) * src.w; ++u)
            sum += src.at(u / dw, v / dh, c);
    const uint64_t area = uint64_t(src.w) * uint64_t(src.h);
    return uint8_t((sum + area / 2) / area);
}

// Shrinking by whole and fractional ratios, enlarging an axis, and both at
// once, for every pixel size, through padded rows.
TEST(Decimate, MatchesTheExactAreaAverage) {
    const int32_t sizes[][4] = {{4, 4, 2, 2}, {5, 3, 2, 2}, {7, 5, 3, 4},
                                {3, 3, 3, 3}, {9, 1, 4, 1}, {1, 6, 1, 4},
                                {6, 6, 1, 1}, {2, 3, 5, 7}, {13, 11, 5, 3}};
    for (int32_t bpp = 1; bpp <= 4; ++bpp)
        for (const auto& s : sizes) {
            SCOPED_TRACE(testing::Message()
                         << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3] << " bpp " << bpp);
            Img src = random_img(s[0], s[1], bpp, 3, unsigned(bpp * 100 + s[0]));
            Img dst = decimated(src, s[2], s[3], 2);
            for (int32_t y = 0; y < s[3]; ++y)
                for (int32_t x = 0; x < s[2]; ++x)
                    for (int c = 0; c < bpp; ++c)
                        ASSERT_EQ(dst.at(x, y, c), area_reference(src, s[2], s[3], x, y, c))
                            << x << "," << y << " channel " << c;
            for (int32_t y = 0; y < s[3]; ++y) {
                EXPECT_EQ(dst.at(s[2], y, 0), kUntouched);
                EXPECT_EQ(dst.at(s[2], y, 1), kUntouched);
            }
        }
}

TEST(Decimate, SplitsBoundaryPixelsByAreaAndRoundsToNearest) {
    Img third = row_of({0, 90, 180});
    EXPECT_EQ(decimated(third, 2, 1).bytes, (std::vector<uint8_t>{30, 150}));  // 2:1 and 1:2
    Img half = row_of({0, 1, 2, 2});
    EXPECT_EQ(decimated(half, 2, 1).bytes, (std::vector<uint8_t>{1, 2}));  // 0.5 rounds up
}

// A negative stride walks an image from its last row in memory upward.
TEST(Decimate, WalksNegativeStrides) {
    Img src = random_img(6, 4, 3, 1, 7);
    Img want = decimated(src, 3, 2);
    // Only the source bottom-up: the result comes out upside down.
    Img dst(3, 2, 3);
    ASSERT_EQ(decimate_image(src.bytes.data() + 3 * src.stride, 6, 4, -src.stride, dst.bytes.data(),
                             3, 2, dst.stride, 3),
              1);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(dst.at(x, 1 - y, c), want.at(x, y, c));
    // Both sides bottom-up: the flips cancel.
    Img both(3, 2, 3);
    ASSERT_EQ(decimate_image(src.bytes.data() + 3 * src.stride, 6, 4, -src.stride,
                             both.bytes.data() + both.stride, 3, 2, -both.stride, 3),
              1);
    EXPECT_EQ(both.bytes, want.bytes);
}

TEST(Resize, EqualSizesCopyExactly) {
    for (int32_t bpp = 1; bpp <= 4; ++bpp) {
        Img src = random_img(7, 5, bpp, 0, unsigned(bpp));
        EXPECT_EQ(resized(src, 7, 5).bytes, src.bytes) << "bpp " << bpp;
    }
}

// Centres aligned: enlarging 2 -> 4 samples at -0.25 (clamped), 0.25, 0.75 and
// 1.25 (clamped); shrinking 4 -> 2 samples midway between pixel pairs.
TEST(Resize, InterpolatesBetweenAlignedCentres) {
    Img two = row_of({0, 255});
    EXPECT_EQ(resized(two, 4, 1).bytes, (std::vector<uint8_t>{0, 64, 191, 255}));
    Img four = row_of({10, 21, 100, 201});
    EXPECT_EQ(resized(four, 2, 1).bytes, (std::vector<uint8_t>{16, 151}));

    Img square(2, 2, 1);
    square.bytes = {0, 100, 200, 255};
    EXPECT_EQ(resized(square, 3, 3).bytes,
              (std::vector<uint8_t>{0, 50, 100, 100, 139, 178, 200, 228, 255}));

    Img one(1, 1, 4);
    one.bytes = {1, 2, 3, 4};
    const Img big = resized(one, 5, 3);
    for (size_t k = 0; k < big.bytes.size(); ++k) ASSERT_EQ(big.bytes[k], k % 4 + 1);
}

// Eight bytes a pixel are four 16-bit channels: the same area average and
// bilinear taps as the byte images, at full 16-bit range.
TEST(Resample16, DecimateMatchesTheAreaAverageAndResizeInterpolates) {
    const int32_t sizes[][4] = {{5, 3, 2, 2}, {13, 11, 5, 3}, {2, 3, 5, 7}, {7, 5, 7, 5}};
    std::mt19937 gen(16);
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << " -> " << s[2] << "x" << s[3]);
        const int32_t sw = s[0], sh = s[1], dw = s[2], dh = s[3];
        std::vector<uint16_t> src(size_t(sw * sh * 4)), dst(size_t(dw * dh * 4));
        for (auto& v : src) v = uint16_t(gen());
        ASSERT_EQ(decimate_image(reinterpret_cast<const uint8_t*>(src.data()), sw, sh, sw * 8,
                                 reinterpret_cast<uint8_t*>(dst.data()), dw, dh, dw * 8, 8),
                  1);
        const uint64_t area = uint64_t(sw) * uint64_t(sh);
        for (int32_t y = 0; y < dh; ++y)
            for (int32_t x = 0; x < dw; ++x)
                for (int c = 0; c < 4; ++c) {
                    uint64_t sum = 0;
                    for (int64_t v = int64_t(y) * sh; v < int64_t(y + 1) * sh; ++v)
                        for (int64_t u = int64_t(x) * sw; u < int64_t(x + 1) * sw; ++u)
                            sum += src[size_t(((v / dh) * sw + u / dw) * 4 + c)];
                    ASSERT_EQ(dst[size_t((y * dw + x) * 4 + c)], (sum + area / 2) / area);
                }
    }
    std::vector<uint16_t> two = {0, 65535, 1000, 65535, 65535, 0, 3000, 65535}, four(16);
    ASSERT_EQ(resize_image(reinterpret_cast<const uint8_t*>(two.data()), 2, 1, 16,
                           reinterpret_cast<uint8_t*>(four.data()), 4, 1, 32, 8),
              1);
    const uint16_t red[4] = {0, 16384, 49151, 65535}, blue[4] = {1000, 1500, 2500, 3000};
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(four[size_t(x * 4)], red[x]) << x;
        EXPECT_EQ(four[size_t(x * 4 + 1)], 65535 - red[x]) << x;
        EXPECT_EQ(four[size_t(x * 4 + 2)], blue[x]) << x;
        EXPECT_EQ(four[size_t(x * 4 + 3)], 65535) << x;
    }
}

TEST(Resample, BothRefuseUnusableArgumentsWithoutWriting) {
    using Fn = int32_t (*)(const uint8_t*, int32_t, int32_t, int64_t, uint8_t*, int32_t, int32_t,
                           int64_t, int32_t);
    std::vector<uint8_t> s(64, 1), d(64, kUntouched);
    const uint8_t* sp = s.data();
    uint8_t* dp = d.data();
    for (Fn fn : {Fn(decimate_image), Fn(resize_image)}) {
        EXPECT_EQ(fn(nullptr, 2, 2, 8, dp, 2, 2, 8, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, nullptr, 2, 2, 8, 4), 0);
        EXPECT_EQ(fn(sp, 0, 2, 8, dp, 2, 2, 8, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, -1, 8, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, 2, 8, 0), 0);
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, 2, 8, 5), 0);
        EXPECT_EQ(fn(sp, 65536, 1, 65536, dp, 1, 1, 1, 1), 0);
        EXPECT_EQ(fn(sp, 2, 2, 7, dp, 2, 2, 8, 4), 0);  // rows would overlap
        EXPECT_EQ(fn(sp, 2, 2, 8, dp, 2, 2, -7, 4), 0);
        EXPECT_EQ(fn(sp, 2, 2, INT64_MIN, dp, 2, 2, 8, 4), 0);
        EXPECT_EQ(fn(sp, 1, 2, 8, dp, 1, 2, 8, 6), 0);
        EXPECT_EQ(fn(sp, 1, 2, 9, dp, 1, 2, 9, 8), 0);  // 16-bit rows must start even
        EXPECT_EQ(fn(sp + 1, 1, 2, 8, dp, 1, 2, 8, 8), 0);
    }
    EXPECT_EQ(d, std::vector<uint8_t>(64, kUntouched));
}

// Pinned luminance values: the weights add up to 1000, so white stays 255 and
// each channel alone truncates.
TEST(Grey8, WeighsChannelsAndTruncates) {
    const uint8_t rgba[] = {255, 255, 255, 0, 255, 0, 0, 9, 0,  255, 0,  9, 0, 0, 255, 9,
                            1,   1,   1,   9, 3,   0, 0, 9, 10, 20,  30, 9, 0, 0, 0,   255};
    uint8_t grey[8] = {};
    ASSERT_EQ(image_to_grey8(rgba, 8, 1, 32, grey, 8), 1);
    EXPECT_EQ(std::vector<uint8_t>(grey, grey + 8),
              (std::vector<uint8_t>{255, 76, 149, 29, 1, 0, 18, 0}));
}

// Both conversions walk rows through the same stride rules as the resamplers.
TEST(Grey8, FollowsANegativeStrideAndKeepsPadding) {
    Img src = random_img(3, 2, 4, 4, 11);
    std::vector<uint8_t> top(8, kUntouched), bottom_up(8, kUntouched);
    ASSERT_EQ(image_to_grey8(src.bytes.data(), 3, 2, src.stride, top.data(), 4), 1);
    ASSERT_EQ(image_to_grey8(src.bytes.data(), 3, 2, src.stride, bottom_up.data() + 4, -4), 1);
    EXPECT_EQ(top, (std::vector<uint8_t>{bottom_up[4], bottom_up[5], bottom_up[6], kUntouched,
                                         bottom_up[0], bottom_up[1], bottom_up[2], kUntouched}));
    EXPECT_EQ(image_to_grey8(src.bytes.data(), 3, 2, src.stride, top.data(), 2), 0);
}

TEST(SwapRedBlue, LeavesGreenAlphaAndPaddingAlone) {
    std::vector<uint8_t> px = {1, 2, 3, 4, kUntouched, 5, 6, 7, 8, kUntouched};
    ASSERT_EQ(swap_red_blue(px.data(), 1, 2, 5), 1);
    EXPECT_EQ(px, (std::vector<uint8_t>{3, 2, 1, 4, kUntouched, 7, 6, 5, 8, kUntouched}));
    EXPECT_EQ(swap_red_blue(px.data(), 1, 2, 3), 0);
}

// Split and combine move one channel between the image and a plane, every
// other byte (and the padding) left as it was.
TEST(ImageChannel, SplitAndCombineMoveOneChannelOnly) {
    std::vector<uint8_t> px = {1, 2, 3, 4, kUntouched, 5, 6, 7, 8, kUntouched};
    std::vector<uint8_t> plane(4, kUntouched);
    ASSERT_EQ(split_image_channel(px.data(), 1, 2, 5, 3, plane.data(), 2), 1);
    EXPECT_EQ(plane, (std::vector<uint8_t>{4, kUntouched, 8, kUntouched}));
    plane = {40, 0, 80, 0};
    ASSERT_EQ(combine_image_channel(px.data(), 1, 2, 5, 0, plane.data(), 2), 1);
    EXPECT_EQ(px, (std::vector<uint8_t>{40, 2, 3, 4, kUntouched, 80, 6, 7, 8, kUntouched}));
    EXPECT_EQ(split_image_channel(px.data(), 1, 2, 5, 4, plane.data(), 2), 0);
    EXPECT_EQ(combine_image_channel(px.data(), 1, 2, 5, -1, plane.data(), 2), 0);
    EXPECT_EQ(combine_image_channel(px.data(), 1, 2, 3, 0, plane.data(), 2), 0);
    EXPECT_EQ(split_image_channel(px.data(), 1, 2, 5, 0, nullptr, 2), 0);
}

}  // namespace
}  // namespace qrn::imaginglib

#include "imaginglib/overlay.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

using qrn::imaginglib::overlay_image;

constexpr uint8_t kUntouched = 0xEE;

struct Image {
    int32_t w, h, bpp;
    int64_t stride;  // bytes, at least w x bpp
    std::vector<uint8_t> bytes;
    Image(int32_t w_, int32_t h_, int32_t bpp_, int64_t pad, uint8_t fill)
        : w(w_), h(h_), bpp(bpp_), stride(int64_t(w_) * bpp_ + pad),
          bytes(size_t(stride * h_), fill) {}
    uint8_t* px(int64_t x, int64_t y) { return bytes.data() + y * stride + x * bpp; }
};

Image random_image(int32_t w, int32_t h, int32_t bpp, int64_t pad, uint32_t seed) {
    Image img(w, h, bpp, pad, 0);
    std::mt19937 gen(seed);
    for (uint8_t& b : img.bytes) b = uint8_t(gen());
    return img;
}

// Plain per-pixel copy: every destination pixel that some source pixel lands on.
Image reference(Image dst, Image& src, int32_t x, int32_t y) {
    for (int64_t dy = 0; dy < dst.h; ++dy)
        for (int64_t dx = 0; dx < dst.w; ++dx) {
            const int64_t sx = dx - x, sy = dy - y;
            if (sx < 0 || sy < 0 || sx >= src.w || sy >= src.h) continue;
            for (int b = 0; b < dst.bpp; ++b) dst.px(dx, dy)[b] = src.px(sx, sy)[b];
        }
    return dst;
}

int32_t run(Image& dst, Image& src, int32_t x, int32_t y, double opacity = 1.0) {
    return overlay_image(dst.bytes.data(), dst.w, dst.h, dst.bpp, dst.stride, src.bytes.data(),
                         src.w, src.h, src.stride, x, y, opacity, 0);
}

// Every side and corner, partly and wholly outside, plus positions whose far
// edge would wrap a 32-bit sum. Padding bytes past each row must stay untouched.
TEST(Overlay, ClipsOnEverySideAndLeavesTheRestUntouched) {
    const int32_t positions[][2] = {{0, 0},   {2, 1},   {-2, 1},  {5, 1},    {2, -2},
                                    {2, 4},   {-2, -2}, {5, 4},   {-2, 4},   {5, -2},
                                    {-4, -4}, {7, 0},   {0, 6},   {-10, -1}, {2147483647, 0},
                                    {-2147483647 - 1, -2147483647 - 1}};
    Image src = random_image(4, 3, 1, 0, 11);
    for (const auto& p : positions) {
        SCOPED_TRACE(testing::Message() << "at " << p[0] << "," << p[1]);
        Image dst(7, 6, 1, 3, kUntouched);
        const Image want = reference(dst, src, p[0], p[1]);
        EXPECT_EQ(run(dst, src, p[0], p[1]), 1);
        EXPECT_EQ(dst.bytes, want.bytes);
    }
}

// Undo snapshots are 8-byte pixels and the mask 2-byte words: both must be exact,
// also with row padding on either side.
TEST(Overlay, CopiesWidePixelsExactly) {
    for (int32_t bpp : {2, 8}) {
        for (int64_t pad : {0, 5}) {
            SCOPED_TRACE(testing::Message() << "bpp " << bpp << " pad " << pad);
            Image src = random_image(9, 7, bpp, pad, 3);
            Image dst = random_image(13, 11, bpp, pad + 1, 4);
            const Image want = reference(dst, src, 3, -2);
            EXPECT_EQ(run(dst, src, 3, -2), 1);
            EXPECT_EQ(dst.bytes, want.bytes);
        }
    }
}

TEST(Overlay, NegativeStrideWalksBottomUp) {
    Image src = random_image(4, 3, 2, 0, 5);
    Image dst(6, 5, 2, 2, kUntouched);
    // Destination addressed from its last row upward: image row r is memory row 4 - r.
    uint8_t* last_row = dst.px(0, dst.h - 1);
    ASSERT_EQ(overlay_image(last_row, dst.w, dst.h, 2, -dst.stride, src.bytes.data(), src.w, src.h,
                            src.stride, 1, 1, 1.0, 0),
              1);
    for (int64_t y = 0; y < dst.h; ++y)
        for (int64_t x = 0; x < dst.w; ++x) {
            const uint8_t* got = dst.px(x, dst.h - 1 - y);
            const bool inside = x >= 1 && x < 5 && y >= 1 && y < 4;
            for (int b = 0; b < 2; ++b)
                EXPECT_EQ(got[b], inside ? src.px(x - 1, y - 1)[b] : kUntouched) << x << "," << y;
        }
}

TEST(Overlay, RefusesUnusableArgumentsWithoutWriting) {
    Image src = random_image(4, 4, 4, 0, 6);
    Image dst(4, 4, 4, 0, kUntouched);
    const std::vector<uint8_t> before = dst.bytes;
    uint8_t* d = dst.bytes.data();
    const uint8_t* s = src.bytes.data();
    EXPECT_EQ(overlay_image(nullptr, 4, 4, 4, 16, s, 4, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, 4, 4, 16, nullptr, 4, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 0, 4, 4, 16, s, 4, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, -1, 4, 16, s, 4, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, 4, 4, 16, s, 0, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, 4, 4, 16, s, 4, -3, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, 4, 0, 16, s, 4, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, 4, 9, 16, s, 4, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, 4, 4, 15, s, 4, 4, 16, 0, 0, 1.0, 0), 0);  // rows would overlap
    EXPECT_EQ(overlay_image(d, 4, 4, 4, 16, s, 4, 4, -15, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(overlay_image(d, 4, 4, 4, INT64_MIN, s, 4, 4, 16, 0, 0, 1.0, 0), 0);
    EXPECT_EQ(dst.bytes, before);
}

// Below full opacity each byte is s x a + d x (1 - a), truncated; 0 leaves d.
TEST(Overlay, PartialOpacityMixesBytesTruncating) {
    Image src(2, 1, 1, 0, 255);
    Image dst(2, 1, 1, 0, 0);
    run(dst, src, 0, 0, 0.5);
    EXPECT_EQ(dst.bytes, (std::vector<uint8_t>{127, 127}));
    run(dst, src, 0, 0, 0.0);
    EXPECT_EQ(dst.bytes, (std::vector<uint8_t>{127, 127}));
    run(dst, src, 0, 0, 2.0);
    EXPECT_EQ(dst.bytes, (std::vector<uint8_t>{255, 255}));
}

}  // namespace

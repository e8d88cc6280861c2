// The Gaussian blur (plain against AVX2 loops, against libvips when present),
// the sharpen and the filled shapes.
#include "imaginglib/gauss/gaussian.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "imaginglib/enhance.h"
#include "imaginglib/shapes.h"

#ifdef QRN_TEST_VIPS
#include <vips/vips.h>
#endif

namespace qrn::imaginglib {
namespace {

// Smooth ramps plus noise and a hard edge, so rounding and edges both matter.
std::vector<uint8_t> picture(int32_t w, int32_t h, int32_t bpp, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> px(size_t(w) * size_t(h) * size_t(bpp));
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int32_t c = 0; c < bpp; ++c)
                px[(size_t(y) * size_t(w) + size_t(x)) * size_t(bpp) + size_t(c)] =
                    uint8_t((x < w / 3 ? 240 : (x * 3 + y * (c + 1)) % 200) + rng() % 16);
    return px;
}

std::vector<uint8_t> blurred(const std::vector<uint8_t>& src, int32_t w, int32_t h, int32_t bpp,
                             double sigma, int32_t channels, GaussLoops loops) {
    std::vector<uint8_t> out(src.size(), 0xEE);
    EXPECT_EQ(gaussian_blur_image(src.data(), w, h, bpp, w * bpp, out.data(), w * bpp, sigma,
                                  channels, loops),
              1);
    return out;
}

TEST(GaussianBlur, UniformStaysUniform) {
    for (const double sigma : {0.1, 0.6, 1.7, 5.0, 40.0})
        for (const int32_t bpp : {1, 3, 4}) {
            const std::vector<uint8_t> flat(size_t(37) * 9 * size_t(bpp), 201);
            EXPECT_EQ(blurred(flat, 37, 9, bpp, sigma, 15, GaussLoops::Best), flat) << sigma;
        }
}

TEST(GaussianBlur, WidestLoopsMatchThePlainOnes) {
    for (const int32_t w : {1, 7, 33, 130})
        for (const int32_t bpp : {1, 3, 4})
            for (const double sigma : {0.5, 2.3, 5.0, 12.0})
                for (const int32_t channels : {15, 5}) {
                    const std::vector<uint8_t> src = picture(w, 21, bpp, uint32_t(w * bpp));
                    ASSERT_EQ(blurred(src, w, 21, bpp, sigma, channels, GaussLoops::Best),
                              blurred(src, w, 21, bpp, sigma, channels, GaussLoops::Scalar))
                        << w << " " << bpp << " " << sigma << " " << channels;
                }
}

TEST(GaussianBlur, SpreadsAnImpulseSymmetricallyAndKeepsMaskedChannels) {
    std::vector<uint8_t> src(size_t(41) * 41 * 4, 0);
    for (int c = 0; c < 4; ++c) src[(20 * 41 + 20) * 4 + size_t(c)] = 255;
    const std::vector<uint8_t> out = blurred(src, 41, 41, 4, 1.5, 7, GaussLoops::Best);
    auto at = [&](int x, int y, int c) { return out[size_t((y * 41 + x) * 4 + c)]; };
    EXPECT_GT(at(20, 20, 0), at(21, 20, 0));
    EXPECT_GT(at(21, 20, 0), 0);
    for (int d = 1; d < 6; ++d) {
        EXPECT_EQ(at(20 - d, 20, 1), at(20 + d, 20, 1));
        EXPECT_EQ(at(20, 20 - d, 2), at(20 + d, 20, 2));
    }
    EXPECT_EQ(at(20, 20, 3), 255);  // alpha not in the mask: copied
    EXPECT_EQ(at(21, 20, 3), 0);
}

TEST(GaussianBlur, SharedImageGivesTheSameResult) {
    std::vector<uint8_t> img = picture(50, 30, 4, 9);
    const std::vector<uint8_t> want = blurred(img, 50, 30, 4, 3.0, 15, GaussLoops::Best);
    ASSERT_EQ(gaussian_blur_image(img.data(), 50, 30, 4, 200, img.data(), 200, 3.0, 15), 1);
    EXPECT_EQ(img, want);
}

TEST(GaussianBlur, RefusesUnusableArguments) {
    uint8_t px[16] = {};
    EXPECT_EQ(gaussian_blur_image(nullptr, 2, 2, 4, 8, px, 8, 1.0, 15), 0);
    EXPECT_EQ(gaussian_blur_image(px, 2, 2, 4, 8, px, 8, 0.0, 15), 0);
    EXPECT_EQ(gaussian_blur_image(px, 2, 2, 4, 8, px, 8, NAN, 15), 0);
    EXPECT_EQ(gaussian_blur_image(px, 2, 2, 4, 4, px, 8, 1.0, 15), 0);
    EXPECT_EQ(gaussian_blur_image(px, 0, 2, 4, 8, px, 8, 1.0, 15), 0);
    EXPECT_EQ(gaussian_radius(1e12), kMaxGaussRadius);
}

#ifdef QRN_TEST_VIPS
// libvips's float convolution with a mask of the same taps: its mask stops
// at the first offset whose amplitude falls below min_ampl (at least 0.001).
std::vector<uint8_t> vips_blurred(const std::vector<uint8_t>& src, int32_t w, int32_t h,
                                  int32_t bpp, double sigma) {
    const int32_t r = gaussian_radius(sigma);
    const double min_ampl =
        std::max(0.001, std::exp(-(double(r) * r + double(r + 1) * (r + 1)) / (4 * sigma * sigma)));
    EXPECT_LT(std::exp(-double(r + 1) * (r + 1) / (2 * sigma * sigma)), min_ampl);
    VipsImage* in =
        vips_image_new_from_memory(src.data(), src.size(), w, h, bpp, VIPS_FORMAT_UCHAR);
    VipsImage* out = nullptr;
    std::vector<uint8_t> result;
    VipsImage* rounded = nullptr;
    VipsImage* bytes = nullptr;
    // The float result rounded to nearest, as ours is, then narrowed.
    if (in &&
        !vips_gaussblur(in, &out, sigma, "min_ampl", min_ampl, "precision", VIPS_PRECISION_FLOAT,
                        nullptr) &&
        !vips_rint(out, &rounded, nullptr) && !vips_cast_uchar(rounded, &bytes, nullptr)) {
        size_t n = 0;
        auto* p = static_cast<uint8_t*>(vips_image_write_to_memory(bytes, &n));
        if (p) result.assign(p, p + n);
        g_free(p);
    }
    for (VipsImage* im : {bytes, rounded, out})
        if (im) g_object_unref(im);
    if (in) g_object_unref(in);
    return result;
}

TEST(GaussianBlur, AgreesWithLibvipsWithinOneUnit) {
    ASSERT_EQ(VIPS_INIT("imaginglib_tests"), 0);
    for (const auto& [bpp, sigma] : {std::pair{4, 5.0}, {1, 2.5}, {4, 1.2}}) {
        const std::vector<uint8_t> src = picture(160, 120, bpp, 3);
        const std::vector<uint8_t> ours = blurred(src, 160, 120, bpp, sigma, 15, GaussLoops::Best);
        const std::vector<uint8_t> theirs = vips_blurred(src, 160, 120, bpp, sigma);
        ASSERT_EQ(theirs.size(), ours.size());
        int worst = 0;
        double sum = 0;
        for (size_t i = 0; i < ours.size(); ++i) {
            const int d = std::abs(int(ours[i]) - int(theirs[i]));
            worst = std::max(worst, d);
            sum += d;
        }
        EXPECT_LE(worst, 1) << bpp << " " << sigma;
        std::printf(
            "Gaussian %d bytes, sigma %.1f, against libvips: mean |difference| %.4f, largest %d\n",
            bpp, sigma, sum / double(ours.size()), worst);
    }
}
#endif

TEST(Sharpen, PushesAPixelAwayFromItsNeighbours) {
    std::vector<uint8_t> src(25, 0), dst(25, 0xEE);
    src[12] = 100;
    ASSERT_EQ(sharpen_image(src.data(), 5, 5, 1, 5, dst.data(), 5, 8, 1), 1);
    EXPECT_EQ(dst[12], 200);  // 100 + 8 x (800 - 0) / 64
    EXPECT_EQ(dst[11], 0);    // 0 + 8 x (0 - 100) / 64, clamped
    EXPECT_EQ(dst[0], 0);
    ASSERT_EQ(sharpen_image(src.data(), 5, 5, 1, 5, dst.data(), 5, 0, 1), 1);
    EXPECT_EQ(dst, src);
    const std::vector<uint8_t> flat(size_t(6) * 4 * 3, 90);
    std::vector<uint8_t> out(flat.size());
    sharpen_image(flat.data(), 6, 4, 3, 18, out.data(), 18, 5, 7);
    EXPECT_EQ(out, flat);
    std::vector<uint8_t> rgba = picture(9, 7, 4, 5), sharp(rgba.size());
    sharpen_image(rgba.data(), 9, 7, 4, 36, sharp.data(), 36, 5, 7);
    for (size_t i = 3; i < rgba.size(); i += 4) ASSERT_EQ(sharp[i], rgba[i]);  // alpha not in 7
}

TEST(Shapes, FilledEllipseAndRectangleClipToTheImage) {
    std::vector<uint8_t> map(size_t(20) * 10, 0);
    ASSERT_EQ(draw_ellipse(map.data(), 20, 10, 1, 20, 0xC8, 18, 5, 6, 3, 1, 1.0), 1);
    EXPECT_EQ(map[5 * 20 + 18], 0xC8);
    EXPECT_EQ(map[5 * 20 + 12], 0xC8);  // (12 - 18) / 6 = -1: on the edge
    EXPECT_EQ(map[5 * 20 + 11], 0);
    EXPECT_EQ(map[2 * 20 + 18], 0xC8);
    EXPECT_EQ(map[1 * 20 + 18], 0);
    std::fill(map.begin(), map.end(), 0);
    ASSERT_EQ(fill_solid_rect(map.data(), 20, 10, 1, 20, -5, 8, 3, 40, 7), 1);
    EXPECT_EQ(map[8 * 20 + 0], 7);
    EXPECT_EQ(map[9 * 20 + 2], 7);
    EXPECT_EQ(map[9 * 20 + 3], 0);
    EXPECT_EQ(map[7 * 20 + 0], 0);
}

}  // namespace
}  // namespace qrn::imaginglib

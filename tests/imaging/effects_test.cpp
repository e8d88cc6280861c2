// PhotoPop, the hue/saturation adjustments, the unused-colour search and the
// alpha fill.
#include "imaging/effects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/imaging_api/imaging.h"
#include "engine/pixels.h"
#include "imaging/kernels.h"
#include "kernel_fixture.h"
#include "script/colour_spaces.h"

namespace qrn {
namespace {

TEST(PhotoPop, SaturationSliderMapsToTheAmount) {
    EXPECT_EQ(imaging::photo_pop_amount(0), -2.0);
    EXPECT_EQ(imaging::photo_pop_amount(50), 1.0);
    EXPECT_EQ(imaging::photo_pop_amount(100), 3.0);
    EXPECT_EQ(imaging::photo_pop_amount(75), 2.0);
}

TEST(PhotoPop, WithoutWorkBuffersOrLayerNothingHappens) {
    const std::vector<uint8_t> px = test::seeded_rgba(8, 6, 1);
    for (int missing = 0; missing < 3; ++missing) {
        test::WorkCanvas wc(8, 6);
        wc.set_layer(px);
        if (missing == 0) wc.st.work.src32.reset();
        if (missing == 1) wc.st.work.dst32.reset();
        if (missing == 2) wc.st.canvas.current_slot = 5;
        EXPECT_EQ(imaging::photo_pop(wc.st, 300, 80, 1), 0);
        EXPECT_EQ(wc.layer_bytes(), px) << missing;
    }
    test::WorkCanvas none(0, 0, false);
    EXPECT_EQ(imaging::photo_pop(none.st, 300, 80, 1), 0);
}

// The steps by hand. The contrast runs start from the source buffer as the
// host filled it (from the layer, before the call), so without a mask their
// loads replace the sharpened colours.
std::vector<uint8_t> photo_pop_by_hand(const std::vector<uint8_t>& rgba, int32_t w, int32_t h,
                                       int32_t contrast, double saturation, bool extra) {
    std::vector<uint8_t> img = rgba;
    for (int pass = extra ? 0 : 1; pass < 2; ++pass) {
        test::WorkCanvas k(w, h);
        std::memcpy(k.st.work.src32.data(), img.data(), img.size());
        imaging::KernelArgs a;
        a.reals[0] = pass == 0 ? 1 : contrast;
        imaging::run_kernel(k.st, "Hyper Contrast", 0, a);
        std::memcpy(img.data(), k.st.work.dst32.data(), img.size());
    }
    EXPECT_TRUE(imaging::modify_saturation(img.data(), w, h, 4, w * 4,
                                           imaging::photo_pop_amount(saturation)));
    return img;
}

TEST(PhotoPop, ContrastsAndSaturatesTheLayer) {
    constexpr int32_t kW = 19, kH = 11;
    std::vector<uint8_t> px = test::seeded_rgba(kW, kH, 2);
    for (size_t i = 3; i < px.size(); i += 4)
        px[i] = 255;  // the loads keep opaque pixels as they are
    for (const bool extra : {false, true})
        for (const double sat : {0.0, 50.0, 90.0}) {
            test::WorkCanvas wc(kW, kH);
            wc.set_layer(px);
            std::memcpy(wc.st.work.src32.data(), px.data(), px.size());
            EXPECT_EQ(imaging::photo_pop(wc.st, 400, sat, extra ? 1 : 0), kH);
            EXPECT_EQ(wc.layer_bytes(), photo_pop_by_hand(px, kW, kH, 400, sat, extra))
                << extra << " " << sat;
            EXPECT_TRUE(wc.st.work.src24.empty());
        }
}

TEST(PhotoPop, LoadsThroughTheMask) {
    // Open on the left half only: the right half keeps its pixels.
    constexpr int32_t kW = 16, kH = 8;
    std::vector<uint8_t> px = test::seeded_rgba(kW, kH, 7);
    for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
    test::WorkCanvas wc(kW, kH);
    wc.set_layer(px);
    std::memcpy(wc.st.work.src32.data(), px.data(), px.size());
    wc.st.canvas.mask = Buffer<uint16_t>::make(size_t(kW) * kH);
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            wc.st.canvas.mask[size_t(y * kW + x)] = x < kW / 2 ? 0xFFFF : 0;
    wc.st.settings.mask_enabled = 1;
    imaging::photo_pop(wc.st, 300, 50, 0);
    const std::vector<uint8_t> got = wc.layer_bytes();
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = kW / 2; x < kW; ++x)
            ASSERT_EQ(std::memcmp(&got[size_t(y * kW + x) * 4], &px[size_t(y * kW + x) * 4], 4), 0);
    EXPECT_NE(got, px);
}

// Every colour at a step of 4 a channel: a hue that lands one bit off shows.
std::vector<uint8_t> colour_grid() {
    std::vector<uint8_t> px(size_t(1) << 20);
    for (size_t i = 0; i < px.size() / 4; ++i) {
        px[i * 4 + 0] = uint8_t((i & 63) * 4 + 3);
        px[i * 4 + 1] = uint8_t(((i >> 6) & 63) * 4 + 1);
        px[i * 4 + 2] = uint8_t((i >> 12) * 4);
        px[i * 4 + 3] = uint8_t(i * 7);
    }
    return px;
}

TEST(SaturationStandIn, AmountOneKeepsEveryByteAndZeroGivesGrey) {
    const std::vector<uint8_t> px = colour_grid();
    std::vector<uint8_t> same = px, grey = px;
    ASSERT_TRUE(imaging::modify_saturation(same.data(), 512, 512, 4, 2048, 1.0));
    EXPECT_EQ(same, px);
    ASSERT_TRUE(imaging::modify_saturation(grey.data(), 512, 512, 4, 2048, 0.0));
    for (size_t i = 0; i < grey.size(); i += 4) {
        ASSERT_EQ(grey[i], grey[i + 1]);
        ASSERT_EQ(grey[i], grey[i + 2]);
        ASSERT_EQ(grey[i + 3], px[i + 3]);
    }
}

using Adjust = void (*)(uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t);
const Adjust kAdjusts[] = {imaging::hsl_adjust, imaging::hsv_adjust};

TEST(HueAdjust, ShiftsOfAnySizeWrapOntoTheCircle) {
    const std::vector<uint8_t> px = colour_grid();
    for (Adjust adjust : kAdjusts)
        for (const auto& [big, small] :
             {std::pair{1000, 280}, {-1000, 80}, {720, 0}, {-361, 359}, {2147483647, 127}}) {
            std::vector<uint8_t> a = px, b = px;
            adjust(a.data(), 512, 512, big, 10, -5);
            adjust(b.data(), 512, 512, small, 10, -5);
            EXPECT_EQ(a, b) << big;
        }
}

TEST(HueAdjust, ShiftsWithinATurnFollowTheSingleWrap) {
    // Hue 200 shifted by 160 lands on 360 exactly, which the single wrap keeps.
    const std::vector<uint8_t> px = test::seeded_rgba(32, 32, 4);
    for (int shift : {-360, -200, -1, 0, 1, 160, 359, 360}) {
        std::vector<uint8_t> got = px;
        imaging::hsv_adjust(got.data(), 32, 32, shift, -20, 30);
        for (size_t i = 0; i < px.size(); i += 4) {
            script::Hsv c = script::rgb_to_hsv(px[i], px[i + 1], px[i + 2]);
            if (c.h == -1) {
                c.h = c.s = 0;
            } else {
                c.h += shift;
                if (c.h > 360) c.h -= 360;
                if (c.h < 0) c.h += 360;
                c.s = std::clamp(c.s - 0.2, 0.0, 1.0);
            }
            const script::Rgb8 o = script::hsv_to_rgb(c.h, c.s, std::clamp(c.v + 0.3, 0.0, 1.0));
            ASSERT_EQ(got[i], o.r) << shift;
            ASSERT_EQ(got[i + 1], o.g);
            ASSERT_EQ(got[i + 2], o.b);
            ASSERT_EQ(got[i + 3], px[i + 3]);
        }
    }
}

TEST(HueAdjust, HsvOnGreyChangesOnlyTheValue) {
    std::vector<uint8_t> px(256 * 4);
    for (int v = 0; v < 256; ++v)
        px[size_t(v) * 4] = px[size_t(v) * 4 + 1] = px[size_t(v) * 4 + 2] = uint8_t(v);
    imaging::hsv_adjust(px.data(), 16, 16, 90, 100, 10);
    for (int v = 0; v < 256; ++v) {
        const uint8_t* p = &px[size_t(v) * 4];
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[0], p[2]);
        EXPECT_EQ(p[0], script::hsv_to_rgb(0, 0, std::min(1.0, v * 0.00392156862745098 + 0.1)).r);
    }
}

TEST(HueAdjust, NullOrEmptyBuffersDoNothing) {
    uint8_t px[4] = {10, 20, 30, 40};
    for (Adjust adjust : kAdjusts) {
        adjust(nullptr, 4, 4, 10, 10, 10);
        adjust(px, 0, 1, 10, 10, 10);
        adjust(px, 1, -1, 10, 10, 10);
        EXPECT_EQ(px[0], 10);
    }
}

TEST(UnusedColour, FirstFreeInBlueGreenRedOrder) {
    auto image = [](std::vector<uint32_t> colours) {
        std::vector<uint8_t> px(colours.size() * 4);
        for (size_t i = 0; i < colours.size(); ++i) std::memcpy(&px[i * 4], &colours[i], 3);
        return px;
    };
    const std::vector<uint8_t> no_black = image({0xFFFFFF, 0x010000, 0x000100, 0x000001});
    EXPECT_EQ(imaging::unused_colour(no_black.data(), 2, 2), 0u);
    std::vector<uint32_t> first_plane(65536);
    for (uint32_t i = 0; i < 65536; ++i) first_plane[i] = i;  // every r, g with b = 0
    first_plane.push_back(0x010000);
    const std::vector<uint8_t> plane = image(first_plane);
    EXPECT_EQ(imaging::unused_colour(plane.data(), int32_t(first_plane.size()), 1), 0x010001u);
    // Alpha plays no part.
    std::vector<uint8_t> black_alpha = image({0, 1, 2});
    black_alpha[3] = 77;
    EXPECT_EQ(imaging::unused_colour(black_alpha.data(), 3, 1), 3u);
}

TEST(UnusedColour, ReportsNoneWhenEveryColourOccurs) {
    std::vector<uint8_t> px(size_t(1) << 26);
    for (uint32_t c = 0; c < (1u << 24); ++c) std::memcpy(&px[size_t(c) * 4], &c, 3);
    EXPECT_FALSE(imaging::unused_colour(px.data(), 4096, 4096).has_value());
    px[size_t(0xABCDEF) * 4] = 0;  // 0xABCDEF gone
    EXPECT_EQ(imaging::unused_colour(px.data(), 4096, 4096), 0xABCDEFu);
}

TEST(AlphaFill, SetsOnlyByteThree) {
    std::vector<uint8_t> px = test::seeded_rgba(5, 3, 6), want = px;
    for (size_t i = 3; i < want.size(); i += 4) want[i] = 42;
    imaging::fill_alpha(px.data(), 5, 3, 42);
    EXPECT_EQ(px, want);
    imaging::fill_alpha(nullptr, 5, 3, 1);
}

}  // namespace
}  // namespace qrn

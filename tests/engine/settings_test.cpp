// Settings, random arrays, the engine's generator and the last error.
#include "engine/settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/imaging_api/imaging.h"
#include "imaginglib/library.h"
#include "platform/display_events.h"

using namespace qrn;

TEST(Rng, MatchesTheWindowsRuntimeSequenceForSeedOne) {
    Rng r;
    r.seed(1);
    const int want[] = {41, 18467, 6334, 26500, 19169};
    for (int v : want) EXPECT_EQ(r.next(), v);
}

TEST(Rng, StaysWithinFifteenBits) {
    Rng r;
    r.seed(0xDEADBEEF);
    for (int i = 0; i < 100000; ++i) {
        const int v = r.next();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

TEST(Settings, ColourWidensOnlyTheLowByte) {
    Settings s;
    settings::set_colour(s, 255, 128, 0);
    EXPECT_EQ(s.colour[0], 65280);
    EXPECT_EQ(s.colour[1], 32768);
    EXPECT_EQ(s.colour[2], 0);
    EXPECT_EQ(s.colour[3], 65535);
    settings::set_colour(s, 511, -1, 256);
    EXPECT_EQ(s.colour[0], 65280);
    EXPECT_EQ(s.colour[1], 65280);
    EXPECT_EQ(s.colour[2], 0);
    settings::set_colour16(s, 0x12345, 65535, -1);
    EXPECT_EQ(s.colour[0], 0x2345);
    EXPECT_EQ(s.colour[2], 65535);
}

TEST(Settings, ColourBanksArePlanar) {
    Settings s;
    const int32_t rgb[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    settings::set_colour_banks(s, rgb);
    const uint16_t want[16] = {1 << 8, 4 << 8, 7 << 8, 10 << 8, 2 << 8, 5 << 8, 8 << 8, 11 << 8,
                               3 << 8, 6 << 8, 9 << 8, 12 << 8, 65535, 65535, 65535, 65535};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(s.colour_banks[i], want[i]) << i;
}

TEST(Settings, ZeroStrengthKeepsTheOldComplement) {
    Settings s;
    settings::set_blend_strength(s, 100);
    EXPECT_EQ(s.blend_strength_comp, 156);
    settings::set_blend_strength(s, 0);
    EXPECT_EQ(s.blend_strength, 0);
    EXPECT_EQ(s.blend_strength_comp, 156);
    settings::set_primary_strength(s, 56);
    settings::set_primary_strength(s, 0);
    EXPECT_EQ(s.primary_strength_comp, 200);
}

TEST(Settings, AlphaScalesByDoubleOnePointTwoEight) {
    Settings s;
    const int pairs[][2] = {{100, 128}, {50, 64}, {99, 126}, {25, 32}, {75, 96}, {0, 0}};
    for (auto [pct, want] : pairs) {
        SCOPED_TRACE(pct);
        settings::set_alpha(s, pct);
        EXPECT_EQ(s.alpha_scaled, want);
        EXPECT_EQ(s.alpha_percent, pct);
    }
    settings::set_alpha(s, INT32_MAX);  // stored as given, derived value saturates
    EXPECT_EQ(s.alpha_percent, INT32_MAX);
    EXPECT_EQ(s.alpha_scaled, INT32_MAX);
}

TEST(Settings, DensityIsStoredMinusOne) {
    Settings s;
    settings::set_density(s, 256);
    EXPECT_EQ(s.density_threshold, 255);
    settings::set_density(s, 0);
    EXPECT_EQ(s.density_threshold, -1);
    settings::set_density(s, INT32_MIN);
    EXPECT_EQ(s.density_threshold, INT32_MAX);  // wraps like the 32-bit original
}

TEST(Settings, MixModeDerivesComplementAndPosteriseStep) {
    Settings s;
    settings::set_mix_mode(s, 40, 255);
    EXPECT_EQ(s.mix_amount_comp, 1);
    EXPECT_EQ(s.posterise_step, 16);
    settings::set_mix_mode(s, 40, 127);
    EXPECT_EQ(s.posterise_step, 0);
    settings::set_mix_mode(s, 40, 0);
    EXPECT_EQ(s.posterise_step, -16);
    settings::set_mix_mode(s, 40, INT32_MIN);  // no overflow in the derived values
    EXPECT_EQ(s.mix_amount, INT32_MIN);
    EXPECT_EQ(s.mix_amount_comp, INT32_MAX);
    EXPECT_LT(s.posterise_step, 0);
}

TEST(Settings, RotationUsesTheEnginesPi) {
    Settings s;
    settings::set_rotate_brush_mode(s, 1, 90);
    EXPECT_FLOAT_EQ(s.rotation_radians, 1.570795f);
    EXPECT_NEAR(s.rotation_sin, 1.0f, 1e-6);
    EXPECT_NEAR(s.rotation_cos, 0.0f, 1e-5);
}

TEST(Settings, StartDirIgnoresTextsOf1024CharactersOrMore) {
    Settings s;
    settings::set_start_dir(s, "/home/painter");
    EXPECT_STREQ(s.start_dir, "/home/painter");
    const std::string long_text(1024, 'x');
    settings::set_start_dir(s, long_text.c_str());
    EXPECT_STREQ(s.start_dir, "/home/painter");
    const std::string fits(1023, 'y');
    settings::set_start_dir(s, fits.c_str());
    EXPECT_EQ(std::string(s.start_dir), fits);
    settings::set_start_dir(s, nullptr);
    EXPECT_EQ(std::string(s.start_dir), fits);
}

TEST(LastError, KeepsTheFirst511CharactersAndIgnoresNull) {
    LastError e;
    const std::string text(600, 'e');
    e.set(text.c_str());
    EXPECT_EQ(std::string(e.text), text.substr(0, 511));
    EXPECT_EQ(e.text[511], '\0');
    e.set("short");
    EXPECT_STREQ(e.text, "short");
    for (int i = 5; i < 512; ++i) ASSERT_EQ(e.text[i], '\0');
    e.set(nullptr);
    EXPECT_STREQ(e.text, "short");
    e.set_failure("DeleteRandArrayBtye");
    EXPECT_STREQ(e.text, "DeleteRandArrayBtye Excpt");
}

TEST(SetPixelRgb24, WritesInsideTheCanvasOnly) {
    EngineState st;
    st.canvas.width = 4;
    st.canvas.height = 3;
    uint8_t buf[3][16] = {};
    settings::set_pixel_rgb24(st, &buf[0][0], 16, 3, 2, 0x1234, 0xFF00, 0x00FF);
    EXPECT_EQ(buf[2][9], 0x12);
    EXPECT_EQ(buf[2][10], 0xFF);
    EXPECT_EQ(buf[2][11], 0x00);
    uint8_t before[3][16];
    std::memcpy(before, buf, sizeof buf);
    settings::set_pixel_rgb24(st, &buf[0][0], 16, 4, 0, 0xFFFF, 0xFFFF, 0xFFFF);
    settings::set_pixel_rgb24(st, &buf[0][0], 16, 0, 3, 0xFFFF, 0xFFFF, 0xFFFF);
    settings::set_pixel_rgb24(st, &buf[0][0], 16, -1, 0, 0xFFFF, 0xFFFF, 0xFFFF);
    settings::set_pixel_rgb24(st, nullptr, 16, 0, 0, 0xFFFF, 0xFFFF, 0xFFFF);
    EXPECT_EQ(std::memcmp(before, buf, sizeof buf), 0);
    // A negative stride walks a bottom-up image.
    settings::set_pixel_rgb24(st, &buf[2][0], -16, 0, 2, 0x0100, 0x0200, 0x0300);
    EXPECT_EQ(buf[0][0], 1);
    EXPECT_EQ(buf[0][2], 3);
}

TEST(DisplayChanged, IsReadAndClearedAndFollowsResumeOnly) {
    EngineState st;
    platform::reset_display_events();
    EXPECT_EQ(settings::take_display_changed(st), 0);
    platform::notify_display_changed();
    EXPECT_EQ(settings::take_display_changed(st), 1);
    EXPECT_EQ(settings::take_display_changed(st), 0);
    platform::notify_power_event(7);
    EXPECT_EQ(settings::take_display_changed(st), 0);
    platform::notify_power_event(18);
    EXPECT_EQ(settings::take_display_changed(st), 1);
}

TEST(RandomByteArray, HoldsLowBytesOfRandModulusAndReseeds) {
    EngineState st;
    settings::set_random_seed(st, 1);
    settings::make_rand_array_byte(st, st.pix_colour_vary, 1000, 5);
    // 41, 18467 % 1000 = 467 -> low byte 0xD3, 6334 % 1000 = 334 -> 0x4E, 500, 169
    const uint8_t want[] = {41, uint8_t(467), uint8_t(334), uint8_t(500), 169};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(st.pix_colour_vary.bytes[size_t(i)], want[i]) << i;
    EXPECT_EQ(st.pix_colour_vary.modulus, 1000);
    EXPECT_EQ(st.pix_colour_vary.length, 5);
    EXPECT_EQ(st.pix_colour_vary.seed, 1u);
}

TEST(RandomByteArray, SameRequestKeepsBytesAndDoesNotReseed) {
    EngineState st;
    settings::set_random_seed(st, 7);
    settings::make_rand_array_byte(st, st.pix_lum_vary, 256, 64);
    const uint8_t* first = st.pix_lum_vary.bytes.data();
    const int next_draw = Rng(st.rng).next();
    settings::make_rand_array_byte(st, st.pix_lum_vary, 256, 64);
    EXPECT_EQ(st.pix_lum_vary.bytes.data(), first);
    EXPECT_EQ(st.rng.next(), next_draw);
    // A new seed rebuilds it.
    settings::set_random_seed(st, 8);
    settings::make_rand_array_byte(st, st.pix_lum_vary, 256, 64);
    EXPECT_EQ(st.pix_lum_vary.seed, 8u);
}

TEST(ImagingSeam, StartsTheFourLibraryPartsInOrderAndReturnsTheLast) {
    EXPECT_EQ(imaging::init(), 1);
    const auto& log = imaginglib::start_log();
    EXPECT_EQ(log.last[0], 1);  // core, effects (new generation), then the old
    EXPECT_EQ(log.last[1], 2);
    EXPECT_EQ(log.last[2], 3);
    EXPECT_EQ(log.last[3], 4);
    imaging::exit();
    EXPECT_EQ(log.last[3], 5);
}

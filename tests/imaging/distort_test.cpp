// Pan, push warp, displacement bump and the extra blur: what reaches the
// destination buffer and the current layer, and the inputs that must change
// nothing.
#include "imaging/distort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "composite/adjust.h"
#include "composite/merge.h"
#include "engine/canvas.h"
#include "engine/imaging_api/imaging.h"
#include "engine/layers.h"
#include "engine/pixels.h"

using namespace qrn;
namespace distort = qrn::imaging::distort;

namespace {

constexpr int32_t kW = 16, kH = 4, kSlot = 2;

std::vector<uint8_t> seeded(size_t n, uint32_t seed, bool opaque) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1664525u + 1013904223u;
        v[i] = uint8_t(seed >> 24);
        if (opaque && i % 4 == 3) v[i] = 255;
    }
    return v;
}

struct Fixture {
    EngineState st;
    explicit Fixture(int32_t w = kW, int32_t h = kH) {
        canvas::create_image(st, nullptr, w, h, 8, 0);
        layers::create_layer(st, kSlot, w, h);
        layers::set_layer(st, kSlot);
        const size_t bytes = size_t(w) * size_t(h) * 4;
        st.work.src32 = Buffer<uint8_t>::make(bytes);
        st.work.dst32 = Buffer<uint8_t>::make(bytes);
        set_src(seeded(bytes, 7, true));
        // A half-transparent layer, so that what a merge leaves alone shows.
        const std::vector<uint8_t> under = seeded(bytes, 99, false);
        pixels::load_rgba32(st, under.data(), w * 4, false);
    }
    void set_src(const std::vector<uint8_t>& v) {
        std::memcpy(st.work.src32.data(), v.data(), v.size());
    }
    std::vector<uint8_t> src() const { return bytes(st.work.src32); }
    std::vector<uint8_t> dst() const { return bytes(st.work.dst32); }
    std::vector<uint16_t> layer() const {
        const auto& p = st.canvas.slots[kSlot].pixels;
        return {p.data(), p.data() + p.size()};
    }
    static std::vector<uint8_t> bytes(const Buffer<uint8_t>& b) {
        return {b.data(), b.data() + b.size()};
    }
};

std::string write_script(const std::string& name, const std::string& text) {
    const std::string path = testing::TempDir() + "distort_" + name + ".qis";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// ---- Pan ------------------------------------------------------------------------------

struct PanCase {
    int32_t edge, dx, dy;
    int32_t r = 0, g = 0, b = 0, a = 0;
};

void PrintTo(const PanCase& c, std::ostream* os) {
    *os << "edge " << c.edge << " by (" << c.dx << ", " << c.dy << ")";
}

// Destination pixel (x, y) of a pan: the source (x - dx, y - dy), wrapped or
// clamped, or outside: transparent for edge 0, else the packed fill colour.
std::vector<uint8_t> pan_model(const std::vector<uint8_t>& src, const PanCase& c) {
    std::vector<uint8_t> out(src.size());
    const uint32_t fill =
        uint32_t(c.r) | uint32_t(c.g) << 8 | uint32_t(c.b) << 16 | uint32_t(c.a) << 24;
    for (int64_t y = 0; y < kH; ++y)
        for (int64_t x = 0; x < kW; ++x) {
            int64_t sx = x - c.dx, sy = y - c.dy;
            if (c.edge == 1) sx = ((sx % kW) + kW) % kW, sy = ((sy % kH) + kH) % kH;
            if (c.edge == 2)
                sx = std::clamp<int64_t>(sx, 0, kW - 1), sy = std::clamp<int64_t>(sy, 0, kH - 1);
            uint8_t* d = &out[size_t(y * kW + x) * 4];
            if (sx >= 0 && sx < kW && sy >= 0 && sy < kH)
                std::memcpy(d, &src[size_t(sy * kW + sx) * 4], 4);
            else
                for (int k = 0; k < 4; ++k) d[k] = c.edge == 0 ? 0 : uint8_t(fill >> (8 * k));
        }
    return out;
}

class Pan : public ::testing::TestWithParam<PanCase> {};

TEST_P(Pan, ShiftsSourceIntoDestinationAndMergesItOverTheLayer) {
    const PanCase& c = GetParam();
    for (const uint8_t locked : {0, 1}) {
        SCOPED_TRACE(int(locked));
        Fixture f, want;
        f.st.canvas.slots[kSlot].alpha_locked = locked;
        want.st.canvas.slots[kSlot].alpha_locked = locked;
        distort::pan(f.st, c.dx, c.dy, c.edge, c.r, c.g, c.b, c.a, 0);
        const std::vector<uint8_t> dst = pan_model(f.src(), c);
        ASSERT_EQ(f.dst(), dst);
        composite::merge_rgba32(want.st, dst.data(), want.st.canvas.slots[kSlot], 0, 255,
                                locked != 0);
        EXPECT_EQ(f.layer(), want.layer());
    }
}

INSTANTIATE_TEST_SUITE_P(
    EdgesAndOffsets, Pan,
    // Edge 0 by (10, 0) is the ten-column transparent strip.
    ::testing::Values(PanCase{0, 10, 0}, PanCase{0, -3, 2}, PanCase{0, INT32_MIN, 0},
                      PanCase{1, 5, -1}, PanCase{1, INT32_MIN, INT32_MAX}, PanCase{2, -20, 3},
                      PanCase{2, INT32_MAX, INT32_MIN}, PanCase{7, 4, 1, 1, 2, 3, 4},
                      // Components are packed as they come: 0x107 spills into green.
                      PanCase{-1, -2, 0, 0x107, 0, 0x20, 0xFF}));

// Weighting by a zero mask takes every alpha away, so the merge leaves the layer.
TEST(PanWeight, ZeroMaskLeavesTheLayer) {
    Fixture f;
    f.st.canvas.mask = Buffer<uint16_t>::make(size_t(kW * kH));
    f.st.settings.mask_enabled = 1;
    const std::vector<uint16_t> before = f.layer();
    distort::pan(f.st, 1, 0, 0, 0, 0, 0, 0, 1);
    EXPECT_EQ(f.layer(), before);
    distort::pan(f.st, 1, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_NE(f.layer(), before);
}

// ---- Missing or mismatched buffers, for every layer operation --------------------------

struct Breakage {
    const char* name;
    std::function<void(EngineState&)> apply;
};

const Breakage kBreakages[] = {
    {"no source", [](EngineState& st) { st.work.src32.reset(); }},
    {"no destination", [](EngineState& st) { st.work.dst32.reset(); }},
    {"short source",
     [](EngineState& st) { st.work.src32 = Buffer<uint8_t>::make(size_t(kW * kH * 4 - 4)); }},
    {"no current layer", [](EngineState& st) { st.canvas.current_slot = -1; }},
    {"current layer not canvas-sized",
     [](EngineState& st) {
         layers::create_layer(st, 5, kW + 1, kH);
         st.canvas.current_slot = 5;
     }},
};

TEST(DistortWithoutBuffers, NothingChanges) {
    const std::string flat = write_script("flat_any", "QIS 1\nheader 1 1 1 0xFF808080 4 4\nend\n");
    const std::pair<const char*, std::function<void(EngineState&)>> ops[] = {
        {"pan", [](EngineState& st) { distort::pan(st, 3, 1, 0, 0, 0, 0, 0, 1); }},
        {"pan wrap", [](EngineState& st) { distort::pan(st, 3, 1, 1, 0, 0, 0, 0, 0); }},
        {"warp", [](EngineState& st) { distort::warp_point_to_point(st, 2, 1, 6, 2); }},
        {"bump", [&](EngineState& st) { distort::displacement_bump(st, flat.c_str(), 3.0, 0); }},
    };
    for (const Breakage& b : kBreakages)
        for (const auto& [name, op] : ops) {
            SCOPED_TRACE(std::string(b.name) + " / " + name);
            Fixture f;
            b.apply(f.st);
            const std::vector<uint8_t> src = f.src(), dst = f.dst();
            const std::vector<uint16_t> layer = f.layer();
            op(f.st);
            EXPECT_EQ(f.src(), src);
            EXPECT_EQ(f.dst(), dst);
            EXPECT_EQ(f.layer(), layer);
        }
}

// ---- Warp -----------------------------------------------------------------------------

TEST(Warp, PixelAtTheEndPointTakesTheStartPointAndFarPixelsStay) {
    Fixture f;
    std::vector<uint8_t> src = f.src();
    src[(1 * kW + 13) * 4 + 3] = 128;  // one half-transparent pixel, far from the push
    f.set_src(src);
    distort::warp_point_to_point(f.st, 3, 1, 6, 2);
    const std::vector<uint8_t> dst = f.dst();
    const std::vector<uint16_t> layer = f.layer();
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(dst[(2 * kW + 6) * 4 + k], src[(1 * kW + 3) * 4 + k]);
        EXPECT_EQ(layer[(2 * kW + 6) * 4 + k], src[(1 * kW + 3) * 4 + k] << 8);
        // Beyond twice the push distance nothing moves.
        EXPECT_EQ(dst[(3 * kW + 15) * 4 + k], src[(3 * kW + 15) * 4 + k]);
    }
    // The source is left premultiplied.
    composite::pre_filter_rgba32(src.data(), kW, kH);
    EXPECT_EQ(f.src(), src);
}

// ---- Extra blur -----------------------------------------------------------------------

std::vector<uint8_t> blurred(const std::vector<uint8_t>& in, int32_t w, int32_t h, int32_t radius,
                             double amount) {
    std::vector<uint8_t> out(in.size());
    EXPECT_TRUE(
        imaging::blur_more(in.data(), w, h, out.data(), 3, w * 3, w * 3, radius, amount, 15));
    return out;
}

TEST(BlurMore, RadiusIsTheSettingOverFiveAndAmountASinglePrecisionFraction) {
    struct Case {
        int32_t setting, amount, radius;
        double fraction;
    };
    const Case cases[] = {{4, 100, 0, 1.0},  {5, 100, 1, 1.0},          {14, 100, 2, 1.0},
                          {-4, 100, 0, 1.0}, {9, 33, 1, double(0.33f)}, {0, 250, 0, 2.5}};
    constexpr int32_t w = 9, h = 7;
    const std::vector<uint8_t> image = seeded(size_t(w * h * 3), 3, false);
    // The two first radii give different pictures, so radius 0 is really told apart.
    ASSERT_NE(blurred(image, w, h, 0, 1.0), blurred(image, w, h, 1, 1.0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting);
        std::vector<uint8_t> buf = image;
        distort::blur_more_rgb24(buf.data(), w, h, c.setting, c.amount);
        EXPECT_EQ(buf, blurred(image, w, h, c.radius, c.fraction));
    }
}

TEST(BlurMore, UnusableSizesOrRadiusLeaveTheBuffer) {
    const std::vector<uint8_t> image = seeded(64 * 3, 5, false);
    const int32_t sizes[][3] = {{0, 4, 4}, {4, -1, 4}, {10001, 1, 4}, {4, 4, -5}};
    for (const auto& s : sizes) {
        std::vector<uint8_t> buf = image;
        distort::blur_more_rgb24(buf.data(), s[0], s[1], s[2], 100);
        EXPECT_EQ(buf, image);
    }
    distort::blur_more_rgb24(nullptr, 4, 4, 4, 100);
}

// ---- Displacement bump ----------------------------------------------------------------

TEST(Bump, ScriptsThatDoNotRenderLeaveTheLayer) {
    const std::string cases[] = {
        testing::TempDir() + "distort_no_such_script.qis",
        write_script("zero_width", "QIS 1\nheader 1 1 1 0xFF808080 0 4\nend\n"),
        write_script("too_wide", "QIS 1\nheader 1 1 1 0xFF808080 10001 4\nend\n"),
        write_script("cut_off", "QIS 1\nheader 1 1 1 0xFF808080 4 4\n"),
        write_script("not_a_script", "P6 4 4 255\n"),
    };
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        Fixture f;
        const std::vector<uint8_t> dst = f.dst();
        const std::vector<uint16_t> layer = f.layer();
        distort::displacement_bump(f.st, path.c_str(), 50.0, 0x123456);
        EXPECT_EQ(f.dst(), dst);
        EXPECT_EQ(f.layer(), layer);
    }
    Fixture f;
    const std::vector<uint16_t> layer = f.layer();
    distort::displacement_bump(f.st, nullptr, 50.0, 0);
    EXPECT_EQ(f.layer(), layer);
}

// A 3 x 1 picture black, black, white tiled over the canvas gives a grey map of
// period 3; the slope (m(x + 1) - m(x - 1)) x amount / 510 at amount 2 moves
// columns 1 and 3 of each period by +1 and -1 pixel. Far too large an amount
// sends every moved pixel outside, where the fill colour comes in.
TEST(Bump, TiledScriptMovesPixelsAlongItsSlope) {
    const std::string path =
        write_script("stripes", "QIS 1\nheader 1 1 1 0xFF000000 3 1\neffect 104 6=2\nend\n");
    const auto grey = [](int64_t x) {
        return std::clamp<int64_t>(x, 0, kW - 1) % 3 == 2 ? 255 : 0;
    };
    for (const double amount : {2.0, 1e9}) {
        SCOPED_TRACE(amount);
        Fixture f;
        const std::vector<uint8_t> src = f.src();
        distort::displacement_bump(f.st, path.c_str(), amount, 0x00332211);
        const std::vector<uint8_t> dst = f.dst();
        const std::vector<uint16_t> layer = f.layer();
        for (int64_t y = 0; y < kH; ++y)
            for (int64_t x = 0; x < kW; ++x) {
                const int64_t slope = grey(x + 1) - grey(x - 1);
                const size_t i = size_t(y * kW + x) * 4;
                if (slope != 0 && amount > 100) {
                    EXPECT_EQ(dst[i] | dst[i + 1] << 8 | dst[i + 2] << 16 | dst[i + 3] << 24,
                              0x00332211);
                    EXPECT_EQ(layer[i + 3], 0);  // a transparent load clears the pixel
                    continue;
                }
                const int64_t sx = x + slope / 255;
                for (int k = 0; k < 4; ++k) {
                    EXPECT_EQ(dst[i + size_t(k)], src[size_t(y * kW + sx) * 4 + size_t(k)]) << x;
                    EXPECT_EQ(layer[i + size_t(k)], dst[i + size_t(k)] << 8) << x;
                }
            }
    }
}

}  // namespace

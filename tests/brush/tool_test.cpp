// Tool and brush shape: circular tip, scale map, procedural grit, shapes and
// grit from files, and the clamps that keep later dabs inside their buffers.
#include "brush/tool.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/canvas.h"
#include "engine/imaging_api/imaging.h"
#include "engine/imaging_api/scripts.h"
#include "engine/settings.h"

using namespace qrn;

namespace {

std::unique_ptr<EngineState> make_state(int32_t b, uint32_t seed = 1) {
    auto st = std::make_unique<EngineState>();
    settings::set_random_seed(*st, seed);
    canvas::create_image(*st, nullptr, 32, 32, b, 0);
    return st;
}

brush::ToolSettings tool(int32_t g = 0, int32_t coverage = 0, int32_t fill = 0) {
    brush::ToolSettings t;
    t.shape_strength = 1.0f;
    t.grit_size = g;
    t.grit_coverage = coverage;
    t.grit_fill = fill;
    t.grit_repeat = 7;
    return t;
}

uint16_t shape_at(const EngineState& st, int row, int col) {
    return st.brush.shape[size_t(row) * size_t(st.canvas.max_brush) + size_t(col)];
}
std::vector<uint16_t> shape_of(const EngineState& st) {
    return {st.brush.shape.data(), st.brush.shape.data() + st.brush.shape.size()};
}
std::vector<uint8_t> grit_of(const EngineState& st, size_t k) {
    const auto& g = st.brush.grit[k];
    return {g.data(), g.data() + g.size()};
}

void tip(EngineState& st, int32_t size, uint8_t softness, float strength, uint8_t invert = 0) {
    brush::set_size(st, size);
    brush::ToolSettings t = tool();
    t.softness = softness;
    t.shape_strength = strength;
    t.invert_shape = invert;
    brush::set_tool(st, t);
}

Rng seeded(uint32_t seed, int draws = 0) {
    Rng r;
    r.seed(seed);
    for (int i = 0; i < draws; ++i) r.next();
    return r;
}

std::string temp_path(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("qrn_tool_" + std::to_string(getpid()) + "_" + name))
        .string();
}

struct TempFile {
    std::string path;
    ~TempFile() { std::filesystem::remove(path); }
};

// A grey picture as an opaque RGBA PNG (R = G = B).
TempFile write_png(const std::string& name, int w, int h,
                   const std::function<uint8_t(int, int)>& grey) {
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * 4, 255);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) std::memset(&rgba[size_t(y * w + x) * 4], grey(x, y), 3);
    TempFile f{temp_path(name + ".png")};
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(w);
    img.height = png_uint_32(h);
    img.format = PNG_FORMAT_RGBA;
    EXPECT_NE(png_image_write_to_file(&img, f.path.c_str(), 0, rgba.data(), w * 4, nullptr), 0);
    return f;
}

TempFile write_text(const std::string& name, const std::string& text) {
    TempFile f{temp_path(name)};
    std::ofstream(f.path, std::ios::binary) << text;
    return f;
}

// Noise at a size that does not divide 600, so the last tiles are cut off.
constexpr const char* kNoiseScript =
    "QIS 1\nheader 1 1 99 0xFF808080 37 23\neffect 102 6=4 7=4 8=50\nend\n";

uint8_t stripes4(int x, int) { return (x / 4) % 2 ? 0 : 255; }

}  // namespace

// ---- Circular tip ---------------------------------------------------------

TEST(CircularTip, HardTipIsFullUpToTheTruncatedDistance) {
    auto st = make_state(16);
    tip(*st, 11, 0, 1.0f);
    EXPECT_EQ(shape_at(*st, 5, 5), 65535);
    EXPECT_EQ(shape_at(*st, 0, 5), 65535);  // d = 5
    EXPECT_EQ(shape_at(*st, 1, 1), 65535);  // sqrt(32) = 5.66 truncates to 5 <= 5.5
    EXPECT_EQ(shape_at(*st, 0, 1), 0);      // d = 6
    EXPECT_EQ(shape_at(*st, 0, 0), 0);      // d = 7
    for (int r = 0; r < 16; ++r)
        for (int c = 11; c < 16; ++c) ASSERT_EQ(shape_at(*st, r, c) + shape_at(*st, c, r), 0);

    tip(*st, 10, 0, 1.0f);  // M = 5, R = 5: even sizes sit off centre
    auto full_in_row = [&](int r) {
        int n = 0;
        for (int c = 0; c < 10; ++c) n += shape_at(*st, r, c) == 65535;
        return n;
    };
    EXPECT_EQ(full_in_row(0), 7);
    EXPECT_EQ(full_in_row(9), 9);
}

TEST(CircularTip, SoftnessRampsLinearlyFromTheInnerRadius) {
    auto st = make_state(16);
    tip(*st, 11, 255, 1.0f);
    const uint16_t by_distance[6] = {65535, 53619, 41704, 29788, 17873, 5957};
    for (int d = 0; d <= 5; ++d) EXPECT_EQ(shape_at(*st, 5 - d, 5), by_distance[d]) << d;
    EXPECT_EQ(shape_at(*st, 1, 1), 5957);

    tip(*st, 11, 128, 1.0f);  // inner radius 2.74
    EXPECT_EQ(shape_at(*st, 3, 5), 65535);
    EXPECT_EQ(shape_at(*st, 2, 5), 59344);
    EXPECT_EQ(shape_at(*st, 0, 5), 11868);
}

TEST(CircularTip, InvertAndStrengthApplyToTheRealRamp) {
    auto st = make_state(16);
    tip(*st, 11, 0, 1.0f, 1);
    EXPECT_EQ(shape_of(*st), std::vector<uint16_t>(256, 0));
    tip(*st, 11, 255, 1.0f, 1);
    EXPECT_EQ(shape_at(*st, 5, 5), 0);
    EXPECT_EQ(shape_at(*st, 0, 5), 59577);  // |trunc(5957.73 - 65535)|
    EXPECT_EQ(shape_at(*st, 0, 0), 0);      // outside the radius stays 0

    tip(*st, 11, 0, 0.5f);
    EXPECT_EQ(shape_at(*st, 5, 5), 32767);
    tip(*st, 11, 255, 0.5f);
    EXPECT_EQ(shape_at(*st, 0, 5), 2978);  // trunc(5957.73 x 0.5)
    for (float s : {1.5f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        tip(*st, 11, 0, s);
        EXPECT_EQ(shape_at(*st, 5, 5), s > 1 ? 65535 : 0) << s;  // clamped, never wrapped
    }
}

// ---- Size and scale map ---------------------------------------------------

TEST(BrushSize, ClampsToTheBuffersAndTheScaleMap) {
    auto st = make_state(64);
    brush::set_size(*st, 5000);
    EXPECT_EQ(st->brush.size, 64);
    EXPECT_EQ(st->brush.footprint, 64);
    EXPECT_EQ(st->brush.scale_map[63], 63);
    brush::set_size(*st, -7);
    EXPECT_EQ(st->brush.size, 0);
    auto big = make_state(1001);
    brush::set_size(*big, 1001);
    EXPECT_EQ(big->brush.size, 1000);  // the scale map has 1000 entries
}

TEST(ScaleMap, SamplesStripCentresWithAnAccumulatedStep) {
    struct Case {
        int32_t size, request, footprint;
        std::vector<int32_t> map;
    };
    const Case cases[] = {
        {40, 0, 1, {20}},
        {40, 5000, 40, {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,
                        14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                        28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39}},
        {40, 10, 10, {2, 6, 10, 14, 18, 22, 26, 30, 34, 38}},
        {10, 3, 3, {1, 5, 8}},  // accumulated 3.333f reaches 5.0; r / 2 + 1 x r gives 4
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "S " << c.size << " request " << c.request);
        auto st = make_state(64);
        brush::set_size(*st, c.size);
        brush::set_scale_size(*st, c.request);
        ASSERT_EQ(st->brush.footprint, c.footprint);
        EXPECT_EQ(std::vector<int32_t>(st->brush.scale_map.begin(),
                                       st->brush.scale_map.begin() + c.footprint),
                  c.map);
    }
}

TEST(ScaleMap, EmptyBrushLeavesTheMapAndFootprintsStopAt999) {
    auto st = make_state(1000);
    brush::set_size(*st, 5);
    brush::set_size(*st, 0);
    brush::set_scale_size(*st, 3);
    EXPECT_EQ(st->brush.footprint, 0);
    EXPECT_EQ(st->brush.scale_map[4], 4);
    brush::set_size(*st, 1000);
    brush::set_scale_size(*st, 1000);
    EXPECT_EQ(st->brush.footprint, 999);
    EXPECT_EQ(st->brush.scale_map[998], 999);
}

// ---- Procedural grit ------------------------------------------------------

namespace {

// Reference for a brush whose (S + 25) square fits in a row of b: per block row
// a placement then a value offset; one placement byte per block and one per
// in-square pixel of a placed block, one value byte per placed block.
std::vector<uint8_t> expected_grit(const EngineState& st, int32_t s, int32_t g, int32_t coverage,
                                   int32_t fill, Rng& rng) {
    const int64_t side = s + 25, b = st.canvas.max_brush;
    const uint8_t* place = st.grit_placement.bytes.data();
    const uint8_t* value = st.grit_value.bytes.data();
    std::vector<uint8_t> buf(size_t((b + 25) * (b + 25)), 255);
    for (int64_t r = 0; r < side; r += g) {
        size_t p = size_t(rng.next()) * ((1000000u - 2u * uint32_t(g)) / 32767u);
        size_t q = size_t(rng.next()) * ((1000000u - uint32_t(g)) / 32767u);
        for (int64_t c = 0; c < side; c += g) {
            if (place[p++] >= coverage) continue;
            const uint8_t u = value[q++];
            for (int64_t i = 0; i < g && r + i < side; ++i)
                for (int64_t j = 0; j < g && c + j < side; ++j)
                    if (place[p++] < fill) buf[size_t((r + i) * b + c + j)] = u;
        }
    }
    return buf;
}

}  // namespace

TEST(ProceduralGrit, MatchesTheBlockLayoutForEachThreshold) {
    const std::pair<int32_t, int32_t> thresholds[] = {
        {255, 255}, {128, 128}, {40, 200}, {255, 0}, {0, 255}};
    for (auto [coverage, fill] : thresholds) {
        SCOPED_TRACE(testing::Message() << "coverage " << coverage << " fill " << fill);
        auto st = make_state(64, 7);
        brush::set_size(*st, 11);
        brush::set_tool(*st, tool(5, coverage, fill));
        Rng rng = seeded(7);
        for (size_t k = 0; k < kGritBuffers; ++k) {
            ASSERT_EQ(grit_of(*st, k), expected_grit(*st, 11, 5, coverage, fill, rng)) << k;
            if (coverage == 0) {
                ASSERT_EQ(grit_of(*st, k), std::vector<uint8_t>(89 * 89, 255));
            }
        }
        EXPECT_EQ(st->rng.state(), rng.state());  // 2 draws per block row, nothing else
        EXPECT_EQ(st->brush.grit_countdown, 7);
    }
}

TEST(ProceduralGrit, SameSeedAndToolGiveTheSameGrit) {
    auto a = make_state(64, 12345), b = make_state(64, 12345), other = make_state(64, 54321);
    for (EngineState* st : {a.get(), b.get(), other.get()}) {
        brush::set_size(*st, 40);
        brush::set_tool(*st, tool(4, 200, 150));
    }
    brush::set_tool(*a, tool(4, 200, 150));  // reseeded on entry: unchanged
    bool differs = false;
    for (size_t k = 0; k < kGritBuffers; ++k) {
        ASSERT_EQ(grit_of(*a, k), grit_of(*b, k)) << k;
        differs |= grit_of(*a, k) != grit_of(*other, k);
    }
    EXPECT_TRUE(differs);
}

TEST(ProceduralGrit, ReadsWrapToTheStartOfShortArrays) {
    // Placement bytes all 0, so every pixel takes value byte (q + block) mod 7.
    auto st = make_state(64, 3);
    st->grit_placement.bytes = Buffer<uint8_t>::make(100);
    st->grit_placement.length = 100;
    st->grit_value.bytes = Buffer<uint8_t>::make(7);
    st->grit_value.length = 7;
    for (size_t i = 0; i < 7; ++i) st->grit_value.bytes[i] = uint8_t(10 + i);
    brush::set_size(*st, 11);
    brush::set_tool(*st, tool(5, 255, 255));
    Rng rng = seeded(3);
    for (size_t k = 0; k < kGritBuffers; ++k)
        for (int r = 0; r < 36; r += 5) {
            rng.next();
            const uint32_t q = uint32_t(rng.next()) * ((1000000u - 5u) / 32767u);
            for (int c = 0; c < 36; c += 5)
                ASSERT_EQ(st->brush.grit[k][size_t(r * 64 + c)], 10 + (q + uint32_t(c / 5)) % 7);
        }
}

TEST(ProceduralGrit, LargestBrushStaysInsideTheArraysAndUsesRowLengthB) {
    // S = 1000, g = 20, all placed: a block row consumes ~53,000 placement
    // bytes, more than lie behind most offsets (run under ASan). The 1025
    // square at row length 1000 covers bytes 0 .. 1024 x 1000 + 1024 exactly.
    auto st = make_state(1000);
    brush::set_size(*st, 1000);
    brush::set_tool(*st, tool(20, 255, 255));
    const size_t last = 1024 * 1000 + 1024;
    for (const auto& g : st->brush.grit) {
        for (size_t i = 0; i <= last; ++i) ASSERT_LT(g[i], 254) << i;
        for (size_t i = last + 1; i < g.size(); ++i) ASSERT_EQ(g[i], 255) << i;
    }
}

TEST(ProceduralGrit, NegativeSizeOrNoCanvasBuildsNothing) {
    auto st = make_state(16, 9);
    brush::set_size(*st, 11);
    st->brush.grit_countdown = -4;
    brush::set_tool(*st, tool(-3, 255, 255));
    EXPECT_EQ(st->brush.grit_size, -3);
    EXPECT_EQ(grit_of(*st, 0), std::vector<uint8_t>(41 * 41, 255));
    EXPECT_EQ(st->rng.state(), seeded(9).state());  // reseeded, nothing drawn
    EXPECT_EQ(st->brush.grit_countdown, -4);

    EngineState none;
    brush::set_size(none, 11);
    brush::ToolSettings t = tool(5, 255, 255);
    t.grit_source = t.shape_path = "/nonexistent/x.png";
    brush::set_tool(none, t);
    EXPECT_EQ(none.settings.mix_mode, 32);
}

TEST(ProceduralGrit, RebuiltGritDropsTheDabsChoiceAndOtherwiseKeepsAFittingOne) {
    auto st = make_state(16);
    brush::set_size(*st, 11);
    st->brush.grit_choice = 3;
    st->brush.grit_offset = 24 * 16 + 24;
    brush::set_tool(*st, tool(5, 255, 255));
    EXPECT_EQ(st->brush.grit_choice, -1);  // fresh grit, fresh run
    st->brush.grit_choice = 3;
    st->brush.grit_offset = 24 * 16 + 24;
    brush::set_tool(*st, tool(0, 255, 255));  // no grit built: the choice stays
    EXPECT_EQ(st->brush.grit_choice, 3);
    st->brush.grit_offset = 41 * 41;
    brush::set_tool(*st, tool(0, 255, 255));
    EXPECT_EQ(st->brush.grit_choice, -1);
}

// ---- Tool settings --------------------------------------------------------

TEST(Tool, ComplementsFollowTheShapeAndOneShotFlagsClear) {
    auto st = make_state(20, 5);
    Settings& s = st->settings;
    s.blend_strength_comp = 99;
    s.temp_disable_blend = s.mask_maker_on = s.erase_mode_on = 1;
    s.mix_mode = 40;
    brush::ToolSettings t = tool();
    t.primary_strength = 56;  // blend strength 0 keeps the old complement
    brush::set_tool(*st, t);
    EXPECT_EQ(s.blend_strength_comp, 99);
    EXPECT_EQ(s.primary_strength_comp, 200);
    EXPECT_EQ(s.temp_disable_blend + s.mask_maker_on + s.erase_mode_on, 0);
    EXPECT_EQ(s.mix_mode, 32);

    brush::set_pix_colour_vary(*st, 0);
    EXPECT_TRUE(st->pix_colour_vary.bytes.empty());
    brush::set_pix_colour_vary(*st, 8);
    brush::set_pix_lum_vary(*st, 8);
    EXPECT_EQ(st->pix_colour_vary.length, 60);  // 3 x b, read per footprint row by the dab
    EXPECT_EQ(st->pix_lum_vary.modulus, 256);
}

// ---- Shapes and grit from files -------------------------------------------

TEST(ImageShape, IsReadOnceForTheSamePathAndAngle) {
    const TempFile file = write_png("stripes", 40, 40, stripes4);
    auto st = make_state(64);
    brush::set_size(*st, 40);
    brush::ToolSettings t = tool();
    t.shape_path = file.path.c_str();
    const int64_t reads = imaging::image_file_reads();
    brush::set_tool(*st, t);
    st->brush.grit_countdown = 0;
    brush::set_brush_shape(*st, file.path.c_str(), 0);
    EXPECT_EQ(imaging::image_file_reads(), reads + 1);
    EXPECT_EQ(st->brush.grit_countdown, 7);  // the image path resets it too
    for (int r = 0; r < 40; ++r)             // row x b + column, not transposed
        for (int c = 0; c < 40; ++c) ASSERT_EQ(shape_at(*st, r, c), (c / 4) % 2 ? 0 : 65280);

    brush::set_brush_shape(*st, file.path.c_str(), 90);
    brush::set_brush_shape(*st, file.path.c_str(), 90);
    EXPECT_EQ(imaging::image_file_reads(), reads + 2);
    for (int r = 0; r < 40; ++r)  // the stripes now run along the rows
        for (int c = 1; c < 40; ++c) ASSERT_EQ(shape_at(*st, r, c), shape_at(*st, r, 0));
    EXPECT_NE(shape_at(*st, 0, 0), shape_at(*st, 4, 0));
}

TEST(ImageShape, SamplerIsChosenOnWidthAloneAndStrengthClamps) {
    const TempFile file = write_png("stripes_small", 40, 40, stripes4);
    auto st = make_state(64);
    brush::set_size(*st, 20);  // S < w: area average halves the stripes
    st->brush.shape_strength = 1.0f;
    brush::set_brush_shape(*st, file.path.c_str(), 0);
    for (int c = 0; c < 20; ++c) EXPECT_EQ(shape_at(*st, 7, c), (c / 2) % 2 ? 0 : 65280) << c;

    // 10 x 80 into 20 x 20: narrower than the brush, so resized although taller.
    const TempFile tall =
        write_png("tall", 10, 80, [](int x, int) { return uint8_t(x % 2 ? 0 : 255); });
    std::vector<uint8_t> src, resized(20 * 20 * 4), decimated(20 * 20 * 4), grey(20 * 20);
    int32_t w = 0, h = 0;
    ASSERT_TRUE(imaging::read_image_file(tall.path.c_str(), src, w, h));
    ASSERT_TRUE(imaging::resize(src.data(), w, h, w * 4, resized.data(), 20, 20, 80, 4));
    ASSERT_TRUE(imaging::decimate(src.data(), w, h, w * 4, decimated.data(), 20, 20, 80, 4));
    ASSERT_NE(resized, decimated);
    ASSERT_TRUE(imaging::grey8(resized.data(), 20, 20, 80, grey.data(), 20));
    brush::set_brush_shape(*st, tall.path.c_str(), 0);
    for (int r = 0; r < 20; ++r)
        for (int c = 0; c < 20; ++c) ASSERT_EQ(shape_at(*st, r, c), grey[size_t(r * 20 + c)] << 8);

    const TempFile white = write_png("white", 8, 8, [](int, int) { return uint8_t(255); });
    brush::set_size(*st, 8);
    st->brush.shape_strength = 2.0f;
    brush::set_brush_shape(*st, white.path.c_str(), 0);
    EXPECT_EQ(shape_at(*st, 3, 3), 65535);  // not 130560 wrapped
    st->brush.shape_strength = 0.5f;
    brush::set_brush_shape(*st, white.path.c_str(), 0);
    EXPECT_EQ(shape_at(*st, 3, 3), 32640);
}

TEST(ImageShape, UnusablePathsFallBackToTheCircularTip) {
    const TempFile script = write_text("shape.qis", kNoiseScript);
    auto st = make_state(16);
    brush::set_size(*st, 11);
    st->brush.shape_strength = 1.0f;
    brush::set_brush_shape(*st, "", 0);
    const std::vector<uint16_t> circle = shape_of(*st);
    for (const char* path :
         {"/nonexistent/shape.png", "x", static_cast<const char*>(nullptr), script.path.c_str()}) {
        SCOPED_TRACE(path ? path : "null");
        brush::set_brush_shape(*st, path, 0, brush::ShapeSource::ImageOnly);  // never a script
        EXPECT_EQ(shape_of(*st), circle);
    }
    brush::set_brush_shape(*st, script.path.c_str(), 0);
    EXPECT_NE(shape_at(*st, 0, 0), 0);  // the noise fills the corner the tip leaves empty

    brush::set_size(*st, 0);  // nothing to sample into: the shape stays cleared
    brush::set_brush_shape(*st, script.path.c_str(), 5);
    EXPECT_EQ(shape_of(*st), std::vector<uint16_t>(256, 0));
}

namespace {

// Each buffer holds the source window at (x, y), x drawn before y; on an axis
// where the source is not larger than S + 25 the numbers are drawn but 0 is
// used, and only the part of the window inside the source is copied.
void expect_grit_windows(const EngineState& st, const std::vector<uint8_t>& grey, int w, int h,
                         int s, uint32_t seed) {
    const int win = s + 25, b = st.canvas.max_brush;
    Rng rng = seeded(seed);
    for (size_t k = 0; k < kGritBuffers; ++k) {
        const int rx = rng.next(), ry = rng.next();
        const int x = w > win ? rx % (w - win) : 0, y = h > win ? ry % (h - win) : 0;
        const auto& g = st.brush.grit[k];
        for (size_t n = 0; n < g.size(); ++n) {
            const int i = int(n) / b, j = int(n) % b;
            const bool inside = i < std::min(win, h - y) && j < std::min(win, w - x) && i < b;
            ASSERT_EQ(g[n], inside ? grey[size_t((y + i) * w + x + j)] : 255)
                << k << ": " << i << "," << j;
        }
    }
    EXPECT_EQ(st.rng.state(), rng.state());
}

std::vector<uint8_t> grey_of(const std::vector<uint8_t>& rgba, int w, int h) {
    std::vector<uint8_t> grey(size_t(w) * size_t(h));
    EXPECT_TRUE(imaging::grey8(rgba.data(), w, h, int64_t(w) * 4, grey.data(), w));
    return grey;
}

void grit_from(EngineState& st, const std::string& source, int s) {
    brush::set_size(st, s);
    brush::ToolSettings t = tool();
    t.grit_source = source.c_str();
    st.brush.grit_countdown = 0;
    brush::set_tool(st, t);
    EXPECT_EQ(st.brush.grit_countdown, 7);
}

}  // namespace

TEST(GritSource, ImageWindowsFitOrAreCutAtTheImageEdge) {
    struct Case {
        int w, h;
    };
    for (Case c : {Case{100, 80}, Case{20, 12}, Case{100, 30}}) {
        SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
        const TempFile file = write_png(
            "grit", c.w, c.h, [](int x, int y) { return uint8_t((x * 7 + y * 3) % 250); });
        std::vector<uint8_t> rgba;
        int32_t w = 0, h = 0;
        ASSERT_TRUE(imaging::read_image_file(file.path.c_str(), rgba, w, h));
        auto st = make_state(64, 21);
        grit_from(*st, file.path, 11);
        expect_grit_windows(*st, grey_of(rgba, w, h), w, h, 11, 21);
    }
}

TEST(GritSource, ScriptImageIsTiledOverA600Square) {
    const TempFile file = write_text("grit.qis", kNoiseScript);
    std::vector<uint8_t> tile, tiled(600 * 600 * 4);
    int32_t w = 0, h = 0;
    ASSERT_TRUE(scripts::render(file.path.c_str(), tile, w, h));
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 600; ++x)
            std::memcpy(&tiled[size_t(y * 600 + x) * 4], &tile[size_t((y % h) * w + x % w) * 4], 4);
    auto st = make_state(64, 17);
    grit_from(*st, file.path, 30);
    expect_grit_windows(*st, grey_of(tiled, 600, 600), 600, 600, 30, 17);
}

TEST(GritSource, UnloadableSourceKeepsTheProceduralGrit) {
    // A script of width 0 would tile forever; it counts as not loadable.
    const TempFile empty = write_text("empty.qis", "QIS 1\nheader 1 1 99 0xFF808080 0 23\nend\n");
    auto plain = make_state(64, 8);
    brush::set_size(*plain, 11);
    brush::ToolSettings t = tool(5, 200, 100);
    brush::set_tool(*plain, t);
    for (const char* source : {"/nonexistent/grit.png", empty.path.c_str()}) {
        SCOPED_TRACE(source);
        auto sourced = make_state(64, 8);
        brush::set_size(*sourced, 11);
        t.grit_source = source;
        brush::set_tool(*sourced, t);
        for (size_t k = 0; k < kGritBuffers; ++k)
            ASSERT_EQ(grit_of(*plain, k), grit_of(*sourced, k));
        EXPECT_EQ(plain->rng.state(), sourced->rng.state());
    }
}

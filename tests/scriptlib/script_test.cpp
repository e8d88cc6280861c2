// The image-script library: format, protocol, effects, and the engine's seam.
#include "scriptlib/script.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/imaging_api/scripts.h"

using namespace qrn::scriptlib;
using Bytes = std::vector<uint8_t>;

namespace {

std::string write_temp(const std::string& name, const std::string& text) {
    const std::string path = ::testing::TempDir() + "qis_" + name;
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    return path;
}

std::string script(int32_t w, int32_t h, const std::string& effects, int32_t seed = 5,
                   const char* background = "0") {
    return "QIS 1\nheader 1 0 " + std::to_string(seed) + " " + background + " " +
           std::to_string(w) + " " + std::to_string(h) + "\n" + effects + "end\n";
}

Bytes render_text(const std::string& text) {
    Script s;
    EXPECT_TRUE(parse_script(text, s)) << text;
    Bytes px(size_t(s.header.width) * size_t(s.header.height) * 4, 0xEE);
    EXPECT_TRUE(render_script(s, px.data()));
    return px;
}

Bytes pixel(const Bytes& px, int32_t w, int32_t x, int32_t y) {
    const auto at = px.begin() + ptrdiff_t((size_t(y) * size_t(w) + size_t(x)) * 4);
    return Bytes(at, at + 4);
}

Bytes random_pixels(int32_t w, int32_t h, uint32_t seed) {
    Bytes px(size_t(w) * size_t(h) * 4);
    for (uint8_t& b : px) b = uint8_t((seed = seed * 1664525u + 1013904223u) >> 24);
    return px;
}

// One effect through the seam, as the engine runs it.
bool run(int32_t effect, std::vector<int32_t> slots, Bytes& px, int32_t w, int32_t h) {
    return qrn::scripts::run_effect(effect, slots.data(), int32_t(slots.size()), px.data(), w, h);
}

}  // namespace

TEST(ScriptFormat, ReadsHeaderFieldsAndSlotsOverDefaults) {
    Script s;
    ASSERT_TRUE(parse_script("QIS 1\r\n# comment\r\n"
                             "\theader 1 1 -42 0xFF102030 10000 480  # size\r\n\r\n"
                             "effect 102 6=32 9=-2147483648\r\n"
                             "effect 100 3=0xffffffff 4=2147483647\r\n"
                             "end\r\n# only comments after the end",
                             s));
    EXPECT_EQ(s.header.flags, kFlagOpaque);
    EXPECT_EQ(s.header.seed, -42);
    EXPECT_EQ(uint32_t(s.header.background), 0xFF102030u);
    EXPECT_EQ(s.header.width, 10000);
    EXPECT_EQ(s.header.height, 480);
    EXPECT_EQ(s.header.effect_count, 2);
    ASSERT_EQ(s.effects.size(), 2u);
    EXPECT_EQ(s.effects[0].slots[6 - kFirstSlot], 32);
    EXPECT_EQ(s.effects[0].slots[9 - kFirstSlot], INT32_MIN);
    EXPECT_EQ(s.effects[0].slots[7 - kFirstSlot], default_call(kNoise).slots[7 - kFirstSlot]);
    EXPECT_EQ(s.effects[1].slots[0], -1);
    EXPECT_EQ(s.effects[1].slots[1], INT32_MAX);
}

TEST(ScriptFormat, RejectsEveryMalformedScript) {
    std::string too_many;
    for (size_t i = 0; i <= kMaxEffects; ++i) too_many += "effect 111\n";
    const std::string valid = script(8, 8, "effect 100\n");
    const char nul[] = "QIS 1\nheader 1 0 0 0 8 8\nend\0\n";
    const std::string cases[] = {
        "",
        "QIS1\nheader 1 0 0 0 8 8\nend\n",      // magic
        "\nQIS 1\nheader 1 0 0 0 8 8\nend\n",   // magic not first
        "QIS 2\nheader 1 0 0 0 8 8\nend\n",     // grammar
        "QIS 1\nheader 2 0 0 0 8 8\nend\n",     // version
        "QIS 1\nheader 1 2 0 0 8 8\nend\n",     // unknown flag
        "QIS 1\nheader 1 0 0 0 8\nend\n",       // five numbers
        "QIS 1\nheader 1 0 0 0 8 8 8\nend\n",   // seven
        script(0, 8, ""), script(8, 0, ""), script(-8, 8, ""), script(20000, 8, ""),
        script(8, 10001, ""),
        script(8, 8, "effect 7\n"),              // unknown effect
        script(8, 8, "effect 100 2=1\n"),        // slots start at 3
        script(8, 8, "effect 100 6=1\n"),        // a slot fill does not read
        script(8, 8, "effect 100 3=1 3=2\n"),
        script(8, 8, "effect 100 0x3=1\n"),
        script(8, 8, "effect 100 3=\n"), script(8, 8, "effect 100 3\n"),
        script(8, 8, "effect 100 3=2147483648\n"), script(8, 8, "effect 100 3=-2147483649\n"),
        script(8, 8, "effect 100 3=0x100000000\n"), script(8, 8, "effect 100 3=0x\n"),
        script(8, 8, "effect 100 3=-0x1\n"), script(8, 8, "effect 100 3=+1\n"),
        script(8, 8, "effect 100 3=nan\n"), script(8, 8, "effect 100 3=1e9\n"),
        script(8, 8, "effect 100 3=1.5\n"), script(8, 8, "effect 100 3=-\n"),
        script(8, 8, "effects 100\n"),
        script(8, 8, "effect 111 " + std::string(kMaxLineBytes, ' ') + "\n"),
        script(8, 8, too_many),
        "QIS 1\nheader 1 0 0 0 8 8\neffect 100\n",  // no end
        valid.substr(0, valid.size() - 8),          // cut mid-line
        valid + "effect 100\n", valid + "end\n",
        std::string(nul, sizeof nul - 1),
        script(8, 8, "effect 100\x01\n"), script(8, 8, "effect 100 3=\xC2\xB5\n"),
        std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
        valid + std::string(kMaxScriptBytes, '#'),
    };
    for (const std::string& text : cases) {
        SCOPED_TRACE(text.substr(0, 80));
        Script s;
        EXPECT_FALSE(parse_script(text, s));
    }
}

TEST(ScriptProtocol, RendersTheLoadedScriptAsBlueGreenRedAlpha) {
    const std::string path =
        write_temp("bgra.qis", "QIS 1\nheader 1 1 9 0x00445566 2 1\neffect 100 3=0x80112233\nend\n");
    initialize();
    ASSERT_EQ(load_script_from_file(path.c_str()), 1);
    ASSERT_EQ(init_buffers(), 1);
    ScriptHeader header;
    ASSERT_EQ(read_script_header(path.c_str(), header), 1);
    int32_t fields[sizeof(ScriptHeader) / 4];
    std::memcpy(fields, &header, sizeof fields);
    EXPECT_EQ(fields[4], 2);  // callers read the size as the fifth and sixth fields
    EXPECT_EQ(fields[5], 1);
    Bytes px(2 * 4);
    ASSERT_EQ(execute_script(px.data()), 1);
    finish();
    EXPECT_EQ(px, (Bytes{0x33, 0x22, 0x11, 0xFF, 0x33, 0x22, 0x11, 0xFF}));  // opaque flag
}

TEST(ScriptProtocol, RefusesCallsOutOfOrderAndPathsThatAreNotScripts) {
    const std::string good = write_temp("good.qis", script(4, 4, "effect 100\n"));
    const std::string other = write_temp("other.qis", script(5, 4, "effect 100\n"));
    const std::string image = write_temp("image.png", std::string("\x89PNG\r\n\x1a\n", 8));
    const std::string folder = ::testing::TempDir();
    ScriptHeader header;
    Bytes px(16 * 4);
    finish();
    EXPECT_EQ(load_script_from_file(good.c_str()), 0);  // not started
    initialize();
    for (const char* path : {static_cast<const char*>(nullptr), image.c_str(),
                             folder.c_str(), "/nonexistent/x.qis"})
        EXPECT_EQ(load_script_from_file(path), 0);
    EXPECT_EQ(init_buffers(), 0);
    ASSERT_EQ(load_script_from_file(good.c_str()), 1);
    EXPECT_EQ(execute_script(px.data()), 0);  // buffers not initialised
    ASSERT_EQ(init_buffers(), 1);
    // Another script's header would size the caller's buffer for a picture
    // this one does not draw.
    EXPECT_EQ(read_script_header(other.c_str(), header), 0);
    EXPECT_EQ(execute_script(px.data()), 1);
    EXPECT_EQ(load_script_from_file(image.c_str()), 0);  // leaves no script behind
    EXPECT_EQ(execute_script(px.data()), 0);
    finish();
}

TEST(ScriptProtocol, OneEffectRunsReportWhetherAnythingChanged) {
    Bytes px = random_pixels(4, 3, 1);
    const Bytes before = px;
    initialize();
    EXPECT_EQ(add_effect(7, 1), 0);
    EXPECT_EQ(execute_script_on_image(px.data(), 4, 3), 0);  // empty list
    ASSERT_EQ(add_effect(kInvert, 0), 1);                    // kept but disabled
    ASSERT_EQ(add_effect(kRotate, 1), 1);
    EXPECT_EQ(set_effect_value(2, 3, 1), 0);
    EXPECT_EQ(set_effect_value(1, 2, 1), 0);
    EXPECT_EQ(set_effect_value(1, kFirstSlot + kSlotCount, 1), 0);
    EXPECT_EQ(set_effect_value(1, 3, 720), 1);
    EXPECT_EQ(execute_script_on_image(px.data(), 4, 3), 0);  // whole turns
    EXPECT_EQ(execute_script_on_image(px.data(), 4, 10001), 0);
    EXPECT_EQ(px, before);
    for (size_t i = 2; i < kMaxEffects; ++i) ASSERT_EQ(add_effect(kInvert, 1), 1);
    EXPECT_EQ(add_effect(kInvert, 1), 0);
    finish();
}

struct Pinned {
    const char* name;
    const char* effects;
    uint32_t fnv1a;
};
class Generators : public ::testing::TestWithParam<Pinned> {};

// Grain and textures users made must not change: a changed checksum is a
// question for the commit.
TEST_P(Generators, AreDeterministicAndPinned) {
    const std::string text = script(48, 40, GetParam().effects, 77, "0x80402010");
    const Bytes first = render_text(text);
    EXPECT_EQ(render_text(text), first);
    uint32_t h = 2166136261u;
    for (uint8_t b : first) h = (h ^ b) * 16777619u;
    EXPECT_EQ(h, GetParam().fnv1a);
}

const Pinned kPinned[] = {
    {"fill", "effect 100 3=0xFF336699 5=40\n", 3002528709u},
    {"gradient", "effect 101 3=0xFF000000 4=0xFFFFFFFF 6=90\n", 3212952581u},
    {"noise", "effect 102 6=5 7=3 8=60\n", 2405736109u},
    {"noise_seed_offset", "effect 102 6=5 7=3 8=60 9=1\n", 1147877558u},
    {"stripes", "effect 103 6=6 7=0 8=25\n", 1336392133u},
    {"wave_stripes", "effect 103 6=8 7=90 9=1 5=70\n", 3479581637u},
    {"checker", "effect 104 6=3 7=5\n", 1650483653u},
    {"blurred_noise", "effect 102 6=7\neffect 110 3=2 4=1 5=3\n", 314446497u},
    {"inverted_gradient", "effect 101\neffect 111\n", 2360786373u},
    {"rotated_checker", "effect 104 6=4\neffect 51 3=30\n", 1710936797u},
};
INSTANTIATE_TEST_SUITE_P(Scriptlib, Generators, ::testing::ValuesIn(kPinned),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Generators, HitTheirColoursExactlyWhereTheRampEnds) {
    const Bytes g = render_text(script(7, 3, "effect 101 3=0xFF0A141E 4=0x80F0E0D0\n"));
    EXPECT_EQ(pixel(g, 7, 0, 1), (Bytes{0x1E, 0x14, 0x0A, 0xFF}));
    EXPECT_EQ(pixel(g, 7, 6, 2), (Bytes{0xD0, 0xE0, 0xF0, 0x80}));
    for (int32_t x = 1; x < 7; ++x) EXPECT_GT(pixel(g, 7, x, 0)[2], pixel(g, 7, x - 1, 0)[2]);
    EXPECT_EQ(render_text(script(1, 1, "effect 101 3=0xFF0A141E 6=45\n"))[2], 0x0A);  // no extent
    EXPECT_EQ(render_text(script(1, 1, "effect 100 3=0xFFC8C8C8 5=50\n", 0, "0")),
              (Bytes{100, 100, 100, 128}));  // half over transparent black
    const Bytes st = render_text(script(8, 2, "effect 103 6=4 8=50\n"));
    for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(pixel(st, 8, x, 1)[0], x % 4 < 2 ? 255 : 0) << x;
    const Bytes ch = render_text(script(6, 6, "effect 104 6=2 7=3\n"));
    EXPECT_EQ(pixel(ch, 6, 1, 2)[0], 0);
    EXPECT_EQ(pixel(ch, 6, 2, 0)[0], 255);
    EXPECT_EQ(pixel(ch, 6, 0, 3)[0], 255);
    EXPECT_EQ(pixel(ch, 6, 2, 3)[0], 0);
    Bytes px = random_pixels(3, 3, 2);
    const Bytes before = px;
    EXPECT_FALSE(run(kNoise, {0, -1, 0}, px, 3, 3));  // opacity 0
    EXPECT_EQ(px, before);
}

// The lattice wraps, so a tile's right edge continues into its left edge: the
// step across the seam is no larger than the steps inside.
TEST(Generators, NoiseTilesWithoutSeams) {
    for (const char* effect : {"effect 102 6=3\n", "effect 102 6=6 7=4 8=80\n"}) {
        SCOPED_TRACE(effect);
        const int32_t w = 50, h = 30;
        const Bytes px = render_text(script(w, h, effect, 1234));
        auto step = [&](int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
            return std::abs(pixel(px, w, x0, y0)[0] - pixel(px, w, x1, y1)[0]);
        };
        int inside = 0, seam_x = 0, seam_y = 0;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x + 1 < w; ++x) inside = std::max(inside, step(x, y, x + 1, y));
            seam_x = std::max(seam_x, step(0, y, w - 1, y));
        }
        for (int32_t x = 0; x < w; ++x) seam_y = std::max(seam_y, step(x, 0, x, h - 1));
        EXPECT_GT(inside, 0);
        EXPECT_LE(seam_x, inside);
        EXPECT_LE(seam_y, inside + 8);  // cells are not quite square down the image
    }
}

TEST(Filters, BoxBlurRepeatsOrWrapsTheEdgeAndInvertKeepsAlpha) {
    Bytes clamp(5 * 5 * 4, 0);  // one white pixel in the top-left corner
    std::fill_n(clamp.begin(), 4, uint8_t(255));
    Bytes wrap = clamp;
    ASSERT_TRUE(run(kBoxBlur, {1, 0, 1}, clamp, 5, 5));
    ASSERT_TRUE(run(kBoxBlur, {1, 1, 1}, wrap, 5, 5));
    EXPECT_EQ(pixel(clamp, 5, 0, 0)[3], (170 * 2 + 1) / 3);  // corner counted twice a pass
    EXPECT_EQ(pixel(clamp, 5, 1, 1)[3], (85 + 1) / 3);
    EXPECT_EQ(pixel(clamp, 5, 4, 4)[3], 0);
    for (auto [x, y] : {std::pair{0, 0}, std::pair{4, 4}, std::pair{4, 0}})
        EXPECT_EQ(pixel(wrap, 5, x, y)[3], (85 + 1) / 3);
    EXPECT_FALSE(run(kBoxBlur, {0}, wrap, 5, 5));
    Bytes thin = random_pixels(1, 3, 3);
    EXPECT_TRUE(run(kBoxBlur, {100, 1, 3}, thin, 1, 3));  // radius far beyond the image
    Bytes one = {0, 100, 255, 7};
    ASSERT_TRUE(run(kInvert, {}, one, 1, 1));
    EXPECT_EQ(one, (Bytes{255, 155, 0, 7}));
}

class QuarterTurns : public ::testing::TestWithParam<int32_t> {};

// Clockwise on screen: the top-left pixel goes to the top-right corner.
TEST_P(QuarterTurns, MoveWholePixelsOfSquareImages) {
    const int32_t n = GetParam();
    const Bytes src = random_pixels(n, n, uint32_t(n));
    for (int32_t deg : {90, 180, 270, -90, 450}) {
        SCOPED_TRACE(deg);
        Bytes px = src;
        ASSERT_TRUE(run(kRotate, {deg, 100}, px, n, n));
        const int32_t q = ((deg / 90) % 4 + 4) % 4;
        for (int32_t y = 0; y < n; ++y)
            for (int32_t x = 0; x < n; ++x) {
                const int32_t sx = q == 1 ? y : q == 2 ? n - 1 - x : n - 1 - y;
                const int32_t sy = q == 1 ? n - 1 - x : q == 2 ? n - 1 - y : x;
                ASSERT_EQ(pixel(px, n, x, y), pixel(src, n, sx, sy)) << x << "," << y;
            }
    }
    for (int32_t deg : {0, 360, -720}) {
        Bytes px = src;
        EXPECT_FALSE(run(kRotate, {deg, 100}, px, n, n));
        EXPECT_EQ(px, src);
    }
}
INSTANTIATE_TEST_SUITE_P(Scriptlib, QuarterTurns, ::testing::Values(1, 2, 5, 16));

// Bilinear sampling reproduces a linear ramp, so a turn and its reverse come
// back up to rounding wherever neither turn reached outside the image.
TEST(Rotation, TurnAndReverseRoundTrip) {
    const int32_t n = 41;
    Bytes src(size_t(n) * n * 4);
    for (int32_t y = 0; y < n; ++y)
        for (int32_t x = 0; x < n; ++x) {
            uint8_t* p = src.data() + (size_t(y) * n + size_t(x)) * 4;
            p[0] = uint8_t(40 + 3 * x), p[1] = uint8_t(40 + 3 * y), p[2] = uint8_t(40 + x + y);
            p[3] = 255;
        }
    for (int32_t deg : {1, 37, 135, 300}) {
        SCOPED_TRACE(deg);
        Bytes px = src;
        ASSERT_TRUE(run(kRotate, {deg, 100}, px, n, n));
        ASSERT_TRUE(run(kRotate, {-deg, 100}, px, n, n));
        for (int32_t y = 0; y < n; ++y)
            for (int32_t x = 0; x < n; ++x) {
                if ((x - 20) * (x - 20) + (y - 20) * (y - 20) > 17 * 17) continue;
                for (int ch = 0; ch < 4; ++ch)
                    ASSERT_NEAR(pixel(px, n, x, y)[ch], pixel(src, n, x, y)[ch], 2) << x << "," << y;
            }
    }
    Bytes a = random_pixels(7, 4, 5), wide = a;  // half turns are exact for any shape
    ASSERT_TRUE(run(kRotate, {180, 100}, a, 7, 4));
    EXPECT_EQ(pixel(a, 7, 0, 0), pixel(wide, 7, 6, 3));
    ASSERT_TRUE(run(kRotate, {-180, 100}, a, 7, 4));
    EXPECT_EQ(a, wide);
}

TEST(Rotation, SourceOutsideTheImageBecomesTransparentBlack) {
    const int32_t n = 20;
    Bytes px(size_t(n) * n * 4, 255), small = px;
    ASSERT_TRUE(run(kRotate, {45, 100}, px, n, n));
    for (auto [x, y] : {std::pair{0, 0}, std::pair{n - 1, 0}, std::pair{0, n - 1}, std::pair{n - 1, n - 1}})
        EXPECT_EQ(pixel(px, n, x, y), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(pixel(px, n, 10, 10)[3], 255);
    ASSERT_TRUE(run(kRotate, {0, 10}, small, n, n));  // shrunk to a tenth
    EXPECT_EQ(pixel(small, n, 3, 10)[3], 0);
    EXPECT_EQ(pixel(small, n, 10, 10)[3], 255);
    Bytes a = random_pixels(6, 6, 6), b = a;
    run(kRotate, {INT32_MIN, 100}, a, 6, 6);
    run(kRotate, {INT32_MIN % 360, 100}, b, 6, 6);
    EXPECT_EQ(a, b);
}

TEST(ScriptSeam, RenderGivesRedGreenBlueAlphaAndFailsWithoutTouchingItsOutputs) {
    const std::string path = write_temp("seam.qis", script(3, 2, "effect 100 3=0xFF112233\n"));
    Bytes rgba;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(qrn::scripts::render(path.c_str(), rgba, w, h));
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    ASSERT_EQ(rgba.size(), 3u * 2u * 4u);
    EXPECT_EQ(Bytes(rgba.begin(), rgba.begin() + 4), (Bytes{0x11, 0x22, 0x33, 0xFF}));
    EXPECT_EQ(init_buffers(), 0);  // finished: nothing held for the next caller

    const std::string zero = write_temp("zero.qis", script(0, 4, "effect 100\n"));
    const std::string huge = write_temp("huge.qis", script(20000, 20000, "effect 100\n"));
    const std::string image = write_temp("seam.png", std::string("\x89PNG\r\n\x1a\n", 8));
    for (const char* bad : {static_cast<const char*>(nullptr), zero.c_str(), huge.c_str(), image.c_str()}) {
        EXPECT_FALSE(qrn::scripts::render(bad, rgba, w, h));
        EXPECT_EQ(rgba.size(), 3u * 2u * 4u);
        EXPECT_EQ(w, 3);
    }
}

TEST(ScriptSeam, UnknownEffectsAndUnusableImagesChangeNothing) {
    Bytes px = random_pixels(4, 4, 8);
    const Bytes before = px;
    EXPECT_FALSE(run(9999, {1, 2, 3}, px, 4, 4));
    EXPECT_FALSE(qrn::scripts::run_effect(kInvert, nullptr, 5, px.data(), 4, 0));
    EXPECT_FALSE(qrn::scripts::rotate(px.data(), 4, 4, 360));
    EXPECT_EQ(px, before);
    ASSERT_TRUE(qrn::scripts::rotate(px.data(), 4, 4, 90));
    EXPECT_EQ(pixel(px, 4, 3, 0), pixel(before, 4, 0, 0));
}

TEST(ExampleScripts, RenderAtTheirHeaderSizeAsOpaqueTextures) {
    const struct {
        const char* file;
        int32_t w, h;
    } examples[] = {{"paper_grain.qis", 256, 256}, {"canvas_weave.qis", 128, 128}, {"soft_noise.qis", 64, 64}};
    for (const auto& e : examples) {
        SCOPED_TRACE(e.file);
        Bytes rgba;
        int32_t w = 0, h = 0;
        ASSERT_TRUE(qrn::scripts::render((std::string(QRN_EXAMPLE_SCRIPTS) + "/" + e.file).c_str(), rgba, w, h));
        EXPECT_EQ(w, e.w);
        EXPECT_EQ(h, e.h);
        ASSERT_EQ(rgba.size(), size_t(w) * size_t(h) * 4);
        uint8_t lo = 255, hi = 0;
        for (size_t i = 0; i < rgba.size(); i += 4) {
            lo = std::min(lo, rgba[i + 1]);
            hi = std::max(hi, rgba[i + 1]);
            ASSERT_EQ(rgba[i + 3], 255);
        }
        EXPECT_GE(hi - lo, 20);
    }
}

#include "brush/blend_buffer.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "brush/dab.h"
#include "engine/canvas.h"
#include "engine/layers.h"
#include "engine/pixel_format.h"
#include "seeded.h"
#include "undo/history.h"

namespace qrn {
namespace {

constexpr int kSlot = 2;
constexpr uint16_t kUntouched = 0xA5A5;

using qrn::test_support::Seeded;

// A 16 x 16 canvas, maximum brush 8, a current canvas-sized layer, brush size 4,
// blend strength 128 and a blend buffer full of a marker value.
class Blend : public ::testing::Test {
protected:
    EngineState st;
    int W = 16, H = 16;

    void SetUp() override { make(16, 16); }
    void make(int w, int h, int b = 8) {
        st = EngineState{};
        W = w, H = h;
        canvas::create_image(st, nullptr, w, h, b, 0);
        ASSERT_EQ(layers::create_layer(st, kSlot, w, h), 1);
        layers::set_layer(st, kSlot);
        st.brush.size = st.brush.footprint = 4;
        st.settings.blend_strength = 128;
        colour({0x8000, 0x4000, 0x2000, 65535});
        mark_blend();
    }
    int b() const { return st.canvas.max_brush; }
    void colour(Rgba64 c) {
        st.settings.colour[0] = c.r, st.settings.colour[1] = c.g;
        st.settings.colour[2] = c.b, st.settings.colour[3] = c.a;
    }
    void mark_blend() { st.brush.blend.fill_bytes(0xA5); }
    uint16_t* blend_px(int r, int c) { return st.brush.blend.data() + size_t(r * b() + c) * 4; }
    Rgba64 blend(int r, int c) {
        const uint16_t* p = blend_px(r, c);
        return {p[0], p[1], p[2], p[3]};
    }
    uint16_t* layer_px(int slot, int x, int y) {
        return st.canvas.slots[size_t(slot)].pixels.data() + size_t(y * W + x) * 4;
    }
    void put(int slot, int x, int y, Rgba64 v) {
        uint16_t* p = layer_px(slot, x, y);
        p[0] = v.r, p[1] = v.g, p[2] = v.b, p[3] = v.a;
    }
    void fill(int slot, Rgba64 v) {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) put(slot, x, y, v);
    }
    std::vector<uint16_t> blend_words() {
        return {st.brush.blend.data(), st.brush.blend.data() + st.brush.blend.size()};
    }
};

// ---- Colour loads ----------------------------------------------------------------------

struct LoadCase {
    const char* what;
    int32_t c;
    bool alpha_only;
    Rgba64 source;
    uint16_t mask;
    Rgba64 want;
};

// Current colour (0x8000, 0x4000, 0x2000, 65535) over a uniform source.
// clang-format off
const LoadCase kLoads[] = {
    {"c 256 ignores the canvas", 256, false, {1000, 2000, 3000, 65535}, 65535,
     {0x8001, 0x4001, 0x2001, 65535}},
    {"c 0 takes the canvas plus one", 0, false, {1000, 2000, 3000, 40000}, 65535,
     {1001, 2001, 3001, 40000}},
    {"c 128 halves, alpha without +1", 128, false, {1000, 2000, 3000, 1000}, 65535,
     {((1000 * 128 + 128 * 0x8000) >> 8) + 1, ((2000 * 128 + 128 * 0x4000) >> 8) + 1,
      ((3000 * 128 + 128 * 0x2000) >> 8) + 1, (1000 * 128 + 128 * 65535) >> 8}},
    {"colour capped at 65280", 0, false, {65535, 65280, 65279, 65535}, 65535,
     {65280, 65280, 65280, 65535}},
    {"transparent source, alpha c x 256", 64, false, {1000, 2000, 3000, 0}, 65535,
     {0x8000, 0x4000, 0x2000, 64 * 256}},
    {"transparent source, alpha-only (256 - c) x 256", 64, true, {1000, 2000, 3000, 0}, 65535,
     {0x8000, 0x4000, 0x2000, 192 * 256}},
    {"transparent source at c 256: low 16 bits give 0", 256, false, {1, 2, 3, 0}, 65535,
     {0x8000, 0x4000, 0x2000, 0}},
    {"mask 0 makes the source transparent", 0, false, {1000, 2000, 3000, 65535}, 0,
     {0x8000, 0x4000, 0x2000, 0}},
    // m' = 8415; 8415 / 65535 x 19789 = 2540.99..., where integer arithmetic gives 2541.
    {"mask scales alpha in double", 0, false, {1000, 2000, 3000, 19789}, 8416,
     {1001, 2001, 3001, 2540}},
    {"half mask", 0, false, {1000, 2000, 3000, 40000}, 32768, {1001, 2001, 3001, 19999}},
};
// clang-format on

TEST_F(Blend, LoadMixesSourceWithCurrentColour) {
    for (const LoadCase& k : kLoads)
        for (brush::LoadPath path : {brush::LoadPath::Auto, brush::LoadPath::Reference}) {
            SCOPED_TRACE(k.what);
            fill(kSlot, k.source);
            std::fill_n(st.canvas.mask.data(), W * H, k.mask);
            mark_blend();
            // Square 4 x 4 from (6, 6): inside the canvas, so nothing is preset.
            brush::load_blend(st, 8, 8, layers::current_view(st), k.c, k.alpha_only, path);
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 4; ++c) ASSERT_EQ(blend(r, c), k.want) << r << "," << c;
            EXPECT_EQ(blend(0, 4).r, kUntouched);
            EXPECT_EQ(blend(4, 0).r, kUntouched);
        }
    // A disabled mask scales nothing.
    fill(kSlot, {1000, 2000, 3000, 40000});
    std::fill_n(st.canvas.mask.data(), W * H, uint16_t(0));
    st.settings.mask_enabled = 0;
    brush::load_blend_surface(st, 8, 8, 0, false);
    EXPECT_EQ(blend(1, 1), (Rgba64{1001, 2001, 3001, 40000}));
}

// Each canvas pixel has its own colour, so addressing errors show; c = 0 loads
// (s + 1, sa). Off the canvas the square is preset with the current colour and
// alpha low16(c x 256), or only alpha 65535 in alpha-only mode.
TEST_F(Blend, ClippedFootprintPresetsTheSquareBeforeCopying) {
    const Rgba64 cur{0x8000, 0x4000, 0x2000, 65535};
    auto src = [](int x, int y) { return Rgba64{uint16_t(x * 100 + y), uint16_t(y), 7, 50000}; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) put(kSlot, x, y, src(x, y));
    struct Corner {
        int x, y;
        bool alpha_only;
    };
    for (const Corner k : {Corner{0, 0, false}, Corner{15, 15, false}, Corner{0, 15, true},
                           Corner{8, 8, false}, Corner{-40, 3, false}}) {
        SCOPED_TRACE(::testing::Message() << k.x << "," << k.y << " alpha-only " << k.alpha_only);
        mark_blend();
        brush::load_blend_surface(st, k.x, k.y, 0, k.alpha_only);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const int X = k.x - 2 + c, Y = k.y - 2 + r;
                Rgba64 want;
                if (X >= 0 && X < W && Y >= 0 && Y < H) {
                    const Rgba64 s = src(X, Y);
                    want = {uint16_t(s.r + 1), uint16_t(s.g + 1), uint16_t(s.b + 1), s.a};
                } else if (k.alpha_only) {
                    want = {kUntouched, kUntouched, kUntouched, 65535};
                } else {
                    want = {cur.r, cur.g, cur.b, 0};  // low 16 bits of 0 x 256
                }
                ASSERT_EQ(blend(r, c), want) << r << "," << c;
            }
    }
    colour(cur);
    brush::load_blend_surface(st, 0, 0, 100, false);
    EXPECT_EQ(blend(0, 0), (Rgba64{cur.r, cur.g, cur.b, 25600}));
}

// Each load reads its own block: c = 0 returns that block's colour plus one.
TEST_F(Blend, EachLoadReadsItsOwnSource) {
    ASSERT_EQ(layers::create_layer(st, 0, W, H), 1);
    ASSERT_EQ(layers::create_layer(st, 5, W, H), 1);
    fill(0, {100, 0, 0, 65535});
    fill(5, {200, 0, 0, 65535});
    fill(kSlot, {300, 0, 0, 65535});
    layers::set_layer(st, kSlot);  // back buffer = 300
    fill(kSlot, {400, 0, 0, 65535});
    std::vector<uint16_t> host(size_t(W * H * 4), 0);
    for (size_t i = 0; i < host.size(); i += 4) host[i] = 500, host[i + 3] = 65535;
    const std::pair<const char*, std::function<void()>> loads[] = {
        {"trace", [&] { brush::load_blend_trace(st, 8, 8, 0); }},
        {"layer", [&] { brush::load_blend_layer(st, 5, 8, 8, 0); }},
        {"under layer", [&] { brush::load_blend_under_layer(st, 8, 8, 0); }},
        {"surface", [&] { brush::load_blend_surface(st, 8, 8, 0, false); }},
        {"host", [&] { brush::load_blend(st, 8, 8, host.data(), 0, false); }},
    };
    uint16_t want = 101;
    for (const auto& [what, load] : loads) {
        SCOPED_TRACE(what);
        load();
        EXPECT_EQ(blend(3, 3).r, want);
        want = uint16_t(want + 100);
    }
}

// Nothing to read from, nothing to write into, or blending off: the buffer
// keeps every word.
TEST_F(Blend, MissingSourcesAndBuffersLoadNothing) {
    fill(kSlot, {1000, 2000, 3000, 65535});
    ASSERT_EQ(layers::create_layer(st, 9, W + 1, H), 1);
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"blend strength 0",
         [&] {
             st.settings.blend_strength = 0;
             brush::load_blend_surface(st, 0, 0, 100, false);
             brush::load_blend_mask(st, 0, 0, 100);
         }},
        {"null source", [&] { brush::load_blend(st, 0, 0, nullptr, 100, false); }},
        {"slot out of range", [&] { brush::load_blend_layer(st, 64, 0, 0, 100); }},
        {"negative slot", [&] { brush::load_blend_layer(st, -1, 0, 0, 100); }},
        {"empty slot", [&] { brush::load_blend_layer(st, 7, 0, 0, 100); }},
        {"slot not canvas-sized", [&] { brush::load_blend_layer(st, 9, 0, 0, 100); }},
        {"empty tracing layer", [&] { brush::load_blend_trace(st, 0, 0, 100); }},
        {"no current layer",
         [&] {
             layers::delete_layer(st, kSlot);
             brush::load_blend_surface(st, 0, 0, 100, false);
         }},
        {"no back buffer",
         [&] {
             st.undo.back_pixels.reset();
             brush::load_blend_under_layer(st, 0, 0, 100);
         }},
        {"no mask",
         [&] {
             st.canvas.mask.reset();
             brush::load_blend_mask(st, 0, 0, 100);
         }},
        {"brush larger than the buffer",
         [&] {
             st.brush.size = b() + 1;
             brush::load_blend_surface(st, 0, 0, 100, false);
             brush::filter_blend(st, 290, 0);
         }},
    };
    for (const auto& [what, run] : cases) {
        SCOPED_TRACE(what);
        make(16, 16);
        ASSERT_EQ(layers::create_layer(st, 9, W + 1, H), 1);
        const std::vector<uint16_t> before = blend_words();
        run();
        EXPECT_EQ(blend_words(), before);
    }
    // No canvas at all: no buffer to write and no pixels to read.
    EngineState none;
    brush::load_blend_surface(none, 0, 0, 100, false);
    brush::load_blend_mask(none, 0, 0, 100);
    brush::filter_blend(none, 290, 0);
    brush::clear_blend(none);
    EXPECT_TRUE(none.brush.blend.empty());
}

// ---- Mask load ---------------------------------------------------------------------------

struct MaskCase {
    Rgba64 colour;
    int32_t c;
    uint16_t mask;
    uint16_t want;
};

// v = 65535 for l < 256, else 65280 - l; w = c v + (256 - c) m; (w >> 8) + 1
// below 0xFF0000, else 65280.
// clang-format off
const MaskCase kMaskLoads[] = {
    {{0, 0, 255 * 3, 65535}, 256, 0, 65280},                  // l 255: v 65535, w 0xFFFF00
    {{256, 256, 256, 65535}, 256, 0, ((256 * 65024) >> 8) + 1},  // l 256: v 65024
    {{0x8000, 0x8000, 0x8000, 65535}, 128, 0, ((128 * 32512) >> 8) + 1},
    {{0, 0, 0, 65535}, 0, 1000, 1001},
    {{0, 0, 0, 65535}, 0, 65535, 65280},                  // w 0xFFFF00
    {{0, 0, 0, 65535}, 0, 65280, 65280},  // w 0xFF0000: capped, not (w >> 8) + 1
    {{0, 0, 0, 65535}, 0, 65279, 65280},  // w 0xFEFF00: (w >> 8) + 1
};
// clang-format on

TEST_F(Blend, MaskLoadMixesPaintValueWithMask) {
    for (const MaskCase& k : kMaskLoads) {
        SCOPED_TRACE(::testing::Message() << k.colour.r << " c " << k.c << " m " << k.mask);
        colour(k.colour);
        std::fill_n(st.canvas.mask.data(), W * H, k.mask);
        mark_blend();
        brush::load_blend_mask(st, 8, 8, k.c);
        // One word a position at row x 4b + column: the other words stay.
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) ASSERT_EQ(st.brush.blend[size_t(r * 4 * b() + c)], k.want);
        EXPECT_EQ(st.brush.blend[4], kUntouched);
        EXPECT_EQ(st.brush.blend[size_t(4 * b() + 4)], kUntouched);
    }
}

TEST_F(Blend, ClippedMaskLoadPresetsThePaintValue) {
    colour({0x8000, 0x8000, 0x8000, 65535});  // v = 32512
    for (int i = 0; i < W * H; ++i) st.canvas.mask[size_t(i)] = uint16_t(i * 200);
    brush::load_blend_mask(st, 15, 0, 0);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            const int X = 13 + c, Y = r - 2;
            const uint16_t want =
                (X < W && Y >= 0) ? uint16_t(((Y * W + X) * 200 % 65536) + 1) : uint16_t(32512);
            ASSERT_EQ(st.brush.blend[size_t(r * 4 * b() + c)], want) << r << "," << c;
        }
}

// ---- Clear and filter ------------------------------------------------------------------

// One model per kind, over seeded channels; alpha and everything beyond the
// S x S square stay.
TEST_F(Blend, FilterChangesColourOfTheBrushSquare) {
    auto model = [](int kind, int64_t d, Rgba64 p) {
        uint16_t* ch[3] = {&p.r, &p.g, &p.b};
        const uint16_t grey = uint16_t((int64_t(p.r) + p.g + p.b) / 3);
        for (uint16_t* v : ch) {
            if (kind == 289) *v = grey;
            if (kind == 290) *v = uint16_t(65535 - *v);
            if (kind == 291 && *v < d) *v = 0;
            if (kind == 292 && *v > d) *v = 65280;
        }
        return p;
    };
    struct Kind {
        int kind, level;
        int64_t d;
    };
    for (const Kind k : {Kind{289, 0, 0}, Kind{290, 0, 0}, Kind{291, 50, 32767},
                         Kind{292, 50, 32767}, Kind{291, 1, 655}, Kind{292, 100, 65535},
                         Kind{288, 50, 0}, Kind{293, 50, 0}, Kind{0, 50, 0}}) {
        SCOPED_TRACE(k.kind);
        Seeded rng{uint64_t(k.kind * 100 + k.level)};
        for (size_t i = 0; i < st.brush.blend.size(); ++i) st.brush.blend[i] = uint16_t(rng.next());
        blend_px(0, 0)[0] = 32766, blend_px(0, 0)[1] = 32767, blend_px(0, 0)[2] = 32768;
        const std::vector<uint16_t> before = blend_words();
        brush::filter_blend(st, k.kind, k.level);
        for (int r = 0; r < b(); ++r)
            for (int c = 0; c < b(); ++c) {
                const uint16_t* o = before.data() + size_t(r * b() + c) * 4;
                const Rgba64 was{o[0], o[1], o[2], o[3]};
                const bool inside = r < 4 && c < 4;
                ASSERT_EQ(blend(r, c), inside ? model(k.kind, k.d, was) : was) << r << "," << c;
            }
    }
}

// ---- Colour pick-up --------------------------------------------------------------------

TEST_F(Blend, ColourAtPacksHighBytesOrGivesMinusOneForTransparent) {
    put(kSlot, 3, 4, {0x12FF, 0x3401, 0x56AB, 256});
    put(kSlot, 4, 4, {0x12FF, 0x3401, 0x56AB, 255});
    put(kSlot, 0, 15, {0xAB00, 0xCD00, 0xEF00, 65535});
    put(kSlot, 15, 0, {0x0100, 0x0200, 0x0300, 65535});
    const uint16_t* px = layers::current_view(st);
    EXPECT_EQ(brush::colour_at(st, 3, 4, px), 0x123456);
    EXPECT_EQ(brush::colour_at(st, 4, 4, px), -1);
    EXPECT_EQ(brush::colour_at(st, -5, 1000000, px), 0xABCDEF);
    EXPECT_EQ(brush::colour_at(st, 1 << 30, -(1 << 30), px), 0x010203);
    EXPECT_EQ(brush::colour_at(st, 3, 4, nullptr), 0);
    EXPECT_EQ(brush::colour_at_surface(st, 3, 4), 0x123456);
    EXPECT_EQ(brush::colour_at_layer(st, 3, 4, kSlot), 0x123456);
    EXPECT_EQ(brush::colour_at_layer(st, 3, 4, 64), 0);
    EXPECT_EQ(brush::colour_at_trace(st, 3, 4), 0);         // slot 0 has no pixels
    EXPECT_EQ(brush::colour_at_under_layer(st, 3, 4), -1);  // selected while transparent

    canvas::create_image(st, nullptr, 0, 0, 8, 0);
    const uint16_t one[4] = {0xFF00, 0xFF00, 0xFF00, 0xFF00};
    EXPECT_EQ(brush::colour_at(st, 0, 0, one), 0);
}

// The entry saved from a 4 x 5 rectangle holds only 20 pixels: (x, y) is read
// relative to the rectangle and clamped into it.
TEST_F(Blend, ColourAtHistoryReadsTheEntryRectangle) {
    undo::set_levels(st, 10);
    auto colour_of = [](int x, int y) {
        return Rgba64{uint16_t(x << 8), uint16_t(y << 8), 0x4200, 65535};
    };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) put(kSlot, x, y, colour_of(x, y));
    layers::set_layer(st, kSlot);
    EXPECT_EQ(brush::colour_at_history(st, 5, 6), 0);  // nothing saved yet
    fill(kSlot, {0x1100, 0x2200, 0x3300, 65535});
    st.undo.changed = {4, 5, 7, 9};
    undo::save(st, true, false);
    ASSERT_EQ(st.undo.entries[0].pixels.size(), size_t(4 * 5 * 4));
    auto packed = [&](int x, int y) { return (x << 16) | (y << 8) | 0x42; };
    EXPECT_EQ(brush::colour_at_history(st, 5, 6), packed(5, 6));
    EXPECT_EQ(brush::colour_at_history(st, 7, 9), packed(7, 9));
    EXPECT_EQ(brush::colour_at_history(st, 0, 0), packed(4, 5));
    EXPECT_EQ(brush::colour_at_history(st, 1000, -1000), packed(7, 5));
    undo::undo(st);  // redo count 1: entry 1 holds nothing
    EXPECT_EQ(brush::colour_at_history(st, 5, 6), 0);
    undo::redo(st);
    EXPECT_EQ(brush::colour_at_history(st, 5, 6), packed(5, 6));
}

TEST_F(Blend, ChannelAndMaskGettersNeedCurrentLayerAndCanvas) {
    put(kSlot, 2, 3, {11, 22, 33, 44});
    st.canvas.mask[size_t(3 * W + 2)] = 1000;
    EXPECT_EQ(brush::channel_at(st, 2, 3, 0), 11);
    EXPECT_EQ(brush::channel_at(st, 2, 3, 1), 22);
    EXPECT_EQ(brush::channel_at(st, 2, 3, 2), 33);
    EXPECT_EQ(brush::channel_at(st, 2, 3, 3), 44);
    EXPECT_EQ(brush::mask_at(st, 2, 3), 64535);
    EXPECT_EQ(brush::mask_at(st, 0, 0), 0);  // full mask
    for (auto [x, y] : {std::pair{-1, 3}, std::pair{2, 16}, std::pair{16, 0}}) {
        EXPECT_EQ(brush::channel_at(st, x, y, 0), 0);
        EXPECT_EQ(brush::mask_at(st, x, y), 0);
    }
    st.settings.mask_enabled = 0;
    EXPECT_EQ(brush::mask_at(st, 2, 3), 0);
    st.settings.mask_enabled = 1;
    layers::delete_layer(st, kSlot);
    EXPECT_EQ(brush::mask_at(st, 2, 3), 0);
    EXPECT_EQ(brush::channel_at(st, 2, 3, 0), 0);
}

// ---- Fast path -------------------------------------------------------------------------

// The row loop must give the reference loop's words for any source, mask
// (full, partial, zero), strength, flag and position, clipped ones included.
TEST(BlendLoadPaths, RowLoopMatchesReference) {
    EngineState a, r;
    for (EngineState* st : {&a, &r}) {
        canvas::create_image(*st, nullptr, 40, 30, 32, 0);
        layers::create_layer(*st, kSlot, 40, 30);
        layers::set_layer(*st, kSlot);
        st->settings.blend_strength = 128;
    }
    Seeded rng{17};
    std::vector<uint16_t> src(size_t(40 * 30 * 4));
    for (int trial = 0; trial < 400; ++trial) {
        SCOPED_TRACE(trial);
        for (uint16_t& w : src) w = uint16_t(rng.below(4) == 0 ? 0 : rng.next());
        // Full, mixed per pixel, mixed per row (whole rows full or not), disabled.
        const int mask_kind = rng.below(4);
        for (size_t i = 0; i < a.canvas.mask.size(); ++i) {
            const bool partial_row = (i / 40) % 2 == 1;
            const bool keep_full =
                mask_kind == 0 || (mask_kind == 2 && !partial_row) || rng.below(2);
            a.canvas.mask[i] = keep_full ? 65535 : uint16_t(rng.next());
        }
        const int32_t c = trial % 50 == 0 ? int32_t(rng.next()) : rng.below(257);
        const bool alpha_only = rng.below(2);
        const int x = rng.below(60) - 10, y = rng.below(50) - 10;
        const int size = 1 + rng.below(32);
        const uint16_t colour[4] = {uint16_t(rng.next()), uint16_t(rng.next()),
                                    uint16_t(rng.next()), uint16_t(rng.next())};
        for (EngineState* st : {&a, &r}) {
            st->brush.size = size;
            st->settings.mask_enabled = uint8_t(mask_kind != 3);
            std::copy_n(colour, 4, st->settings.colour);
        }
        std::copy_n(a.canvas.mask.data(), a.canvas.mask.size(), r.canvas.mask.data());
        brush::load_blend(a, x, y, src.data(), c, alpha_only, brush::LoadPath::Auto);
        brush::load_blend(r, x, y, src.data(), c, alpha_only, brush::LoadPath::Reference);
        ASSERT_TRUE(std::equal(a.brush.blend.data(), a.brush.blend.data() + a.brush.blend.size(),
                               r.brush.blend.data()));
    }
}

// ---- Through the dab --------------------------------------------------------------------

// Paint loaded from one layer and dabbed in solid mode (P = 0) onto a
// transparent one arrives as loaded, after any filter.
TEST_F(Blend, LoadedPaintReachesAnotherLayerThroughTheDab) {
    struct Case {
        int32_t c, filter, level;
        Rgba64 want;
    };
    const Case cases[] = {
        {0, 0, 0, {1001, 2001, 3001, 65534}},
        {256, 0, 0, {0x8001, 0x4001, 0x2001, 65534}},
        {0, 291, 50, {0, 0, 0, 65534}},
        {256, 291, 50, {0x8001, 0, 0, 65534}},
        {256, 292, 50, {65280, 0x4001, 0x2001, 65534}},
    };
    Settings& s = st.settings;
    s.alpha_percent = 100;
    s.mix_mode = 32;
    s.mix_amount = 256;
    s.density_threshold = 255;
    s.solid_brush_mode = 1;
    st.brush.shape.fill_bytes(0x01);
    for (int i = 0; i < 4; ++i) st.brush.scale_map[size_t(i)] = i;
    ASSERT_EQ(layers::create_layer(st, 3, W, H), 1);
    for (const Case& k : cases) {
        SCOPED_TRACE(::testing::Message() << "c " << k.c << " filter " << k.filter);
        fill(kSlot, {1000, 2000, 3000, 65535});
        fill(3, {0, 0, 0, 0});
        layers::set_layer(st, kSlot);
        colour({0x8000, 0x4000, 0x2000, 65535});
        brush::load_blend_surface(st, 8, 8, k.c, false);
        brush::filter_blend(st, k.filter, k.level);
        layers::set_layer(st, 3);
        brush::draw_dab(st, 8, 8, 0x8000, 0x4000, 0x2000);
        const uint16_t* p = layer_px(3, 7, 7);
        EXPECT_EQ((Rgba64{p[0], p[1], p[2], p[3]}), k.want);
    }
}

// ---- Smudging --------------------------------------------------------------------------

// Paint picked up in the red half is carried by remix into the blue half: the
// brush moves right one pixel a dab with blend strength 128 and P = 0.
TEST_F(Blend, SmudgeStrokeCarriesPaintIntoTheNextColour) {
    make(48, 8, 16);
    Settings& s = st.settings;
    s.alpha_percent = 100;
    s.alpha_scaled = 128;
    s.mix_mode = 32;
    s.mix_amount = 256;
    s.density_threshold = 255;
    s.blend_remix = 1;
    st.brush.size = st.brush.footprint = 8;
    for (int i = 0; i < 8; ++i) st.brush.scale_map[size_t(i)] = i;
    st.brush.shape.fill_bytes(0xFF);
    const Rgba64 red{65280, 0, 0, 65535}, blue{0, 0, 65280, 65535};
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) put(kSlot, x, y, x < 24 ? red : blue);

    brush::load_blend_surface(st, 8, 4, 0, false);
    for (int x = 8; x <= 28; ++x) brush::draw_dab(st, x, 4, 0, 0, 0);

    // The last dab covers 24..31: red fades along the way, blue grows back.
    int last_red = 65535;
    for (int x = 24; x <= 31; ++x) {
        SCOPED_TRACE(x);
        const uint16_t* p = layer_px(kSlot, x, 4);
        EXPECT_GT(p[0], 0);
        EXPECT_LT(p[2], 65280);
        EXPECT_LE(p[0], last_red);
        last_red = p[0];
    }
    EXPECT_GT(layer_px(kSlot, 24, 4)[0], 32768);  // mostly the carried red
    const uint16_t* beyond = layer_px(kSlot, 32, 4);
    EXPECT_EQ((Rgba64{beyond[0], beyond[1], beyond[2], beyond[3]}), blue);
}

}  // namespace
}  // namespace qrn

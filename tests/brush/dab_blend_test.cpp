// The specialised dab loops against the reference loop over seeded random tools:
// every mix mode with the blend buffer in use, grit and texture on and off, the
// locks, the mask, erasing and squeezed footprints. Pixels, blend buffer and the
// generator must come out the same word for word.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "brush/dab.h"
#include "brush/tool.h"
#include "engine/canvas.h"
#include "engine/layers.h"
#include "engine/settings.h"
#include "seeded.h"

namespace qrn {
namespace {

constexpr int kW = 72, kH = 56, kMaxBrush = 40;
constexpr int kNoiseSlot = 9;  // the texture's source

// Every code the mix amount or the blend path treats differently, and one below 32.
constexpr int32_t kModes[] = {5,   32,  33,  34,  35,  36,  37,  38,  39,  40,  41,  42,
                              43,  44,  45,  46,  47,  48,  249, 250, 251, 252, 253, 254,
                              255, 256, 257, 258, 259, 260, 261, 262, 295, 340};

// The shared generator, with channel values where the formulas change behaviour.
struct Seeded : test_support::Seeded {
    uint16_t edgy() {
        static constexpr uint16_t kEdges[] = {0, 1, 8191, 8192, 65534, 65535};
        return below(3) == 0 ? kEdges[below(6)] : word();
    }
};

struct Outcome {
    std::vector<uint16_t> layer, paint, blend;
    uint32_t rng = 0;
    int32_t grit_countdown = 0;
    bool operator==(const Outcome&) const = default;
};

// One seeded session: several strokes, each with a freshly drawn tool.
Outcome paint_session(uint64_t seed, brush::DabPath path) {
    Seeded rnd{seed};
    EngineState st;
    canvas::create_image(st, nullptr, kW, kH, kMaxBrush, 0);
    const int slot = rnd.one_in(6) ? rnd.below(2) : 2;
    layers::create_layer(st, slot, kW, kH);
    layers::create_layer(st, kNoiseSlot, kW, kH);
    for (size_t i = 0; i < size_t(kW) * kH * 4; ++i)
        st.canvas.slots[kNoiseSlot].pixels[i] = rnd.below(4) ? rnd.word() : 0xFFFF;
    layers::set_layer(st, slot);
    uint16_t* layer = layers::current_view(st);
    for (size_t i = 0; i < size_t(kW) * kH * 4; ++i) layer[i] = rnd.edgy();
    if (rnd.one_in(5)) layers::create_paint_layer(st, 100, "Normal");
    settings::set_random_seed(st, uint32_t(seed));
    Settings& s = st.settings;

    for (int stroke = 0; stroke < 6; ++stroke) {
        static constexpr int kSizes[] = {1, 2, 3, 5, 8, 13, 21, 33, 40};
        const int S = kSizes[rnd.below(9)];
        brush::set_size(st, S);
        brush::ToolSettings tool;
        tool.softness = uint8_t(rnd.below(256));
        if (rnd.below(3)) {
            tool.grit_size = 1 + rnd.below(4);
            tool.grit_coverage = rnd.below(300);
            tool.grit_fill = rnd.below(300);
            tool.grit_repeat = rnd.below(4);
        }
        tool.blend_strength = rnd.one_in(8) ? 0 : rnd.one_in(10) ? 300 : 1 + rnd.below(256);
        tool.primary_strength = rnd.one_in(3) ? 0 : rnd.below(257);
        tool.blend_remix = uint8_t(rnd.below(4) != 0);
        tool.colour_vary = rnd.one_in(4) ? rnd.below(60) : 0;
        brush::set_tool(st, tool);
        if (rnd.one_in(3)) brush::set_scale_size(st, 1 + rnd.below(S));
        if (rnd.one_in(6))  // a footprint that samples some columns twice
            for (int i = 0; i < S; ++i) st.brush.scale_map[size_t(i)] = std::min(S - 1, i * 3 / 2);
        if (rnd.one_in(3))
            for (int r = 0; r < S; ++r)
                for (int c = 0; c < S; ++c) st.brush.shape[size_t(r * kMaxBrush + c)] = rnd.edgy();
        brush::set_pix_lum_vary(st, rnd.one_in(10) ? 1 + rnd.below(50) : 0);
        settings::set_rotate_brush_mode(s, rnd.one_in(12) ? 1 : 0, rnd.below(360));

        const int32_t mode = rnd.below(3) ? 32 : kModes[rnd.below(int(std::size(kModes)))];
        settings::set_mix_mode(s, mode, rnd.below(257));
        static constexpr int kAlphas[] = {100, 100, 130, 50, 99, 1, 0, -20};
        settings::set_alpha(s, kAlphas[rnd.below(8)]);
        settings::set_density(s, rnd.below(3) ? 1 + rnd.below(256) : 256);
        s.solid_brush_mode = rnd.one_in(6);
        s.image_brush_mode = rnd.one_in(3);
        s.alpha_level = rnd.one_in(6) ? rnd.below(70000) : 0;
        s.colour_locked = rnd.one_in(6);
        s.blob_locked = rnd.one_in(4);
        s.alpha_locked = rnd.one_in(6);
        st.canvas.slots[size_t(slot)].alpha_locked = rnd.one_in(6);
        for (uint16_t& w : s.colour_banks) w = rnd.word();
        s.mask_enabled = rnd.below(3) == 0;
        if (s.mask_enabled)
            for (size_t i = 0; i < st.canvas.mask.size(); ++i) st.canvas.mask[i] = rnd.edgy();
        if (rnd.below(2))
            layers::create_texture(st, kNoiseSlot);
        else
            layers::delete_texture(st);
        for (size_t i = 0; i < st.brush.blend.size(); ++i) st.brush.blend[i] = rnd.edgy();

        int x = rnd.below(kW + 20) - 10, y = rnd.below(kH + 20) - 10;
        const int32_t colour[3] = {int32_t(rnd.word()), int32_t(rnd.word()), int32_t(rnd.word())};
        for (int d = 0; d < 8; ++d) {
            s.erase_mode_on = rnd.one_in(8);
            s.temp_disable_blend = rnd.one_in(10);
            brush::draw_dab(st, x, y, colour[0], colour[1], colour[2], path);
            brush::dec_drawing_length(st);
            x += rnd.below(11) - 5;
            y += rnd.below(11) - 5;
        }
    }
    Outcome out;
    out.layer.assign(layer, layer + size_t(kW) * kH * 4);
    const LayerRecord& p = st.canvas.paint_layer;
    if (p.has_pixels()) out.paint.assign(p.pixels.data(), p.pixels.data() + size_t(kW) * kH * 4);
    out.blend.assign(st.brush.blend.data(), st.brush.blend.data() + st.brush.blend.size());
    out.rng = st.rng.state();
    out.grit_countdown = st.brush.grit_countdown;
    return out;
}

size_t words_apart(const std::vector<uint16_t>& a, const std::vector<uint16_t>& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
}

TEST(DabLoops, MatchReferenceOverRandomTools) {
    for (uint64_t seed = 1; seed <= 96; ++seed) {
        SCOPED_TRACE(testing::Message() << "seed " << seed);
        const Outcome ref = paint_session(seed, brush::DabPath::General);
        for (brush::DabPath path :
             {brush::DabPath::Auto, brush::DabPath::Avx2, brush::DabPath::Baseline}) {
            SCOPED_TRACE(path == brush::DabPath::Auto   ? "widest vectors"
                         : path == brush::DabPath::Avx2 ? "AVX2"
                                                        : "SSE2");
            const Outcome fast = paint_session(seed, path);
            EXPECT_EQ(words_apart(fast.layer, ref.layer), 0u);
            EXPECT_EQ(words_apart(fast.paint, ref.paint), 0u);
            EXPECT_EQ(words_apart(fast.blend, ref.blend), 0u);
            EXPECT_EQ(fast.rng, ref.rng);
            EXPECT_EQ(fast.grit_countdown, ref.grit_countdown);
        }
    }
}

}  // namespace
}  // namespace qrn

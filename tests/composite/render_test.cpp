// The display renderer: render list, zoom paths, checkerboard, tracing, mask
// overlay, its agreement with the merge path, and its vector loops.
#include "composite/render.h"

#include <gtest/gtest.h>

#include <vector>

#include "composite/merge.h"
#include "engine/canvas.h"
#include "engine/layers.h"

using namespace qrn;
using composite::Simd;

namespace {

class Render : public ::testing::Test {
protected:
    static constexpr int kW = 80, kH = 70;
    void SetUp() override {
        canvas::create_image(st, nullptr, kW, kH, 8, 0);
        for (int s : {1, 2}) layers::create_layer(st, s, kW, kH);
        layers::set_layer_options(st, 1, 1, 0, 100, "Normal");
        layers::set_layer_options(st, 2, 1, 0, 100, "Normal");
        layers::set_layer(st, 2);
        st.settings.scale_a = st.settings.scale_b = 1;
        st.settings.view_width = 1000, st.settings.view_height = 1000;
    }
    uint16_t* px(int slot, int x, int y) {
        return st.canvas.slots[size_t(slot)].pixels.data() + (size_t(y) * kW + size_t(x)) * 4;
    }
    void set(int slot, int x, int y, uint16_t r, uint16_t g, uint16_t b, uint16_t a) {
        uint16_t* p = px(slot, x, y);
        p[0] = r, p[1] = g, p[2] = b, p[3] = a;
    }
    // A picture whose every pixel says where it came from.
    void coordinates(int slot) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) set(slot, x, y, uint16_t(x << 8), uint16_t(y << 8), 0x4000, 0xFFFF);
    }
    // Output of w x h pixels (stride w x 3 + 1, to catch stride mistakes), filled with 0xAB.
    std::vector<uint8_t> out(int x, int y, int w, int h, int ow, int oh, Simd simd = Simd::Best) {
        stride = ow * 3 + 1;
        std::vector<uint8_t> b(size_t(stride) * size_t(oh + 1), 0xAB);
        result = composite::render(st, b.data(), stride, x, y, w, h, simd);
        return b;
    }
    const uint8_t* at(const std::vector<uint8_t>& b, int i, int j) const {
        return &b[size_t(j) * size_t(stride) + size_t(i) * 3];
    }
    EngineState st;
    int stride = 0;
    int32_t result = 0;
};

}  // namespace

TEST_F(Render, CheckerboardOnlyWhereTheResultIsNotOpaque) {
    auto b = out(0, 0, kW, kH, kW, kH);
    EXPECT_EQ(result, 1);
    for (int j = 0; j < kH; ++j)
        for (int i = 0; i < kW; ++i) ASSERT_EQ(at(b, i, j)[0], 0xFF);  // opaque paper
    layers::set_layer_options(st, 1, 0, 0, 100, "Normal");
    b = out(0, 0, kW, kH, kW, kH);
    struct Cell {
        int i, j;
        uint8_t v;
    } cells[] = {{0, 0, 0xFF}, {31, 31, 0xFF}, {32, 0, 0x9F}, {0, 32, 0x9F}, {32, 32, 0xFF}, {64, 0, 0xFF},
                 {79, 40, 0x9F}, {79, 69, 0xFF}};
    for (const Cell& c : cells)
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(at(b, c.i, c.j)[ch], c.v) << c.i << "," << c.j;
    // Half-transparent red over the cells: between the two.
    set(2, 40, 0, 0xFF00, 0, 0, 0x8000);
    b = out(0, 0, kW, kH, kW, kH);
    EXPECT_EQ(at(b, 40, 0)[2], uint8_t((((0x8000u * 0xFF00) >> 8) + ((0x9FFFu * 0x7FFF) >> 8)) >> 16));
    EXPECT_EQ(at(b, 40, 0)[0], uint8_t(((0x9FFFu * 0x7FFF) >> 8) >> 16));
}

TEST_F(Render, ZoomPathsViewSizeAndRectangle) {
    coordinates(2);
    struct Case {
        int a, b, x, y, w, h, ow, oh;
        int step_num, step_den;  // output (i, j) shows canvas (x + i * num / den, ...)
    } cases[] = {
        {1, 1, 5, 6, 20, 10, 20, 10, 1, 1},
        {3, 3, 5, 6, 20, 10, 20, 10, 1, 1},    // equal scales: 1:1
        {-2, 0, 5, 6, 20, 10, 20, 10, 1, 1},   // no usable divisor: 1:1
        {1, 4, 3, 2, 41, 40, 10, 10, 4, 1},    // zoom out: every fourth pixel
        {4, 1, 7, 9, 5, 3, 20, 12, 1, 4},      // zoom in: 4 x 4 blocks
        {2, 1, 70, 60, 30, 30, 20, 20, 1, 2},  // clipped at the canvas edge: 10 x 10 canvas
    };
    for (const Case& c : cases) {
        st.settings.scale_a = c.a, st.settings.scale_b = c.b;
        const auto b = out(c.x, c.y, c.w, c.h, c.ow, c.oh);
        for (int j = 0; j < c.oh; ++j)
            for (int i = 0; i < c.ow; ++i) {
                const int cx = c.x + i * c.step_num / c.step_den, cy = c.y + j * c.step_num / c.step_den;
                ASSERT_EQ(at(b, i, j)[2], cx) << c.a << ":" << c.b << " " << i << "," << j;
                ASSERT_EQ(at(b, i, j)[1], cy) << c.a << ":" << c.b << " " << i << "," << j;
            }
        EXPECT_EQ(at(b, c.ow, 0)[0], 0xAB);  // nothing beyond the output columns
        EXPECT_EQ(at(b, 0, c.oh)[0], 0xAB);
    }
    // The view size cuts the output; negative x, y start at 0 without shortening.
    st.settings.scale_a = st.settings.scale_b = 1;
    st.settings.view_width = 7, st.settings.view_height = 3;
    auto b = out(-5, -5, 20, 20, 7, 3);
    EXPECT_EQ(at(b, 6, 2)[2], 6);
    EXPECT_EQ(at(b, 6, 2)[1], 2);
    EXPECT_EQ(at(b, 7, 0)[0], 0xAB);
    EXPECT_EQ(at(b, 0, 3)[0], 0xAB);
    // Before a view size is set nothing is drawn.
    st.settings.view_width = 0;
    b = out(0, 0, 10, 10, 10, 10);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(at(b, 0, 0)[0], 0xAB);
}

TEST_F(Render, NoBufferOrNoCurrentLayerWritesNothing) {
    EXPECT_EQ(composite::render(st, nullptr, 30, 0, 0, 10, 10), 0);
    layers::delete_layer(st, 2);
    auto b = out(0, 0, 10, 10, 10, 10);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(at(b, 0, 0)[0], 0xAB);
    // A current layer of another size counts as missing.
    layers::create_layer(st, 2, kW, kH + 1);
    b = out(0, 0, 10, 10, 10, 10);
    EXPECT_EQ(result, 0);
}

TEST_F(Render, RenderListRules) {
    // Hidden current layer: the paint layer above its position still shows.
    layers::set_layer_options(st, 2, 0, 0, 100, "Normal");
    set(2, 0, 0, 0, 0xFF00, 0, 0xFFFF);
    layers::create_paint_layer(st, 100, "Normal");
    uint16_t* p = st.canvas.paint_layer.pixels.data();
    p[0] = 0xFF00, p[3] = 0xFFFF;
    auto b = out(0, 0, 2, 1, 2, 1);
    EXPECT_EQ(at(b, 0, 0)[2], 0xFF);
    EXPECT_EQ(at(b, 0, 0)[1], 0x00);
    // A Texturize3 layer never shows in the display.
    layers::delete_paint_layer(st);
    layers::create_layer(st, 3, kW, kH);
    for (int x = 0; x < kW; ++x) set(3, x, 0, 0, 0, 0, 0xFFFF);
    layers::set_layer_options(st, 3, 1, 0, 100, "Texturize3");
    b = out(0, 0, 2, 1, 2, 1);
    EXPECT_EQ(at(b, 1, 0)[0], 0xFF);
    // Tracing without a tracing layer changes nothing.
    st.settings.tracing_mode = 1;
    EXPECT_EQ(out(0, 0, 2, 1, 2, 1), b);
    // Layer 0 is never listed, but its words are averaged in when tracing.
    layers::create_layer(st, 0, kW, kH);
    layers::set_layer_options(st, 0, 1, 0, 100, "Normal");
    set(0, 1, 0, 0x0100, 0x0100, 0x0100, 0);  // trace alpha is ignored
    st.settings.tracing_mode = 0;
    EXPECT_EQ(out(0, 0, 2, 1, 2, 1), b);
    st.settings.tracing_mode = 1;
    b = out(0, 0, 2, 1, 2, 1);
    EXPECT_EQ(at(b, 1, 0)[0], (0x0100 + 0xFFFF) >> 9);
}

TEST_F(Render, MaskOverlay) {
    const uint8_t r = 0x20, g = 0x80, bl = 0xC0;
    st.settings.display_mask = 1;
    st.settings.mask_enabled = 1;
    for (int k = 0; k < 3; ++k) {
        st.settings.mask_overlay_a[k] = uint32_t(k == 0 ? r : k == 1 ? g : bl) << 8;  // odd cells
        st.settings.mask_overlay_b[k] = 0;                                          // even cells
    }
    std::fill(st.canvas.mask.data(), st.canvas.mask.data() + kW * kH, uint16_t(0xFFFF));
    st.canvas.mask[0] = 0;             // even cell, fully masked
    st.canvas.mask[32] = 0;            // odd cell
    st.canvas.mask[1] = 0x8000;
    auto b = out(0, 0, kW, 1, kW, 1);
    const uint32_t m = 0x7FFF, i = 65535 - m;  // not solid: at most half strength
    EXPECT_EQ(at(b, 0, 0)[0], uint8_t(((m * 0xFFFF) >> 8) >> 16));
    EXPECT_EQ(at(b, 32, 0)[0], uint8_t((((m * 0xFFFF) >> 8) + ((i * (bl << 8)) >> 8)) >> 16));
    EXPECT_EQ(at(b, 32, 0)[2], uint8_t((((m * 0xFFFF) >> 8) + ((i * (r << 8)) >> 8)) >> 16));
    EXPECT_EQ(at(b, 5, 0)[0], 0xFF);  // 0xFFFF: no overlay
    st.settings.mask_overlay_solid = 1;
    b = out(0, 0, kW, 1, kW, 1);
    EXPECT_EQ(at(b, 0, 0)[0], 0);
    EXPECT_EQ(at(b, 1, 0)[0], uint8_t(((0x8000u * 0xFFFF) >> 8) >> 16));
    // A disabled or absent mask shows nothing.
    st.settings.mask_enabled = 0;
    b = out(0, 0, kW, 1, kW, 1);
    EXPECT_EQ(at(b, 0, 0)[0], 0xFF);
}

namespace {

struct Xor {
    uint32_t s;
    uint32_t next() { return s ^= s << 13, s ^= s >> 17, s ^= s << 5; }
};

// Blobs of colour with soft and hard edges, transparent elsewhere.
void paint_random(LayerRecord& r, int w, int h, uint32_t seed) {
    Xor g{seed};
    const int cx = int(g.next() % uint32_t(w)), cy = int(g.next() % uint32_t(h));
    const int rad = 8 + int(g.next() % 30);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint16_t* p = r.pixels.data() + (size_t(y) * size_t(w) + size_t(x)) * 4;
            const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            const uint32_t v = g.next();
            if (d2 > rad * rad && (v & 7) != 0) continue;
            p[0] = uint16_t(v), p[1] = uint16_t(v >> 16), p[2] = uint16_t(v >> 8);
            p[3] = d2 < rad * rad / 2 ? 0xFFFF : uint16_t(g.next());
        }
}

}  // namespace

// A single layer over opaque paper: the render shows what the merge path computes.
TEST_F(Render, OneLayerOverPaperShowsTheMergedColour) {
    paint_random(st.canvas.slots[2], kW, kH, 99);
    for (int code = 1; code <= 40; ++code) {
        if (code == 19) continue;  // not listed
        st.canvas.slots[2].merge_mode = code;
        std::vector<uint16_t> merged(size_t(kW * kH * 4));
        composite::merge_rect(st, merged.data(), 0, 0, kW, kH);
        const auto b = out(0, 0, kW, kH, kW, kH);
        for (int j = 0; j < kH; ++j)
            for (int i = 0; i < kW; ++i) {
                const uint16_t* m = &merged[size_t(j * kW + i) * 4];
                if (m[3] != 0xFFFF) continue;  // the checkerboard shows there
                ASSERT_EQ(at(b, i, j)[2], m[0] >> 8) << "code " << code << " at " << i << "," << j;
                ASSERT_EQ(at(b, i, j)[1], m[1] >> 8) << "code " << code;
                ASSERT_EQ(at(b, i, j)[0], m[2] >> 8) << "code " << code;
            }
    }
}

// Every code in a stack with the paint layer, mask layers, tracing and overlay: the
// vector loops write the scalar loop's bytes at every zoom.
TEST_F(Render, VectorLoopsEqualScalar) {
    Xor g{7};
    for (int s = 0; s < 8; ++s) {
        if (s == 0 || s >= 3) layers::create_layer(st, s, kW, kH);
        paint_random(st.canvas.slots[size_t(s)], kW, kH, 1000 + uint32_t(s));
    }
    layers::create_paint_layer(st, 80, "Texturize");
    paint_random(st.canvas.paint_layer, kW, kH, 555);
    st.settings.tracing_mode = 1;
    st.settings.display_mask = st.settings.mask_enabled = 1;
    for (int k = 0; k < kW * kH; ++k) st.canvas.mask[size_t(k)] = uint16_t(g.next());
    for (int round = 0; round < 12; ++round) {
        for (int s = 1; s < 8; ++s) {
            st.canvas.slots[size_t(s)].merge_mode = int32_t(g.next() % 44);
            st.canvas.slots[size_t(s)].opacity = uint16_t(g.next() % 257);
            st.canvas.slots[size_t(s)].visible = (g.next() % 5) != 0;
        }
        st.canvas.slots[3].merge_mode = 38;  // a mask layer above slot 2
        st.canvas.paint_layer.merge_mode = int32_t(g.next() % 41);
        st.canvas.current_slot = st.canvas.current_layer_num = 2 + int32_t(g.next() % 5);
        st.settings.scale_a = 1 + int32_t(g.next() % 3);
        st.settings.scale_b = 1 + int32_t(g.next() % 3);
        const auto want = out(1, 2, kW - 1, kH - 2, kW * 3, kH * 3, Simd::Scalar);
        for (Simd path : {Simd::Sse2, Simd::Avx2}) {
            if (!composite::simd_available(path)) continue;
            ASSERT_EQ(out(1, 2, kW - 1, kH - 2, kW * 3, kH * 3, path), want)
                << "round " << round << " path " << int(path);
        }
    }
}

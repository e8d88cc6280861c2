// Layer slots, options, texture and the whole-layer operations.
#include "engine/layers.h"

#include <gtest/gtest.h>

#include <string>

#include "engine/canvas.h"
#include "undo/history.h"

using namespace qrn;

namespace {

class Layers : public ::testing::Test {
protected:
    void SetUp() override { canvas::create_image(st, nullptr, kW, kH, 8, 0); }
    void TearDown() override { alloc_hook::reset(); }
    uint16_t* px(int slot, int x, int y) {
        return st.canvas.slots[size_t(slot)].pixels.data() + (size_t(y) * kW + size_t(x)) * 4;
    }
    static constexpr int kW = 6, kH = 5;
    EngineState st;
};

}  // namespace

TEST(MergeModes, NamesMapToCodesExactly) {
    EXPECT_EQ(layers::merge_mode_code("Normal"), 0);
    EXPECT_EQ(layers::merge_mode_code("Multiply"), 1);
    EXPECT_EQ(layers::merge_mode_code("multiply"), 0);
    EXPECT_EQ(layers::merge_mode_code("Multiply "), 0);
    EXPECT_EQ(layers::merge_mode_code("Texturize3"), 19);
    EXPECT_EQ(layers::merge_mode_code("Alpha Filter"), 21);
    EXPECT_EQ(layers::merge_mode_code("Luminance Alpha Invert"), 40);
    EXPECT_EQ(layers::merge_mode_code(""), 0);
    EXPECT_EQ(layers::merge_mode_code(nullptr), 0);
    // Every code but 20 has exactly one name.
    const char* names[] = {"Screen", "Darken", "Lighten", "Difference", "Negation", "Exclusion",
                           "Overlay", "Hard Light", "Soft Light", "Dodge", "Burn", "Reflect",
                           "Glow", "Add", "Subtract", "Texturize", "Texturize2"};
    for (int i = 0; i < 17; ++i) EXPECT_EQ(layers::merge_mode_code(names[i]), i + 2) << names[i];
}

TEST_F(Layers, PaperIsWhiteInEveryWordAndOthersAreClear) {
    ASSERT_EQ(layers::create_layer(st, 1, kW, kH), 1);
    ASSERT_EQ(layers::create_layer(st, 2, kW, kH), 1);
    for (int i = 0; i < kW * kH * 4; ++i) {
        ASSERT_EQ(st.canvas.slots[1].pixels[size_t(i)], 0xFFFF);
        ASSERT_EQ(st.canvas.slots[2].pixels[size_t(i)], 0);
    }
    EXPECT_EQ(st.canvas.slots[2].row_words, kW * 4);
}

TEST_F(Layers, CreateAgainClearsAndKeepsTheBlock) {
    layers::create_layer(st, 2, kW, kH);
    const uint16_t* block = st.canvas.slots[2].pixels.data();
    px(2, 1, 1)[0] = 1234;
    layers::create_layer(st, 2, kW, kH);
    EXPECT_EQ(st.canvas.slots[2].pixels.data(), block);
    EXPECT_EQ(px(2, 1, 1)[0], 0);
    layers::create_layer(st, 2, 3, 2);
    EXPECT_EQ(st.canvas.slots[2].width, 3);
    EXPECT_EQ(st.canvas.slots[2].pixels.size(), 24u);
}

TEST_F(Layers, BadSlotsAndSizesChangeNothing) {
    layers::create_layer(st, 2, kW, kH);
    px(2, 0, 0)[0] = 77;
    EXPECT_EQ(layers::create_layer(st, 64, kW, kH), 0);
    EXPECT_EQ(layers::create_layer(st, -1, kW, kH), 0);
    EXPECT_EQ(layers::create_layer(st, 2, 0, 10), 0);
    EXPECT_EQ(layers::create_layer(st, 2, 20000, 20000), 0);
    EXPECT_EQ(layers::create_layer(st, 2, -4, 4), 0);
    EXPECT_EQ(px(2, 0, 0)[0], 77);
    EXPECT_EQ(st.canvas.slots[2].width, kW);
    layers::delete_layer(st, 64);
    layers::delete_layer(st, -3);
    layers::swap_layers(st, 2, 64);
    layers::swap_layers(st, -1, 2);
    EXPECT_EQ(px(2, 0, 0)[0], 77);
}

TEST_F(Layers, LayerCountIncludesSlotZero) {
    layers::create_layer(st, 0, kW, kH);
    layers::create_layer(st, 1, kW, kH);
    layers::create_layer(st, 7, kW, kH);
    EXPECT_EQ(layers::layer_count(st), 3);
    layers::delete_layer(st, 7);
    EXPECT_EQ(layers::layer_count(st), 2);
}

TEST_F(Layers, SetLayerIgnoresEmptyAndOutOfRangeSlots) {
    layers::create_layer(st, 2, kW, kH);
    layers::set_layer(st, 2);
    EXPECT_EQ(st.canvas.current_layer_num, 2);
    layers::set_layer(st, 5);
    layers::set_layer(st, -1);
    layers::set_layer(st, 64);
    EXPECT_EQ(st.canvas.current_layer_num, 2);
}

TEST_F(Layers, OptionsStoreOpacityModeNameAndTopIndex) {
    layers::create_layer(st, 1, kW, kH);
    layers::create_layer(st, 2, kW, kH);
    layers::create_layer(st, 7, kW, kH);
    layers::set_layer_options(st, 2, 0x101, 1, 100, "Multiply");
    const LayerRecord& r = st.canvas.slots[2];
    EXPECT_EQ(r.visible, 1);
    EXPECT_EQ(r.opacity, 256);
    EXPECT_EQ(r.merge_mode, 1);
    EXPECT_STREQ(r.mode_name, "Multiply");
    EXPECT_EQ(st.canvas.top_layer_index, 7);
    layers::set_layer_options(st, 2, 1, 0, 50, "multiply");
    EXPECT_EQ(r.merge_mode, 0);
    EXPECT_EQ(r.opacity, 128);
    // 50 characters: the stored name is emptied, the mode still comes from the text.
    const std::string fifty(50, 'a');
    layers::set_layer_options(st, 2, 1, 0, 100, fifty.c_str());
    EXPECT_STREQ(r.mode_name, "");
    layers::set_layer_options(st, 2, 1, 0, 100, nullptr);
    EXPECT_EQ(r.merge_mode, 0);
    // Opacity is held to 0..256 whatever the percentage.
    layers::set_layer_options(st, 2, 1, 0, 300, "Normal");
    EXPECT_EQ(r.opacity, 256);
    layers::set_layer_options(st, 2, 1, 0, -5, "Normal");
    EXPECT_EQ(r.opacity, 0);
}

TEST_F(Layers, TopIndexIsOneWhenOnlyTheTracingLayerExists) {
    layers::create_layer(st, 0, kW, kH);
    layers::set_layer_options(st, 0, 1, 0, 100, "Normal");
    EXPECT_EQ(st.canvas.top_layer_index, 1);
}

TEST_F(Layers, TextureAveragesColourAndClamps) {
    layers::create_layer(st, 3, kW, kH);
    uint16_t* p = px(3, 0, 0);
    p[0] = 65535, p[1] = 65535, p[2] = 0;  // yellow
    p = px(3, 1, 0);
    p[0] = p[1] = p[2] = 65535;  // white
    uint8_t* t = layers::create_texture(st, 3);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t[0], 170);
    EXPECT_EQ(t[1], 250);
    EXPECT_EQ(t[2], 4);  // black
    EXPECT_EQ(layers::create_texture(st, 4), nullptr);   // empty slot
    EXPECT_EQ(layers::create_texture(st, 99), nullptr);  // out of range
    layers::create_layer(st, 5, kW + 1, kH);
    EXPECT_EQ(layers::create_texture(st, 5), nullptr);   // not canvas-sized
}

TEST_F(Layers, TexturizingLayersFollowSetLayerAndOptions) {
    layers::create_layer(st, 2, kW, kH);
    layers::create_layer(st, 3, kW, kH);
    layers::set_layer(st, 2);
    layers::set_layer_options(st, 3, 1, 0, 100, "Texturize3");
    EXPECT_FALSE(st.canvas.texture.empty());  // built from a visible non-current layer
    layers::set_layer(st, 3);
    EXPECT_TRUE(st.canvas.texture.empty());  // does not texture its own painting
    layers::set_layer(st, 2);
    EXPECT_FALSE(st.canvas.texture.empty());  // rebuilt from the previous current layer
    layers::delete_layer(st, 3);
    layers::set_layer(st, 3);  // empty: nothing happens
    EXPECT_EQ(st.canvas.current_layer_num, 2);
}

TEST_F(Layers, AlphaOperations) {
    layers::create_layer(st, 2, kW, kH);
    layers::set_layer_alpha(st, 2, 40000);
    EXPECT_EQ(px(2, 5, 4)[3], 40000);
    layers::invert_alpha(st, 2);
    EXPECT_EQ(px(2, 0, 0)[3], 25535);
    st.canvas.slots[2].opacity = 128;
    px(2, 0, 0)[3] = 65535;
    px(2, 1, 0)[3] = 3;
    layers::normalize_layer_alpha(st, 2);
    EXPECT_EQ(px(2, 0, 0)[3], 32767);
    EXPECT_EQ(px(2, 1, 0)[3], 1);
    EXPECT_EQ(st.canvas.slots[2].opacity, 256);
}

TEST_F(Layers, WholeLayerOperationsOnDeletedSlotsDoNothing) {
    layers::create_layer(st, 2, kW, kH);
    layers::delete_layer(st, 2);  // keeps width and height
    layers::set_layer_alpha(st, 2, 1);
    layers::normalize_layer_alpha(st, 2);
    layers::invert_alpha(st, 2);
    layers::create_blob_from_image(st, 2, 1);
    layers::set_layer_alpha(st, 64, 1);
    layers::invert_alpha(st, -1);
    layers::create_blob_from_image(st, 70, 0);
    EXPECT_FALSE(st.canvas.slots[2].has_pixels());
}

TEST_F(Layers, ColourAlphaUsesReplicatingWidening) {
    layers::create_layer(st, 2, kW, kH);
    layers::set_layer(st, 2);
    px(2, 0, 0)[3] = 255;
    px(2, 1, 0)[3] = 256;
    layers::set_colour_alpha(st, 255, 1, 0);
    EXPECT_EQ(px(2, 0, 0)[0], 65535);
    EXPECT_EQ(px(2, 0, 0)[1], 257);
    EXPECT_EQ(px(2, 0, 0)[3], 0);
    EXPECT_EQ(px(2, 1, 0)[0], 0);
    EXPECT_EQ(px(2, 1, 0)[3], 256);
}

TEST_F(Layers, Rgba32BufferOperations) {
    std::vector<uint8_t> buf(size_t(kW) * kH * 4, 0);
    buf[3] = 10;
    buf[4] = 1, buf[5] = 2, buf[6] = 3, buf[7] = 200;
    layers::invert_alpha_rgba32(st, buf.data());
    EXPECT_EQ(buf[3], 245);
    EXPECT_EQ(buf[11], 255);
    layers::set_alpha_from_rgba_image_colour(st, buf.data(), 1, 2, 3);
    EXPECT_EQ(buf[7], 0);
    EXPECT_EQ(buf[3], 245);
    layers::set_colour_alpha_rgba_buf(buf.data(), 2, 1, 9, 8, 7);
    EXPECT_EQ(buf[4], 9);  // alpha 0 now
    EXPECT_EQ(buf[0], 0);  // alpha 245: untouched
    layers::invert_alpha_rgba32(st, nullptr);
    layers::set_colour_alpha_rgba_buf(nullptr, 2, 2, 0, 0, 0);
}

TEST_F(Layers, BlobReliefPullsTowardTheMiddle) {
    layers::create_layer(st, 2, kW, kH);
    uint16_t* p = px(2, 0, 0);
    p[0] = p[1] = p[2] = 65535;
    p[3] = 65535;
    uint16_t* q = px(2, 1, 0);
    q[0] = q[1] = q[2] = 0;
    q[3] = 8191;
    layers::create_blob_from_image(st, 2, 1);
    EXPECT_EQ(p[0], 32766);  // 65535 - 65535 x 32768 / 65534 = 32766.5, truncated
    EXPECT_EQ(p[3], 65485);  // trunc(65535 x 0.843 + 10239)
    EXPECT_EQ(q[0], 32767);
    EXPECT_EQ(q[3], 8191);   // weak alpha stays
    uint16_t* r = px(2, 2, 0);
    r[0] = 100, r[1] = 0, r[2] = 0, r[3] = 9000;
    layers::create_blob_from_image(st, 2, 0);
    EXPECT_EQ(r[0], 32767);
    EXPECT_EQ(r[3], 10266);  // h = 33: trunc(33 x 0.843 + 10239)
}

TEST_F(Layers, PaintLayerAndBlurKeepOpaqueEdges) {
    layers::create_paint_layer(st, 100, "Normal");
    LayerRecord& pl = st.canvas.paint_layer;
    ASSERT_TRUE(layers::is_canvas_sized(st, pl));
    pl.pixels[3] = 0xFF00;                  // 255: stays opaque
    pl.pixels[(1 * kW + 1) * 4 + 3] = 0x9000;  // thin paint in the middle
    layers::blur_paint_layer_alpha(st);
    EXPECT_EQ(pl.pixels[3], 65535);
    EXPECT_EQ(pl.pixels[(1 * kW + 1) * 4 + 3] & 0xFF, 0);
    EXPECT_LT(pl.pixels[(1 * kW + 1) * 4 + 3], 0x9000);
    EXPECT_GT(pl.pixels[(1 * kW + 2) * 4 + 3], 0);
    layers::delete_paint_layer(st);
    layers::blur_paint_layer_alpha(st);  // no paint layer: nothing
}

TEST(LayerAllocation, RetryFreesUndoMemoryCountedInKilobytes) {
    EngineState st;
    canvas::create_image(st, nullptr, 64, 64, 8, 0);
    layers::create_layer(st, 2, 64, 64);
    layers::set_layer(st, 2);
    undo::set_levels(st, 10);
    undo::set_budget_mb(st, 100);
    for (int i = 0; i < 3; ++i) undo::save(st, true, false);  // 40 KB each
    ASSERT_EQ(undo::undo_count(st), 3);
    // The first attempt fails; the retry must free 64 x 64 x 8 / 1024 = 32 KB
    // of history (in megabytes it would free nothing) and then succeed.
    alloc_hook::fail_next(1);
    EXPECT_EQ(layers::create_layer(st, 3, 64, 64), 1);
    alloc_hook::reset();
    EXPECT_EQ(undo::undo_count(st), 2);
    // Both attempts failing is reported, and the slot stays empty.
    alloc_hook::fail_next(2);
    EXPECT_THROW(layers::create_layer(st, 4, 64, 64), std::bad_alloc);
    alloc_hook::reset();
    EXPECT_FALSE(st.canvas.slots[4].has_pixels());
}

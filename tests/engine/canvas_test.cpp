// Canvas set-up, resize and deletion.
#include "engine/canvas.h"

#include <gtest/gtest.h>

#include "engine/layers.h"
#include "engine/settings.h"
#include "undo/history.h"

using namespace qrn;

namespace {
struct HookReset {
    ~HookReset() { alloc_hook::reset(); }
};
}  // namespace

TEST(Canvas, OutOfRangeSidesBecomeOneHundred) {
    EngineState st;
    canvas::create_image(st, nullptr, 10001, 500, 64, 0);
    EXPECT_EQ(st.canvas.width, 100);
    EXPECT_EQ(st.canvas.height, 500);
    canvas::create_image(st, nullptr, -1, 10000, 8, 0);
    EXPECT_EQ(st.canvas.width, 100);
    EXPECT_EQ(st.canvas.height, 10000);
    canvas::create_image(st, nullptr, 0, 7, 8, 0);  // 0 is accepted
    EXPECT_EQ(st.canvas.width, 0);
    EXPECT_EQ(st.canvas.row_bytes, 0);
    EXPECT_TRUE(st.canvas.mask.empty());
}

TEST(Canvas, CreateImageAllocatesEveryBuffer) {
    EngineState st;
    canvas::create_image(st, reinterpret_cast<void*>(0x1234), 40, 30, 16, 99);
    EXPECT_EQ(st.canvas.host_window, reinterpret_cast<void*>(0x1234));
    EXPECT_EQ(st.canvas.row_bytes, 160);
    EXPECT_EQ(st.canvas.max_brush_row, 64);
    EXPECT_EQ(st.canvas.reserved, 99);
    EXPECT_EQ(st.settings.scale_a, 1);
    EXPECT_EQ(st.settings.mask_enabled, 1);
    EXPECT_EQ(st.canvas.tracing_slot, 0);
    ASSERT_EQ(st.canvas.mask.size(), 1200u);
    for (size_t i = 0; i < 1200; ++i) ASSERT_EQ(st.canvas.mask[i], 65535);
    for (const auto& g : st.brush.grit) {
        ASSERT_EQ(g.size(), size_t(41 * 41));
        for (size_t i = 0; i < g.size(); ++i) ASSERT_EQ(g[i], 255);  // no grit yet
    }
    EXPECT_EQ(st.brush.shape.size(), 256u);
    EXPECT_EQ(st.brush.blend.size(), 1024u);
    EXPECT_EQ(st.undo.back_pixels.size(), 4800u);
    EXPECT_EQ(st.grit_placement.length, 1000000);
    EXPECT_EQ(st.grit_value.modulus, 254);
    EXPECT_EQ(st.canvas.current_slot, -1);
}

TEST(Canvas, UndoMemoryCountsTheBackBuffers) {
    EngineState st;
    canvas::create_image(st, nullptr, 2048, 2048, 8, 0);
    EXPECT_EQ(undo::current_memory_mb(st), 40);
}

TEST(Canvas, CreateImageFreesEveryLayer) {
    EngineState st;
    canvas::create_image(st, nullptr, 8, 8, 8, 0);
    ASSERT_EQ(layers::create_layer(st, 3, 8, 8), 1);
    layers::set_layer(st, 3);
    canvas::create_image(st, nullptr, 8, 8, 8, 0);
    EXPECT_FALSE(st.canvas.slots[3].has_pixels());
    EXPECT_EQ(st.canvas.slots[3].width, 8);  // other fields stay
    EXPECT_EQ(layers::current(st), nullptr);
}

TEST(Canvas, NewSizeKeepsSlotsButTheyNoLongerMatchTheCanvas) {
    EngineState st;
    canvas::create_image(st, nullptr, 8, 8, 8, 0);
    layers::create_layer(st, 2, 8, 8);
    layers::set_layer(st, 2);
    canvas::new_size(st, nullptr, 16, 12, 8, 0);
    EXPECT_TRUE(st.canvas.slots[2].has_pixels());
    EXPECT_EQ(st.canvas.current_slot, 2);
    // The 8 x 8 slot is not addressed with the 16 x 12 geometry.
    EXPECT_EQ(layers::canvas_view(st, 2), nullptr);
    EXPECT_EQ(st.canvas.mask.size(), 192u);
    EXPECT_EQ(st.undo.back_pixels.size(), 192u * 4);
}

TEST(Canvas, SmallerBrushBuffersClampBrushSizeAndFootprint) {
    EngineState st;
    canvas::create_image(st, nullptr, 8, 8, 64, 0);
    st.brush.size = 60;
    st.brush.footprint = 50;
    canvas::new_size(st, nullptr, 8, 8, 20, 0);
    EXPECT_EQ(st.brush.size, 20);
    EXPECT_EQ(st.brush.footprint, 20);
    EXPECT_EQ(st.brush.scale_map[19], 19);  // identity, as a fresh size gives
    EXPECT_EQ(st.brush.grit_choice, -1);
}

TEST(Canvas, NegativeBrushSizeBecomesZero) {
    EngineState st;
    canvas::create_image(st, nullptr, 8, 8, -5, 0);
    EXPECT_EQ(st.canvas.max_brush, 0);
    EXPECT_EQ(st.brush.grit[0].size(), 625u);
    EXPECT_TRUE(st.brush.shape.empty());
}

TEST(Canvas, DeleteImageFreesEverythingAndForgetsTheCurrentLayer) {
    const long before = alloc_hook::live_blocks();
    {
        EngineState st;
        canvas::create_image(st, nullptr, 8, 8, 8, 0);
        layers::create_layer(st, 1, 8, 8);
        layers::create_layer(st, 2, 8, 8);
        layers::set_layer(st, 2);
        layers::create_paint_layer(st, 100, "Normal");
        canvas::delete_image(st);
        EXPECT_EQ(layers::current(st), nullptr);
        EXPECT_FALSE(layers::mask_active(st));
        EXPECT_EQ(st.undo.used_kb, 0);
        EXPECT_EQ(layers::layer_count(st), 0);
        st.grit_placement.bytes.reset();
        st.grit_value.bytes.reset();
        EXPECT_EQ(alloc_hook::live_blocks(), before);
    }
}

TEST(Canvas, AllocationFailureLeavesAUsableStateAndNoLeak) {
    const long before = alloc_hook::live_blocks();
    HookReset reset;
    for (long n = 0; n < 40; ++n) {
        SCOPED_TRACE(n);
        {
            EngineState st;
            alloc_hook::fail_after(n);
            bool threw = false;
            try {
                canvas::create_image(st, nullptr, 16, 16, 8, 0);
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            alloc_hook::reset();
            // Whatever failed, the state can be used and rebuilt.
            layers::create_layer(st, 2, 16, 16);
            layers::set_layer(st, 2);
            undo::save(st, true, true);
            canvas::create_image(st, nullptr, 16, 16, 8, 0);
            EXPECT_EQ(st.canvas.mask.size(), 256u);
            if (!threw) break;
        }
        EXPECT_EQ(alloc_hook::live_blocks(), before);
    }
}

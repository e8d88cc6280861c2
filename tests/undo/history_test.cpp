#include "undo/history.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/buffer.h"
#include "engine/engine_state.h"
#include "engine/layers.h"
#include "platform/memory_status.h"

namespace {

using qrn::Buffer;
using qrn::EngineState;
namespace undo = qrn::undo;
namespace layers = qrn::layers;

// 64 x 32: a 32 x 32 rectangle counts 8 KB of pixels and 2 KB of mask, the whole
// canvas 20 KB, so budgets are easy to reason about.
constexpr int32_t kW = 64;
constexpr int32_t kH = 32;
constexpr int64_t kBackKb = 20;   // the two back buffers
constexpr int64_t kEntryKb = 10;  // one 32 x 32 rectangle, pixels and mask

struct Rect {
    int32_t x1, y1, x2, y2;
};

// A canvas as set-up leaves it: mask all selected, back buffers, layers 2 and 3,
// layer 2 current, history cleared.
std::unique_ptr<EngineState> make_canvas(int32_t w = kW, int32_t h = kH) {
    auto st = std::make_unique<EngineState>();
    st->canvas.width = w;
    st->canvas.height = h;
    st->canvas.row_bytes = w * 4;
    const size_t px = size_t(w) * size_t(h);
    st->canvas.mask = Buffer<uint16_t>::make(px);
    st->canvas.mask.fill_bytes(0xFF);
    st->settings.mask_enabled = 1;
    st->undo.back_pixels = Buffer<uint16_t>::make(px * 4);
    st->undo.back_mask = Buffer<uint16_t>::make(px);
    layers::create_layer(*st, 2, w, h);
    layers::create_layer(*st, 3, w, h);
    layers::set_layer(*st, 2);
    undo::clear(*st);
    return st;
}

std::vector<uint16_t> copy_of(const Buffer<uint16_t>& b) {
    return b.empty() ? std::vector<uint16_t>{} : std::vector<uint16_t>(b.data(), b.data() + b.size());
}
std::vector<uint16_t> layer_of(const EngineState& st, int32_t s) {
    return copy_of(st.canvas.slots[size_t(s)].pixels);
}

// What the dab renderer does: change pixels and grow the changed rectangle.
void grow(EngineState& st, Rect r) {
    qrn::ChangedRect& c = st.undo.changed;
    c.x1 = std::min(c.x1, r.x1);
    c.y1 = std::min(c.y1, r.y1);
    c.x2 = std::max(c.x2, r.x2);
    c.y2 = std::max(c.y2, r.y2);
}
void paint(EngineState& st, int32_t s, Rect r, uint16_t v) {
    qrn::LayerRecord& l = st.canvas.slots[size_t(s)];
    for (int32_t y = r.y1; y <= r.y2; ++y)
        for (int32_t x = r.x1; x <= r.x2; ++x)
            for (int c = 0; c < 4; ++c) l.pixels[(size_t(y) * size_t(l.width) + size_t(x)) * 4 + c] = v;
    grow(st, r);
}
void paint_mask(EngineState& st, Rect r, uint16_t v) {
    for (int32_t y = r.y1; y <= r.y2; ++y)
        for (int32_t x = r.x1; x <= r.x2; ++x) st.canvas.mask[size_t(y) * size_t(kW) + size_t(x)] = v;
    grow(st, r);
}

// Pins the memory figures for one test and always returns to the live reading.
struct FakeMemory {
    explicit FakeMemory(uint64_t avail_phys, uint64_t avail_page) {
        qrn::platform::MemoryStatus m;
        m.total_phys = m.total_page = uint64_t(1) << 40;
        m.avail_phys = avail_phys;
        m.avail_page = avail_page;
        qrn::platform::set_fake_memory_status(&m);
    }
    ~FakeMemory() { qrn::platform::set_fake_memory_status(nullptr); }
};

struct AllocFailure {
    explicit AllocFailure(long after) { qrn::alloc_hook::fail_after(after); }
    ~AllocFailure() { qrn::alloc_hook::reset(); }
};

class UndoHistory : public ::testing::Test {
protected:
    void SetUp() override {
        undo::set_levels(st, 10);
        undo::set_budget_mb(st, 100);
    }
    std::unique_ptr<EngineState> owner = make_canvas();
    EngineState& st = *owner;
};

TEST_F(UndoHistory, SaveUndoRedoUndoRestoresEachState) {
    const auto before = layer_of(st, 2);
    paint(st, 2, {3, 2, 20, 9}, 0x1234);
    undo::save(st, true, false);
    const auto after = layer_of(st, 2);
    EXPECT_EQ(copy_of(st.undo.back_pixels), after);
    EXPECT_EQ(st.undo.changed.x1, kW - 1);  // reset to the empty state
    EXPECT_EQ(st.undo.changed.x2, 0);

    undo::undo(st);
    EXPECT_EQ(layer_of(st, 2), before);
    EXPECT_EQ(copy_of(st.undo.back_pixels), before);
    EXPECT_EQ(undo::redo_count(st), 1);
    EXPECT_EQ(undo::can_redo(st), 1);
    EXPECT_EQ(undo::can_undo(st), 0);
    EXPECT_EQ(undo::undo_count(st), 1);  // the undone entry still counts

    undo::redo(st);
    EXPECT_EQ(layer_of(st, 2), after);
    EXPECT_EQ(copy_of(st.undo.back_pixels), after);
    EXPECT_EQ(undo::redo_count(st), 0);

    undo::undo(st);
    EXPECT_EQ(layer_of(st, 2), before);
}

TEST_F(UndoHistory, MaskRoundTripLeavesTheMaskFlagAlone) {
    const auto before = copy_of(st.canvas.mask);
    paint_mask(st, {0, 0, 31, 31}, 0);
    undo::save(st, false, true);
    const auto after = copy_of(st.canvas.mask);
    EXPECT_EQ(st.undo.used_kb, kBackKb + 2);
    st.settings.mask_enabled = 0;

    undo::undo(st);
    EXPECT_EQ(copy_of(st.canvas.mask), before);
    EXPECT_EQ(copy_of(st.undo.back_mask), before);
    EXPECT_EQ(st.settings.mask_enabled, 0);  // recorded with the entry, never restored
    undo::redo(st);
    EXPECT_EQ(copy_of(st.canvas.mask), after);
}

TEST_F(UndoHistory, SaveAfterUndoDropsTheUndoneEntries) {
    const auto s0 = layer_of(st, 2);
    paint(st, 2, {0, 0, 31, 31}, 1);
    undo::save(st, true, true);
    const auto s1 = layer_of(st, 2);
    paint(st, 2, {16, 0, 47, 31}, 2);
    undo::save(st, true, true);
    undo::undo(st);
    paint(st, 2, {32, 0, 63, 31}, 3);
    undo::save(st, true, true);

    EXPECT_EQ(undo::can_redo(st), 0);
    EXPECT_EQ(undo::undo_count(st), 2);
    EXPECT_EQ(st.undo.used_kb, kBackKb + 2 * kEntryKb);
    undo::undo(st);
    EXPECT_EQ(layer_of(st, 2), s1);
    undo::undo(st);
    EXPECT_EQ(layer_of(st, 2), s0);
    EXPECT_EQ(undo::can_undo(st), 0);
}

TEST_F(UndoHistory, LevelsAreClampedAndZeroStoresNothing) {
    EXPECT_EQ(undo::set_levels(st, 1000), 500);
    EXPECT_EQ(undo::set_levels(st, -3), 0);
    EXPECT_EQ(undo::set_levels(st, 0), 0);

    paint(st, 2, {0, 0, 31, 31}, 7);
    undo::save(st, true, true);
    EXPECT_EQ(undo::undo_count(st), 0);
    EXPECT_EQ(st.undo.used_kb, kBackKb);
    EXPECT_EQ(copy_of(st.undo.back_pixels), layer_of(st, 2));  // still refreshed
    const auto painted = layer_of(st, 2);
    undo::undo(st);
    EXPECT_EQ(layer_of(st, 2), painted);
}

// Budget 0 (the state at load), a negative budget and one below the entry's size
// all evict every older entry and keep the newest over budget.
TEST_F(UndoHistory, TightBudgetKeepsOnlyTheNewestEntry) {
    const std::vector<std::pair<const char*, std::function<void(EngineState&)>>> budgets = {
        {"zero", [](EngineState& s) { s.undo.budget_kb = 0; }},
        {"negative", [](EngineState& s) { EXPECT_EQ(undo::set_budget_mb(s, -2), -2048); }},
        {"below entry", [](EngineState& s) { s.undo.budget_kb = 5; }},
    };
    for (const auto& [name, set_budget] : budgets) {
        SCOPED_TRACE(name);
        auto fresh = make_canvas();
        EngineState& s = *fresh;
        undo::set_levels(s, 4);
        set_budget(s);
        const Rect rects[] = {{0, 0, 31, 31}, {32, 0, 63, 31}, {16, 0, 47, 31}};
        std::vector<uint16_t> last_before;
        for (int i = 0; i < 3; ++i) {
            last_before = layer_of(s, 2);
            paint(s, 2, rects[i], uint16_t(100 + i));
            undo::save(s, true, true);
            EXPECT_EQ(undo::undo_count(s), 1);
            EXPECT_EQ(s.undo.used_kb, kBackKb + kEntryKb);
        }
        undo::undo(s);
        EXPECT_EQ(layer_of(s, 2), last_before);
        EXPECT_EQ(undo::can_undo(s), 0);
    }
}

TEST_F(UndoHistory, BudgetArithmeticIsSixtyFourBit) {
    EXPECT_EQ(undo::set_budget_mb(st, 3000000), INT32_MAX);
    EXPECT_EQ(st.undo.budget_kb, int64_t(3000000) * 1024);
    EXPECT_EQ(undo::total_memory_mb(st), 3000000);
    EXPECT_EQ(undo::set_budget_mb(st, INT32_MIN), INT32_MIN);
    EXPECT_EQ(undo::total_memory_mb(st), INT32_MIN);
}

// Room for three entries: each save beyond that evicts the oldest, and the three
// kept still undo and redo to the right states.
TEST_F(UndoHistory, EvictsOldestEntriesFirstWithinBudget) {
    st.undo.budget_kb = kBackKb + 4 * kEntryKb;  // used + estimate must stay below
    const Rect rects[] = {{0, 0, 31, 31}, {32, 0, 63, 31}, {16, 0, 47, 31}, {8, 0, 39, 31}, {24, 0, 55, 31}};
    std::vector<std::vector<uint16_t>> states{layer_of(st, 2)};
    for (int i = 0; i < 5; ++i) {
        paint(st, 2, rects[i], uint16_t(0x100 * (i + 1)));
        undo::save(st, true, true);
        states.push_back(layer_of(st, 2));
        const int kept = std::min(i + 1, 3);
        EXPECT_EQ(undo::undo_count(st), kept);
        EXPECT_EQ(st.undo.used_kb, kBackKb + kept * kEntryKb);
    }
    for (int i = 4; i >= 2; --i) {
        undo::undo(st);
        EXPECT_EQ(layer_of(st, 2), states[size_t(i)]) << "undo to state " << i;
    }
    EXPECT_EQ(undo::can_undo(st), 0);
    undo::undo(st);
    EXPECT_EQ(layer_of(st, 2), states[2]);
    EXPECT_EQ(undo::redo_count(st), 3);
    for (int i = 3; i <= 5; ++i) {
        undo::redo(st);
        EXPECT_EQ(layer_of(st, 2), states[size_t(i)]) << "redo to state " << i;
    }
}

// Nothing painted, one pixel wide, one pixel high, larger than the canvas: each
// saves the whole canvas, so undo also restores pixels outside the rectangle.
TEST(UndoHistoryRect, DegenerateRectanglesSaveTheWholeCanvas) {
    const struct {
        const char* name;
        bool empty;
        Rect r;
    } cases[] = {{"empty", true, {}},
                 {"one pixel wide", false, {5, 3, 5, 20}},
                 {"one pixel high", false, {3, 7, 40, 7}},
                 {"beyond the canvas", false, {-10, -10, 100, 100}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto owner = make_canvas();
        EngineState& st = *owner;
        undo::set_levels(st, 3);
        undo::set_budget_mb(st, 100);
        const auto before = layer_of(st, 2);
        st.canvas.slots[2].pixels.fill_bytes(0x42);
        if (!c.empty) st.undo.changed = {c.r.x1, c.r.y1, c.r.x2, c.r.y2};
        undo::save(st, true, true);
        EXPECT_EQ(st.undo.used_kb, kBackKb + kBackKb);  // an entry as large as the canvas
        undo::undo(st);
        EXPECT_EQ(layer_of(st, 2), before);
    }
}

TEST_F(UndoHistory, UndoOfAnotherLayersEntrySwitchesToIt) {
    const auto l2_before = layer_of(st, 2);
    paint(st, 2, {4, 4, 20, 20}, 9);
    undo::save(st, true, false);
    const auto l2_after = layer_of(st, 2);
    layers::set_layer(st, 3);
    paint(st, 3, {0, 0, 5, 5}, 5);  // unsaved paint on layer 3 must survive
    const auto l3 = layer_of(st, 3);

    undo::undo(st);
    EXPECT_EQ(st.canvas.current_layer_num, 2);
    EXPECT_EQ(st.canvas.current_slot, 2);
    EXPECT_EQ(layer_of(st, 2), l2_before);
    EXPECT_EQ(layer_of(st, 3), l3);
    EXPECT_EQ(copy_of(st.undo.back_pixels), l2_before);

    layers::set_layer(st, 3);
    undo::redo(st);
    EXPECT_EQ(st.canvas.current_layer_num, 2);
    EXPECT_EQ(layer_of(st, 2), l2_after);
    EXPECT_EQ(layer_of(st, 3), l3);
}

TEST_F(UndoHistory, ReduceFreesOldestEntriesWithPixelsFirst) {
    paint_mask(st, {0, 0, 31, 31}, 1);
    undo::save(st, false, true);  // oldest, mask only: never freed by reduce
    const Rect rects[] = {{0, 0, 31, 31}, {32, 0, 63, 31}, {16, 0, 47, 31}};
    for (int i = 0; i < 3; ++i) {
        paint(st, 2, rects[i], uint16_t(i + 1));
        undo::save(st, true, true);
    }
    EXPECT_EQ(st.undo.used_kb, kBackKb + 2 + 3 * kEntryKb);

    undo::reduce(st, 0);
    EXPECT_EQ(undo::undo_count(st), 4);
    EXPECT_EQ(st.undo.used_kb, kBackKb + 2 + 3 * kEntryKb);

    undo::reduce(st, kEntryKb);  // stops as soon as the amount is reached
    EXPECT_EQ(undo::undo_count(st), 3);
    EXPECT_EQ(st.undo.used_kb, kBackKb + 2 + 2 * kEntryKb);
    undo::undo(st);
    undo::undo(st);
    EXPECT_EQ(undo::redo_count(st), 2);
    EXPECT_EQ(undo::can_undo(st), 0);  // the first layer entry is gone

    undo::reduce(st, kEntryKb + 1);  // undone entries go too, oldest first
    EXPECT_EQ(undo::undo_count(st), 1);
    EXPECT_EQ(st.undo.used_kb, kBackKb + 2);
    EXPECT_NE(st.undo.entries[3].mask.data(), nullptr);
}

TEST_F(UndoHistory, PausedHistoryChangesNothingUntilResumedOrCleared) {
    paint(st, 2, {0, 0, 31, 31}, 1);
    undo::save(st, true, true);
    undo::undo(st);
    undo::pause(st);

    const auto layer = layer_of(st, 2);
    const auto back = copy_of(st.undo.back_pixels);
    undo::undo(st);
    undo::redo(st);
    EXPECT_EQ(undo::redo_count(st), 1);
    EXPECT_EQ(layer_of(st, 2), layer);

    paint(st, 2, {32, 0, 63, 31}, 2);
    undo::save(st, true, true);
    undo::save_back_buffer(st, 2);
    EXPECT_EQ(undo::can_redo(st), 1);  // the undone entry was not dropped
    EXPECT_EQ(undo::undo_count(st), 1);
    EXPECT_EQ(copy_of(st.undo.back_pixels), back);
    EXPECT_EQ(st.undo.changed.x2, 63);  // the changed rectangle is kept for later

    undo::resume(st);
    undo::redo(st);
    EXPECT_EQ(undo::redo_count(st), 0);

    // Clearing also resumes, and counts only the back buffers, refreshed.
    undo::pause(st);
    undo::clear(st);
    EXPECT_FALSE(st.undo.paused);
    EXPECT_EQ(undo::undo_count(st), 0);
    EXPECT_EQ(st.undo.used_kb, kBackKb);
    EXPECT_EQ(copy_of(st.undo.back_pixels), layer_of(st, 2));
}

TEST(UndoBudget, AutomaticBudgetFollowsFreeMemory) {
    auto owner = make_canvas(2048, 2048);
    EngineState& st = *owner;
    EXPECT_EQ(undo::current_memory_mb(st), 40);  // 2048 x 2048 x 10 bytes of back buffers
    const int64_t q = 2048 * 2048 / 1024;

    {
        // M = the smaller figure, 512 MB + 1000 bytes: 524288 KB after truncation.
        FakeMemory mem(uint64_t(1) << 30, (uint64_t(512) << 20) + 1000);
        // trunc(524288 x 0.85 + 40960) - 20q = 486604 - 81920
        EXPECT_EQ(undo::set_budget_mb(st, 0), 404684);
        EXPECT_EQ(undo::total_memory_mb(st), 395);
    }
    {
        FakeMemory mem(uint64_t(10) << 20, uint64_t(1) << 30);
        EXPECT_EQ(undo::total_memory_mb(st), 15 * q / 1024);  // recomputed, held at the floor
        EXPECT_EQ(st.undo.budget_kb, 15 * q);
        EXPECT_EQ(undo::set_budget_mb(st, 7), 7 * 1024);
        EXPECT_EQ(undo::total_memory_mb(st), 7);  // fixed again: memory no longer read
    }
}

// An entry whose layer was deleted, emptied or resized swaps only its mask; the
// layers stay byte-identical and the redo count still moves.
TEST(UndoHistoryLayers, UnusableLayerSkipsOnlyThePixelSwap) {
    const std::vector<std::pair<const char*, std::function<void(EngineState&)>>> cases = {
        {"deleted while another is current",
         [](EngineState& s) {
             layers::set_layer(s, 3);
             layers::delete_layer(s, 2);
         }},
        {"current layer emptied", [](EngineState& s) { layers::delete_layer(s, 2); }},
        {"current layer resized", [](EngineState& s) { layers::create_layer(s, 2, kW / 2, kH); }},
    };
    for (const auto& [name, spoil] : cases) {
        SCOPED_TRACE(name);
        auto owner = make_canvas();
        EngineState& st = *owner;
        undo::set_levels(st, 3);
        undo::set_budget_mb(st, 100);
        const auto mask_before = copy_of(st.canvas.mask);
        paint(st, 2, {0, 0, 31, 31}, 0x77);
        paint_mask(st, {0, 0, 31, 31}, 0x10);
        undo::save(st, true, true);
        const auto mask_after = copy_of(st.canvas.mask);
        spoil(st);
        // Distinct content everywhere, so a swap into the wrong layer shows.
        for (int32_t s : {2, 3}) st.canvas.slots[size_t(s)].pixels.fill_bytes(uint8_t(0x30 + s));
        const auto l2 = layer_of(st, 2);
        const auto l3 = layer_of(st, 3);

        undo::undo(st);
        EXPECT_EQ(undo::redo_count(st), 1);
        EXPECT_EQ(layer_of(st, 2), l2);
        EXPECT_EQ(layer_of(st, 3), l3);
        EXPECT_EQ(copy_of(st.canvas.mask), mask_before);
        undo::redo(st);
        EXPECT_EQ(undo::redo_count(st), 0);
        EXPECT_EQ(layer_of(st, 2), l2);
        EXPECT_EQ(layer_of(st, 3), l3);
        EXPECT_EQ(copy_of(st.canvas.mask), mask_after);
    }
}

// Without a canvas-sized current layer the layer part is not requested: the
// entry holds only the mask and the layer back buffer is left alone.
TEST(UndoHistoryLayers, SaveWithoutUsableLayerKeepsTheMaskPart) {
    const std::vector<std::pair<const char*, std::function<void(EngineState&)>>> cases = {
        {"no current layer", [](EngineState& s) { s.canvas.current_slot = -1; }},
        {"current layer resized", [](EngineState& s) { layers::create_layer(s, 2, kW, kH / 2); }},
    };
    for (const auto& [name, spoil] : cases) {
        SCOPED_TRACE(name);
        auto owner = make_canvas();
        EngineState& st = *owner;
        undo::set_levels(st, 3);
        undo::set_budget_mb(st, 100);
        spoil(st);
        const auto back = copy_of(st.undo.back_pixels);
        const auto mask_before = copy_of(st.canvas.mask);
        paint_mask(st, {0, 0, 31, 31}, 0x20);
        undo::save(st, true, true);
        EXPECT_EQ(undo::undo_count(st), 1);
        EXPECT_EQ(st.undo.used_kb, kBackKb + 2);  // mask only
        EXPECT_EQ(copy_of(st.undo.back_pixels), back);
        undo::undo(st);
        EXPECT_EQ(copy_of(st.canvas.mask), mask_before);
    }
}

// An unusable slot acts as an empty one: the layer back buffer is untouched and,
// as for any empty slot, the mask back buffer still follows the mask.
TEST(UndoHistoryLayers, BackBufferRefreshIgnoresUnusableSlots) {
    auto owner = make_canvas();
    EngineState& st = *owner;
    layers::create_layer(st, 3, kW, kH / 2);
    for (int32_t s : {64, -1, 5, 3, INT32_MIN}) {
        SCOPED_TRACE(s);
        st.undo.back_pixels.fill_bytes(0x5A);
        st.undo.back_mask.fill_bytes(0);
        const auto back = copy_of(st.undo.back_pixels);
        undo::save_back_buffer(st, s);
        EXPECT_EQ(copy_of(st.undo.back_pixels), back);
        EXPECT_EQ(copy_of(st.undo.back_mask), copy_of(st.canvas.mask));
    }

    // Without back buffers nothing can be recorded or swapped, and nothing breaks.
    undo::set_levels(st, 3);
    undo::set_budget_mb(st, 100);
    st.undo.back_pixels.reset();
    st.undo.back_mask.reset();
    paint(st, 2, {0, 0, 31, 31}, 3);
    const auto layer = layer_of(st, 2);
    undo::save_back_buffer(st, 2);
    undo::save(st, true, true);
    undo::undo(st);
    undo::redo(st);
    EXPECT_EQ(undo::undo_count(st), 0);
    EXPECT_EQ(layer_of(st, 2), layer);
}

TEST(UndoHistoryLayers, NoCanvasDoesNothing) {
    auto owner = std::make_unique<EngineState>();
    EngineState& st = *owner;
    FakeMemory mem(uint64_t(1) << 30, uint64_t(1) << 30);
    EXPECT_EQ(undo::set_levels(st, 5), 5);
    undo::set_budget_mb(st, 0);
    undo::save(st, true, true);
    undo::undo(st);
    undo::redo(st);
    undo::save_back_buffer(st, 0);
    undo::reduce(st, 100);
    EXPECT_EQ(undo::undo_count(st), 0);
    EXPECT_EQ(undo::current_memory_mb(st), 0);

    // Geometry already set but no buffers yet, as during a resize.
    st.canvas.width = kW;
    st.canvas.height = kH;
    layers::create_layer(st, 2, kW, kH);
    layers::set_layer(st, 2);
    undo::save(st, true, true);
    undo::undo(st);
    undo::clear(st);
    EXPECT_EQ(undo::can_undo(st), 0);
}

// A failed allocation records nothing but still refreshes the back buffers, gives
// back anything half-allocated and leaks nothing.
TEST(UndoHistoryAlloc, FailedAllocationStillRefreshesTheBackBuffers) {
    const long live_before = qrn::alloc_hook::live_blocks();
    {
        auto owner = make_canvas();
        EngineState& st = *owner;
        undo::set_levels(st, 5);
        undo::set_budget_mb(st, 100);
        for (long successes : {0L, 1L}) {  // 1: the pixels succeed, the mask fails
            SCOPED_TRACE(successes);
            paint(st, 2, {0, 0, 31, 31}, uint16_t(successes + 1));
            paint_mask(st, {0, 0, 31, 31}, uint16_t(successes + 1));
            const int64_t used = st.undo.used_kb;
            {
                AllocFailure fail(successes);
                undo::save(st, true, true);
            }
            EXPECT_EQ(undo::undo_count(st), 0);
            EXPECT_EQ(st.undo.used_kb, used);
            EXPECT_EQ(copy_of(st.undo.back_pixels), layer_of(st, 2));
            EXPECT_EQ(copy_of(st.undo.back_mask), copy_of(st.canvas.mask));
        }
        paint(st, 2, {0, 0, 31, 31}, 9);
        undo::save(st, true, true);  // memory is back
        EXPECT_EQ(undo::undo_count(st), 1);
    }
    EXPECT_EQ(qrn::alloc_hook::live_blocks(), live_before);
}

// After an undo the next save drops an entry of the same size and reuses its
// block, so it needs no fresh memory; the reused block must be wholly rewritten.
TEST_F(UndoHistory, SaveAfterUndoReusesTheDroppedBlock) {
    paint(st, 2, {0, 0, 31, 31}, 1);
    paint_mask(st, {0, 0, 31, 31}, 1);
    undo::save(st, true, true);
    undo::undo(st);
    const auto before = layer_of(st, 2);
    const auto mask_before = copy_of(st.canvas.mask);
    paint(st, 2, {32, 0, 63, 31}, 2);
    paint_mask(st, {32, 0, 63, 31}, 2);
    {
        AllocFailure fail(0);
        undo::save(st, true, true);
    }
    EXPECT_EQ(undo::undo_count(st), 1);
    EXPECT_EQ(st.undo.used_kb, kBackKb + kEntryKb);
    undo::undo(st);
    EXPECT_EQ(layer_of(st, 2), before);
    EXPECT_EQ(copy_of(st.canvas.mask), mask_before);
}

// Saves and swaps copy row by row, all buffers at once; run back and forth over
// rectangles of every shape, each undo and redo must give back the saved words.
TEST(UndoHistoryCopies, RectanglesRoundTripWordForWord) {
    constexpr int32_t w = 150, h = 140;
    auto owner = make_canvas(w, h);
    EngineState& st = *owner;
    undo::set_levels(st, 4);
    undo::set_budget_mb(st, 1000);
    qrn::Rng rng;
    rng.seed(5);
    const auto word = [&] { return uint16_t(rng.next() * 2 + (rng.next() & 1)); };
    const Rect rects[] = {{0, 0, w - 1, h - 1}, {3, 1, 7, 2}, {101, 7, 149, 130},
                          {0, 0, 1, 1},         {5, 9, 140, 139}, {70, 3, 79, 100}};
    std::vector<std::vector<uint16_t>> layers_seen{layer_of(st, 2)}, masks_seen{copy_of(st.canvas.mask)};
    for (const Rect& r : rects) {
        SCOPED_TRACE(r.x1 * 10000 + r.y1);
        qrn::LayerRecord& l = st.canvas.slots[2];
        for (int32_t y = r.y1; y <= r.y2; y += 1 + rng.next() % 3)
            for (int32_t x = r.x1; x <= r.x2; ++x) {
                for (int c = 0; c < 4; ++c) l.pixels[(size_t(y) * w + size_t(x)) * 4 + c] = word();
                st.canvas.mask[size_t(y) * w + size_t(x)] = word();
            }
        st.undo.changed = {r.x1, r.y1, r.x2, r.y2};
        undo::save(st, true, true);
        layers_seen.push_back(layer_of(st, 2));
        masks_seen.push_back(copy_of(st.canvas.mask));
        ASSERT_EQ(copy_of(st.undo.back_pixels), layers_seen.back());
        ASSERT_EQ(copy_of(st.undo.back_mask), masks_seen.back());
        // Back and forth over the newest entries the history keeps.
        const size_t depth = std::min<size_t>(4, layers_seen.size() - 1);
        for (size_t k = 1; k <= depth; ++k) {
            undo::undo(st);
            ASSERT_EQ(layer_of(st, 2), layers_seen[layers_seen.size() - 1 - k]);
            ASSERT_EQ(copy_of(st.canvas.mask), masks_seen[masks_seen.size() - 1 - k]);
        }
        for (size_t k = depth; k >= 1; --k) {
            undo::redo(st);
            ASSERT_EQ(layer_of(st, 2), layers_seen[layers_seen.size() - k]);
            ASSERT_EQ(copy_of(st.canvas.mask), masks_seen[masks_seen.size() - k]);
        }
        ASSERT_EQ(copy_of(st.undo.back_pixels), layers_seen.back());
    }
}

}  // namespace

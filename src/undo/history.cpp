// Undo history: each entry keeps the earlier content of one changed rectangle of
// a layer and of the mask; undo and redo swap it with the live data, so one entry
// serves both directions. Memory is counted in KB against a budget.
#include "undo/history.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/layers.h"
#include "platform/memory_status.h"

namespace qrn::undo {
namespace {

constexpr int64_t kLayerWords = 4;  // RGBA64: four 16-bit words a pixel
constexpr int64_t kMaskWords = 1;

// KB counted for w x h pixels of `bytes_per_pixel`, truncated per buffer: freeing
// must subtract exactly what allocating added.
constexpr int64_t kb_of(int64_t pixels, int64_t bytes_per_pixel) {
    return pixels * bytes_per_pixel / 1024;
}
constexpr int64_t estimate_kb(int64_t pixels) { return kb_of(pixels, 10); }

struct Rect {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    int64_t w() const { return int64_t(x2) - x1 + 1; }
    int64_t h() const { return int64_t(y2) - y1 + 1; }
    int64_t area() const { return w() * h(); }
};

Rect rect_of(const UndoEntry& e) { return {e.x1, e.y1, e.x2, e.y2}; }

int32_t active_levels(const UndoHistory& u) { return std::clamp(u.levels, 0, kUndoEntries); }

void subtract_used(UndoHistory& u, int64_t kb) { u.used_kb = std::max<int64_t>(u.used_kb - kb, 0); }

// Blocks a save frees, kept for the new entry when it needs exactly as many
// words: after an undo the next save drops an entry of the same size, and
// reusing it spares the page faults of a fresh large block. Counted as freed.
struct Spare {
    size_t pixel_words = 0, mask_words = 0;
    Buffer<uint16_t> pixels, mask;
};

void release(Buffer<uint16_t>& b, Buffer<uint16_t>* keep, size_t wanted) {
    if (keep && keep->empty() && !b.empty() && b.size() == wanted) *keep = std::move(b);
    else b.reset();
}

void free_entry(UndoHistory& u, UndoEntry& e, uint8_t mask_flag, Spare* spare = nullptr) {
    const int64_t area = rect_of(e).area();
    if (!e.pixels.empty()) subtract_used(u, kb_of(area, kLayerWords * 2));
    if (!e.mask.empty()) subtract_used(u, kb_of(area, kMaskWords * 2));
    release(e.pixels, spare ? &spare->pixels : nullptr, spare ? spare->pixel_words : 0);
    release(e.mask, spare ? &spare->mask : nullptr, spare ? spare->mask_words : 0);
    e.mask_flag = mask_flag;
    e.x1 = e.y1 = e.x2 = e.y2 = 0;
}

// A canvas-sized buffer of `words` 16-bit units a pixel, or null when it is
// absent or does not match the canvas (between a geometry change and its reset).
uint16_t* canvas_buffer(const EngineState& st, Buffer<uint16_t>& b, int64_t words) {
    const int64_t px = layers::canvas_pixels(st);
    if (px <= 0 || b.empty() || b.size() < size_t(px * words)) return nullptr;
    return b.data();
}

bool inside_canvas(const EngineState& st, const Rect& r) {
    return r.x1 >= 0 && r.y1 >= 0 && r.x1 <= r.x2 && r.y1 <= r.y2 && r.x2 < st.canvas.width &&
           r.y2 < st.canvas.height;
}

// Rectangles move row by row between canvas-sized buffers (W elements a row) and
// packed entry buffers (w a row). The live data, the back buffer and the entry
// are always three distinct blocks, so doing every copy of one row before the
// next row gives the same words as copying each rectangle whole, and a row read
// twice is still in cache the second time: one pass over memory, not three.
struct Rows {
    uint8_t* base;
    int64_t stride;  // bytes
    uint8_t* row(int64_t i) const { return base + i * stride; }
};

Rows canvas_rows(const EngineState& st, uint16_t* buf, int64_t words, const Rect& r) {
    const int64_t W = st.canvas.width;
    return {reinterpret_cast<uint8_t*>(buf + (int64_t(r.y1) * W + r.x1) * words), W * words * 2};
}

Rows packed_rows(uint16_t* buf, int64_t words, const Rect& r) {
    return {reinterpret_cast<uint8_t*>(buf), r.w() * words * 2};
}

// Entry -> live, back buffer -> entry, live -> back buffer: afterwards the entry
// holds what it replaced, ready for the opposite direction.
void swap_rect(const EngineState& st, uint16_t* live, uint16_t* back, uint16_t* stored,
               int64_t words, const Rect& r) {
    const Rows l = canvas_rows(st, live, words, r), b = canvas_rows(st, back, words, r);
    const Rows e = packed_rows(stored, words, r);
    const size_t n = size_t(e.stride);
    for (int64_t i = 0; i < r.h(); ++i) {
        std::memcpy(l.row(i), e.row(i), n);
        std::memcpy(e.row(i), b.row(i), n);
        std::memcpy(b.row(i), l.row(i), n);
    }
}

// A save: back buffer -> entry (when one was stored), then live -> back buffer.
void save_rect(const EngineState& st, uint16_t* live, uint16_t* back, uint16_t* stored,
               int64_t words, const Rect& r) {
    const Rows l = canvas_rows(st, live, words, r), b = canvas_rows(st, back, words, r);
    const Rows e = packed_rows(stored, words, r);
    const size_t n = size_t(e.stride);
    for (int64_t i = 0; i < r.h(); ++i) {
        if (stored) std::memcpy(e.row(i), b.row(i), n);
        std::memcpy(b.row(i), l.row(i), n);
    }
}

void drop_redo_entries(EngineState& st, Spare& spare) {
    UndoHistory& u = st.undo;
    const int32_t rc = std::clamp(u.redo_count, 0, kUndoEntries);
    u.redo_count = 0;
    if (rc == 0) return;
    const int32_t levels = active_levels(u);
    for (int32_t i = 0; i < rc; ++i)
        free_entry(u, u.entries[size_t(i)], st.settings.mask_enabled, &spare);
    for (int32_t i = rc; i < levels; ++i) {
        u.entries[size_t(i - rc)] = std::move(u.entries[size_t(i)]);
        u.layer[size_t(i - rc)] = u.layer[size_t(i)];
    }
    for (int32_t i = std::max(levels - rc, 0); i < levels; ++i) {
        u.entries[size_t(i)] = UndoEntry{};
        u.layer[size_t(i)] = 0;
    }
}

// Switches to the entry's layer, then swaps its pixels and its mask. The pixel
// swap needs the entry's own layer, canvas-sized, to be current afterwards: a
// deleted, emptied or resized layer keeps its content and only the mask swaps.
void swap_entry(EngineState& st, int32_t k) {
    UndoHistory& u = st.undo;
    const int32_t layer = u.layer[size_t(k)];
    if (layer != st.canvas.current_layer_num) layers::set_layer(st, layer);

    UndoEntry& e = u.entries[size_t(k)];
    const Rect r = rect_of(e);
    if (!inside_canvas(st, r)) return;
    const size_t area = size_t(r.area());

    LayerRecord* cur = layers::current(st);
    uint16_t* back = canvas_buffer(st, u.back_pixels, kLayerWords);
    if (!e.pixels.empty() && e.pixels.size() >= area * kLayerWords && cur && back &&
        st.canvas.current_layer_num == layer && st.canvas.current_slot == layer)
        swap_rect(st, cur->pixels.data(), back, e.pixels.data(), kLayerWords, r);

    uint16_t* mask = canvas_buffer(st, st.canvas.mask, kMaskWords);
    uint16_t* back_mask = canvas_buffer(st, u.back_mask, kMaskWords);
    if (!e.mask.empty() && e.mask.size() >= area && mask && back_mask)
        swap_rect(st, mask, back_mask, e.mask.data(), kMaskWords, r);
}

}  // namespace

void reset_changed_rect(EngineState& st) {
    st.undo.changed = {st.canvas.width - 1, st.canvas.height - 1, 0, 0};
}

void save(EngineState& st, bool save_layer, bool save_mask) {
    UndoHistory& u = st.undo;
    if (u.paused) return;
    const int32_t W = st.canvas.width;
    const int32_t H = st.canvas.height;

    Rect r{std::max(u.changed.x1, 0), std::max(u.changed.y1, 0), std::min(u.changed.x2, W - 1),
           std::min(u.changed.y2, H - 1)};
    // Kept as it always was: a rectangle one pixel wide or high fails this test
    // too and saves the whole canvas.
    if (r.x1 >= r.x2 || r.y1 >= r.y2) r = {0, 0, W - 1, H - 1};
    const int64_t w = r.w();
    const int64_t h = r.h();
    const int64_t area = w * h;

    // Without a canvas-sized current layer, mask or back buffer there is nothing
    // to read from: that part is not requested.
    LayerRecord* cur = layers::current(st);
    uint16_t* back = canvas_buffer(st, u.back_pixels, kLayerWords);
    uint16_t* mask = canvas_buffer(st, st.canvas.mask, kMaskWords);
    uint16_t* back_mask = canvas_buffer(st, u.back_mask, kMaskWords);
    save_layer = save_layer && cur && back;
    save_mask = save_mask && mask && back_mask;

    Spare spare;
    if (w >= 1 && h >= 1) {
        spare.pixel_words = save_layer ? size_t(area * kLayerWords) : 0;
        spare.mask_words = save_mask ? size_t(area * kMaskWords) : 0;
    }
    drop_redo_entries(st, spare);
    if (w < 1 || h < 1) return;

    recompute_auto_budget(st);

    // Make room: the oldest entry always goes; older ones follow until the
    // estimate fits, and once every entry has gone the new one is kept over
    // budget. A failed allocation also frees further entries and tries again.
    const int64_t estimate = estimate_kb(area);
    const int32_t levels = active_levels(u);
    Buffer<uint16_t> pixels, mask_copy;
    auto complete = [&] {
        return (!save_layer || !pixels.empty()) && (!save_mask || !mask_copy.empty());
    };
    bool stored = false;
    for (int32_t n = levels - 1; n >= 0; --n) {
        free_entry(u, u.entries[size_t(n)], st.settings.mask_enabled, &spare);
        if (u.used_kb + estimate >= u.budget_kb && n > 0) continue;
        // A reused block is overwritten whole below: the rectangle lies inside the canvas.
        if (save_layer && pixels.empty()) {
            pixels = spare.pixels.empty() ? Buffer<uint16_t>::try_make(spare.pixel_words)
                                          : std::move(spare.pixels);
            if (!pixels.empty()) u.used_kb += kb_of(area, kLayerWords * 2);
        }
        if (save_mask && mask_copy.empty()) {
            mask_copy = spare.mask.empty() ? Buffer<uint16_t>::try_make(spare.mask_words)
                                           : std::move(spare.mask);
            if (!mask_copy.empty()) u.used_kb += kb_of(area, kMaskWords * 2);
        }
        if (complete()) {
            stored = true;
            break;
        }
    }

    if (stored) {
        for (int32_t i = levels - 1; i >= 1; --i) {
            u.entries[size_t(i)] = std::move(u.entries[size_t(i - 1)]);
            u.layer[size_t(i)] = u.layer[size_t(i - 1)];
        }
        UndoEntry& e = u.entries[0];
        e.pixels = std::move(pixels);
        e.mask = std::move(mask_copy);
        e.mask_flag = st.settings.mask_enabled;
        e.x1 = r.x1;
        e.y1 = r.y1;
        e.x2 = r.x2;
        e.y2 = r.y2;
        u.layer[0] = st.canvas.current_layer_num;
    } else {
        if (!pixels.empty()) subtract_used(u, kb_of(area, kLayerWords * 2));
        if (!mask_copy.empty()) subtract_used(u, kb_of(area, kMaskWords * 2));
    }

    // Even when nothing was stored the back buffers follow the live data, so the
    // next save starts from the true current state.
    UndoEntry* e = stored ? &u.entries[0] : nullptr;
    if (save_layer)
        save_rect(st, cur->pixels.data(), back, e ? e->pixels.data() : nullptr, kLayerWords, r);
    if (save_mask) save_rect(st, mask, back_mask, e ? e->mask.data() : nullptr, kMaskWords, r);
    reset_changed_rect(st);
}

void save_back_buffer(EngineState& st, int32_t slot) {
    UndoHistory& u = st.undo;
    if (u.paused) return;
    const int64_t px = layers::canvas_pixels(st);
    // A slot out of range, empty or not canvas-sized is an empty slot: the mask
    // part still runs, as it does for any empty slot.
    LayerRecord* layer = layers::canvas_slot(st, slot);
    if (uint16_t* back = canvas_buffer(st, u.back_pixels, kLayerWords); back && layer)
        std::memcpy(back, layer->pixels.data(), size_t(px * kLayerWords * 2));
    uint16_t* mask = canvas_buffer(st, st.canvas.mask, kMaskWords);
    if (uint16_t* back_mask = canvas_buffer(st, u.back_mask, kMaskWords); back_mask && mask)
        std::memcpy(back_mask, mask, size_t(px * kMaskWords * 2));
}

void undo(EngineState& st) {
    UndoHistory& u = st.undo;
    if (u.paused) return;
    const int32_t k = u.redo_count;
    if (k < 0 || k >= active_levels(u) || !u.entries[size_t(k)].in_use()) return;
    swap_entry(st, k);
    u.redo_count = k + 1;
}

void redo(EngineState& st) {
    UndoHistory& u = st.undo;
    if (u.paused || u.redo_count <= 0) return;
    const int32_t k = --u.redo_count;
    if (k >= kUndoEntries) return;
    swap_entry(st, k);
}

void clear(EngineState& st) {
    UndoHistory& u = st.undo;
    reset_changed_rect(st);
    u.paused = false;
    u.redo_count = 0;
    for (UndoEntry& e : u.entries) free_entry(u, e, st.settings.mask_enabled);
    // The back buffers are counted as used: W x H x (8 + 2) bytes.
    u.used_kb = estimate_kb(layers::canvas_pixels(st));
    save_back_buffer(st, st.canvas.current_slot);
    recompute_auto_budget(st);
}

void release_all(EngineState& st) {
    UndoHistory& u = st.undo;
    for (UndoEntry& e : u.entries) free_entry(u, e, st.settings.mask_enabled);
    u.back_pixels.reset();
    u.back_mask.reset();
    u.redo_count = 0;
    u.used_kb = 0;
}

int32_t set_levels(EngineState& st, int32_t levels) {
    clear(st);
    st.undo.levels = std::clamp(levels, 0, kUndoEntries);
    return st.undo.levels;
}

int32_t set_budget_mb(EngineState& st, int32_t megabytes) {
    UndoHistory& u = st.undo;
    if (megabytes != 0) {
        u.budget_kb = int64_t(megabytes) * 1024;
        u.auto_budget = false;
    } else {
        u.auto_budget = true;
        recompute_auto_budget(st);
    }
    return saturate_i32(u.budget_kb);
}

// Only entries with pixels count; each frees its whole estimate, mask included.
void reduce(EngineState& st, int64_t kb) {
    UndoHistory& u = st.undo;
    int64_t freed = 0;
    for (int32_t n = active_levels(u) - 1; n >= 0; --n) {
        UndoEntry& e = u.entries[size_t(n)];
        if (e.pixels.empty()) continue;
        if (freed >= kb) return;
        const int64_t est = estimate_kb(rect_of(e).area());
        e.pixels.reset();
        e.mask.reset();
        subtract_used(u, est);
        e.mask_flag = 0;
        e.x1 = e.y1 = e.x2 = e.y2 = 0;
        freed += est;
    }
}

// budget = trunc(free KB x 0.85 + used) - 20q, at least 15q, q = W x H / 1024:
// what is free now plus what the history holds already, less 20 bytes a canvas
// pixel kept back; never below 15 bytes a pixel, room for one whole-canvas entry.
void recompute_auto_budget(EngineState& st) {
    UndoHistory& u = st.undo;
    if (!u.auto_budget) return;
    const platform::MemoryStatus m = platform::memory_status();
    const int64_t free_kb = int64_t(std::min(m.avail_phys, m.avail_page) / 1024);
    const double x = double(free_kb) * 0.85 + double(u.used_kb);
    const int64_t q = layers::canvas_pixels(st) / 1024;
    // x is non-negative and far below 2^63: the conversion cannot overflow.
    int64_t budget = static_cast<int64_t>(x) - 20 * q;
    if (budget < 15 * q) budget = 15 * q;
    u.budget_kb = budget;
}

void pause(EngineState& st) { st.undo.paused = true; }
void resume(EngineState& st) { st.undo.paused = false; }

int32_t can_undo(const EngineState& st) {
    const UndoHistory& u = st.undo;
    const int32_t k = u.redo_count;
    return (k >= 0 && k < active_levels(u) && u.entries[size_t(k)].in_use()) ? 1 : 0;
}

int32_t can_redo(const EngineState& st) { return st.undo.redo_count != 0 ? 1 : 0; }

int32_t redo_count(const EngineState& st) { return st.undo.redo_count; }

int32_t undo_count(const EngineState& st) {
    return int32_t(std::count_if(st.undo.entries.begin(), st.undo.entries.end(),
                                 [](const UndoEntry& e) { return e.in_use(); }));
}

int32_t total_memory_mb(EngineState& st) {
    recompute_auto_budget(st);
    return saturate_i32(st.undo.budget_kb / 1024);
}

int32_t current_memory_mb(const EngineState& st) { return saturate_i32(st.undo.used_kb / 1024); }

}  // namespace qrn::undo

// Undo history against copying the same bytes: one save and one undo of a square
// rectangle inside a 4096 x 4096 canvas, so rows are strided as in real use.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/buffer.h"
#include "engine/engine_state.h"
#include "engine/layers.h"
#include "undo/history.h"

namespace {

using qrn::Buffer;
using qrn::EngineState;

constexpr int32_t kCanvas = 4096;

// Same seeded pixels for every entry.
void fill_seeded(Buffer<uint16_t>& b, uint32_t seed) {
    qrn::Rng rng;
    rng.seed(seed);
    for (size_t i = 0; i < b.size(); ++i) b[i] = uint16_t(rng.next() * 2 + (i & 1));
}

std::unique_ptr<EngineState> make_scene() {
    auto st = std::make_unique<EngineState>();
    st->canvas.width = kCanvas;
    st->canvas.height = kCanvas;
    st->canvas.row_bytes = kCanvas * 4;
    const size_t px = size_t(kCanvas) * kCanvas;
    st->canvas.mask = Buffer<uint16_t>::make(px);
    st->canvas.mask.fill_bytes(0xFF);
    st->settings.mask_enabled = 1;
    st->undo.back_pixels = Buffer<uint16_t>::make(px * 4);
    st->undo.back_mask = Buffer<uint16_t>::make(px);
    qrn::layers::create_layer(*st, 2, kCanvas, kCanvas);
    fill_seeded(st->canvas.slots[2].pixels, 7);
    qrn::layers::set_layer(*st, 2);
    qrn::undo::set_levels(*st, 2);
    qrn::undo::set_budget_mb(*st, 100000);
    return st;
}

// Peer: one copy of the rectangle's bytes. A save and an undo copy them five
// times (save: back buffer to entry, layer to back buffer; undo: the three-step
// swap), so 5 is the floor of the ratio. Each save after an undo reuses the
// dropped entry's block; a fresh block would add its page faults.
void BM_UndoSave_Peer(benchmark::State& s) {
    const size_t bytes = size_t(s.range(0)) * size_t(s.range(0)) * 8;
    Buffer<uint16_t> src = Buffer<uint16_t>::make(bytes / 2);
    Buffer<uint16_t> dst = Buffer<uint16_t>::make(bytes / 2);
    fill_seeded(src, 7);
    for (auto _ : s) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * int64_t(bytes));
}

void BM_UndoSave_SaveUndo(benchmark::State& s) {
    const int32_t side = int32_t(s.range(0));
    const int32_t x1 = (kCanvas - side) / 2;
    auto st = make_scene();
    for (auto _ : s) {
        st->undo.changed = {x1, x1, x1 + side - 1, x1 + side - 1};
        qrn::undo::save(*st, true, false);
        qrn::undo::undo(*st);
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * side * side * 8);
}

BENCHMARK(BM_UndoSave_Peer)->Arg(2048)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UndoSave_SaveUndo)->Arg(2048)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Undo history against copying the same bytes: one save and one undo of a square
// rectangle inside a 4096 x 4096 canvas, so rows are strided as in real use.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/buffer.h"
#include "engine/engine_state.h"
#include "engine/layers.h"
#include "undo/history.h"
#include "undo/rle_codec.h"

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

// ---- Run-length line codecs -------------------------------------------------
// Rows of 4096 pixels from a seeded painted strip, encoded and decoded one row at
// a time as a host stores a picture line by line. Peer: copying the same
// uncompressed bytes. Arg 0 runs the RGBA codec on layer rows, arg 1 the grey
// codec on mask rows; bytes processed are the uncompressed bytes either way.

constexpr int32_t kRleWidth = 4096;
constexpr int32_t kRleRows = 256;
constexpr size_t kRlePixels = size_t(kRleWidth) * kRleRows;

// Flat areas, gradients whose high byte steps every 16 and every 64 pixels, and
// hard-cored strokes with soft edges: runs of every length, as paint gives them
// (noise would have none).
struct RlePicture {
    std::vector<uint16_t> rgba = std::vector<uint16_t>(kRlePixels * 4);
    std::vector<uint16_t> mask = std::vector<uint16_t>(kRlePixels, 0xFFFF);

    RlePicture() {
        for (size_t y = 0; y < kRleRows; ++y)
            for (size_t x = 0; x < kRleWidth; ++x) {
                uint16_t* p = &rgba[(y * kRleWidth + x) * 4];
                const bool flat = x < kRleWidth / 3;
                p[0] = flat ? 0x6A00 : uint16_t(x * 16);
                p[1] = flat ? 0x9C00 : uint16_t(y * 256);
                p[2] = flat ? 0xE000 : uint16_t(x * 4 + y);
                p[3] = 0xFFFF;
                if (x >= kRleWidth * 3 / 4) mask[y * kRleWidth + x] = uint16_t((x - kRleWidth * 3 / 4) * 64);
            }
        qrn::Rng rng;
        rng.seed(11);
        for (int stroke = 0; stroke < 120; ++stroke) {
            int cx = rng.next() % kRleWidth, cy = rng.next() % kRleRows;
            const int radius = 3 + rng.next() % 24;
            const uint32_t colour[3] = {uint32_t(rng.next() * 2), uint32_t(rng.next() * 2),
                                        uint32_t(rng.next() * 2)};
            const bool selects = stroke % 4 == 0;  // a quarter also paint the mask
            for (int dab = 0; dab < 40; ++dab) {
                cx += rng.next() % (radius + 1) - radius / 2;
                cy += rng.next() % (radius / 2 + 1) - radius / 4;
                for (int dy = -radius; dy <= radius; ++dy)
                    for (int dx = -radius; dx <= radius; ++dx) {
                        const int x = cx + dx, y = cy + dy;
                        if (x < 0 || y < 0 || x >= kRleWidth || y >= kRleRows) continue;
                        const double d = std::sqrt(double(dx * dx + dy * dy)) / radius;
                        if (d >= 1.0) continue;
                        const uint32_t cover = d < 0.6 ? 256 : uint32_t((1.0 - d) * 640);
                        const size_t k = size_t(y) * kRleWidth + size_t(x);
                        uint16_t* p = &rgba[k * 4];
                        for (int c = 0; c < 3; ++c)
                            p[c] = uint16_t((colour[c] * cover + p[c] * (256 - cover)) >> 8);
                        if (selects) mask[k] = uint16_t((mask[k] * (256 - cover)) >> 8);
                    }
            }
        }
    }
};

struct RleRows {
    bool grey;
    const std::vector<uint16_t>& src;
    int32_t run_bytes;
    std::vector<uint8_t> runs;  // each row at its worst-case offset
    std::vector<uint16_t> dst;
    int64_t encoded = 0;

    RleRows(const RlePicture& pic, bool grey_rows)
        : grey(grey_rows),
          src(grey_rows ? pic.mask : pic.rgba),
          run_bytes(grey_rows ? qrn::undo::kGreyRunBytes : qrn::undo::kRgbaRunBytes),
          runs(kRlePixels * size_t(run_bytes)),
          dst(src.size()) {
        encoded = encode();
    }
    size_t row_words() const { return grey ? kRleWidth : size_t(kRleWidth) * 4; }
    int64_t bytes() const { return int64_t(src.size()) * 2; }
    int64_t encode() {
        int64_t total = 0;
        for (size_t y = 0; y < kRleRows; ++y) {
            const uint16_t* in = src.data() + y * row_words();
            uint8_t* out = runs.data() + y * size_t(kRleWidth) * size_t(run_bytes);
            total += grey ? qrn::undo::compress_g16(in, out, kRleWidth)
                          : qrn::undo::compress_rgba64(in, out, kRleWidth);
        }
        return total;
    }
    void decode() {
        for (size_t y = 0; y < kRleRows; ++y) {
            const uint8_t* in = runs.data() + y * size_t(kRleWidth) * size_t(run_bytes);
            uint16_t* out = dst.data() + y * row_words();
            if (grey)
                qrn::undo::uncompress_g8(in, out, kRleWidth);
            else
                qrn::undo::uncompress_rgba32(in, out, kRleWidth);
        }
    }
};

const RlePicture& rle_picture() {
    static const RlePicture pic;  // built once, outside the timed loops
    return pic;
}

template <class Op>
void run_rle(benchmark::State& s, Op op) {
    RleRows rows(rle_picture(), s.range(0) != 0);
    for (auto _ : s) {
        op(rows);
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * rows.bytes());
    s.counters["encoded_fraction"] = double(rows.encoded) / double(rows.bytes());
}

void BM_Rle_Peer(benchmark::State& s) {
    run_rle(s, [](RleRows& r) { std::memcpy(r.dst.data(), r.src.data(), size_t(r.bytes())); });
}
void BM_Rle_Encode(benchmark::State& s) {
    run_rle(s, [](RleRows& r) { benchmark::DoNotOptimize(r.encode()); });
}
void BM_Rle_Decode(benchmark::State& s) {
    run_rle(s, [](RleRows& r) { r.decode(); });
}

BENCHMARK(BM_Rle_Peer)->Arg(0)->Arg(1);
BENCHMARK(BM_Rle_Encode)->Arg(0)->Arg(1);
BENCHMARK(BM_Rle_Decode)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();

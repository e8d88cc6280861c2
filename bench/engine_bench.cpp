// Pixel transfer on a 4096 x 4096 canvas against its peers: memcpy of the layer
// for the plain loads and reads, zlib level 6 for the compressed layer.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/buffer.h"
#include "engine/engine_state.h"
#include "engine/imaging_api/imaging.h"
#include "engine/pixels.h"
#include "seeded.h"

namespace {

constexpr int kSide = 4096;
constexpr size_t kPixels = size_t(kSide) * kSide;
constexpr int64_t kLayerBytes = int64_t(kPixels) * 8;

using qrn::bench::Seeded;

// Smooth gradients with a few hundred soft round-brush strokes on top: what a
// painted layer looks like to a compressor, unlike noise.
void paint(uint16_t* px) {
    for (size_t y = 0; y < kSide; ++y)
        for (size_t x = 0; x < kSide; ++x) {
            uint16_t* p = px + (y * kSide + x) * 4;
            p[0] = uint16_t(x * 16);
            p[1] = uint16_t(y * 16);
            p[2] = uint16_t((x + y) * 8);
            p[3] = 0xFFFF;
        }
    Seeded rng{12345};
    for (int stroke = 0; stroke < 300; ++stroke) {
        double x = rng.below(kSide), y = rng.below(kSide);
        const int radius = 4 + rng.below(36);
        const uint32_t colour[3] = {rng.next() & 0xFF00, rng.next() & 0xFF00, rng.next() & 0xFF00};
        double angle = rng.below(628) / 100.0;
        for (int dab = 0; dab < 60; ++dab) {
            angle += (rng.below(41) - 20) / 100.0;
            x += std::cos(angle) * radius * 0.5;
            y += std::sin(angle) * radius * 0.5;
            for (int dy = -radius; dy <= radius; ++dy)
                for (int dx = -radius; dx <= radius; ++dx) {
                    const int px_x = int(x) + dx, px_y = int(y) + dy;
                    if (px_x < 0 || px_y < 0 || px_x >= kSide || px_y >= kSide) continue;
                    const double d = std::sqrt(double(dx * dx + dy * dy)) / radius;
                    if (d >= 1.0) continue;
                    const uint32_t cover = uint32_t((1.0 - d) * 256);  // soft edge
                    uint16_t* p = px + (size_t(px_y) * kSide + size_t(px_x)) * 4;
                    for (int c = 0; c < 3; ++c)
                        p[c] = uint16_t((colour[c] * cover + p[c] * (256 - cover)) >> 8);
                }
        }
    }
}

struct Bench {
    qrn::EngineState st;
    std::vector<uint8_t> rgba32;   // host RGBA32, packed
    std::vector<uint16_t> rgba64;  // host RGBA64, packed
    std::vector<uint8_t> painted;  // the painted layer narrowed
    std::vector<uint16_t> painted64;

    Bench()
        : rgba32(kPixels * 4), rgba64(kPixels * 4), painted(kPixels * 4), painted64(kPixels * 4) {
        st.canvas.width = kSide;
        st.canvas.height = kSide;
        st.canvas.current_slot = 0;
        qrn::LayerRecord& r = st.canvas.slots[0];
        r.width = kSide;
        r.height = kSide;
        r.row_words = kSide * 4;
        r.pixels = qrn::Buffer<uint16_t>::make(kPixels * 4);
        paint(painted64.data());
        qrn::pixels::narrow_rgba64_image(painted64.data(), painted.data(), kSide, kSide);
        rgba32 = painted;
        rgba64 = painted64;
        // Texture half below 128; mask a ramp that is partly 0, partly full.
        st.canvas.texture = qrn::Buffer<uint8_t>::make(kPixels);
        st.canvas.mask = qrn::Buffer<uint16_t>::make(kPixels);
        for (size_t k = 0; k < kPixels; ++k) {
            st.canvas.texture[k] = uint8_t(k * 7 >> 3);
            st.canvas.mask[k] = uint16_t(std::min<size_t>(0xFFFF, (k % kSide) * 24));
        }
    }
    uint16_t* layer() { return st.canvas.slots[0].pixels.data(); }
};

Bench& bench() {
    static Bench b;
    return b;
}

template <class Op>
void run(benchmark::State& s, Op op) {
    Bench& b = bench();
    for (auto _ : s) {
        op(b);
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * kLayerBytes);
}

// Peer: copying the layer's bytes. No transfer beats it; transfer / copy is what
// the conversion costs.
void BM_Transfer_Peer(benchmark::State& s) {
    run(s, [](Bench& b) { std::memcpy(b.layer(), b.rgba64.data(), size_t(kLayerBytes)); });
}
void BM_Transfer_LoadRGBA32(benchmark::State& s) {
    run(s, [](Bench& b) {
        b.st.settings.mask_enabled = 0;
        qrn::pixels::load_rgba32(b.st, b.rgba32.data(), kSide * 4, false);
    });
}
void BM_Transfer_GetRGBA32(benchmark::State& s) {
    run(s, [](Bench& b) { qrn::pixels::get_rgba32(b.st, b.rgba32.data(), kSide * 4); });
}
void BM_Transfer_GetRGBA64Layer(benchmark::State& s) {
    run(s, [](Bench& b) { qrn::pixels::get_rgba64_layer(b.st, b.rgba64.data(), kSide * 8, 0); });
}
void BM_Transfer_LoadRGBA32Weighted(benchmark::State& s) {
    run(s, [](Bench& b) {
        b.st.settings.mask_enabled = 1;
        qrn::pixels::load_rgba32(b.st, b.rgba32.data(), kSide * 4, true);
        b.st.settings.mask_enabled = 0;
    });
}
BENCHMARK(BM_Transfer_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfer_LoadRGBA32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfer_GetRGBA32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfer_GetRGBA64Layer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfer_LoadRGBA32Weighted)->Unit(benchmark::kMillisecond);

// ---- Compressed layer: our deflate/inflate at the default level vs zlib level 6 ----

void report(benchmark::State& s, size_t stream_bytes) {
    s.SetBytesProcessed(int64_t(s.iterations()) * int64_t(kPixels * 4));
    s.counters["zbytes"] = double(stream_bytes);
    s.counters["ratio"] = double(kPixels * 4) / double(stream_bytes);
}

void BM_ZDeflate_Peer(benchmark::State& s) {
    Bench& b = bench();
    std::vector<uint8_t> out(compressBound(uLong(b.painted.size())));
    uLongf n = 0;
    for (auto _ : s) {
        n = uLongf(out.size());
        if (compress2(out.data(), &n, b.painted.data(), uLong(b.painted.size()), 6) != Z_OK)
            s.SkipWithError("compress2 failed");
    }
    report(s, n);
}
void BM_ZDeflate_Ours(benchmark::State& s) {
    Bench& b = bench();
    std::vector<uint8_t> out(b.painted.size());
    int64_t n = 0;
    for (auto _ : s) {
        n = qrn::imaging::deflate(b.painted.data(), b.painted.size(), out.data(), out.size(), 0);
        if (n <= 0) s.SkipWithError("deflate failed");
    }
    report(s, size_t(n));
}
// The whole export path: narrow the layer, then compress.
void BM_ZDeflate_OursLayer(benchmark::State& s) {
    Bench& b = bench();
    std::memcpy(b.layer(), b.painted64.data(), size_t(kLayerBytes));
    std::vector<uint8_t> out(b.painted.size());
    int32_t n = 0;
    for (auto _ : s)
        n = qrn::pixels::get_rgba32_layer_compressed(b.st, out.data(), int32_t(out.size()), 0, 0);
    report(s, size_t(n));
}

void BM_ZInflate_Peer(benchmark::State& s) {
    Bench& b = bench();
    std::vector<uint8_t> z(compressBound(uLong(b.painted.size())));
    uLongf zn = uLongf(z.size());
    compress2(z.data(), &zn, b.painted.data(), uLong(b.painted.size()), 6);
    std::vector<uint8_t> out(b.painted.size());
    for (auto _ : s) {
        uLongf n = uLongf(out.size());
        if (uncompress(out.data(), &n, z.data(), zn) != Z_OK) s.SkipWithError("uncompress failed");
    }
    report(s, zn);
}
void BM_ZInflate_Ours(benchmark::State& s) {
    Bench& b = bench();
    std::vector<uint8_t> z(b.painted.size());
    const int64_t zn =
        qrn::imaging::deflate(b.painted.data(), b.painted.size(), z.data(), z.size(), 0);
    std::vector<uint8_t> out(b.painted.size());
    for (auto _ : s)
        if (qrn::imaging::inflate(z.data(), size_t(zn), out.data(), out.size()) !=
            int64_t(out.size()))
            s.SkipWithError("inflate failed");
    report(s, size_t(zn));
}
// The whole export path: inflate into a temporary image, then the plain load.
void BM_ZInflate_OursLayer(benchmark::State& s) {
    Bench& b = bench();
    std::vector<uint8_t> z(b.painted.size());
    const int64_t zn =
        qrn::imaging::deflate(b.painted.data(), b.painted.size(), z.data(), z.size(), 0);
    for (auto _ : s) qrn::pixels::load_rgba32_layer_compressed(b.st, z.data(), int32_t(zn), 0);
    report(s, size_t(zn));
}
BENCHMARK(BM_ZDeflate_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZDeflate_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZDeflate_OursLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZInflate_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZInflate_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZInflate_OursLayer)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

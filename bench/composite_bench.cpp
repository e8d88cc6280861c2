// Adjustment filters on 4096 x 4096 RGBA32 and RGBA64 images against memcpy of
// the same bytes (families Adjust32 and Adjust64): filter / copy is what the
// per-pixel arithmetic costs.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "composite/adjust.h"
#include "seeded.h"

namespace {

constexpr int kSide = 4096;
constexpr size_t kPixels = size_t(kSide) * kSide;

using qrn::bench::Seeded;

// Mixed alphas as a painted layer has them: mostly opaque, a transparent
// background, soft edges in between.
uint32_t alpha_of(Seeded& rng) {
    const uint32_t kind = rng.next() % 8;
    if (kind < 4) return 255;
    if (kind < 6) return 0;
    return 1 + rng.next() % 254;
}

struct Images {
    std::vector<uint8_t> src32, work32;
    std::vector<uint16_t> src64, work64;
    Images() : src32(kPixels * 4), src64(kPixels * 4) {
        Seeded rng{2024};
        for (size_t k = 0; k < kPixels; ++k) {
            const uint32_t a = alpha_of(rng);
            for (int c = 0; c < 3; ++c) src32[4 * k + size_t(c)] = uint8_t(rng.next());
            src32[4 * k + 3] = uint8_t(a);
            for (int c = 0; c < 4; ++c)
                src64[4 * k + size_t(c)] = uint16_t(src32[4 * k + size_t(c)] * 257u);
        }
        work32 = src32;
        work64 = src64;
    }
};

Images& images() {
    static Images im;
    return im;
}

// The filters run in place on the same image every iteration. Their work per
// pixel depends only on alpha, which they never change, so repeated passes cost
// the same as the first.
template <class T, class Op>
void run(benchmark::State& s, std::vector<T>& image, Op op) {
    for (auto _ : s) {
        op(image.data());
        benchmark::ClobberMemory();
    }
    s.SetBytesProcessed(int64_t(s.iterations()) * int64_t(image.size() * sizeof(T)));
}

// Peers: copying the same bytes. No pass over the image beats it.
void BM_Adjust32_Peer(benchmark::State& s) {
    Images& im = images();
    run(s, im.work32, [&](uint8_t* p) { std::memcpy(p, im.src32.data(), im.src32.size()); });
}
void BM_Adjust32_PreFilter(benchmark::State& s) {
    run(s, images().work32, [](uint8_t* p) { qrn::composite::pre_filter_rgba32(p, kSide, kSide); });
}
void BM_Adjust32_PostFilter(benchmark::State& s) {
    run(s, images().work32,
        [](uint8_t* p) { qrn::composite::post_filter_rgba32(p, kSide, kSide); });
}
// The alpha-comp pass: the post-filter over a canvas, opaque pixels included.
void BM_Adjust32_AlphaComp(benchmark::State& s) {
    qrn::EngineState st;
    st.canvas.width = kSide;
    st.canvas.height = kSide;
    run(s, images().work32,
        [&](uint8_t* p) { qrn::composite::unpremultiply_for_alpha_comp(st, 1, p); });
}
void BM_Adjust64_Peer(benchmark::State& s) {
    Images& im = images();
    run(s, im.work64, [&](uint16_t* p) { std::memcpy(p, im.src64.data(), im.src64.size() * 2); });
}
void BM_Adjust64_PreFilter(benchmark::State& s) {
    run(s, images().work64,
        [](uint16_t* p) { qrn::composite::pre_filter_rgba64(p, kSide, kSide); });
}
void BM_Adjust64_PostFilter(benchmark::State& s) {
    run(s, images().work64,
        [](uint16_t* p) { qrn::composite::post_filter_rgba64(p, kSide, kSide); });
}

BENCHMARK(BM_Adjust32_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adjust32_PreFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adjust32_PostFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adjust32_AlphaComp)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adjust64_Peer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adjust64_PreFilter)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Adjust64_PostFilter)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

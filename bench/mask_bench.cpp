// Selective mask creation on a 4096 x 4096 RGBA32 image in megapixels a second,
// against memcpy of the same image bytes. Two seeded pictures: a painted one
// (flat strokes over gradients, colours repeat) and noise (every pixel new),
// the worst case for the hue range's memo. The plain hue entry converts every
// pixel, as the reference the memo must match.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/buffer.h"
#include "engine/engine_state.h"
#include "mask/mask.h"
#include "script/colour_spaces.h"
#include "seeded.h"

namespace {

constexpr int kSide = 4096;
constexpr size_t kPixels = size_t(kSide) * kSide;
constexpr int32_t kRef[3] = {200, 90, 40};

using qrn::bench::Seeded;

std::vector<uint8_t> painted_image() {
    std::vector<uint8_t> img(kPixels * 4);
    for (size_t y = 0; y < kSide; ++y)
        for (size_t x = 0; x < kSide; ++x) {
            uint8_t* p = img.data() + (y * kSide + x) * 4;
            p[0] = uint8_t(x >> 4), p[1] = uint8_t(y >> 4), p[2] = uint8_t((x + y) >> 5),
            p[3] = 255;
        }
    Seeded rng{12345};
    for (int stroke = 0; stroke < 3000; ++stroke) {
        const int x0 = rng.below(kSide), y0 = rng.below(kSide);
        const int sw = 8 + rng.below(400), sh = 8 + rng.below(60);
        const uint32_t c = rng.next();
        for (int y = y0; y < y0 + sh && y < kSide; ++y)
            for (int x = x0; x < x0 + sw && x < kSide; ++x) {
                uint8_t* p = img.data() + (size_t(y) * kSide + size_t(x)) * 4;
                p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
            }
    }
    return img;
}

std::vector<uint8_t> noise_image() {
    std::vector<uint8_t> img(kPixels * 4);
    Seeded rng{777};
    for (size_t k = 0; k < kPixels; ++k) {
        const uint32_t v = rng.next();
        std::memcpy(&img[k * 4], &v, 4);
        img[k * 4 + 3] = 255;
    }
    return img;
}

struct Bench {
    qrn::EngineState st;
    std::vector<uint8_t> images[2] = {painted_image(), noise_image()};
    std::vector<uint8_t> copy = std::vector<uint8_t>(kPixels * 4);

    Bench() {
        st.canvas.width = kSide;
        st.canvas.height = kSide;
        st.canvas.mask = qrn::Buffer<uint16_t>::make(kPixels);
        st.canvas.mask.fill_bytes(0xFF);
    }
};

Bench& bench() {
    static Bench b;
    return b;
}

template <class Op>
void run(benchmark::State& s, Op op) {
    Bench& b = bench();
    const uint8_t* img = b.images[s.range(0)].data();
    for (auto _ : s) {
        op(b, img);
        benchmark::ClobberMemory();
    }
    s.SetItemsProcessed(int64_t(s.iterations()) * int64_t(kPixels));
    s.counters["MP/s"] = benchmark::Counter(double(s.iterations()) * double(kPixels) / 1e6,
                                            benchmark::Counter::kIsRate);
}

// Peer: copying the image's bytes; the ratio to it is what the test costs.
void BM_MaskRange_Peer(benchmark::State& s) {
    run(s, [](Bench& b, const uint8_t* img) { std::memcpy(b.copy.data(), img, kPixels * 4); });
}
void BM_MaskRange_ColorRange(benchmark::State& s) {
    run(s, [](Bench& b, const uint8_t* img) {
        qrn::mask::create_from_colour_range(b.st, img, kRef[0], kRef[1], kRef[2], 20, 0);
    });
}
void BM_MaskRange_HueRange(benchmark::State& s) {
    run(s, [](Bench& b, const uint8_t* img) {
        qrn::mask::create_from_hue_range(b.st, img, kRef[0], kRef[1], kRef[2], 10, 0);
    });
}
void BM_MaskRange_HueRangePlain(benchmark::State& s) {
    run(s, [](Bench& b, const uint8_t* img) {
        const double href = qrn::script::rgb_to_hsv(kRef[0], kRef[1], kRef[2]).h;
        const int32_t t = qrn::mask::hue_threshold(10);
        uint16_t* m = b.st.canvas.mask.data();
        for (size_t k = 0; k < kPixels; ++k) {
            const uint8_t* p = img + k * 4;
            if (qrn::mask::hue_matches(qrn::script::rgb_to_hsv(p[0], p[1], p[2]).h, href, t))
                m[k] = 0xFF00;
        }
    });
}
// Argument: 0 painted, 1 noise.
BENCHMARK(BM_MaskRange_Peer)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskRange_ColorRange)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskRange_HueRange)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MaskRange_HueRangePlain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

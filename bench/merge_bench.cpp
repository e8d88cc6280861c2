// The layer compositor and the display renderer against pixman, one thread.
//
// Merge<Mode>: a fully covered 4096 x 4096 source layer over an opaque painted
// destination. Normal runs against pixman OVER on premultiplied float images
// (the nearest pixman gets to our float arithmetic); the blend modes against
// pixman's PDF operators on 8-bit premultiplied a8r8g8b8, the format a host
// would hand it. The destination is restored outside the timed pass (manual
// time). items/s are pixels.
//
// Render: paper plus three half-covered layers (Normal, Multiply, Overlay) on a
// 4096 x 4096 canvas, view 1920 x 1080, written as B, G, R bytes. The peer is
// what a host without us would do per frame: pixman composing the same layers
// as 8-bit premultiplied 1920 x 1080 crops over the paper, then a plain loop to
// 24-bit. Only OneToOne produces the peer's frame size; ZoomOut4 (1024 x 1024
// from the whole canvas) and ZoomIn4 (1920 x 1080 from 480 x 270) are read as
// fps, their ratio to the peer is not like for like.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "composite/merge.h"
#include "composite/render.h"
#include "engine/canvas.h"
#include "engine/engine_state.h"
#include "engine/layers.h"
#include "seeded.h"

namespace {

constexpr int kSide = 4096;
constexpr size_t kPixels = size_t(kSide) * kSide;
constexpr int kViewW = 1920, kViewH = 1080;
constexpr int kViewX = 1024, kViewY = 1024;  // the 1:1 frame, inside the canvas

using qrn::bench::Seeded;

// ---- Painted content ----------------------------------------------------------------

uint16_t colour_word(uint32_t v) { return uint16_t(std::min<uint32_t>(v, 0xFF00)); }

// Colour ramps over the whole image; alpha from alpha_of(x, y).
template <class AlphaOf>
void gradient(uint16_t* px, uint32_t phase, AlphaOf alpha_of) {
    for (size_t y = 0; y < kSide; ++y)
        for (size_t x = 0; x < kSide; ++x) {
            uint16_t* p = px + (y * kSide + x) * 4;
            p[0] = colour_word(uint32_t((x + phase) % kSide) * 0xFF00u / (kSide - 1));
            p[1] = colour_word(uint32_t((y + 2 * phase) % kSide) * 0xFF00u / (kSide - 1));
            p[2] = colour_word(uint32_t((x + y + phase) % (2 * kSide)) * 0xFF00u / (2 * kSide - 1));
            p[3] = alpha_of(x, y);
        }
}

// Round-brush strokes laid over px: opaque inside each dab, a soft edge over
// its outer 40 %.
void strokes(uint16_t* px, Seeded& rng, int count, int rmin, int rmax) {
    for (int stroke = 0; stroke < count; ++stroke) {
        double x = rng.below(kSide), y = rng.below(kSide);
        const int radius = rmin + rng.below(rmax - rmin + 1);
        const double colour[3] = {double(rng.next() % 0xFF01), double(rng.next() % 0xFF01),
                                  double(rng.next() % 0xFF01)};
        double angle = rng.below(628) / 100.0;
        for (int dab = 0; dab < 60; ++dab) {
            angle += (rng.below(41) - 20) / 100.0;
            x += std::cos(angle) * radius * 0.5;
            y += std::sin(angle) * radius * 0.5;
            for (int dy = -radius; dy <= radius; ++dy)
                for (int dx = -radius; dx <= radius; ++dx) {
                    const int qx = int(x) + dx, qy = int(y) + dy;
                    if (qx < 0 || qy < 0 || qx >= kSide || qy >= kSide) continue;
                    const double d = std::sqrt(double(dx * dx + dy * dy)) / radius;
                    if (d >= 1.0) continue;
                    const double cover = d < 0.6 ? 1.0 : (1.0 - d) / 0.4;
                    uint16_t* p = px + (size_t(qy) * kSide + size_t(qx)) * 4;
                    const double da = p[3] / 65535.0;
                    const double oa = cover + da * (1.0 - cover);
                    for (int c = 0; c < 3; ++c)
                        p[c] = colour_word(
                            uint32_t((colour[c] * cover + p[c] * da * (1.0 - cover)) / oa + 0.5));
                    p[3] = uint16_t(oa * 65535.0 + 0.5);
                }
        }
    }
}

// Every pixel covered: a slow alpha field between 1/8 and 1, opaque strokes on top.
std::vector<uint16_t> covered_source() {
    std::vector<uint16_t> px(kPixels * 4);
    gradient(px.data(), 900, [](size_t x, size_t y) {
        const double f = (std::sin(double(x) / 310.0) + std::sin(double(y) / 190.0) + 2.0) / 4.0;
        return uint16_t(0x2000 + f * 0xDFFF);
    });
    Seeded rng{4242};
    strokes(px.data(), rng, 90, 30, 90);
    return px;
}

std::vector<uint16_t> opaque_painting(uint32_t seed) {
    std::vector<uint16_t> px(kPixels * 4);
    gradient(px.data(), seed % 1024, [](size_t, size_t) { return uint16_t(0xFFFF); });
    Seeded rng{seed};
    strokes(px.data(), rng, 150, 10, 60);
    return px;
}

// Transparent but for strokes over about half the canvas.
std::vector<uint16_t> half_covered(uint32_t seed) {
    std::vector<uint16_t> px(kPixels * 4, 0);
    Seeded rng{seed};
    strokes(px.data(), rng, 55, 30, 110);
    return px;
}

// ---- pixman images --------------------------------------------------------------------

struct PixmanImage {
    pixman_image_t* image = nullptr;
    PixmanImage() = default;
    PixmanImage(pixman_format_code_t format, int w, int h, void* bits, int stride)
        : image(pixman_image_create_bits(format, w, h, static_cast<uint32_t*>(bits), stride)) {}
    PixmanImage(const PixmanImage&) = delete;
    PixmanImage& operator=(const PixmanImage&) = delete;
    ~PixmanImage() {
        if (image) pixman_image_unref(image);
    }
};

// Premultiplied a8r8g8b8 of a w x h window of straight RGBA64, rounded.
std::vector<uint32_t> to_argb32(const uint16_t* px, int x0, int y0, int w, int h) {
    std::vector<uint32_t> out(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint16_t* p = px + (size_t(y0 + y) * kSide + size_t(x0 + x)) * 4;
            const double a = p[3] / 65535.0;
            uint32_t v = uint32_t(a * 255.0 + 0.5) << 24;
            for (int c = 0; c < 3; ++c)
                v |= uint32_t(p[c] / 65280.0 * a * 255.0 + 0.5) << (16 - 8 * c);
            out[size_t(y) * size_t(w) + size_t(x)] = v;
        }
    return out;
}

// Premultiplied float R, G, B, A of a whole layer.
std::vector<float> to_rgba_float(const std::vector<uint16_t>& px) {
    std::vector<float> out(kPixels * 4);
    for (size_t k = 0; k < kPixels; ++k) {
        const float a = px[4 * k + 3] / 65535.0f;
        for (int c = 0; c < 3; ++c) out[4 * k + size_t(c)] = px[4 * k + size_t(c)] / 65280.0f * a;
        out[4 * k + 3] = a;
    }
    return out;
}

// ---- Merges ---------------------------------------------------------------------------

struct MergeScene {
    std::vector<uint16_t> src = covered_source();
    std::vector<uint16_t> dst0 = opaque_painting(777);
    std::vector<uint16_t> dst = dst0;
    double opaque = 0;  // share of opaque source pixels
    MergeScene() {
        for (size_t k = 0; k < kPixels; ++k) opaque += src[4 * k + 3] == 0xFFFF;
        opaque /= double(kPixels);
    }
};

MergeScene& merge_scene() {
    static MergeScene m;
    return m;
}

// The destination is restored before each timed pass, so every pass merges the
// same pixels.
template <class Restore, class Pass>
void timed_passes(benchmark::State& s, Restore restore, Pass pass) {
    for (auto _ : s) {
        restore();
        const auto t0 = std::chrono::steady_clock::now();
        pass();
        benchmark::ClobberMemory();
        const auto t1 = std::chrono::steady_clock::now();
        s.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    s.SetItemsProcessed(int64_t(s.iterations()) * int64_t(kPixels));
}

void merge_ours(benchmark::State& s, int32_t code) {
    MergeScene& m = merge_scene();
    timed_passes(
        s, [&] { std::memcpy(m.dst.data(), m.dst0.data(), m.dst0.size() * 2); },
        [&] {
            qrn::composite::composite(m.src.data(), kSide * 4, nullptr, m.dst.data(), kSide * 4,
                                      kSide, kSide, code, 256, false);
        });
    s.counters["opaque"] = m.opaque;
}

void merge_peer(benchmark::State& s, pixman_op_t op, pixman_format_code_t format) {
    MergeScene& m = merge_scene();
    const bool wide = format == PIXMAN_rgba_float;
    std::vector<float> fsrc, fdst0, fdst;
    std::vector<uint32_t> bsrc, bdst0, bdst;
    void *src_bits, *dst_bits;
    size_t bytes;
    int stride;
    if (wide) {
        fsrc = to_rgba_float(m.src), fdst0 = to_rgba_float(m.dst0), fdst = fdst0;
        src_bits = fsrc.data(), dst_bits = fdst.data(), bytes = fdst.size() * 4, stride = kSide * 16;
    } else {
        bsrc = to_argb32(m.src.data(), 0, 0, kSide, kSide);
        bdst0 = to_argb32(m.dst0.data(), 0, 0, kSide, kSide);
        bdst = bdst0;
        src_bits = bsrc.data(), dst_bits = bdst.data(), bytes = bdst.size() * 4, stride = kSide * 4;
    }
    const void* dst0_bits = wide ? static_cast<const void*>(fdst0.data()) : bdst0.data();
    PixmanImage src(format, kSide, kSide, src_bits, stride);
    PixmanImage dst(format, kSide, kSide, dst_bits, stride);
    timed_passes(
        s, [&] { std::memcpy(dst_bits, dst0_bits, bytes); },
        [&] {
            pixman_image_composite32(op, src.image, nullptr, dst.image, 0, 0, 0, 0, 0, 0, kSide,
                                     kSide);
        });
}

void BM_MergeNormal_Ours(benchmark::State& s) { merge_ours(s, 0); }
void BM_MergeNormal_Peer(benchmark::State& s) { merge_peer(s, PIXMAN_OP_OVER, PIXMAN_rgba_float); }
void BM_MergeMultiply_Ours(benchmark::State& s) { merge_ours(s, 1); }
void BM_MergeMultiply_Peer(benchmark::State& s) {
    merge_peer(s, PIXMAN_OP_MULTIPLY, PIXMAN_a8r8g8b8);
}
void BM_MergeOverlay_Ours(benchmark::State& s) { merge_ours(s, 8); }
void BM_MergeOverlay_Peer(benchmark::State& s) { merge_peer(s, PIXMAN_OP_OVERLAY, PIXMAN_a8r8g8b8); }
void BM_MergeSoftLight_Ours(benchmark::State& s) { merge_ours(s, 10); }
void BM_MergeSoftLight_Peer(benchmark::State& s) {
    merge_peer(s, PIXMAN_OP_SOFT_LIGHT, PIXMAN_a8r8g8b8);
}

BENCHMARK(BM_MergeNormal_Ours)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_MergeNormal_Peer)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_MergeMultiply_Ours)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_MergeMultiply_Peer)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_MergeOverlay_Ours)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_MergeOverlay_Peer)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_MergeSoftLight_Ours)->Unit(benchmark::kMillisecond)->UseManualTime();
BENCHMARK(BM_MergeSoftLight_Peer)->Unit(benchmark::kMillisecond)->UseManualTime();

// ---- Display render -------------------------------------------------------------------

struct RenderScene {
    qrn::EngineState st;
    std::vector<uint8_t> frame = std::vector<uint8_t>(size_t(kViewW) * kViewH * 3);
    double coverage = 0;  // mean share of pixels with alpha in the three layers

    RenderScene() {
        qrn::canvas::create_image(st, nullptr, kSide, kSide, 8, 0);
        const char* modes[] = {"Normal", "Multiply", "Overlay"};
        for (int32_t s = 1; s <= 4; ++s) {
            qrn::layers::create_layer(st, s, kSide, kSide);
            qrn::layers::set_layer_options(st, s, 1, 0, 100, s == 1 ? "Normal" : modes[s - 2]);
            const std::vector<uint16_t> px =
                s == 1 ? paper() : half_covered(uint32_t(1000 + 17 * s));
            std::memcpy(st.canvas.slots[size_t(s)].pixels.data(), px.data(), px.size() * 2);
            if (s > 1)
                for (size_t k = 0; k < kPixels; ++k) coverage += px[4 * k + 3] != 0;
        }
        coverage /= 3.0 * double(kPixels);
        qrn::layers::set_layer(st, 4);
        st.settings.view_width = kViewW;
        st.settings.view_height = kViewH;
    }
    // Off-white with a faint grain, opaque.
    static std::vector<uint16_t> paper() {
        std::vector<uint16_t> px(kPixels * 4);
        Seeded rng{99};
        for (size_t k = 0; k < kPixels; ++k) {
            const uint32_t grain = rng.next() % 0x0600;
            px[4 * k + 0] = uint16_t(0xF800 - grain);
            px[4 * k + 1] = uint16_t(0xF400 - grain);
            px[4 * k + 2] = uint16_t(0xEC00 - grain);
            px[4 * k + 3] = 0xFFFF;
        }
        return px;
    }
};

RenderScene& render_scene() {
    static RenderScene r;
    return r;
}

void render_ours(benchmark::State& s, int32_t scale_a, int32_t scale_b, int32_t x, int32_t y,
                 int32_t w, int32_t h, int64_t out_pixels) {
    RenderScene& r = render_scene();
    r.st.settings.scale_a = scale_a;
    r.st.settings.scale_b = scale_b;
    for (auto _ : s) {
        qrn::composite::render(r.st, r.frame.data(), kViewW * 3, x, y, w, h);
        benchmark::ClobberMemory();
    }
    s.counters["fps"] = benchmark::Counter(double(s.iterations()), benchmark::Counter::kIsRate);
    s.counters["cover"] = r.coverage;
    s.SetItemsProcessed(int64_t(s.iterations()) * out_pixels);
}

void BM_Render_OneToOne(benchmark::State& s) {
    render_ours(s, 1, 1, kViewX, kViewY, kViewW, kViewH, int64_t(kViewW) * kViewH);
}
// 7680 x 4320 would fill the view; the canvas clips it to 4096 x 4096 -> 1024 x 1024.
void BM_Render_ZoomOut4(benchmark::State& s) {
    render_ours(s, 1, 4, 0, 0, kSide, kSide, int64_t(kSide / 4) * (kSide / 4));
}
void BM_Render_ZoomIn4(benchmark::State& s) {
    render_ours(s, 4, 1, kViewX, kViewY, kViewW / 4, kViewH / 4, int64_t(kViewW) * kViewH);
}

void BM_Render_Peer(benchmark::State& s) {
    RenderScene& r = render_scene();
    std::vector<uint32_t> bits[4];
    std::unique_ptr<PixmanImage> layer[4];
    for (int k = 0; k < 4; ++k) {
        bits[k] = to_argb32(r.st.canvas.slots[size_t(k + 1)].pixels.data(), kViewX, kViewY, kViewW,
                            kViewH);
        layer[k] = std::make_unique<PixmanImage>(PIXMAN_a8r8g8b8, kViewW, kViewH, bits[k].data(),
                                                 kViewW * 4);
    }
    std::vector<uint32_t> work(size_t(kViewW) * kViewH);
    PixmanImage out(PIXMAN_a8r8g8b8, kViewW, kViewH, work.data(), kViewW * 4);
    const pixman_op_t ops[3] = {PIXMAN_OP_OVER, PIXMAN_OP_MULTIPLY, PIXMAN_OP_OVERLAY};
    for (auto _ : s) {
        pixman_image_composite32(PIXMAN_OP_SRC, layer[0]->image, nullptr, out.image, 0, 0, 0, 0, 0,
                                 0, kViewW, kViewH);
        for (int k = 0; k < 3; ++k)
            pixman_image_composite32(ops[k], layer[k + 1]->image, nullptr, out.image, 0, 0, 0, 0, 0,
                                     0, kViewW, kViewH);
        uint8_t* o = r.frame.data();
        for (size_t k = 0; k < work.size(); ++k, o += 3) {
            const uint32_t v = work[k];
            o[0] = uint8_t(v), o[1] = uint8_t(v >> 8), o[2] = uint8_t(v >> 16);
        }
        benchmark::ClobberMemory();
    }
    s.counters["fps"] = benchmark::Counter(double(s.iterations()), benchmark::Counter::kIsRate);
    s.SetItemsProcessed(int64_t(s.iterations()) * kViewW * kViewH);
}

BENCHMARK(BM_Render_OneToOne)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Render_ZoomOut4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Render_ZoomIn4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Render_Peer)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

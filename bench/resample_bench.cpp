// The filtered resizes, RGBA32 4096 x 4096 to 1024 x 1024, against libvips
// (vips_reduce with the matching kernel, vips_shrink for Box; one thread, no
// cache) on the same seeded pixels, and the Catmull-Rom enlargement 1024 to
// 4096 against stb_image_resize (alpha weighted like ours, clamped edges).
// Figures are Mpix/s of output in real time, since libvips computes on a
// worker thread.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "imaginglib/resample/resample.h"
#include "seeded.h"

#ifdef QRN_BENCH_VIPS
#include "vips_peer.h"
#endif

#ifdef QRN_BENCH_STB
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
#pragma GCC diagnostic pop
#endif

namespace {

using qrn::imaginglib::ResampleFilter;
using qrn::imaginglib::ResampleLoops;

constexpr int32_t kSrcSide = 4096, kDstSide = 1024;

// Smooth gradients with noise and a few transparent patches, so that the
// alpha weighting and the rounding both have work; alpha 255 when opaque.
const std::vector<uint8_t>& source(bool opaque) {
    static std::vector<uint8_t> px[2];
    std::vector<uint8_t>& p = px[opaque];
    if (p.empty()) {
        p.resize(size_t(kSrcSide) * kSrcSide * 4);
        qrn::bench::Seeded rng{opaque ? 11u : 7u};
        for (int32_t y = 0; y < kSrcSide; ++y)
            for (int32_t x = 0; x < kSrcSide; ++x) {
                uint8_t* q = &p[(size_t(y) * kSrcSide + size_t(x)) * 4];
                q[0] = uint8_t(x / 16 + rng.below(16));
                q[1] = uint8_t(y / 16 + rng.below(16));
                q[2] = uint8_t((x + y) / 32 + rng.below(16));
                q[3] = opaque ? 255
                              : ((x / 256 + y / 256) % 5 == 0 ? 0 : uint8_t(128 + rng.below(128)));
            }
    }
    return p;
}

void set_rate(benchmark::State& s) {
    s.counters["Mpix/s"] = benchmark::Counter(double(s.iterations()) * kDstSide * kDstSide / 1e6,
                                              benchmark::Counter::kIsRate);
}

void run_ours(benchmark::State& s, ResampleFilter f, ResampleLoops loops) {
    const std::vector<uint8_t>& src = source(false);
    std::vector<uint8_t> dst(size_t(kDstSide) * kDstSide * 4);
    for (auto _ : s) {
        if (!qrn::imaginglib::resize_filter(src.data(), kSrcSide, kSrcSide, kSrcSide * 4,
                                            dst.data(), kDstSide, kDstSide, kDstSide * 4, 4,
                                            int32_t(f), loops)) {
            s.SkipWithError("resize_filter failed");
            break;
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    set_rate(s);
}

#ifdef QRN_BENCH_VIPS
VipsImage* vips_source(bool opaque) {
    const std::vector<uint8_t>& src = source(opaque);
    return vips_image_new_from_memory(src.data(), src.size(), kSrcSide, kSrcSide, 4,
                                      VIPS_FORMAT_UCHAR);
}

// kernel < 0: vips_shrink (box).
VipsImage* vips_resized(VipsImage* in, int kernel) {
    VipsImage* out = nullptr;
    const double f = double(kSrcSide) / kDstSide;
    const int failed = kernel < 0
                           ? vips_shrink(in, &out, f, f, nullptr)
                           : vips_reduce(in, &out, f, f, "kernel", VipsKernel(kernel), nullptr);
    return failed ? nullptr : out;
}

void run_peer(benchmark::State& s, int kernel) {
    qrn::bench::run_vips(s, vips_source(false),
                         [&](VipsImage* in) { return vips_resized(in, kernel); });
    set_rate(s);
}

// Mean absolute difference of the bytes on an opaque picture, where alpha
// weighting changes nothing: how close the shared kernels are.
void report_agreement() {
    const struct {
        const char* name;
        ResampleFilter ours;
        int vips;
    } pairs[] = {{"Lanczos3", ResampleFilter::Lanczos3, VIPS_KERNEL_LANCZOS3},
                 {"Mitchell", ResampleFilter::Mitchell, VIPS_KERNEL_MITCHELL},
                 {"Catrom", ResampleFilter::Catrom, VIPS_KERNEL_CUBIC},
                 {"Triangle", ResampleFilter::Triangle, VIPS_KERNEL_LINEAR},
                 {"Box", ResampleFilter::Box, -1}};
    vips_concurrency_set(1);
    const std::vector<uint8_t>& src = source(true);
    std::vector<uint8_t> ours(size_t(kDstSide) * kDstSide * 4);
    VipsImage* in = vips_source(true);
    for (const auto& p : pairs) {
        qrn::imaginglib::resize_filter(src.data(), kSrcSide, kSrcSide, kSrcSide * 4, ours.data(),
                                       kDstSide, kDstSide, kDstSide * 4, 4, int32_t(p.ours));
        VipsImage* out = vips_resized(in, p.vips);
        size_t n = 0;
        auto* theirs = out ? static_cast<uint8_t*>(vips_image_write_to_memory(out, &n)) : nullptr;
        if (theirs && n == ours.size()) {
            double sum = 0;
            int worst = 0;
            for (size_t i = 0; i < n; ++i) {
                const int d = std::abs(int(ours[i]) - int(theirs[i]));
                sum += d;
                worst = d > worst ? d : worst;
            }
            std::fprintf(stderr, "%-9s against libvips: mean |difference| %.4f, largest %d\n",
                         p.name, sum / double(n), worst);
        }
        g_free(theirs);
        if (out) g_object_unref(out);
    }
    g_object_unref(in);
}

#endif

// ---- Enlargement: 1024 x 1024 to 4096 x 4096 with Catmull-Rom ----

constexpr int32_t kUpSrc = 1024, kUpDst = 4096;

const std::vector<uint8_t>& up_source() {
    static std::vector<uint8_t> p;
    if (p.empty()) {
        p.resize(size_t(kUpSrc) * kUpSrc * 4);
        qrn::bench::Seeded rng{5u};
        for (int32_t y = 0; y < kUpSrc; ++y)
            for (int32_t x = 0; x < kUpSrc; ++x) {
                uint8_t* q = &p[(size_t(y) * kUpSrc + size_t(x)) * 4];
                q[0] = uint8_t(x / 4 + rng.below(16));
                q[1] = uint8_t(y / 4 + rng.below(16));
                q[2] = uint8_t((x + y) / 8 + rng.below(16));
                q[3] = (x / 64 + y / 64) % 5 == 0 ? 0 : uint8_t(128 + rng.below(128));
            }
    }
    return p;
}

template <class Op>
void run_upsize(benchmark::State& s, Op op) {
    const std::vector<uint8_t>& src = up_source();
    std::vector<uint8_t> dst(size_t(kUpDst) * kUpDst * 4);
    for (auto _ : s) {
        if (!op(src.data(), dst.data())) {
            s.SkipWithError("resize failed");
            break;
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    s.counters["Mpix/s"] = benchmark::Counter(double(s.iterations()) * kUpDst * kUpDst / 1e6,
                                              benchmark::Counter::kIsRate);
}

void BM_UpsizeCatrom_Ours(benchmark::State& s) {
    run_upsize(s, [](const uint8_t* src, uint8_t* dst) {
        return qrn::imaginglib::resize_filter(src, kUpSrc, kUpSrc, kUpSrc * 4, dst, kUpDst, kUpDst,
                                              kUpDst * 4, 4, int32_t(ResampleFilter::Catrom)) != 0;
    });
}
BENCHMARK(BM_UpsizeCatrom_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QRN_BENCH_STB
// Peer: stb's Catmull-Rom with alpha in channel 3 (it premultiplies, as we
// weight colour by alpha), clamped edges, no colour-space conversion.
void BM_UpsizeCatrom_Peer(benchmark::State& s) {
    run_upsize(s, [](const uint8_t* src, uint8_t* dst) {
        return stbir_resize_uint8_generic(src, kUpSrc, kUpSrc, kUpSrc * 4, dst, kUpDst, kUpDst,
                                          kUpDst * 4, 4, 3, 0, STBIR_EDGE_CLAMP,
                                          STBIR_FILTER_CATMULLROM, STBIR_COLORSPACE_LINEAR,
                                          nullptr) != 0;
    });
}
BENCHMARK(BM_UpsizeCatrom_Peer)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

#ifdef QRN_BENCH_VIPS
#define QRN_RESIZE_PEER(Filter, kernel)                                         \
    void BM_Resize##Filter##_Peer(benchmark::State& s) { run_peer(s, kernel); } \
    BENCHMARK(BM_Resize##Filter##_Peer)->Unit(benchmark::kMillisecond)->UseRealTime();
QRN_RESIZE_PEER(Lanczos3, VIPS_KERNEL_LANCZOS3)
QRN_RESIZE_PEER(Mitchell, VIPS_KERNEL_MITCHELL)
QRN_RESIZE_PEER(Catrom, VIPS_KERNEL_CUBIC)
QRN_RESIZE_PEER(Triangle, VIPS_KERNEL_LINEAR)
QRN_RESIZE_PEER(Box, -1)
#endif

// _Ours runs the widest loops the processor has, _Plain the reference loops.
#define QRN_RESIZE_OURS(Filter)                                                        \
    void BM_Resize##Filter##_Ours(benchmark::State& s) {                               \
        run_ours(s, ResampleFilter::Filter, ResampleLoops::Best);                      \
    }                                                                                  \
    void BM_Resize##Filter##_Plain(benchmark::State& s) {                              \
        run_ours(s, ResampleFilter::Filter, ResampleLoops::Scalar);                    \
    }                                                                                  \
    BENCHMARK(BM_Resize##Filter##_Ours)->Unit(benchmark::kMillisecond)->UseRealTime(); \
    BENCHMARK(BM_Resize##Filter##_Plain)->Unit(benchmark::kMillisecond)->UseRealTime();
QRN_RESIZE_OURS(Lanczos3)
QRN_RESIZE_OURS(Mitchell)
QRN_RESIZE_OURS(Catrom)
QRN_RESIZE_OURS(Triangle)
QRN_RESIZE_OURS(Box)

}  // namespace

int main(int argc, char** argv) {
#ifdef QRN_BENCH_VIPS
    if (VIPS_INIT(argv[0])) return 1;
    report_agreement();
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
#ifdef QRN_BENCH_VIPS
    vips_shutdown();
#endif
    return 0;
}

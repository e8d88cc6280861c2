// The engine's pixel kernels and the Gaussian blur on 4096 x 4096 RGBA32.
// Gaussian: sigma 5 against libvips's vips_gaussblur with a mask of the same
// 31 taps (one thread, no cache); kernels in Mpix/s beside a memcpy of the same
// bytes, the bound of every point kernel.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/engine_state.h"
#include "imaging/kernels.h"
#include "imaginglib/gauss/gaussian.h"
#include "seeded.h"

#ifdef QRN_BENCH_VIPS
#include "vips_peer.h"
#endif

namespace {

using qrn::imaginglib::GaussLoops;

constexpr int32_t kSide = 4096;
constexpr size_t kPixels = size_t(kSide) * kSide;

// Gradients with noise and a few flat patches, so every kernel finds edges.
const std::vector<uint8_t>& source(int32_t bpp) {
    static std::vector<uint8_t> px[5];
    std::vector<uint8_t>& p = px[bpp];
    if (p.empty()) {
        p.resize(kPixels * size_t(bpp));
        qrn::bench::Seeded rng{uint32_t(5 + bpp)};
        for (int32_t y = 0; y < kSide; ++y)
            for (int32_t x = 0; x < kSide; ++x) {
                uint8_t* q = &p[(size_t(y) * kSide + size_t(x)) * size_t(bpp)];
                const bool flat = (x / 512 + y / 512) % 3 == 0;
                for (int32_t c = 0; c < bpp; ++c)
                    q[c] = flat ? uint8_t(40 * c + 60)
                                : uint8_t((x + 2 * y) / (16 + 8 * c) + rng.below(24));
            }
    }
    return p;
}

void set_rate(benchmark::State& s) {
    s.counters["Mpix/s"] = benchmark::Counter(double(s.iterations()) * double(kPixels) / 1e6,
                                              benchmark::Counter::kIsRate);
}

void run_gauss(benchmark::State& s, int32_t bpp, double sigma, GaussLoops loops) {
    const std::vector<uint8_t>& src = source(bpp);
    std::vector<uint8_t> dst(src.size());
    for (auto _ : s) {
        if (!qrn::imaginglib::gaussian_blur_image(src.data(), kSide, kSide, bpp,
                                                  int64_t(kSide) * bpp, dst.data(),
                                                  int64_t(kSide) * bpp, sigma, 15, loops)) {
            s.SkipWithError("gaussian_blur_image failed");
            break;
        }
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    s.counters["taps"] = 2 * qrn::imaginglib::gaussian_radius(sigma) + 1;
    set_rate(s);
}

void BM_Gauss_Ours(benchmark::State& s) { run_gauss(s, 4, 5.0, GaussLoops::Best); }
void BM_Gauss_Plain(benchmark::State& s) { run_gauss(s, 4, 5.0, GaussLoops::Scalar); }
// The one-byte form the vignette uses, at sigma 5 and 50.
void BM_Gauss1_Ours(benchmark::State& s) { run_gauss(s, 1, double(s.range(0)), GaussLoops::Best); }
BENCHMARK(BM_Gauss_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gauss_Plain)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gauss1_Ours)->Arg(5)->Arg(50)->Unit(benchmark::kMillisecond)->UseRealTime();

#ifdef QRN_BENCH_VIPS
// min_ampl between the amplitudes at r and r + 1 gives libvips our 2r + 1 taps;
// 0.2 is its default (17 taps at sigma 5).
void run_vips_gauss(benchmark::State& s, double sigma, double min_ampl) {
    const std::vector<uint8_t>& src = source(4);
    VipsImage* in =
        vips_image_new_from_memory(src.data(), src.size(), kSide, kSide, 4, VIPS_FORMAT_UCHAR);
    qrn::bench::run_vips(s, in, [&](VipsImage* image) {
        VipsImage* out = nullptr;
        return vips_gaussblur(image, &out, sigma, "min_ampl", min_ampl, nullptr) ? nullptr : out;
    });
    set_rate(s);
}

double equal_taps_min_ampl(double sigma) {
    const double r = qrn::imaginglib::gaussian_radius(sigma);
    return std::exp(-(r * r + (r + 1) * (r + 1)) / (4 * sigma * sigma));
}

void BM_Gauss_Peer(benchmark::State& s) { run_vips_gauss(s, 5.0, equal_taps_min_ampl(5.0)); }
void BM_Gauss_PeerDefaultTaps(benchmark::State& s) { run_vips_gauss(s, 5.0, 0.2); }
BENCHMARK(BM_Gauss_Peer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Gauss_PeerDefaultTaps)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

// ---- Kernels ----

struct KernelBench {
    qrn::EngineState st;
    KernelBench() {
        st.canvas.width = st.canvas.height = kSide;
        st.canvas.exists = true;
        st.canvas.current_slot = 2;
        qrn::LayerRecord& r = st.canvas.slots[2];
        r.width = r.height = kSide;
        r.row_words = kSide * 4;
        r.pixels = qrn::Buffer<uint16_t>::make(kPixels * 4);
        st.work.src32 = qrn::Buffer<uint8_t>::make(kPixels * 4);
        st.work.dst32 = qrn::Buffer<uint8_t>::make(kPixels * 4);
        std::memcpy(st.work.src32.data(), source(4).data(), kPixels * 4);
    }
};

KernelBench& kernel_bench() {
    static KernelBench b;
    return b;
}

// Peer: the runner's own copy of source to destination, which every kernel
// run without the in-place flag starts with.
void BM_Kernel_Peer(benchmark::State& s) {
    KernelBench& b = kernel_bench();
    for (auto _ : s) {
        std::memcpy(b.st.work.dst32.data(), b.st.work.src32.data(), kPixels * 4);
        benchmark::ClobberMemory();
    }
    set_rate(s);
}
BENCHMARK(BM_Kernel_Peer)->Unit(benchmark::kMillisecond)->UseRealTime();

void run_kernel(benchmark::State& s, const char* name, qrn::imaging::KernelArgs args) {
    KernelBench& b = kernel_bench();
    for (auto _ : s) {
        qrn::imaging::run_kernel(b.st, name, 0, args);
        benchmark::ClobberMemory();
    }
    set_rate(s);
}

qrn::imaging::KernelArgs args(std::initializer_list<int32_t> reals, int32_t k1 = 0,
                              std::initializer_list<uint8_t> flags = {}) {
    qrn::imaging::KernelArgs a;
    std::copy(reals.begin(), reals.end(), a.reals);
    std::copy(flags.begin(), flags.end(), a.flags);
    a.k1 = k1;
    return a;
}

#define QRN_KERNEL_BENCH(Id, name, arguments)                                    \
    void BM_Kernel_##Id(benchmark::State& s) { run_kernel(s, name, arguments); } \
    BENCHMARK(BM_Kernel_##Id)->Unit(benchmark::kMillisecond)->UseRealTime();
QRN_KERNEL_BENCH(AntiAlias, "Anti Alias", args({500, 500, 800, 800}))
QRN_KERNEL_BENCH(AdaptiveBlur, "Adaptive Blur", args({900, 500, 500}))
QRN_KERNEL_BENCH(LineArtCleaner, "Line Art Cleaner", args({500, 100}))
QRN_KERNEL_BENCH(BasicThreshold, "Basic Threshold", args({500}))
QRN_KERNEL_BENCH(AdjustLab, "Adjust Lab", args({550, 450, 500}))
QRN_KERNEL_BENCH(DetailBlur, "Detail Blur", args({50}))
QRN_KERNEL_BENCH(ValueBlur, "Value Blur", args({500, 500}))
QRN_KERNEL_BENCH(HyperContrast, "Hyper Contrast", args({300}))
QRN_KERNEL_BENCH(BasRelief, "Bas Relief", args({300}, 0))
QRN_KERNEL_BENCH(Grayscale, "Grayscale", args({}))
QRN_KERNEL_BENCH(Invert, "Invert", args({}))
QRN_KERNEL_BENCH(Vignette, "Vignette", args({0, 0, 0, 100, 300, 1000}, 0, {1, 1, 0, 0}))

}  // namespace

int main(int argc, char** argv) {
#ifdef QRN_BENCH_VIPS
    if (VIPS_INIT(argv[0])) return 1;
#endif
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
#ifdef QRN_BENCH_VIPS
    vips_shutdown();
#endif
    return 0;
}

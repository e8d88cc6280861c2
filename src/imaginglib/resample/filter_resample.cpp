// Nearest neighbour, bicubic and the fourteen filtered resizes: one separable
// resampler, a horizontal pass per source row into a ring of rows, then a
// vertical pass per destination row. The geometry of the engine calls them.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

#include "imaginglib/resample/resample.h"
#include "imaginglib/resample/resample_loops.h"
#include "imaginglib/stride.h"

namespace qrn::imaginglib {
namespace detail {
namespace {

double sinc(double x) {
    if (x == 0.0) return 1.0;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

// Keys cubic with parameter a.
double keys(double x, double a) {
    if (x < 1.0) return ((a + 2.0) * x - (a + 3.0)) * x * x + 1.0;
    if (x < 2.0) return ((a * x - 5.0 * a) * x + 8.0 * a) * x - 4.0 * a;
    return 0.0;
}

// Mitchell-Netravali cubic with parameters b and c.
double bc_cubic(double x, double b, double c) {
    if (x < 1.0)
        return ((12.0 - 9.0 * b - 6.0 * c) * x * x * x + (-18.0 + 12.0 * b + 6.0 * c) * x * x +
                (6.0 - 2.0 * b)) /
               6.0;
    if (x < 2.0)
        return ((-b - 6.0 * c) * x * x * x + (6.0 * b + 30.0 * c) * x * x +
                (-12.0 * b - 48.0 * c) * x + (8.0 * b + 24.0 * c)) /
               6.0;
    return 0.0;
}

struct Kernel {
    double support;
    double (*at)(double x);  // x >= 0 except for Box, which is half-open
};

// Scale factors are left out: every weight table is normalised.
constexpr Kernel kKernels[kResampleFilters] = {
    {0.5, [](double x) { return x >= -0.5 && x < 0.5 ? 1.0 : 0.0; }},         // Box
    {1.0, [](double x) { return x < 1.0 ? 1.0 - x : 0.0; }},                   // Triangle
    {1.0,
     [](double x) { return x < 1.0 ? 0.54 + 0.46 * std::cos(std::numbers::pi * x) : 0.0; }},
    {1.25, [](double x) { return x < 1.25 ? std::exp(-2.0 * x * x) : 0.0; }},  // Gaussian
    {1.5,
     [](double x) {  // Bell: quadratic B-spline
         if (x < 0.5) return 0.75 - x * x;
         if (x < 1.5) return 0.5 * (x - 1.5) * (x - 1.5);
         return 0.0;
     }},
    {2.0, [](double x) { return bc_cubic(x, 1.0, 0.0); }},   // B-Spline
    {2.0, [](double x) { return keys(x, -1.0); }},           // Cubic 1
    {2.0, [](double x) { return keys(x, -0.75); }},          // Cubic 2
    {3.0, [](double x) { return x < 3.0 ? sinc(x) * sinc(x / 3.0) : 0.0; }},  // Lanczos3
    {2.0, [](double x) { return bc_cubic(x, 1.0 / 3.0, 1.0 / 3.0); }},  // Mitchell
    {4.0, [](double x) { return x < 4.0 ? sinc(x) : 0.0; }},             // Sinc, not windowed
    {1.0, [](double x) { return x < 1.0 ? (2.0 * x - 3.0) * x * x + 1.0 : 0.0; }},  // Hermite
    {1.0, [](double x) { return x < 1.0 ? 0.5 + 0.5 * std::cos(std::numbers::pi * x) : 0.0; }},
    {2.0, [](double x) { return keys(x, -0.5); }},  // Catrom
};

// Bounds that keep settle() inside 32 bits.
constexpr int64_t kMaxAbsWeightSum = kWeightOne * 12 / 5;
constexpr int32_t kMaxWeight = 32767;

}  // namespace

AxisWeights axis_weights(int32_t ns, int32_t nd, int32_t kernel, bool widen) {
    const Kernel& k = kKernels[kernel];
    const double ratio = double(ns) / double(nd);
    const double stretch = widen ? std::max(1.0, ratio) : 1.0;
    const double support = k.support * stretch;
    const bool box = kernel == int32_t(ResampleFilter::Box);

    // First pass in double: each destination pixel's weights, folded onto the
    // edge pixels where the kernel leaves the image, zero ends trimmed.
    std::vector<double> w;
    const size_t n = static_cast<size_t>(nd);
    std::vector<int32_t> lo(n), count(n);
    std::vector<std::vector<double>> rows(n);
    int32_t taps = 1;
    for (int32_t d = 0; d < nd; ++d) {
        const double centre = (d + 0.5) * ratio - 0.5;
        const int64_t a = int64_t(std::floor(centre - support));
        const int64_t b = int64_t(std::ceil(centre + support));
        w.assign(size_t(std::min<int64_t>(b, ns - 1) - std::clamp<int64_t>(a, 0, ns - 1) + 1), 0.0);
        const int64_t base = std::clamp<int64_t>(a, 0, ns - 1);
        for (int64_t s = a; s <= b; ++s) {
            const double x = (double(s) - centre) / stretch;
            const double v = box ? k.at(x) : k.at(std::fabs(x));
            w[size_t(std::clamp<int64_t>(s, 0, ns - 1) - base)] += v;
        }
        size_t first = 0, last = w.size();
        while (first < last && w[first] == 0.0) ++first;
        while (last > first && w[last - 1] == 0.0) --last;
        if (first == last) {  // cannot happen for these kernels; keep the nearest pixel
            const int64_t near = std::clamp<int64_t>(int64_t(std::floor(centre + 0.5)), 0, ns - 1);
            rows[size_t(d)] = {1.0};
            lo[size_t(d)] = int32_t(near);
        } else {
            rows[size_t(d)].assign(w.begin() + int64_t(first), w.begin() + int64_t(last));
            lo[size_t(d)] = int32_t(base + int64_t(first));
        }
        count[size_t(d)] = int32_t(rows[size_t(d)].size());
        taps = std::max(taps, count[size_t(d)]);
    }

    AxisWeights ax;
    ax.taps = (taps + 3) & ~3;
    ax.first = std::move(lo);
    ax.weights.assign(size_t(nd) * size_t(ax.taps), 0);
    // Quantise the running total rather than each weight: every weight is
    // off by less than one unit, the rounding errors never pile up across
    // thousands of taps, a weight keeps the sign of its real value, and the
    // total is exactly kWeightOne.
    for (int32_t d = 0; d < nd; ++d) {
        const std::vector<double>& r = rows[size_t(d)];
        double total = 0.0;
        for (double v : r) total += v;
        if (!(total > 0.0)) return {};
        int16_t* out = &ax.weights[size_t(d) * size_t(ax.taps)];
        double run = 0.0;
        int64_t prev = 0, abs_sum = 0;
        for (size_t i = 0; i < r.size(); ++i) {
            run += r[i];
            const int64_t q = i + 1 == r.size() ? kWeightOne : std::llround(run / total * kWeightOne);
            const int64_t v = q - prev;
            prev = q;
            if (v > kMaxWeight || v < -kMaxWeight) return {};
            abs_sum += v < 0 ? -v : v;
            out[i] = int16_t(v);
        }
        if (abs_sum > kMaxAbsWeightSum) return {};
    }
    return ax;
}

void premultiply_scalar(const uint8_t* src, size_t pixels, int16_t* out) {
    for (size_t i = 0; i < pixels; ++i, src += 4, out += 4) {
        const int32_t a = src[3];
        for (int c = 0; c < 3; ++c) out[c] = int16_t(src[c] * a - kSampleBias);
        out[3] = int16_t(a * 255 - kSampleBias);
    }
}

void horizontal_scalar(const int16_t* in, int32_t bpp, const AxisWeights& ax, int16_t* out) {
    const size_t taps = size_t(ax.taps);
    const int16_t* w = ax.weights.data();
    for (int32_t f : ax.first) {
        const int16_t* p = in + int64_t(f) * bpp;
        for (int32_t c = 0; c < bpp; ++c) {
            int32_t sum = 0;
            for (size_t k = 0; k < taps; ++k) sum += w[k] * p[k * size_t(bpp) + size_t(c)];
            *out++ = settle(sum);
        }
        w += taps;
    }
}

void vertical_scalar(const VerticalJob& job) {
    for (size_t i = 0; i < job.n; ++i) {
        int32_t sum = 0;
        for (int32_t k = 0; k < job.taps; ++k) sum += job.weights[k] * job.rows[k][i];
        job.out[i] = settle(sum);
    }
}

bool cpu_has_avx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace detail

namespace {

using namespace detail;

bool usable(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, const uint8_t* dst,
            int32_t dw, int32_t dh, int64_t dst_stride, int32_t bpp) {
    auto side = [](int32_t v) { return v >= 1 && v <= kMaxResampleSide; };
    return src && dst && side(sw) && side(sh) && side(dw) && side(dh) && bpp >= 1 && bpp <= 4 &&
           stride_fits(src_stride, int64_t(sw) * bpp, sh) &&
           stride_fits(dst_stride, int64_t(dw) * bpp, dh);
}

// Samples (biased, see kSampleBias) back to bytes.
void finish_row(const int16_t* s, size_t pixels, int32_t bpp, uint8_t* d) {
    if (bpp != 4) {
        for (size_t i = 0; i < pixels * size_t(bpp); ++i)
            d[i] = uint8_t((s[i] + kSampleBias + 127) / 255);
        return;
    }
    for (size_t i = 0; i < pixels; ++i, s += 4, d += 4) {
        const uint32_t a = uint32_t(s[3] + kSampleBias);  // alpha x 255
        if (a < 128) {  // rounds to alpha 0: no colour
            std::memset(d, 0, 4);
            continue;
        }
        for (int c = 0; c < 3; ++c) {
            // colour = (colour x alpha) / alpha x 255, rounded; ringing can
            // push the premultiplied value past alpha, hence the clamp.
            const uint32_t p = uint32_t(s[c] + kSampleBias) * 255 + a / 2;
            const uint32_t v = a == uint32_t(kSampleMax) ? p / uint32_t(kSampleMax) : p / a;
            d[c] = uint8_t(std::min<uint32_t>(v, 255));
        }
        d[3] = uint8_t((a + 127) / 255);
    }
}

void copy_rows(const uint8_t* src, int64_t src_stride, uint8_t* dst, int64_t dst_stride,
               size_t row_bytes, int32_t rows) {
    for (int32_t y = 0; y < rows; ++y)
        std::memcpy(row_at(dst, dst_stride, y), row_at(src, src_stride, y), row_bytes);
}

int32_t run_filter(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                   int32_t dw, int32_t dh, int64_t dst_stride, int32_t bpp, int32_t kernel,
                   bool widen, ResampleLoops loops) {
    if (!usable(src, sw, sh, src_stride, dst, dw, dh, dst_stride, bpp)) return 0;
    const size_t row_bytes = size_t(dw) * size_t(bpp);
    if (sw == dw && sh == dh) {
        copy_rows(src, src_stride, dst, dst_stride, row_bytes, sh);
        return 1;
    }
    const bool avx2 = loops == ResampleLoops::Best && cpu_has_avx2();
    try {
        // An axis that keeps its size passes through untouched.
        const bool same_x = sw == dw, same_y = sh == dh;
        const AxisWeights xs = same_x ? AxisWeights{} : axis_weights(sw, dw, kernel, widen);
        const AxisWeights ys = axis_weights(sh, dh, same_y ? int32_t(ResampleFilter::Box) : kernel,
                                            widen);
        if ((!same_x && xs.taps == 0) || ys.taps == 0) return 0;

        // The ring holds the horizontally filtered rows the current
        // destination row needs. Windows only move down, so a slot is
        // overwritten only once no later destination row reads it.
        int32_t span = 1;
        for (int32_t d = 0; d < dh; ++d) {
            const int16_t* w = &ys.weights[size_t(d) * size_t(ys.taps)];
            int32_t n = ys.taps;
            while (n > 1 && w[n - 1] == 0) --n;
            span = std::max(span, n);
        }
        const size_t ring_rows = size_t(std::min(span, sh));
        const size_t values = row_bytes;
        std::vector<int16_t> ring(ring_rows * values);
        std::vector<int32_t> held(ring_rows, -1);
        // One source row as samples, followed by zero pixels the padded taps read.
        const size_t pad = same_x ? 0 : size_t(xs.taps) + 4;
        std::vector<int16_t> line((size_t(sw) + pad) * size_t(bpp), 0);
        std::vector<int16_t> out(values);
        std::vector<const int16_t*> rows(size_t(ys.taps));

        auto filtered_row = [&](int32_t sy) -> const int16_t* {
            const size_t slot = size_t(sy) % ring_rows;
            int16_t* r = &ring[slot * values];
            if (held[slot] == sy) return r;
            const uint8_t* s = row_at(src, src_stride, sy);
            int16_t* to = same_x ? r : line.data();
            if (bpp == 4) {
                if (!(avx2 && premultiply_avx2(s, size_t(sw), to))) premultiply_scalar(s, size_t(sw), to);
            } else {
                for (size_t i = 0; i < size_t(sw) * size_t(bpp); ++i)
                    to[i] = int16_t(s[i] * 255 - kSampleBias);
            }
            if (!same_x && !(bpp == 4 && avx2 && horizontal_avx2(line.data(), xs, r)))
                horizontal_scalar(line.data(), bpp, xs, r);
            held[slot] = sy;
            return r;
        };

        for (int32_t dy = 0; dy < dh; ++dy) {
            const int16_t* w = &ys.weights[size_t(dy) * size_t(ys.taps)];
            const int32_t first = ys.first[size_t(dy)];
            // Padded taps (weight 0) point at the last real row, which is held.
            int32_t last = first;
            for (int32_t k = 0; k < ys.taps; ++k)
                if (w[k] != 0) last = first + k;
            for (int32_t k = 0; k <= last - first; ++k) rows[size_t(k)] = filtered_row(first + k);
            for (int32_t k = last - first + 1; k < ys.taps; ++k) rows[size_t(k)] = rows[size_t(last - first)];
            const VerticalJob job{rows.data(), w, ys.taps, out.data(), values};
            if (!(avx2 && vertical_avx2(job))) vertical_scalar(job);
            finish_row(out.data(), size_t(dw), bpp, row_at(dst, dst_stride, dy));
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

}  // namespace

int32_t resample_nearest(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride,
                         uint8_t* dst, int32_t dw, int32_t dh, int64_t dst_stride,
                         int32_t bytes_per_pixel) {
    if (!usable(src, sw, sh, src_stride, dst, dw, dh, dst_stride, bytes_per_pixel)) return 0;
    const size_t bpp = size_t(bytes_per_pixel);
    try {
        std::vector<size_t> xs(static_cast<size_t>(dw));
        for (int64_t d = 0; d < dw; ++d) xs[size_t(d)] = size_t((2 * d + 1) * sw / (2 * int64_t(dw))) * bpp;
        for (int64_t dy = 0; dy < dh; ++dy) {
            const uint8_t* s = row_at(src, src_stride, (2 * dy + 1) * sh / (2 * int64_t(dh)));
            uint8_t* d = row_at(dst, dst_stride, dy);
            for (size_t x : xs) {
                std::memcpy(d, s + x, bpp);
                d += bpp;
            }
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int32_t resize_bicubic(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                       int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel,
                       ResampleLoops loops) {
    return run_filter(src, sw, sh, src_stride, dst, dw, dh, dst_stride, bytes_per_pixel,
                      int32_t(ResampleFilter::Catrom), false, loops);
}

int32_t resize_filter(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                      int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel,
                      int32_t filter, ResampleLoops loops) {
    if (filter < 0 || filter >= kResampleFilters) return 0;
    return run_filter(src, sw, sh, src_stride, dst, dw, dh, dst_stride, bytes_per_pixel, filter,
                      true, loops);
}

}  // namespace qrn::imaginglib

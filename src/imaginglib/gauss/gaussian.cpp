// Separable Gaussian blur: vertical pass from bytes into one row of 16-bit
// values, then the horizontal pass of that row into the destination.
#include "imaginglib/gauss/gaussian.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>

#include "imaginglib/gauss/gauss_loops.h"
#include "imaginglib/stride.h"

namespace qrn::imaginglib {

namespace gauss {

void vertical_scalar(const VerticalJob& job, size_t from) {
    const int32_t round = 1 << (kVerticalShift - 1);
    for (size_t i = from; i < job.n; ++i) {
        int32_t sum = round;
        for (int32_t k = 0; k < job.taps; ++k) sum += job.weights[k] * job.rows[k][i];
        job.mid[i] = int16_t(sum >> kVerticalShift);
    }
}

void horizontal_scalar(const HorizontalJob& job, size_t from) {
    const int32_t round = 1 << (kHorizontalShift - 1);
    for (size_t i = from; i < job.n; ++i) {
        int32_t sum = round;
        const int16_t* p = job.line + i;
        for (int32_t k = 0; k < job.taps; ++k)
            sum += job.weights[k] * p[size_t(k) * size_t(job.step)];
        job.out[i] = uint8_t(sum >> kHorizontalShift);
    }
}

bool cpu_has_avx2() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace gauss

int32_t gaussian_radius(double sigma) {
    if (!(sigma > 0)) return 0;
    const double r = std::ceil(sigma * kGaussSigmas);
    return r >= kMaxGaussRadius ? kMaxGaussRadius : int32_t(r);
}

namespace {

using namespace gauss;

// 2r + 1 weights of exp(-k^2 / 2 sigma^2), scaled to add up to exactly
// 1 << kWeightBits: each takes the floor of its exact share, and what is left
// goes one unit at a time (two for a symmetric pair, the odd one to the centre)
// to the largest remainders, so the kernel stays symmetric.
std::vector<int16_t> weights_for(double sigma, int32_t r) {
    const size_t n = size_t(2 * r + 1);
    std::vector<double> g(n);
    for (int32_t k = -r; k <= r; ++k)
        g[size_t(k + r)] = std::exp(-double(k) * k / (2 * sigma * sigma));
    const double total = std::accumulate(g.begin(), g.end(), 0.0);
    const double one = double(1 << kWeightBits);
    std::vector<int32_t> w(n);
    std::vector<double> rest(n);
    int32_t used = 0;
    for (size_t i = 0; i < n; ++i) {
        const double e = g[i] / total * one;
        w[i] = int32_t(std::floor(e));
        rest[i] = e - w[i];
        used += w[i];
    }
    int32_t left = (1 << kWeightBits) - used;
    if (left % 2 != 0) {
        ++w[size_t(r)];
        --left;
    }
    // Pairs (r - k, r + k), k >= 1, by falling remainder; ties to the centre.
    std::vector<int32_t> order(static_cast<size_t>(r));
    std::iota(order.begin(), order.end(), 1);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        return rest[size_t(r + a)] > rest[size_t(r + b)];
    });
    for (size_t i = 0; left > 0 && i < order.size(); ++i, left -= 2) {
        ++w[size_t(r - order[i])];
        ++w[size_t(r + order[i])];
    }
    if (left > 0) w[size_t(r)] += left;  // only when r is 0
    // Padded to an even count for the paired multiplies.
    std::vector<int16_t> out(n + (n % 2), 0);
    for (size_t i = 0; i < n; ++i) out[i] = int16_t(w[i]);
    return out;
}

bool overlaps(const uint8_t* a, const uint8_t* b, int64_t stride_a, int64_t stride_b, int32_t h,
              int64_t row_bytes) {
    auto span = [&](const uint8_t* p, int64_t stride) {
        const uint8_t* lo = stride < 0 ? p + (h - 1) * stride : p;
        const uint8_t* hi = (stride < 0 ? p : p + (h - 1) * stride) + row_bytes;
        return std::pair{lo, hi};
    };
    const auto [a0, a1] = span(a, stride_a);
    const auto [b0, b1] = span(b, stride_b);
    return a0 < b1 && b0 < a1;
}

}  // namespace

int32_t gaussian_blur_image(const uint8_t* src, int32_t w, int32_t h, int32_t bpp,
                            int64_t src_stride, uint8_t* dst, int64_t dst_stride, double sigma,
                            int32_t channels, GaussLoops loops) {
    if (!src || !dst || w < 1 || h < 1 || bpp < 1 || bpp > 4 || !(sigma > 0) ||
        !std::isfinite(sigma))
        return 0;
    const int64_t row_bytes = int64_t(w) * bpp;
    if (!stride_fits(src_stride, row_bytes, h) || !stride_fits(dst_stride, row_bytes, h)) return 0;
    const int32_t r = gaussian_radius(sigma);
    const bool avx2 = loops == GaussLoops::Best && cpu_has_avx2();
    try {
        // Every row of the source is read again after the destination rows
        // above it are written, so a shared image is blurred from a copy.
        std::vector<uint8_t> copy;
        if (overlaps(src, dst, src_stride, dst_stride, h, row_bytes)) {
            copy.resize(size_t(row_bytes) * size_t(h));
            for (int32_t y = 0; y < h; ++y)
                std::memcpy(&copy[size_t(y) * size_t(row_bytes)], row_at(src, src_stride, y),
                            size_t(row_bytes));
            src = copy.data();
            src_stride = row_bytes;
        }
        const std::vector<int16_t> weights = weights_for(sigma, r);
        const int32_t taps = int32_t(weights.size());
        const size_t pad = size_t(r) * size_t(bpp);
        // The row of vertical sums with r repeated edge pixels either side,
        // plus room for the padded tap and a full vector past the end.
        std::vector<int16_t> line(pad + size_t(row_bytes) + pad + size_t(bpp) + 32, 0);
        int16_t* mid = line.data() + pad;
        std::vector<const uint8_t*> rows(static_cast<size_t>(taps));
        std::vector<uint8_t> kept(static_cast<size_t>(row_bytes));
        const bool all = (channels & ((1 << bpp) - 1)) == (1 << bpp) - 1;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t k = 0; k < taps; ++k)
                rows[size_t(k)] = row_at(src, src_stride, std::clamp(y - r + k, 0, h - 1));
            const VerticalJob vj{rows.data(), weights.data(), taps, mid, size_t(row_bytes)};
            if (!(avx2 && vertical_avx2(vj))) vertical_scalar(vj);
            for (size_t i = 0; i < pad; ++i) {
                line[i] = mid[i % size_t(bpp)];
                mid[size_t(row_bytes) + i] = mid[size_t(row_bytes) - size_t(bpp) + i % size_t(bpp)];
            }
            const uint8_t* s = row_at(src, src_stride, y);
            uint8_t* d = row_at(dst, dst_stride, y);
            uint8_t* out = all ? d : kept.data();
            const HorizontalJob hj{line.data(), weights.data(), taps, bpp, out, size_t(row_bytes)};
            if (!(avx2 && horizontal_avx2(hj))) horizontal_scalar(hj);
            if (!all)
                for (int64_t i = 0; i < row_bytes; ++i)
                    d[i] = (channels >> (i % bpp)) & 1 ? kept[size_t(i)] : s[i];
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

}  // namespace qrn::imaginglib

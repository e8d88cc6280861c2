// Area-average decimation and bilinear resize; the brush shape loader shrinks
// or scales its source image with them.
#include "imaginglib/resample/resample.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {
namespace {

// 8 bytes a pixel are four 16-bit channels, so rows and pixels must sit on
// 2-byte boundaries; 1 to 4 bytes a pixel are that many byte channels.
bool usable(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, const uint8_t* dst,
            int32_t dw, int32_t dh, int64_t dst_stride, int32_t bpp) {
    auto side = [](int32_t v) { return v >= 1 && v <= kMaxResampleSide; };
    if (!src || !dst || !side(sw) || !side(sh) || !side(dw) || !side(dh)) return false;
    if (bpp == 8) {
        if ((reinterpret_cast<uintptr_t>(src) | reinterpret_cast<uintptr_t>(dst)) & 1) return false;
        if ((src_stride | dst_stride) & 1) return false;
    } else if (bpp < 1 || bpp > 4) {
        return false;
    }
    return stride_fits(src_stride, int64_t(sw) * bpp, sh) &&
           stride_fits(dst_stride, int64_t(dw) * bpp, dh);
}

// Area weights along one axis. Measured in units of 1 / (ns x nd), source
// pixel s spans [s x nd, (s + 1) x nd) and destination pixel d spans
// [d x ns, (d + 1) x ns); a weight is the length of their overlap, so the
// weights of one destination pixel add up to ns.
struct AreaAxis {
    struct Span {
        int64_t first;   // first source index
        size_t weights;  // where its weights start in `weight`
        size_t count;
    };
    std::vector<Span> spans;
    std::vector<uint32_t> weight;

    AreaAxis(int64_t ns, int64_t nd) {
        spans.reserve(size_t(nd));
        weight.reserve(size_t(ns + nd));
        for (int64_t d = 0; d < nd; ++d) {
            const int64_t lo = d * ns, hi = (d + 1) * ns;
            const int64_t first = lo / nd, last = (hi - 1) / nd;
            spans.push_back({first, weight.size(), size_t(last - first + 1)});
            for (int64_t s = first; s <= last; ++s)
                weight.push_back(uint32_t(std::min((s + 1) * nd, hi) - std::max(s * nd, lo)));
        }
    }
};

// Sum of value x weight along a source row for every destination column:
// the weights of a column add up to the source width, so at most
// 65535 x 65535 per value and 32 bits hold it.
template <class T>
void area_row(const T* s, const AreaAxis& xs, int channels, uint32_t* out) {
    for (const AreaAxis::Span& sp : xs.spans) {
        for (int c = 0; c < channels; ++c) out[c] = 0;
        for (size_t k = 0; k < sp.count; ++k) {
            const T* px = s + (sp.first + int64_t(k)) * channels;
            const uint32_t w = xs.weight[sp.weights + k];
            for (int c = 0; c < channels; ++c) out[c] += uint32_t(px[c]) * w;
        }
        out += channels;
    }
}

template <class T>
const T* sample_row(const uint8_t* base, int64_t stride, int64_t y) {
    return reinterpret_cast<const T*>(row_at(base, stride, y));
}
template <class T>
T* sample_row(uint8_t* base, int64_t stride, int64_t y) {
    return reinterpret_cast<T*>(row_at(base, stride, y));
}

// Bilinear taps along one axis: value = v[i0] x (1 - f) + v[i1] x f, f in 1/65536.
struct Tap {
    int64_t i0, i1;
    uint32_t f;
};
constexpr int64_t kOne = 1 << 16;
constexpr uint64_t kOneU = kOne;

std::vector<Tap> bilinear_axis(int64_t ns, int64_t nd) {
    std::vector<Tap> taps(static_cast<size_t>(nd));
    for (int64_t d = 0; d < nd; ++d) {
        // (d + 0.5) x ns / nd - 0.5 in 16-bit fixed point, truncated.
        const int64_t pos =
            std::clamp((2 * d + 1) * ns * kOne / (2 * nd) - kOne / 2, int64_t(0), (ns - 1) * kOne);
        const int64_t i0 = pos >> 16;
        taps[size_t(d)] = {i0, std::min(i0 + 1, ns - 1), uint32_t(pos & (kOne - 1))};
    }
    return taps;
}

template <class T>
int32_t decimate_samples(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride,
                         uint8_t* dst, int32_t dw, int32_t dh, int64_t dst_stride, int channels) {
    try {
        const AreaAxis xs(sw, dw), ys(sh, dh);
        const size_t values = size_t(dw) * size_t(channels);
        std::vector<uint32_t> row(values);
        std::vector<uint64_t> acc(values);
        // Every destination pixel weighs sw x sh units of area: at most
        // 65535^3 in a sum, well inside 64 bits.
        const uint64_t area = uint64_t(sw) * uint64_t(sh);
        int64_t row_of = -1;  // source row now in `row`; neighbours share one
        for (int64_t dy = 0; dy < dh; ++dy) {
            const AreaAxis::Span& sp = ys.spans[size_t(dy)];
            std::fill(acc.begin(), acc.end(), 0);
            for (size_t k = 0; k < sp.count; ++k) {
                const int64_t sy = sp.first + int64_t(k);
                if (sy != row_of) {
                    area_row(sample_row<T>(src, src_stride, sy), xs, channels, row.data());
                    row_of = sy;
                }
                const uint64_t w = ys.weight[sp.weights + k];
                for (size_t i = 0; i < values; ++i) acc[i] += row[i] * w;
            }
            T* d = sample_row<T>(dst, dst_stride, dy);
            for (size_t i = 0; i < values; ++i) d[i] = T((acc[i] + area / 2) / area);
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

template <class T>
int32_t resize_samples(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                       int32_t dw, int32_t dh, int64_t dst_stride, int channels) {
    try {
        const std::vector<Tap> xs = bilinear_axis(sw, dw), ys = bilinear_axis(sh, dh);
        for (int64_t dy = 0; dy < dh; ++dy) {
            const Tap& ty = ys[size_t(dy)];
            const T* s0 = sample_row<T>(src, src_stride, ty.i0);
            const T* s1 = sample_row<T>(src, src_stride, ty.i1);
            T* d = sample_row<T>(dst, dst_stride, dy);
            for (const Tap& tx : xs) {
                const int64_t a = tx.i0 * channels, b = tx.i1 * channels;
                for (int c = 0; c < channels; ++c) {
                    // Each row blend is at most 65535 x 2^16; the column blend
                    // scales by 2^16 again, then rounds back down by 2^32.
                    const uint64_t top = s0[a + c] * (kOneU - tx.f) + s0[b + c] * uint64_t(tx.f);
                    const uint64_t bottom = s1[a + c] * (kOneU - tx.f) + s1[b + c] * uint64_t(tx.f);
                    const uint64_t v = top * (kOneU - ty.f) + bottom * ty.f;
                    *d++ = T((v + (uint64_t(1) << 31)) >> 32);
                }
            }
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

}  // namespace

int32_t decimate_image(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                       int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel) {
    if (!usable(src, sw, sh, src_stride, dst, dw, dh, dst_stride, bytes_per_pixel)) return 0;
    if (bytes_per_pixel == 8)
        return decimate_samples<uint16_t>(src, sw, sh, src_stride, dst, dw, dh, dst_stride, 4);
    return decimate_samples<uint8_t>(src, sw, sh, src_stride, dst, dw, dh, dst_stride,
                                     bytes_per_pixel);
}

int32_t resize_image(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                     int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel) {
    if (!usable(src, sw, sh, src_stride, dst, dw, dh, dst_stride, bytes_per_pixel)) return 0;
    if (bytes_per_pixel == 8)
        return resize_samples<uint16_t>(src, sw, sh, src_stride, dst, dw, dh, dst_stride, 4);
    return resize_samples<uint8_t>(src, sw, sh, src_stride, dst, dw, dh, dst_stride,
                                   bytes_per_pixel);
}

}  // namespace qrn::imaginglib

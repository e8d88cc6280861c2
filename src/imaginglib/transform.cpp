// The transform list and the push warp. Positions are doubles with pixel
// centres on whole numbers; every test against the image is made in double
// before a position becomes an index, so offsets of any size stay defined.
#include "imaginglib/transform.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "imaginglib/stride.h"

namespace qrn::imaginglib {
namespace {

struct Transform {
    bool is_offset = true;
    int32_t width = 0, height = 0;
    double dx = 0, dy = 0;
    int32_t edge = kEdgeFill;
    double amount = 0;
    std::vector<uint8_t> map;
    int32_t map_w = 0, map_h = 0;
};

std::vector<Transform>& transforms() {
    static std::vector<Transform> list;
    return list;
}

// Inside when the position rounds to a pixel of 0..n-1; false for NaN.
bool inside(double v, int32_t n) { return v + 0.5 >= 0.0 && v + 0.5 < double(n); }

// Into [-0.5, n - 0.5), the range that rounds into 0..n-1; NaN stays NaN.
double wrap(double v, int32_t n) {
    double u = std::fmod(v + 0.5, double(n));
    if (u < 0) u += double(n);
    if (u >= double(n)) u -= double(n);  // u + n rounded up to n
    return u - 0.5;
}

double clamp_to(double v, int32_t n) {
    if (v < 0.0) return 0.0;
    if (v > double(n - 1)) return double(n - 1);
    return v;
}

// One axis of an offset transform; false where the fill colour applies.
bool offset_axis(double& v, double d, int32_t n, int32_t edge) {
    v -= d;
    if (edge == kEdgeWrap)
        v = wrap(v, n);
    else if (edge == kEdgeClamp)
        v = clamp_to(v, n);
    else
        return inside(v, n);
    return true;
}

// The pixel 0..n-1 a position rounds to, clamped, then scaled to m cells.
int64_t map_cell(double v, int32_t n, int32_t m) {
    int64_t i = 0;
    if (v + 0.5 >= double(n))
        i = n - 1;
    else if (v + 0.5 > 0.0)
        i = int64_t(std::floor(v + 0.5));
    return i * m / n;
}

bool bump(const Transform& t, double& x, double& y) {
    if (x != x || y != y) return false;
    const int64_t mx = map_cell(x, t.width, t.map_w), my = map_cell(y, t.height, t.map_h);
    const auto m = [&](int64_t cx, int64_t cy) {
        cx = std::clamp<int64_t>(cx, 0, t.map_w - 1);
        cy = std::clamp<int64_t>(cy, 0, t.map_h - 1);
        return int32_t(t.map[size_t(cy * t.map_w + cx)]);
    };
    x += t.amount * double(m(mx + 1, my) - m(mx - 1, my)) / 510.0;
    y += t.amount * double(m(mx, my + 1) - m(mx, my - 1)) / 510.0;
    return true;
}

bool apply_all(const std::vector<Transform>& list, double& x, double& y) {
    for (const Transform& t : list) {
        if (t.is_offset) {
            // Both axes run, as they would in separate passes.
            const bool ok_x = offset_axis(x, t.dx, t.width, t.edge);
            const bool ok_y = offset_axis(y, t.dy, t.height, t.edge);
            if (!ok_x || !ok_y) return false;
        } else if (!bump(t, x, y)) {
            return false;
        }
    }
    return true;
}

struct Image {
    const uint8_t* px;
    int32_t w, h;
    int64_t stride;
    int32_t bpp;
    const uint8_t* at(int64_t x, int64_t y) const { return row_at(px, stride, y) + x * bpp; }
};

// Bilinear between the four pixels around (x, y), neighbours clamped to the
// image; rounded to nearest. The position is already known to be inside.
void sample_bilinear(const Image& im, double x, double y, uint8_t* out) {
    const double fx0 = std::floor(x), fy0 = std::floor(y);
    const double fx = x - fx0, fy = y - fy0;
    const int64_t x0 = std::clamp<int64_t>(int64_t(fx0), 0, im.w - 1);
    const int64_t y0 = std::clamp<int64_t>(int64_t(fy0), 0, im.h - 1);
    const int64_t x1 = std::clamp<int64_t>(int64_t(fx0) + 1, 0, im.w - 1);
    const int64_t y1 = std::clamp<int64_t>(int64_t(fy0) + 1, 0, im.h - 1);
    const uint8_t *a = im.at(x0, y0), *b = im.at(x1, y0), *c = im.at(x0, y1), *d = im.at(x1, y1);
    for (int32_t k = 0; k < im.bpp; ++k) {
        const double top = double(a[k]) * (1.0 - fx) + double(b[k]) * fx;
        const double bottom = double(c[k]) * (1.0 - fx) + double(d[k]) * fx;
        out[k] = uint8_t(top * (1.0 - fy) + bottom * fy + 0.5);
    }
}

bool usable(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, const uint8_t* dst,
            int64_t dst_stride, int32_t bpp) {
    if (!src || !dst || src == dst || w < 1 || h < 1 || bpp < 1 || bpp > 4) return false;
    return stride_fits(src_stride, int64_t(w) * bpp, h) &&
           stride_fits(dst_stride, int64_t(w) * bpp, h);
}

}  // namespace

void clear_all_transforms() {
    transforms().clear();
    transforms().shrink_to_fit();
}

int32_t transform_count() { return int32_t(transforms().size()); }

int32_t add_offset_transform(int32_t width, int32_t height, double dx, double dy, int32_t edge) {
    if (width < 1 || height < 1 || !std::isfinite(dx) || !std::isfinite(dy)) return 0;
    if (transforms().size() >= size_t(kMaxTransforms)) return 0;
    Transform t;
    t.width = width;
    t.height = height;
    t.dx = dx;
    t.dy = dy;
    t.edge = edge;
    try {
        transforms().push_back(std::move(t));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int32_t add_bump_map_displacement_transform(int32_t width, int32_t height, float amount,
                                            const uint8_t* map, int32_t map_w, int32_t map_h) {
    if (width < 1 || height < 1 || !map || map_w < 1 || map_h < 1) return 0;
    if (transforms().size() >= size_t(kMaxTransforms)) return 0;
    Transform t;
    t.is_offset = false;
    t.width = width;
    t.height = height;
    t.amount = double(amount);
    t.map_w = map_w;
    t.map_h = map_h;
    try {
        t.map.assign(map, map + size_t(map_w) * size_t(map_h));
        transforms().push_back(std::move(t));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int32_t transform_process(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride,
                          uint8_t* dst, int64_t dst_stride, int32_t bytes_per_pixel, int32_t smooth,
                          uint32_t fill) {
    if (!usable(src, w, h, src_stride, dst, dst_stride, bytes_per_pixel)) return 0;
    const Image im{src, w, h, src_stride, bytes_per_pixel};
    const std::vector<Transform>& list = transforms();
    uint8_t fill_px[4];
    for (int k = 0; k < 4; ++k) fill_px[k] = uint8_t(fill >> (8 * k));

    for (int64_t y = 0; y < h; ++y) {
        uint8_t* out = row_at(dst, dst_stride, y);
        for (int64_t x = 0; x < w; ++x, out += bytes_per_pixel) {
            double sx = double(x), sy = double(y);
            if (!apply_all(list, sx, sy) || !inside(sx, w) || !inside(sy, h)) {
                std::memcpy(out, fill_px, size_t(bytes_per_pixel));
            } else if (smooth == 0) {
                const int64_t ix = int64_t(std::floor(sx + 0.5)),
                              iy = int64_t(std::floor(sy + 0.5));
                std::memcpy(out, im.at(ix, iy), size_t(bytes_per_pixel));
            } else {
                sample_bilinear(im, sx, sy, out);
            }
        }
    }
    return 1;
}

int32_t push_image(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                   int64_t stride, uint8_t* dst, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                   int32_t radius) {
    if (!usable(src, w, h, stride, dst, stride, bytes_per_pixel) || radius < 0) return 0;
    const size_t row_bytes = size_t(w) * size_t(bytes_per_pixel);
    for (int64_t y = 0; y < h; ++y)
        std::memcpy(row_at(dst, stride, y), row_at(src, stride, y), row_bytes);

    const double push_x = double(x2) - double(x1), push_y = double(y2) - double(y1);
    const double distance = std::hypot(push_x, push_y);
    if (distance == 0.0) return 1;
    const double r = radius > 0 ? double(radius) : 2.0 * distance;
    // Only pixels nearer to (x2, y2) than the radius move; the box is clipped
    // in double so that points far outside the image give an empty one.
    const double left = std::max(0.0, std::ceil(double(x2) - r));
    const double right = std::min(double(w - 1), std::floor(double(x2) + r));
    const double top = std::max(0.0, std::ceil(double(y2) - r));
    const double bottom = std::min(double(h - 1), std::floor(double(y2) + r));
    if (left > right || top > bottom) return 1;

    const Image im{src, w, h, stride, bytes_per_pixel};
    const double r2 = r * r;
    for (int64_t y = int64_t(top); y <= int64_t(bottom); ++y) {
        uint8_t* out = row_at(dst, stride, y);
        const double ry = double(y) - double(y2);
        for (int64_t x = int64_t(left); x <= int64_t(right); ++x) {
            const double rx = double(x) - double(x2);
            const double t2 = (rx * rx + ry * ry) / r2;
            if (t2 >= 1.0) continue;
            const double f = (1.0 - t2) * (1.0 - t2);
            const double sx = clamp_to(double(x) - f * push_x, w);
            const double sy = clamp_to(double(y) - f * push_y, h);
            sample_bilinear(im, sx, sy, out + x * bytes_per_pixel);
        }
    }
    return 1;
}

}  // namespace qrn::imaginglib

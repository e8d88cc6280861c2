// The kernels against a plain model written from their definitions: checked
// accessors (reads outside the canvas are 0, writes clamp), the loops nested as
// the definitions read, nothing precomputed.
#include "imaging/kernels.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "kernel_fixture.h"
#include "script/colour_spaces.h"

namespace qrn {
namespace {

using imaging::KernelArgs;
using Px = std::array<int, 4>;

struct Model {
    std::vector<uint8_t> src, dst;
    int w, h;
    bool in_place;
    double r[6];
    int k1;

    Px px(int x, int y) const {
        if (x < 0 || y < 0 || x >= w || y >= h) return {0, 0, 0, 0};
        const uint8_t* p = &(in_place ? dst : src)[size_t(y * w + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    int lum(int x, int y) const {
        const Px p = px(x, y);
        return (p[0] + p[1] + p[2]) / 3;
    }
    void put(int x, int y, Px v, int channels = 4) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        for (int c = 0; c < channels; ++c)
            dst[size_t(y * w + x) * 4 + size_t(c)] = uint8_t(std::clamp(v[size_t(c)], 0, 255));
    }
};

// Directional family. The horizontal scans nest rows outside, the vertical
// ones columns outside, as a column scan reads most naturally.
void directional(Model& m, bool anti_alias) {
    m.in_place = true;
    const int dirs[4][2] = {{1, 1}, {-1, -1}, {-1, 1}, {1, -1}};
    for (int vertical = 0; vertical < 2; ++vertical)
        for (const auto& d : dirs) {
            const int dx = d[0], dy = d[1];
            std::vector<int> xs, ys;
            for (int x = dx > 0 ? 0 : m.w - 1; dx > 0 ? x < m.w - 1 : x > 0; x += dx)
                xs.push_back(x);
            for (int y = dy > 0 ? 0 : m.h - 1; dy > 0 ? y < m.h - 1 : y > 0; y += dy)
                ys.push_back(y);
            auto visit = [&](int x, int y) {
                const int nx = vertical ? x : x + dx, ny = vertical ? y + dy : y;
                const int lp = m.lum(x, y), ln = m.lum(nx, ny), ld = m.lum(x + dx, y + dy);
                double r = -1;
                if (anti_alias) {
                    if (lp - ln > (1 - m.r[2]) * 255) {
                        if (lp - ld <= 0) r = m.r[0];
                    } else if (ln - lp > (1 - m.r[3]) * 255 && ld - lp <= 0) {
                        r = m.r[1];
                    }
                } else if (lp - ln > 2) {
                    r = m.r[0];
                } else if (ln - lp > 2) {
                    r = m.r[1];
                }
                if (r == -1) return;
                const Px p = m.px(x, y), n = m.px(nx, ny);
                Px out;
                for (size_t c = 0; c < 4; ++c) out[c] = int(std::trunc((1 - r) * p[c] + r * n[c]));
                m.put(nx, ny, out);
            };
            if (!vertical) {
                for (int y : ys)
                    for (int x : xs) visit(x, y);
            } else {
                for (int x : xs)
                    for (int y : ys) visit(x, y);
            }
        }
}

template <class Op>
void interior(Model& m, Op op) {
    for (int y = 1; y < m.h - 1; ++y)
        for (int x = 1; x < m.w - 1; ++x) op(x, y);
}

int box_lum(const Model& m, int x, int y) {
    int s = 0;
    for (int j = -1; j <= 1; ++j)
        for (int i = -1; i <= 1; ++i) s += m.lum(x + i, y + j);
    return s / 9;
}

void threshold(Model& m) {
    for (int y = 0; y < m.h; ++y)
        for (int x = 0; x < m.w; ++x) {
            const int v = m.lum(x, y) >= m.r[0] * 255 ? 255 : 0;
            m.put(x, y, {v, v, v, 0}, 3);
        }
}

void model_kernel(Model& m, const std::string& name) {
    using namespace script;
    if (name == "Anti Alias" || name == "Value Blur") return directional(m, name == "Anti Alias");
    if (name == "Adaptive Blur")
        return interior(m, [&](int x, int y) {
            const int d = m.lum(x, y);
            const int nb[4][2] = {{x - 1, y}, {x + 1, y}, {x, y - 1}, {x, y + 1}};
            double t = -99;
            for (const auto& n : nb) {
                const int ln = m.lum(n[0], n[1]);
                if (d - ln > (1 - m.r[0]) * 255) {
                    t = m.r[1];
                    break;
                }
                if (ln - d > (1 - m.r[0]) * 255) {
                    t = m.r[2];
                    break;
                }
            }
            if (t == -99) return;
            const Px p = m.px(x, y);
            Px out;
            for (size_t c = 0; c < 4; ++c) {
                const double b = std::trunc((1 - t) * p[c]);
                double s = std::trunc(b + t * m.px(x - 1, y)[c]);
                s = std::trunc(b + (t * m.px(x + 1, y)[c] + s));
                s = std::trunc(b + (t * m.px(x, y - 1)[c] + s));
                s = std::trunc(b + (t * m.px(x, y + 1)[c] + s));
                out[c] = int(s) / 4;
            }
            m.put(x, y, out);
        });
    if (name == "Detail Blur")
        return interior(m, [&](int x, int y) {
            if (!(std::abs(m.lum(x, y) - box_lum(m, x, y)) > m.r[0] * 255)) return;
            Px s{};
            for (int j = -1; j <= 1; ++j)
                for (int i = -1; i <= 1; ++i)
                    for (size_t c = 0; c < 4; ++c) s[c] += m.px(x + i, y + j)[c];
            m.put(x, y, {s[0] / 9, s[1] / 9, s[2] / 9, s[3] / 9});
        });
    if (name == "Basic Threshold") return threshold(m);
    if (name == "Line Art Cleaner") {
        threshold(m);
        m.src = m.dst;
        return interior(m, [&](int x, int y) {
            const int l = m.lum(x, y);
            if (l < m.r[0] * 255 && box_lum(m, x, y) - m.r[1] * 255 > l)
                m.put(x, y, {255, 255, 255, 0}, 3);
        });
    }
    auto each = [&](auto op) {
        for (int y = 0; y < m.h; ++y)
            for (int x = 0; x < m.w; ++x) m.put(x, y, op(m.px(x, y)), 3);
    };
    if (name == "Adjust Lab")
        return each([&](Px p) {
            const Xyz x = rgb_to_xyz(p[0], p[1], p[2]);
            const Lab l = xyz_to_lab(x.x, x.y, x.z);
            const Rgb8 o = lab_to_rgb(l.l + (m.r[0] - 0.5) * 200, l.a + (m.r[1] - 0.5) * 200,
                                      l.b + (m.r[2] - 0.5) * 200);
            return Px{o.r, o.g, o.b, 0};
        });
    if (name == "Hyper Contrast")
        return each([&](Px p) {
            const int d = std::max(1, int((1 - m.r[0]) * 255));
            const double l = rgb_to_hsl(p[0], p[1], p[2]).l;
            Px out{};
            for (size_t c = 0; c < 3; ++c) {
                const int hi = 255 - (255 - p[c]) * (255 - p[c]) / d, lo = p[c] * p[c] / d;
                out[c] = int(std::trunc(hi * (1 - l) + lo * l));
            }
            return out;
        });
    if (name == "Bas Relief")
        return interior(m, [&](int x, int y) {
            const int qx = m.k1 == 1 ? x : x - 1, qy = m.k1 == 0 ? y : y - 1;
            if (m.k1 < 0 || m.k1 > 2) return;  // compared with itself
            const Px p = m.px(x, y), q = m.px(qx, qy);
            const Hsl a = rgb_to_hsl(p[0], p[1], p[2]), b = rgb_to_hsl(q[0], q[1], q[2]);
            double s = a.s, l = a.l;
            if (l > b.l) l += m.r[0] * (1 - l);
            if (l < b.l) l -= l * m.r[0];
            if (s > b.s) s += m.r[0] * (1 - s);
            if (s < b.s) s -= s * m.r[0];
            const Rgb8 o = hsl_to_rgb(a.h, std::clamp(s, 0.0, 1.0), std::clamp(l, 0.0, 1.0));
            m.put(x, y, {o.r, o.g, o.b, 0}, 3);
        });
    if (name == "Grayscale")
        return each([](Px p) {
            const int l = (p[0] + p[1] + p[2]) / 3;
            return Px{l, l, l, 0};
        });
    if (name == "Invert")
        return each([](Px p) { return Px{255 - p[0], 255 - p[1], 255 - p[2], 0}; });
}

struct KernelCase {
    const char* name;
    uint8_t in_place;
    std::array<int32_t, 6> reals;
    int32_t k1;
};

// Sliders inside and outside 0..1000, both read modes.
const KernelCase kCases[] = {
    {"Anti Alias", 0, {300, 700, 600, 800}, 0},
    {"Anti Alias", 1, {1000, 0, 900, 950}, 0},
    {"Value Blur", 0, {500, 250}, 0},
    {"Value Blur", 0, {1300, -400}, 0},
    {"Adaptive Blur", 0, {800, 500, 300}, 0},
    {"Adaptive Blur", 1, {600, 900, 100}, 0},
    {"Adaptive Blur", 0, {1500, -200, 2000}, 0},
    {"Detail Blur", 0, {100}, 0},
    {"Detail Blur", 1, {50}, 0},
    {"Basic Threshold", 0, {500}, 0},
    {"Basic Threshold", 1, {300}, 0},
    {"Line Art Cleaner", 0, {500, 100}, 0},
    {"Line Art Cleaner", 1, {700, 50}, 0},
    {"Adjust Lab", 0, {600, 400, 550}, 0},
    {"Adjust Lab", 1, {500, 500, 500}, 0},
    {"Hyper Contrast", 0, {300}, 0},
    {"Hyper Contrast", 0, {1000}, 0},
    {"Hyper Contrast", 0, {1700}, 0},
    {"Hyper Contrast", 1, {-500}, 0},
    {"Bas Relief", 0, {300}, 0},
    {"Bas Relief", 1, {700}, 1},
    {"Bas Relief", 0, {-300}, 2},
    {"Bas Relief", 0, {300}, 3},
    {"Grayscale", 0, {}, 0},
    {"Invert", 0, {}, 0},
    {"Invert", 1, {}, 0},
};

class Kernels : public ::testing::TestWithParam<KernelCase> {};

TEST_P(Kernels, MatchTheModelAndKeepTheBorders) {
    const KernelCase& c = GetParam();
    constexpr int32_t kW = 23, kH = 17;
    test::WorkCanvas wc(kW, kH);
    const std::vector<uint8_t> src = test::seeded_rgba(kW, kH, 1),
                               dst = test::seeded_rgba(kW, kH, 2);
    std::memcpy(wc.st.work.src32.data(), src.data(), src.size());
    std::memcpy(wc.st.work.dst32.data(), dst.data(), dst.size());
    KernelArgs a;
    std::copy(c.reals.begin(), c.reals.end(), a.reals);
    a.k1 = c.k1;
    ASSERT_EQ(imaging::run_kernel(wc.st, c.name, c.in_place, a), 1);

    Model m{src, c.in_place ? dst : src, kW, kH, c.in_place != 0, {}, c.k1};
    for (int i = 0; i < 6; ++i) m.r[i] = c.reals[size_t(i)] * 0.001;
    model_kernel(m, c.name);
    const std::vector<uint8_t> got(wc.st.work.dst32.data(), wc.st.work.dst32.data() + wc.bytes());
    EXPECT_EQ(got, m.dst);

    const std::string name = c.name;
    if (c.in_place == 0 &&
        (name == "Adaptive Blur" || name == "Detail Blur" || name == "Bas Relief"))
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                if (x != 0 && y != 0 && x != kW - 1 && y != kH - 1) continue;
                ASSERT_EQ(
                    std::memcmp(&got[size_t(y * kW + x) * 4], &src[size_t(y * kW + x) * 4], 4), 0)
                    << x << "," << y;
            }
    if (name == "Line Art Cleaner") {
        // The thresholded picture went into the layer in between; the plain
        // load clears transparent pixels.
        Model t{src, c.in_place ? dst : src, kW, kH, c.in_place != 0, {c.reals[0] * 0.001}, 0};
        threshold(t);
        for (size_t i = 0; i < wc.bytes(); i += 4)
            if (t.dst[i + 3] == 0) std::memset(&t.dst[i], 0, 4);
        EXPECT_EQ(wc.layer_bytes(), t.dst);
    }
}

INSTANTIATE_TEST_SUITE_P(AllKernels, Kernels, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<KernelCase>& param) {
                             std::string n;
                             for (const char* p = param.param.name; *p; ++p)
                                 if (*p != ' ') n += *p;
                             return n + "_" + std::to_string(param.index);
                         });

TEST(KernelRunner, NeedsBothWorkBuffers) {
    for (int missing = 0; missing < 2; ++missing) {
        test::WorkCanvas wc(4, 4);
        (missing ? wc.st.work.dst32 : wc.st.work.src32).reset();
        EXPECT_EQ(imaging::run_kernel(wc.st, "Invert", 0, {}), 0);
    }
    test::WorkCanvas empty(0, 4, false);
    EXPECT_EQ(imaging::run_kernel(empty.st, "Invert", 0, {}), 0);
}

TEST(KernelRunner, UnknownNamesOnlyCopyAndTheInPlaceFlagStays) {
    test::WorkCanvas wc(6, 5);
    const std::vector<uint8_t> src = test::seeded_rgba(6, 5, 3);
    std::memcpy(wc.st.work.src32.data(), src.data(), src.size());
    for (const char* name : {"invert", "Invert ", "", static_cast<const char*>(nullptr)}) {
        wc.st.work.dst32.fill_bytes(7);
        EXPECT_EQ(imaging::run_kernel(wc.st, name, 0, {}), 1);
        EXPECT_EQ(std::memcmp(wc.st.work.dst32.data(), src.data(), src.size()), 0);
    }
    imaging::run_kernel(wc.st, "Value Blur", 0, {});
    EXPECT_EQ(wc.st.kernel.in_place, 1);
    KernelArgs a;
    a.reals[2] = 250;
    imaging::run_kernel(wc.st, "Grayscale", 0, a);
    EXPECT_EQ(wc.st.kernel.in_place, 0);
    EXPECT_EQ(wc.st.kernel.r[2], 0.25);
    EXPECT_EQ(wc.st.kernel.area[2], 5);
    EXPECT_EQ(wc.st.kernel.area[3], 4);
}

TEST(KernelEdges, LineArtCleanerWithoutALayerSkipsOnlyTheLoad) {
    constexpr int32_t kW = 12, kH = 9;
    const std::vector<uint8_t> src = test::seeded_rgba(kW, kH, 8);
    std::vector<uint8_t> want;
    for (const int32_t slot : {2, 7, -1}) {
        test::WorkCanvas wc(kW, kH);
        wc.st.canvas.current_slot = slot;
        std::memcpy(wc.st.work.src32.data(), src.data(), src.size());
        KernelArgs a;
        a.reals[0] = 600;
        a.reals[1] = 80;
        ASSERT_EQ(imaging::run_kernel(wc.st, "Line Art Cleaner", 0, a), 1);
        const std::vector<uint8_t> got(wc.st.work.dst32.data(),
                                       wc.st.work.dst32.data() + wc.bytes());
        if (want.empty()) want = got;
        EXPECT_EQ(got, want) << slot;
        if (slot != 2) {
            EXPECT_EQ(wc.layer_bytes(), std::vector<uint8_t>(wc.bytes(), 0));
        }
    }
}

TEST(KernelEdges, ThresholdAtHalfSplitsLuminance127From128) {
    const struct {
        uint8_t r, g, b;
        uint8_t want;
    } cases[] = {{127, 127, 127, 0},
                 {128, 128, 128, 255},
                 {126, 127, 128, 0},
                 {129, 128, 128, 255},
                 {0, 0, 255, 0}};
    test::WorkCanvas wc(int32_t(std::size(cases)), 1);
    for (size_t i = 0; i < std::size(cases); ++i) {
        uint8_t* p = wc.st.work.src32.data() + i * 4;
        p[0] = cases[i].r, p[1] = cases[i].g, p[2] = cases[i].b, p[3] = 9;
    }
    KernelArgs a;
    a.reals[0] = 500;
    imaging::run_kernel(wc.st, "Basic Threshold", 0, a);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const uint8_t* p = wc.st.work.dst32.data() + i * 4;
        EXPECT_EQ(p[0], cases[i].want) << i;
        EXPECT_EQ(p[3], 9);
    }
}

TEST(KernelEdges, AdjustLabAtTheMiddleChangesAtMostOneUnit) {
    test::WorkCanvas wc(64, 64);
    const std::vector<uint8_t> src = test::seeded_rgba(64, 64, 4);
    std::memcpy(wc.st.work.src32.data(), src.data(), src.size());
    KernelArgs a;
    a.reals[0] = a.reals[1] = a.reals[2] = 500;
    imaging::run_kernel(wc.st, "Adjust Lab", 0, a);
    for (size_t i = 0; i < src.size(); ++i)
        ASSERT_LE(std::abs(int(wc.st.work.dst32[i]) - int(src[i])), 1) << i;
}

TEST(KernelEdges, VignetteMapsBackgroundAndShapeIntoAlphaAndColour) {
    // f3 = 0 with r6 = 1: background 0, shape 255. A tiny blur keeps the map.
    for (uint8_t f3 : {uint8_t(0), uint8_t(1)}) {
        test::WorkCanvas wc(40, 30);
        wc.st.work.src32.fill_bytes(200);
        KernelArgs a;
        a.reals[0] = 0;     // colour red 0 -> 0.001
        a.reals[1] = 1000;  // green
        a.reals[2] = 500;   // blue
        a.reals[3] = 0;     // radius 0 -> 0.1
        a.reals[4] = 250;   // half extents a quarter of each side
        a.reals[5] = 1000;
        a.flags[0] = 1;
        a.flags[1] = 1;
        a.flags[2] = f3;
        imaging::run_kernel(wc.st, "Vignette", 0, a);
        const uint8_t* centre = wc.st.work.dst32.data() + (15 * 40 + 20) * 4;
        const uint8_t* corner = wc.st.work.dst32.data();
        // f3 = 1 fills with 0, draws trunc(r6 x 255) and inverts the weight.
        const uint8_t* inside = f3 == 0 ? centre : corner;
        const uint8_t* outside = f3 == 0 ? corner : centre;
        EXPECT_EQ(inside[3], 255);
        EXPECT_EQ(inside[0], 200);
        EXPECT_EQ(outside[3], 0);
        EXPECT_EQ(outside[0], 0);  // 0.001 x 255 truncated
        EXPECT_EQ(outside[1], 255);
        EXPECT_EQ(outside[2], 127);
        EXPECT_EQ(wc.st.kernel.r[0], 0.001);
    }
}

TEST(KernelEdges, OnePixelWideCanvasesAreLeftAlone) {
    for (const KernelCase& c : kCases) {
        test::WorkCanvas wc(1, 5);
        const std::vector<uint8_t> src = test::seeded_rgba(1, 5, 5);
        std::memcpy(wc.st.work.src32.data(), src.data(), src.size());
        KernelArgs a;
        std::copy(c.reals.begin(), c.reals.end(), a.reals);
        a.k1 = c.k1;
        imaging::run_kernel(wc.st, c.name, 0, a);
        const std::string name = c.name;
        if (name == "Anti Alias" || name == "Value Blur" || name == "Adaptive Blur" ||
            name == "Detail Blur" || name == "Bas Relief") {
            EXPECT_EQ(std::memcmp(wc.st.work.dst32.data(), src.data(), src.size()), 0) << name;
        }
    }
}

}  // namespace
}  // namespace qrn

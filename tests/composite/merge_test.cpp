// The compositor against a reference written straight from the merge-mode table,
// its vector loops against the scalar one, and the merge exports' rules.
#include "composite/merge.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/canvas.h"
#include "engine/layers.h"

using namespace qrn;
using composite::Simd;

namespace {

// ---- Reference model ----------------------------------------------------------------

float clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }

// Source rewrite of codes 21..40; returns the blend code that follows.
int ref_rewrite(int code, uint32_t* c, uint32_t& l) {
    auto each = [&](auto f) {
        for (int k = 0; k < 3; ++k) c[k] = f(c[k]);
    };
    auto shade = [&](uint32_t k) { each([&](uint32_t v) { return v >= k ? v - k : 0u; }); };
    auto light = [&](uint32_t k) { each([&](uint32_t v) { return std::min(v + k, 0xFFFFu); }); };
    auto darken = [&](double f) { each([&](uint32_t v) { return uint32_t(std::trunc(v - v * f)); }); };
    auto lighten = [&](double f) {
        each([&](uint32_t v) { return uint32_t(std::trunc(v + (65535 - v) * f)); });
    };
    auto rule_a = [&] {
        if (l != 0) l = l < 0x1FFF ? 0 : 0xFFFF;
    };
    auto rule_b = [&] {
        if (l == 0) return;
        if (l < 0x1FFF)
            l = 0;
        else if (l < 0x23FF)
            l = 0xFFFF - std::min((0x23FF - l) * 64, 0xFFFFu);
        else
            l = 0xFFFF;
    };
    auto lum = [&](uint32_t up, double ud, double dd) {
        if (l > up)
            lighten((l - up) / ud);
        else
            darken((up - l) / dd);
    };
    const uint32_t l0 = l;
    switch (code) {
    case 21: l = 65535 - l, c[0] = c[1] = c[2] = 0xFFFF; break;
    case 22: case 36: if (l > 0 && l < 0xFF00) c[0] = c[1] = c[2] = 0, l = 0xFFFF; break;
    case 23: if (l) l = l < 0x2FFF ? 65535 - l : 0x2FFF; break;
    case 24: if (l) l = l < 0x2FFF ? 65535 - l : 0x7FFF; break;
    case 25: if (l) l = 65535 - l; break;
    case 26: if (l) c[0] = c[1] = c[2] = l, l = 0xFFFF; break;
    case 27: case 28:
        if (!l) break;
        if (l < 0x7FFF) shade((0x7FFF - l) * 2); else light(2 * l - 0xFFFE);
        l = 0xFFFF;
        break;
    case 29:
        if (!l) break;
        if (l < 0x7FFF) {
            const uint32_t k = (0x7FFF - l) * 2;
            l = l >= k ? l - k : 0;
        } else {
            light(2 * l - 0xFFFE), l = 0xFFFF;
        }
        break;
    case 30:
        if (!l) break;
        if (l >= 0x7FFF) l = 0xFFFF;
        else l = l >= (0x7FFF - l) * 4 ? l - (0x7FFF - l) * 4 : 0;
        break;
    case 31: lum(0x7FFF, 32767, 32767), rule_a(); break;
    case 32: lum(0x7FFF, 32767, 65535), rule_a(); break;
    case 33: lum(0x8FFE, 28672, 30000), rule_a(); break;
    case 34: lum(0x8FFE, 28672, 30000), rule_b(); break;
    case 35: lum(0x7FFF, 32767, 32767), rule_b(); break;
    case 37: if (l > 0x7F00) l = 0; break;
    case 38: l = 0; break;
    case 39: l = (c[0] + c[1] + c[2]) / 3, c[0] = c[1] = c[2] = 0xFFFF; break;
    case 40: l = 0xFFFF - (c[0] + c[1] + c[2]) / 3, c[0] = c[1] = c[2] = 0; break;
    default: break;
    }
    if ((code == 28 && l0 != 0) || (code == 29 && l0 != 0)) return 18;
    return 0;
}

// Premultiplied blend of one channel and the result alpha, as the table reads.
void ref_blend(int code, const float* S, float Sa, const float* D, float Da, float lum, float* C,
               float& A) {
    A = Da + (1 - Da) * Sa;
    if (code == 15 || code == 16) A = Sa + Da;
    if (code >= 17 && code <= 19) A = Da;
    if (code == 17 || code == 18) {
        const float d[3] = {D[0] / Da, D[1] / Da, D[2] / Da};
        const float mean = code == 17 ? (d[0] + d[1] + d[2]) / 3 + (lum - 0.5f) * Sa : lum;
        for (int k = 0; k < 3; ++k)
            C[k] = mean < 0.5f ? d[k] - (0.5f - mean) * 1.75f * Sa : d[k] + (mean - 0.5f) * 1.75f * Sa;
        return;
    }
    for (int k = 0; k < 3; ++k) {
        const float s = S[k], d = D[k], rest = s * (1 - Da) + d * (1 - Sa), m = d / Da;
        float c;
        switch (code) {
        case 1: c = s * d + rest; break;
        case 2: c = s + d - s * d; break;
        case 3: c = d * Sa > s * Da ? s + d * (1 - Sa) : d + s * (1 - Da); break;
        case 4: c = d * Sa < s * Da ? s + d * (1 - Sa) : d + s * (1 - Da); break;
        case 5: c = s + d - 2 * std::min(s * Da, d * Sa); break;
        case 6: case 7: c = s * Da + d * Sa - 2 * s * d + rest; break;
        case 8: c = 2 * d < Da ? 2 * s * d + rest : Sa * Da - 2 * (Da - d) * (Sa - s) + rest; break;
        case 9: c = 2 * s < Sa ? 2 * s * d + rest : Sa * Da - 2 * (Da - d) * (Sa - s) + rest; break;
        case 10:
            if (2 * s < Sa)
                c = d * (Sa + (2 * s - Sa) * (1 - m)) + rest;
            else if (8 * d <= Da)
                c = d * (Sa + (2 * s - Sa) * (1 - m) * (3 - 8 * m)) + rest;
            else
                c = d * Sa + (2 * s - Sa) * (std::sqrt(m) * Da - d) + rest;
            break;
        case 11: c = s * Da + d * Sa < Sa * Da ? d * Sa / (1 - s / Sa) + rest : Sa * Da + rest; break;
        case 12: c = s * Da + d * Sa > Sa * Da ? Sa * (s * Da + d * Sa - Sa * Da) / s + rest : rest; break;
        case 15: c = s + d; break;
        case 16: c = s + d - Sa * Da; break;
        case 19: c = d; break;
        default: c = s + d * (1 - Sa); break;
        }
        C[k] = c;
    }
}

void ref_pixel(int code, const uint16_t* s, const uint16_t* mk, uint16_t* d, int opacity, bool keep) {
    if (code < 0) code = 0;
    opacity = std::clamp(opacity, 0, 256);
    uint32_t a = s[3];
    if (a == 0 && code <= 20) return;
    if (mk && mk[3] != 0) a = (a * ((uint32_t(mk[0]) + mk[1] + mk[2]) / 3)) >> 16;
    uint32_t L = (a * uint32_t(opacity)) >> 8;
    uint32_t c[3] = {s[0], s[1], s[2]};
    int bc = code <= 20 ? code : ref_rewrite(code, c, L);
    uint16_t out[4];
    if (d[3] == 0) {
        const bool black = bc >= 17 && bc <= 19;
        out[0] = black ? 0 : uint16_t(c[0]), out[1] = black ? 0 : uint16_t(c[1]);
        out[2] = black ? 0 : uint16_t(c[2]), out[3] = black ? 0 : uint16_t(L);
    } else {
        const float Sa = float(L) / 65535, Da = float(d[3]) / 65535;
        float S[3], D[3], C[3], A;
        for (int k = 0; k < 3; ++k) S[k] = float(c[k]) * Sa / 65280, D[k] = float(d[k]) * Da / 65280;
        ref_blend(bc, S, Sa, D, Da, float(c[0] + c[1] + c[2]) / (3 * 65280), C, A);
        A = clamp01(A);
        for (int k = 0; k < 3; ++k) out[k] = uint16_t(int32_t(clamp01(C[k] / A) * 65280));
        out[3] = uint16_t(int32_t(A * 65535));
    }
    if (keep) out[3] = d[3];
    std::memcpy(d, out, 8);
}

struct Xor {
    uint32_t s;
    uint32_t next() { return s ^= s << 13, s ^= s >> 17, s ^= s << 5; }
    // Mostly the values where the formulas turn: 0, 1, halves, 0xFF00, 0xFFFF.
    uint16_t word() {
        static const uint16_t edge[] = {0, 1, 0x7FFF, 0x8000, 0x2FFF, 0x1FFF, 0xFEFF, 0xFF00, 0xFFFF};
        const uint32_t v = next();
        return (v & 3) == 0 ? edge[(v >> 2) % 9] : uint16_t(v >> 16);
    }
};

std::vector<uint16_t> random_pixels(size_t n, uint32_t seed) {
    Xor g{seed};
    std::vector<uint16_t> v(n * 4);
    for (uint16_t& w : v) w = g.word();
    return v;
}

const Simd kPaths[] = {Simd::Scalar, Simd::Sse2, Simd::Avx2};

}  // namespace

// Every code (and codes outside the table), opacities with the clamp, the mask layer
// and keep-alpha: each loop gives the reference's words.
TEST(Compositor, EveryCodeMatchesTheReferenceOnEveryPath) {
    constexpr size_t n = 4099;  // not a multiple of the vector width: tails run too
    const auto src = random_pixels(n, 11), dst0 = random_pixels(n, 23), mk = random_pixels(n, 37);
    for (Simd path : kPaths) {
        if (!composite::simd_available(path)) continue;
        for (int code = -2; code <= 43; ++code)
            for (int opacity : {256, 255, 77, 0, 300, -4})
                for (int variant = 0; variant < 3; ++variant) {
                    const bool with_mask = variant == 1, keep = variant == 2;
                    std::vector<uint16_t> got = dst0, want = dst0;
                    composite::composite(src.data(), 0, with_mask ? mk.data() : nullptr, got.data(), 0,
                                         int64_t(n), 1, code, opacity, keep, path);
                    for (size_t i = 0; i < n; ++i)
                        ref_pixel(code, &src[i * 4], with_mask ? &mk[i * 4] : nullptr, &want[i * 4],
                                  opacity, keep);
                    ASSERT_EQ(got, want) << "path " << int(path) << " code " << code << " opacity "
                                         << opacity << " variant " << variant;
                }
    }
}

// A large random set, whole rows with strides: the vector loops equal the scalar loop.
TEST(Compositor, VectorLoopsEqualScalarOverRandomRows) {
    constexpr int64_t w = 1031, h = 61;
    const auto src = random_pixels(size_t(w * h), 5), dst0 = random_pixels(size_t(w * h), 6);
    for (int code = 0; code <= 20; ++code) {
        std::vector<uint16_t> want = dst0;
        composite::composite(src.data(), w * 4, nullptr, want.data(), w * 4, w, h, code, 256, false,
                             Simd::Scalar);
        for (Simd path : {Simd::Sse2, Simd::Avx2}) {
            if (!composite::simd_available(path)) continue;
            std::vector<uint16_t> got = dst0;
            composite::composite(src.data(), w * 4, nullptr, got.data(), w * 4, w, h, code, 256, false,
                                 path);
            ASSERT_EQ(got, want) << "code " << code << " path " << int(path);
        }
    }
}

TEST(Compositor, ExactDivisionByThreeInTheVectorLoops) {
    // The vector loops divide the mask grey by 3 in single precision; every sum of
    // three words must give the integer quotient.
    for (uint32_t s = 0; s <= 3 * 65535; ++s)
        ASSERT_EQ(uint32_t(float(s) / 3.0f), s / 3) << s;
}

// Edges the table states, pinned as numbers.
TEST(Compositor, StatedEdges) {
    struct Case {
        int code, opacity;
        uint16_t s[4], d[4], want[4];
    } cases[] = {
        // Normal, opaque 0x8000 over opaque: the source colour, give or take one.
        {0, 256, {0x8000, 0x8000, 0x8000, 0xFFFF}, {0x1000, 0x2000, 0x3000, 0xFFFF}, {0x8000, 0x8000, 0x8000, 0xFFFF}},
        // A colour above 0xFF00 over opaque comes out capped.
        {0, 256, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {0, 0, 0, 0xFFFF}, {0xFF00, 0xFF00, 0xFF00, 0xFFFF}},
        // Transparent source, code 0: nothing changes.
        {0, 256, {0x1234, 0x5678, 0x9ABC, 0}, {1, 2, 3, 4}, {1, 2, 3, 4}},
        // Code 21 paints opaque white over transparent.
        {21, 256, {5, 6, 7, 0}, {0, 0, 0, 0}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        // Transparent destinations take the words unscaled with alpha L ...
        {1, 128, {0xFFFF, 0x8000, 1, 0xFFFF}, {9, 9, 9, 0}, {0xFFFF, 0x8000, 1, 0x7FFF}},
        // ... except Texturize, Texturize2 and Texturize3: transparent black.
        {17, 256, {0xFFFF, 0x8000, 1, 0xFFFF}, {9, 9, 9, 0}, {0, 0, 0, 0}},
        {19, 256, {0xFFFF, 0x8000, 1, 0xFFFF}, {9, 9, 9, 0}, {0, 0, 0, 0}},
        // Opacity 0: colour kept apart from truncation, the source colour with alpha 0
        // at a transparent destination.
        {0, 0, {0x4000, 0x4000, 0x4000, 0xFFFF}, {0x8000, 0x8000, 0x8000, 0xFFFF}, {0x8000, 0x8000, 0x8000, 0xFFFF}},
        {0, 0, {0x4000, 0x4000, 0x4000, 0xFFFF}, {0x8000, 0x8000, 0x8000, 0}, {0x4000, 0x4000, 0x4000, 0}},
        // Opacity above 256 acts as 256 (no wrapped alpha).
        {0, 768, {0x4000, 0x4000, 0x4000, 0xFFFF}, {0, 0, 0, 0}, {0x4000, 0x4000, 0x4000, 0xFFFF}},
        // Burn of black over fresh white paper (colour words above 0xFF00): defined.
        {12, 256, {0, 0, 0, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {0xFF00, 0xFF00, 0xFF00, 0xFFFF}},
    };
    for (const Case& c : cases)
        for (Simd path : kPaths) {
            if (!composite::simd_available(path)) continue;
            // Eight copies so that the vector loops see the case in full lanes.
            std::vector<uint16_t> s, d;
            for (int k = 0; k < 8; ++k) s.insert(s.end(), c.s, c.s + 4), d.insert(d.end(), c.d, c.d + 4);
            composite::composite(s.data(), 0, nullptr, d.data(), 0, 8, 1, c.code, c.opacity, false, path);
            for (int k = 0; k < 8; ++k)
                for (int ch = 0; ch < 4; ++ch)
                    ASSERT_EQ(d[size_t(k * 4 + ch)], c.want[ch])
                        << "code " << c.code << " channel " << ch << " path " << int(path);
        }
}

// ---- Merge exports ----------------------------------------------------------------------

namespace {

class Merges : public ::testing::Test {
protected:
    static constexpr int kW = 9, kH = 4;
    void SetUp() override {
        canvas::create_image(st, nullptr, kW, kH, 8, 0);
        for (int s : {1, 2, 3}) layers::create_layer(st, s, kW, kH);
        layers::set_layer_options(st, 1, 1, 0, 100, "Normal");
        layers::set_layer_options(st, 2, 1, 0, 100, "Normal");
        layers::set_layer(st, 2);
    }
    uint16_t* px(int slot, int x, int y) {
        return st.canvas.slots[size_t(slot)].pixels.data() + (size_t(y) * kW + size_t(x)) * 4;
    }
    void fill(int slot, uint16_t r, uint16_t g, uint16_t b, uint16_t a) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                uint16_t* p = px(slot, x, y);
                p[0] = r, p[1] = g, p[2] = b, p[3] = a;
            }
    }
    std::vector<uint16_t> layer(int slot) {
        const uint16_t* p = px(slot, 0, 0);
        return std::vector<uint16_t>(p, p + kW * kH * 4);
    }
    EngineState st;
};

}  // namespace

TEST_F(Merges, LayerMaskAboveHidesWhereBlackKeepsWhereWhite) {
    fill(2, 0xFF00, 0, 0, 0xFFFF);
    fill(3, 0, 0, 0, 0);
    layers::set_layer_options(st, 3, 1, 0, 100, "Layer Mask");
    uint16_t* black = px(3, 0, 0);
    black[3] = 0xFFFF;
    uint16_t* white = px(3, 1, 0);
    white[0] = white[1] = white[2] = 0xFF00, white[3] = 0xFFFF;
    composite::merge_layer(st, 2, 1);
    EXPECT_EQ(px(1, 0, 0)[0], 0xFF00);  // hidden: the paper
    EXPECT_EQ(px(1, 0, 0)[1], 0xFF00);
    EXPECT_GE(px(1, 1, 0)[0], 0xFE00);  // kept: red
    EXPECT_LE(px(1, 1, 0)[1], 0x0100);
    EXPECT_EQ(px(1, 2, 0)[1], 0);       // transparent mask pixel hides nothing
    // A hidden mask layer, or one that is not directly above, does nothing.
    layers::create_layer(st, 1, kW, kH);
    layers::set_layer_options(st, 3, 0, 0, 100, "Layer Mask");
    composite::merge_layer(st, 2, 1);
    EXPECT_EQ(px(1, 0, 0)[1], 0);
}

TEST_F(Merges, MaskLookupFromTheTopSlotStaysInTheTable) {
    layers::create_layer(st, 63, kW, kH);
    layers::set_layer_options(st, 63, 1, 0, 100, "Normal");
    fill(63, 0x1000, 0x2000, 0x3000, 0xFFFF);
    EXPECT_EQ(composite::mask_layer_above(st, 63), nullptr);
    composite::merge_layer(st, 63, 2);
    EXPECT_EQ(px(2, 0, 0)[0], 0x1000);  // over transparent: the words as they are
}

TEST_F(Merges, MergeRectCopiesPaperMergesOthersAndClips) {
    fill(1, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF);
    fill(2, 0x8000, 0x4000, 0x2000, 0xFFFF);
    layers::create_layer(st, 0, kW, kH);
    layers::set_layer_options(st, 0, 1, 0, 100, "Normal");
    fill(0, 1, 1, 1, 0xFFFF);
    std::vector<uint16_t> buf(4 * 4 * 4, 0x5555);
    // Half outside: (x, y) = (-2, 2), 4 x 4: only buffer columns 2..3 of rows 0..1 are canvas.
    composite::merge_rect(st, buf.data(), -2, 2, 4, 4);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const uint16_t* p = &buf[size_t(i * 4 + j) * 4];
            if (i < 2 && j >= 2)
                EXPECT_NEAR(p[0], 0x8000, 1) << i << "," << j;  // layer 2 over the paper, not layer 0
            else
                EXPECT_EQ(p[3], 0) << i << "," << j;      // zero fill stays outside
        }
    // Paper hidden: merged from transparent black, so layer 2's words arrive unscaled.
    layers::set_layer_options(st, 1, 0, 0, 100, "Normal");
    composite::merge_rect(st, buf.data(), 0, 0, 1, 1);
    EXPECT_EQ(buf[0], 0x8000);
    EXPECT_EQ(buf[3], 0xFFFF);
    // The paper itself is copied, never blended: 0xFFFF words survive.
    layers::set_layer_options(st, 1, 1, 0, 100, "Normal");
    layers::set_layer_options(st, 2, 0, 0, 100, "Normal");
    composite::merge_rect(st, buf.data(), 0, 0, 1, 1);
    EXPECT_EQ(buf[0], 0xFFFF);
    EXPECT_EQ(composite::get_color_at_merged(st, -1, -1), -1);
    EXPECT_EQ(composite::get_color_at_merged(st, 0, 0), 0xFFFFFF);
    EXPECT_EQ(composite::get_color_at_merged(st, kW, 0), -1);
}

TEST_F(Merges, MissingOrMismatchedLayersDoNothing) {
    fill(2, 0x8000, 0x4000, 0x2000, 0xFFFF);
    const auto paper = layer(1);
    composite::merge_layer(st, 2, 64);
    composite::merge_layer(st, -1, 1);
    composite::merge_layer(st, 5, 1);  // empty
    composite::merge_paint_layer(st, 1);  // no paint layer
    layers::create_layer(st, 4, kW + 1, kH);  // not canvas-sized
    composite::merge_layer(st, 4, 1);
    composite::merge_layer(st, 2, 4);
    EXPECT_EQ(layer(1), paper);
    composite::merge_layer_into_rect(st, 2, nullptr, 0, 0, 2, 2);
    composite::merge_rect(st, nullptr, 0, 0, 2, 2);
    std::vector<uint16_t> buf(8, 7);
    composite::merge_layer_into_rect(st, 2, buf.data(), kW, kH, 1, 1);  // wholly outside
    composite::merge_layer_into_rect(st, 2, buf.data(), 0, 0, 0, 1);
    EXPECT_EQ(buf, std::vector<uint16_t>(8, 7));
}

TEST_F(Merges, PaintLayerMergesOnceWithItsOwnMode) {
    layers::create_paint_layer(st, 100, "Multiply");
    fill(1, 0x8000, 0x8000, 0x8000, 0xFFFF);
    LayerRecord& p = st.canvas.paint_layer;
    for (size_t k = 0; k < p.pixels.size(); k += 4)
        p.pixels[k] = 0x8000, p.pixels[k + 1] = 0xFF00, p.pixels[k + 2] = 0, p.pixels[k + 3] = 0xFFFF;
    composite::merge_paint_layer(st, 1);
    const uint16_t* d = px(1, 3, 2);
    EXPECT_EQ(d[0], 16448);  // multiply: (32768 / 65280)^2 x 65280, truncated
    EXPECT_NEAR(d[1], 0x8000, 1);
    EXPECT_EQ(d[2], 0);
    for (size_t k = 0; k < p.pixels.size(); ++k) ASSERT_EQ(p.pixels[k], 0);
    const auto once = layer(1);
    composite::merge_paint_layer(st, 1);
    EXPECT_EQ(layer(1), once);
}

TEST_F(Merges, LoadBadClearsAndComposesIntoTheTargetOnly) {
    fill(2, 0x1111, 0x2222, 0x3333, 0xFFFF);
    fill(3, 0x4444, 0x5555, 0x6666, 0x8000);
    layers::set_layer_options(st, 3, 1, 1, 100, "Normal");  // alpha locked
    const auto current = layer(2);
    std::vector<uint8_t> img(size_t(kW * kH * 4), 0);
    for (size_t k = 0; k < img.size(); k += 4) img[k] = 200, img[k + 1] = 100, img[k + 2] = 50, img[k + 3] = 255;
    composite::load_rgba32_layer_bad(st, img.data(), 3, kW, kH, false);
    EXPECT_EQ(layer(2), current);  // the current layer keeps its pixels
    for (int i = 0; i < kW * kH; ++i) {
        const uint16_t* q = px(3, 0, 0) + i * 4;
        EXPECT_EQ(q[3], 0);  // cleared without a mask, then alpha locked: stays transparent
        EXPECT_EQ(q[0], 200 * 256);
    }
    // Unlocked and current: the image arrives at opacity 255 (1/256 of what was below).
    layers::set_layer_options(st, 2, 1, 0, 100, "Normal");
    composite::load_rgba32_layer_bad(st, img.data(), 2, kW, kH, false);
    EXPECT_EQ(px(2, 4, 1)[0], 200 * 256);
    EXPECT_EQ(px(2, 4, 1)[3], (65280u * 255) >> 8);
    // Empty slot or no buffer: nothing.
    const auto after = layer(2);
    composite::load_rgba32_layer_bad(st, nullptr, 2, kW, kH, false);
    composite::load_rgba32_layer_bad(st, img.data(), 9, kW, kH, false);
    EXPECT_EQ(layer(2), after);
}

TEST_F(Merges, Rgba32MergeSkipsSilentlyWithoutMemory) {
    fill(2, 0x1111, 0x2222, 0x3333, 0xFFFF);
    std::vector<uint8_t> img(size_t(kW * kH * 4), 255);
    const auto before = layer(2);
    alloc_hook::fail_next(1);
    composite::merge_rgba32(st, img.data(), st.canvas.slots[2], 0, 255, false);
    alloc_hook::reset();
    EXPECT_EQ(layer(2), before);
    composite::merge_rgba32(st, img.data(), st.canvas.slots[2], 0, 255, false);
    EXPECT_NE(layer(2), before);
}

// The separable blend modes against pixman's PDF operators on opaque 8-bit
// colours: every pair of source and destination values in each channel.
//
// Our words are the 8-bit values times 256 (255 -> 0xFF00, which reads as 1.0);
// our result is compared through its high byte, pixman's a8r8g8b8 directly. We
// truncate where pixman rounds, hence one unit of tolerance.
//
// Soft light, dodge and burn follow our blend table, not the W3C definitions
// pixman implements, so they are only held to agreement where the two coincide.
// Texturize (17, 18) has no pixman counterpart.
#include <gtest/gtest.h>
#include <pixman.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "composite/merge.h"

namespace {

constexpr int kSide = 256;  // pixman regions are 16-bit: a 256 x 256 image, not one long row
constexpr int kPixels = kSide * kSide;

// Source and destination 8-bit values of channel ch at pixel k; each channel
// visits every pair, laid out differently so a channel mix-up shows.
struct Pair {
    int s, d;
};
Pair pair_of(int k, int ch) {
    const int a = k / kSide, b = k % kSide;
    switch (ch) {
    case 0: return {a, b};
    case 1: return {b, a};
    default: return {255 - a, 255 - b};
    }
}

// |ours - pixman| per channel value, in 8-bit units, for every pixel.
struct Run {
    std::vector<int> diff[3];
};

Run compare(int32_t code, pixman_op_t op) {
    std::vector<uint16_t> src(size_t(kPixels) * 4), dst(size_t(kPixels) * 4);
    std::vector<uint32_t> psrc(kPixels), pdst(kPixels);
    for (int k = 0; k < kPixels; ++k) {
        psrc[size_t(k)] = pdst[size_t(k)] = 0xFF000000u;
        for (int ch = 0; ch < 3; ++ch) {
            const Pair p = pair_of(k, ch);
            src[size_t(k) * 4 + size_t(ch)] = uint16_t(p.s * 256);
            dst[size_t(k) * 4 + size_t(ch)] = uint16_t(p.d * 256);
            psrc[size_t(k)] |= uint32_t(p.s) << (16 - 8 * ch);
            pdst[size_t(k)] |= uint32_t(p.d) << (16 - 8 * ch);
        }
        src[size_t(k) * 4 + 3] = dst[size_t(k) * 4 + 3] = 0xFFFF;
    }
    qrn::composite::composite(src.data(), 4, nullptr, dst.data(), 4, kPixels, 1, code, 256, false);

    pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, psrc.data(), kSide * 4);
    pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, kSide, kSide, pdst.data(), kSide * 4);
    pixman_image_composite32(op, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, kSide, kSide);
    pixman_image_unref(ps);
    pixman_image_unref(pd);

    Run r;
    for (int ch = 0; ch < 3; ++ch) {
        r.diff[ch].resize(kPixels);
        for (int k = 0; k < kPixels; ++k) {
            const int ours = dst[size_t(k) * 4 + size_t(ch)] >> 8;
            const int theirs = int(pdst[size_t(k)] >> (16 - 8 * ch)) & 0xFF;
            r.diff[ch][size_t(k)] = std::abs(ours - theirs);
        }
    }
    return r;
}

// The largest difference over the pairs that differs() leaves in, and over all.
struct Max {
    int kept = 0, all = 0;
};
Max max_diff(const Run& r, const std::function<bool(Pair)>& differs) {
    Max m;
    for (int ch = 0; ch < 3; ++ch)
        for (int k = 0; k < kPixels; ++k) {
            const int d = r.diff[ch][size_t(k)];
            m.all = std::max(m.all, d);
            if (!differs(pair_of(k, ch))) m.kept = std::max(m.kept, d);
        }
    return m;
}

struct Mode {
    const char* name;
    int32_t code;
    pixman_op_t op;
    // Pairs where our definition and W3C's part; null for none.
    bool (*differs)(Pair);
};

bool nowhere(Pair) { return false; }

// W3C: the polynomial D(d) up to d <= 1/4; ours switches to sqrt above d = 1/8.
bool soft_light_part(Pair p) { return 2 * p.s > 255 && 8 * p.d > 255 && 4 * p.d <= 255; }
// W3C: a black destination stays black under dodge; ours saturates a white source to white.
bool dodge_part(Pair p) { return p.d == 0 && p.s == 255; }
// W3C: a white destination stays white under burn; ours darkens it to black under a black source.
bool burn_part(Pair p) { return p.d == 255 && p.s == 0; }

class SameDefinition : public testing::TestWithParam<Mode> {};

TEST_P(SameDefinition, AgreesWithinOneUnit) {
    const Mode& m = GetParam();
    const Max d = max_diff(compare(m.code, m.op), nowhere);
    RecordProperty("max_diff", d.all);
    EXPECT_LE(d.all, 1) << m.name;
}

INSTANTIATE_TEST_SUITE_P(
    Pixman, SameDefinition,
    testing::Values(Mode{"Multiply", 1, PIXMAN_OP_MULTIPLY, nullptr},
                    Mode{"Screen", 2, PIXMAN_OP_SCREEN, nullptr},
                    Mode{"Darken", 3, PIXMAN_OP_DARKEN, nullptr},
                    Mode{"Lighten", 4, PIXMAN_OP_LIGHTEN, nullptr},
                    Mode{"Difference", 5, PIXMAN_OP_DIFFERENCE, nullptr},
                    Mode{"Exclusion", 7, PIXMAN_OP_EXCLUSION, nullptr},
                    Mode{"Overlay", 8, PIXMAN_OP_OVERLAY, nullptr},
                    Mode{"HardLight", 9, PIXMAN_OP_HARD_LIGHT, nullptr}),
    [](const testing::TestParamInfo<Mode>& i) { return std::string(i.param.name); });

// Reports how far the differing definitions part (max_diff in the XML output and
// on the console) and holds them to one unit everywhere else.
class OwnDefinition : public testing::TestWithParam<Mode> {};

TEST_P(OwnDefinition, AgreesOutsideWhereDefinitionsPart) {
    const Mode& m = GetParam();
    const Max d = max_diff(compare(m.code, m.op), m.differs);
    RecordProperty("max_diff", d.all);
    std::printf("%s: max difference %d, %d outside where the definitions part\n", m.name, d.all,
                d.kept);
    EXPECT_LE(d.kept, 1) << m.name;
}

INSTANTIATE_TEST_SUITE_P(
    Pixman, OwnDefinition,
    testing::Values(Mode{"SoftLight", 10, PIXMAN_OP_SOFT_LIGHT, soft_light_part},
                    Mode{"Dodge", 11, PIXMAN_OP_COLOR_DODGE, dodge_part},
                    Mode{"Burn", 12, PIXMAN_OP_COLOR_BURN, burn_part}),
    [](const testing::TestParamInfo<Mode>& i) { return std::string(i.param.name); });

}  // namespace

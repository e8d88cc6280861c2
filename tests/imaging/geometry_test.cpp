// Geometry of all layers against a plain model of where each pixel goes:
// filter names and anchors, every occupied slot but 0, layers left alone
// when they are not canvas-sized, alpha locks, and the inputs that change nothing.
#include "imaging/geometry.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <functional>
#include <vector>

#include "engine/canvas.h"
#include "engine/imaging_api/imaging.h"
#include "engine/layers.h"

namespace qrn::imaging::geometry {
namespace {

// 8-bit image as the engine reads a layer: W x H x 4 bytes.
struct Img {
    int32_t w = 0, h = 0;
    std::vector<uint8_t> px;
    const uint8_t* at(int32_t x, int32_t y) const { return &px[size_t((y * w + x) * 4)]; }
};

// Distinct, never transparent (a transparent pixel reloads as all zeros).
uint8_t byte_at(int32_t s, int32_t x, int32_t y, int c) {
    return c == 3 ? uint8_t(1 + (x * 5 + y * 3 + s) % 255) : uint8_t((x * 17 + y * 29 + c * 71 + s * 13) & 0xFF);
}

class Geometry : public ::testing::Test {
protected:
    EngineState st;
    void canvas(int32_t w, int32_t h, std::initializer_list<int32_t> slots) {
        canvas::create_image(st, nullptr, w, h, 8, 0);
        for (int32_t s : slots) {
            layers::create_layer(st, s, w, h);
            LayerRecord& r = st.canvas.slots[size_t(s)];
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    for (int c = 0; c < 4; ++c)
                        r.pixels[size_t((y * w + x) * 4 + c)] = uint16_t(byte_at(s, x, y, c) << 8);
        }
        st.canvas.top_layer_index = 1;  // stale on purpose: the top slot is found at call time
    }
    Img layer(int32_t s) const {
        const LayerRecord& r = st.canvas.slots[size_t(s)];
        Img img{r.width, r.height, {}};
        for (size_t i = 0; i < r.pixels.size(); ++i) img.px.push_back(uint8_t(r.pixels[i] >> 8));
        return img;
    }
    // Every word of the layer is an 8-bit value widened by << 8 (the RGBA32 reload).
    bool words_are_widened(int32_t s) const {
        const LayerRecord& r = st.canvas.slots[size_t(s)];
        for (size_t i = 0; i < r.pixels.size(); ++i)
            if ((r.pixels[i] & 0xFF) != 0) return false;
        return true;
    }
};

// Model: the new image's pixel (x, y) is the old pixel from(x, y), or pad where that is off the old image.
Img expected(const Img& old, int32_t w, int32_t h,
             const std::function<std::pair<int32_t, int32_t>(int32_t, int32_t)>& from,
             std::array<uint8_t, 4> pad = {}) {
    Img out{w, h, std::vector<uint8_t>(size_t(w) * size_t(h) * 4)};
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const auto [sx, sy] = from(x, y);
            const bool inside = sx >= 0 && sy >= 0 && sx < old.w && sy < old.h;
            for (int c = 0; c < 4; ++c)
                out.px[size_t((y * w + x) * 4 + c)] = inside ? old.at(sx, sy)[c] : pad[c];
        }
    return out;
}

void expect_same(const Img& got, const Img& want) {
    ASSERT_EQ(got.w, want.w);
    ASSERT_EQ(got.h, want.h);
    EXPECT_EQ(got.px, want.px);
}

TEST(ResamplerNames, MatchTheTableExactly) {
    const struct {
        const char* name;
        Method method;
        int32_t filter;
    } names[] = {{"Area Average", Method::AreaAverage, -1}, {"Nearest Neighbor", Method::Nearest, -1},
                 {"Bilinear", Method::Bilinear, -1},        {"Bicubic", Method::Bicubic, -1},
                 {"Box", Method::Filtered, 0},              {"Triangle", Method::Filtered, 1},
                 {"Hamming", Method::Filtered, 2},          {"Gaussian", Method::Filtered, 3},
                 {"Bell", Method::Filtered, 4},             {"B-Spline", Method::Filtered, 5},
                 {"Cubic 1", Method::Filtered, 6},          {"Cubic 2", Method::Filtered, 7},
                 {"Lanczos3", Method::Filtered, 8},         {"Mitchell", Method::Filtered, 9},
                 {"Sinc", Method::Filtered, 10},            {"Hermite", Method::Filtered, 11},
                 {"Hanning", Method::Filtered, 12},         {"Catrom", Method::Filtered, 13}};
    for (const auto& n : names) {
        Resampler r{};
        ASSERT_TRUE(resampler_named(n.name, r)) << n.name;
        EXPECT_EQ(int(r.method), int(n.method)) << n.name;
        EXPECT_EQ(r.filter, n.filter) << n.name;
    }
    for (const char* miss : {"bilinear", "BILINEAR", "Bilinear ", " Bilinear", "Lanczos", "Lanczos3 ",
                             "Cubic1", "Nearest Neighbour", "B-spline", "Area average", "", "catrom"}) {
        Resampler r{};
        EXPECT_FALSE(resampler_named(miss, r)) << "'" << miss << "'";
    }
    Resampler r{};
    EXPECT_FALSE(resampler_named(nullptr, r));
}

// A uniform layer stays uniform through every named resampler, at the new
// size; at the old size every resampler copies.
TEST_F(Geometry, EveryFilterNameResizesAndKeepsUniformColour) {
    for (const char* name : {"Area Average", "Nearest Neighbor", "Bilinear", "Bicubic", "Box", "Triangle",
                             "Hamming", "Gaussian", "Bell", "B-Spline", "Cubic 1", "Cubic 2", "Lanczos3",
                             "Mitchell", "Sinc", "Hermite", "Hanning", "Catrom"}) {
        SCOPED_TRACE(name);
        canvas(9, 7, {});
        layers::create_layer(st, 2, 9, 7);
        LayerRecord& r = st.canvas.slots[2];
        for (size_t i = 0; i < r.pixels.size(); ++i) r.pixels[i] = uint16_t((i % 4 == 3 ? 200 : 40 + i % 4) << 8);
        resize(st, 4, 11, name);
        const Img got = layer(2);
        ASSERT_EQ(got.w, 4);
        ASSERT_EQ(got.h, 11);
        for (size_t i = 0; i < got.px.size(); ++i) ASSERT_EQ(got.px[i], i % 4 == 3 ? 200 : 40 + i % 4) << i;
        canvas(9, 7, {2});
        const Img before = layer(2);
        resize(st, 9, 7, name);
        expect_same(layer(2), before);
    }
}

TEST_F(Geometry, BilinearResizesEveryOccupiedSlotButTheTracingLayer) {
    canvas(300, 200, {0, 1, 2, 37, 63});
    const Img before2 = layer(2);
    resize(st, 150, 100, "Bilinear");
    for (int32_t s : {1, 2, 37, 63}) {
        EXPECT_EQ(st.canvas.slots[size_t(s)].width, 150) << s;
        EXPECT_EQ(st.canvas.slots[size_t(s)].height, 100) << s;
        EXPECT_TRUE(words_are_widened(s)) << s;
    }
    EXPECT_EQ(st.canvas.slots[0].width, 300);
    EXPECT_TRUE(st.canvas.slots[5].pixels.empty());
    EXPECT_EQ(st.canvas.width, 300);  // the canvas waits for QRN_NewSize
    Img want{150, 100, std::vector<uint8_t>(150 * 100 * 4)};
    ASSERT_TRUE(imaging::resize(before2.px.data(), 300, 200, 1200, want.px.data(), 150, 100, 600, 4));
    expect_same(layer(2), want);
}

TEST(Anchors, OffsetsForEveryCodeGrowingAndShrinking) {
    const struct {
        const char* anchor;
        int32_t dw, dh, x, y;
    } rows[] = {{"TL", 3, 5, 0, 0},   {"TC", 3, 5, 1, 0},   {"TR", 3, 5, 3, 0},   {"ML", 3, 5, 0, 2},
                {"MC", 3, 5, 1, 2},   {"MR", 3, 5, 3, 2},   {"BL", 3, 5, 0, 5},   {"BC", 3, 5, 1, 5},
                {"BR", 3, 5, 3, 5},   {"MC", -3, -5, -1, -2}, {"BR", -3, -4, -3, -4}, {"TC", -1, 0, 0, 0}};
    for (const auto& r : rows) {
        int32_t x = 99, y = 99;
        ASSERT_TRUE(anchor_offsets(r.anchor, r.dw, r.dh, x, y)) << r.anchor;
        EXPECT_EQ(x, r.x) << r.anchor << " " << r.dw;
        EXPECT_EQ(y, r.y) << r.anchor << " " << r.dh;
    }
    for (const char* miss : {"mc", "CM", "MCX", "M", "", "TT", "LL", "Mc", "XC"}) {
        int32_t x = 0, y = 0;
        EXPECT_FALSE(anchor_offsets(miss, 3, 3, x, y)) << "'" << miss << "'";
    }
    int32_t x = 0, y = 0;
    EXPECT_FALSE(anchor_offsets(nullptr, 3, 3, x, y));
}

TEST_F(Geometry, PageResizePlacesAtTheAnchorAndPadsThePaperWhite) {
    const std::array<uint8_t, 4> white = {255, 255, 255, 255}, clear = {};
    const struct {
        const char* anchor;
        int32_t nw, nh, x, y;
    } rows[] = {{"MC", 9, 8, 2, 1}, {"MC", 8, 6, 1, 0}, {"BR", 3, 2, -2, -4}, {"TL", 7, 9, 0, 0}, {"MC", 2, 3, -1, -1}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.anchor << " " << r.nw << "x" << r.nh);
        canvas(5, 6, {1, 2});
        const Img paper = layer(1), top = layer(2);
        resize_page(st, r.nw, r.nh, r.anchor);
        auto from = [&](int32_t x, int32_t y) { return std::pair{x - r.x, y - r.y}; };
        expect_same(layer(1), expected(paper, r.nw, r.nh, from, white));
        expect_same(layer(2), expected(top, r.nw, r.nh, from, clear));
        // White padding is 0xFF bytes reloaded: 0xFF00 words, not CreateLayer's 0xFFFF.
        EXPECT_TRUE(words_are_widened(1));
    }
}

TEST_F(Geometry, CropCutsTheRectangle) {
    canvas(7, 5, {1, 4});
    const Img before = layer(4);
    crop(st, 2, 1, 7, 4);
    expect_same(layer(4), expected(before, 5, 3, [](int32_t x, int32_t y) { return std::pair{x + 2, y + 1}; }));
    EXPECT_EQ(st.canvas.slots[1].width, 5);
}

TEST_F(Geometry, QuarterTurnsOnA300By200Canvas) {
    for (bool left : {true, false}) {
        SCOPED_TRACE(left ? "left" : "right");
        canvas(300, 200, {1, 2});
        const Img before = layer(2);
        left ? rotate_left(st) : rotate_right(st);
        const auto from = left ? std::function([](int32_t x, int32_t y) { return std::pair{299 - y, x}; })
                               : std::function([](int32_t x, int32_t y) { return std::pair{y, 199 - x}; });
        const Img turned = layer(2);
        expect_same(turned, expected(before, 200, 300, from));
        EXPECT_EQ(st.canvas.width, 300);
        EXPECT_EQ(st.canvas.height, 200);
        // A second call before QRN_NewSize finds no canvas-sized layer: nothing moves.
        left ? rotate_left(st) : rotate_right(st);
        resize(st, 10, 10, "Bilinear");
        flip_horizontal(st);
        crop(st, 0, 0, 10, 10);
        resize_page(st, 10, 10, "TL");
        expect_same(layer(2), turned);
    }
}

TEST_F(Geometry, FlipsMirrorInPlaceAndAnAlphaLockKeepsTheAlpha) {
    for (bool horizontal : {true, false})
        for (uint8_t locked : {0, 1}) {
            SCOPED_TRACE(testing::Message() << (horizontal ? "horizontal" : "vertical") << " lock " << int(locked));
            canvas(6, 5, {1, 3});
            st.canvas.slots[3].alpha_locked = locked;
            const Img before = layer(3);
            horizontal ? flip_horizontal(st) : flip_vertical(st);
            Img want = expected(before, 6, 5, [&](int32_t x, int32_t y) {
                return horizontal ? std::pair{5 - x, y} : std::pair{x, 4 - y};
            });
            if (locked)
                for (size_t i = 3; i < want.px.size(); i += 4) want.px[i] = before.px[i];
            expect_same(layer(3), want);
            EXPECT_EQ(st.canvas.slots[3].alpha_locked, locked);
        }
}

// A lock is lifted while the layer is rebuilt (its alpha moves with it) and comes back.
TEST_F(Geometry, SizeChangesMoveAlphaOfLockedLayersAndRestoreTheLock) {
    canvas(4, 3, {2});
    st.canvas.slots[2].alpha_locked = 1;
    const Img before = layer(2);
    rotate_right(st);
    expect_same(layer(2), expected(before, 3, 4, [](int32_t x, int32_t y) { return std::pair{y, 2 - x}; }));
    EXPECT_EQ(st.canvas.slots[2].alpha_locked, 1);
}

TEST_F(Geometry, UnusableRequestsChangeNothing) {
    const std::function<void(EngineState&)> requests[] = {
        [](EngineState& s) { resize(s, 0, 5, "Bilinear"); },
        [](EngineState& s) { resize(s, 5, -1, "Bilinear"); },
        [](EngineState& s) { resize(s, 10001, 5, "Bilinear"); },
        [](EngineState& s) { resize(s, 20000, 20000, "Box"); },
        [](EngineState& s) { resize(s, INT32_MAX, INT32_MAX, "Box"); },
        [](EngineState& s) { resize(s, 4, 4, "bilinear"); },
        [](EngineState& s) { resize(s, 4, 4, nullptr); },
        [](EngineState& s) { resize_page(s, 0, 9, "MC"); },
        [](EngineState& s) { resize_page(s, 10001, 9, "MC"); },
        [](EngineState& s) { resize_page(s, 9, 9, "mc"); },
        [](EngineState& s) { resize_page(s, 9, 9, nullptr); },
        [](EngineState& s) { crop(s, 3, 0, 3, 4); },      // right = left
        [](EngineState& s) { crop(s, 4, 0, 2, 4); },      // right < left
        [](EngineState& s) { crop(s, 0, 2, 4, 2); },      // bottom = top
        [](EngineState& s) { crop(s, -1, 0, 4, 4); },     // left of the canvas
        [](EngineState& s) { crop(s, 0, 0, 7, 4); },      // past the right edge
        [](EngineState& s) { crop(s, 0, 0, 4, 6); },      // past the bottom
        [](EngineState& s) { crop(s, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX); },
    };
    int k = 0;
    for (const auto& request : requests) {
        SCOPED_TRACE(k++);
        canvas(6, 5, {1, 2});
        const Img before = layer(2);
        request(st);
        expect_same(layer(2), before);
        EXPECT_EQ(st.canvas.slots[1].width, 6);
    }
}

TEST_F(Geometry, NoCanvasOrNoLayersIsNothing) {
    resize(st, 4, 4, "Bilinear");  // never created
    rotate_left(st);
    flip_vertical(st);
    canvas(6, 5, {2});
    canvas::delete_image(st);
    for (const auto& s : st.canvas.slots) EXPECT_TRUE(s.pixels.empty());
    resize_page(st, 4, 4, "MC");
    crop(st, 0, 0, 1, 1);
    flip_horizontal(st);
    canvas::create_image(st, nullptr, 6, 5, 8, 0);
    rotate_right(st);  // no layers at all
    for (const auto& s : st.canvas.slots) EXPECT_TRUE(s.pixels.empty());
}

}  // namespace
}  // namespace qrn::imaging::geometry

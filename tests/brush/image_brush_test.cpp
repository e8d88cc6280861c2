// Image brushes: the two widenings, keep weights, strip frames, sizing, the
// two-pass rotation, PNG save, and the inputs that must leave pictures alone.
#include "brush/image_brush.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "brush/tool.h"
#include "engine/buffer.h"
#include "engine/canvas.h"
#include "engine/imaging_api/scripts.h"

using namespace qrn;

namespace {

std::unique_ptr<EngineState> make_state(int32_t b, int32_t size) {
    auto st = std::make_unique<EngineState>();
    canvas::create_image(*st, nullptr, 32, 32, b, 0);
    brush::set_size(*st, size);
    return st;
}

using Pixel = std::array<uint16_t, 4>;

Pixel at(const Buffer<uint16_t>& px, int32_t width, int32_t row, int32_t col) {
    const size_t k = (size_t(row) * size_t(width) + size_t(col)) * 4;
    return {px[k], px[k + 1], px[k + 2], px[k + 3]};
}
Pixel source_at(const EngineState& st, int32_t row, int32_t col) {
    return at(st.image_brush.source, st.image_brush.source_w, row, col);
}
Pixel blend_at(const EngineState& st, int32_t row, int32_t col) {
    return at(st.brush.blend, st.canvas.max_brush, row, col);
}
void fill_blend(EngineState& st, uint16_t v) {
    for (size_t k = 0; k < st.brush.blend.size(); ++k) st.brush.blend[k] = v;
}

struct Rgba32 {
    int32_t w, h;
    std::vector<uint8_t> px;
    Rgba32(int32_t w_, int32_t h_, const std::function<std::array<uint8_t, 4>(int, int)>& f)
        : w(w_), h(h_), px(size_t(w_) * size_t(h_) * 4) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const auto c = f(x, y);
                std::copy(c.begin(), c.end(), px.begin() + (size_t(y) * size_t(w) + size_t(x)) * 4);
            }
    }
};

struct TempFile {
    std::string path;
    explicit TempFile(const std::string& name)
        : path((std::filesystem::temp_directory_path() /
                ("qrn_image_brush_" + std::to_string(getpid()) + "_" + name))
                   .string()) {}
    ~TempFile() { std::filesystem::remove(path); }
};

void write_png(const TempFile& f, const Rgba32& img) {
    png_image p{};
    p.version = PNG_IMAGE_VERSION;
    p.width = png_uint_32(img.w);
    p.height = png_uint_32(img.h);
    p.format = PNG_FORMAT_RGBA;
    ASSERT_NE(png_image_write_to_file(&p, f.path.c_str(), 0, img.px.data(), img.w * 4, nullptr), 0);
}

std::array<uint8_t, 4> flat(int, int) { return {255, 0, 128, 255}; }

}  // namespace

// Fill and tint replicate (255 -> 65535); loads shift (255 -> 65280).
TEST(ImageBrush, FillWidensBy257AndLoadsBy256) {
    auto st = make_state(16, 4);
    brush::fill_image_brush(*st, 255, 0, 128);
    EXPECT_EQ(st->image_brush.source_w, 4);
    EXPECT_EQ(source_at(*st, 3, 3), (Pixel{65535, 0, 32896, 65535}));
    const Rgba32 img(3, 2, flat);
    brush::load_image_brush_from_rgba32(*st, img.px.data(), 3, 2);
    EXPECT_EQ(st->image_brush.source_w, 3);
    EXPECT_EQ(st->image_brush.source_h, 2);
    EXPECT_EQ(source_at(*st, 1, 2), (Pixel{65280, 0, 32768, 65280}));
}

TEST(ImageBrush, ColourKeepsEachPixelsAlphaAndMakesWhiteWhenThereIsNone) {
    auto st = make_state(16, 3);
    brush::colour_image_brush(*st, 10, 20, 30);
    EXPECT_EQ(source_at(*st, 2, 2), (Pixel{2570, 5140, 7710, 65535}));
    const Rgba32 holed(2, 1, [](int x, int) -> std::array<uint8_t, 4> {
        return {200, 200, 200, uint8_t(x ? 0 : 128)};
    });
    brush::load_image_brush_from_rgba32(*st, holed.px.data(), 2, 1);
    brush::colour_image_brush(*st, 10, 20, 30);
    EXPECT_EQ(source_at(*st, 0, 0), (Pixel{2570, 5140, 7710, 32768}));
    EXPECT_EQ(source_at(*st, 0, 1), (Pixel{2570, 5140, 7710, 0}));

    auto none = make_state(16, 0);
    brush::colour_image_brush(*none, 1, 2, 3);
    EXPECT_TRUE(none->image_brush.source.empty());
}

// The blend buffer holds 40000 everywhere; the picture is (65535, 0) in red and
// green, which the rotated copy carries as bytes (255 << 8 = 65280, 0).
struct KeepCase {
    int32_t keep;
    uint16_t sized_red, sized_green, rotated_red, rotated_green;
};
const KeepCase kKeepCases[] = {
    {0, 65535, 0, 65280, 0},             // d = 0 copies exactly
    {50, 52611, 19843, 52483, 19843},    // d = 127: (127 x 40000 + 128 x v) >> 8
    {100, 39943, 39687, 39942, 39687},   // d = 254, not 255: (254 x 40000 + v) >> 8
    {-7, 65535, 0, 65280, 0},            // held to d = 0
    {1000, 39843, 39843, 39843, 39843},  // held to d = 255: the weights still sum to 255
};

TEST(ImageBrush, KeepWeightsOfBothCopies) {
    for (const KeepCase& c : kKeepCases) {
        SCOPED_TRACE(c.keep);
        auto st = make_state(8, 6);
        brush::fill_image_brush(*st, 255, 0, 0);
        fill_blend(*st, 40000);
        brush::copy_from_image_brush(*st, c.keep);
        EXPECT_EQ(blend_at(*st, 5, 5)[0], c.sized_red);
        EXPECT_EQ(blend_at(*st, 0, 0)[1], c.sized_green);
        EXPECT_EQ(blend_at(*st, 6, 0), (Pixel{40000, 40000, 40000, 40000}));  // outside S x S
        EXPECT_EQ(blend_at(*st, 0, 6), (Pixel{40000, 40000, 40000, 40000}));

        fill_blend(*st, 40000);
        brush::rotate_image_brush(*st, 0);
        brush::copy_from_image_brush_rotate(*st, c.keep);
        EXPECT_EQ(blend_at(*st, 5, 5)[0], c.rotated_red);
        EXPECT_EQ(blend_at(*st, 0, 0)[1], c.rotated_green);
        EXPECT_EQ(blend_at(*st, 5, 6), (Pixel{40000, 40000, 40000, 40000}));
    }
}

// Sizing copies only a picture exactly S wide and at least S high; everything
// else is resampled, and a flat picture stays flat whichever way.
struct SizeCase {
    int32_t w, h, s;
};
const SizeCase kSizeCases[] = {{6, 9, 6}, {6, 6, 6}, {6, 3, 6}, {9, 4, 6}, {2, 5, 6}, {6, 1, 6}};

TEST(ImageBrush, SizingCopiesOrResamplesWithoutLeavingThePicture) {
    for (const SizeCase& c : kSizeCases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " to " << c.s);
        auto st = make_state(16, c.s);
        const Rgba32 img(c.w, c.h, [](int, int y) -> std::array<uint8_t, 4> {
            return {uint8_t(y), 7, 9, 255};
        });
        brush::load_image_brush_from_rgba32(*st, img.px.data(), c.w, c.h);
        brush::size_image_brush(*st);
        const ImageBrush& ib = st->image_brush;
        ASSERT_EQ(ib.sized_side, c.s);
        for (int32_t row = 0; row < c.s; ++row) {
            const Pixel p = at(ib.sized, c.s, row, c.s - 1);
            EXPECT_EQ(p[1], 7 << 8);
            EXPECT_EQ(p[3], 65280);
            if (c.w == c.s && c.h >= c.s) {
                EXPECT_EQ(p[0], row << 8);
            }
            EXPECT_LE(p[0], (c.h - 1) << 8);
        }
    }
}

// Frames are H x H side by side; the index is trunc(count x position), held
// inside the strip.
TEST(ImageBrush, StripFramesAreChosenByPositionAndHeldInsideTheStrip) {
    auto st = make_state(128, 8);
    const TempFile f("strip.png");
    write_png(f, Rgba32(400, 100, [](int x, int y) -> std::array<uint8_t, 4> {
                  return {uint8_t(x / 100 * 60), uint8_t(x % 100), uint8_t(y), 255};
              }));
    brush::load_image_brush_array(*st, f.path.c_str());
    ASSERT_EQ(st->image_brush.strip_frames, 4);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int> cases[] = {{0.0f, 0},  {0.5f, 2}, {0.2499f, 0}, {0.25f, 1},
                                           {0.99f, 3}, {1.5f, 3}, {-0.5f, 0},   {nan, 0},
                                           {inf, 3},   {-inf, 0}};
    for (const auto& [position, frame] : cases) {
        SCOPED_TRACE(position);
        brush::copy_from_image_brush_array(*st, position);
        EXPECT_EQ(source_at(*st, 0, 0), (Pixel{uint16_t(frame * 60 << 8), 0, 0, 65280}));
        EXPECT_EQ(source_at(*st, 99, 99),
                  (Pixel{uint16_t(frame * 60 << 8), 99 << 8, 99 << 8, 65280}));
    }
    // A fill has made the source S x S since: the frame copy makes it H x H again.
    brush::fill_image_brush(*st, 1, 2, 3);
    ASSERT_EQ(st->image_brush.source_w, 8);
    brush::copy_from_image_brush_array(*st, 0.5f);
    ASSERT_EQ(st->image_brush.source_w, 100);
    EXPECT_EQ(source_at(*st, 50, 0), (Pixel{120 << 8, 0, 50 << 8, 65280}));
}

// Files and host pictures that cannot be an image brush leave every picture
// as it was.
TEST(ImageBrush, UnusableInputsLeaveThePreviousPictures) {
    auto st = make_state(16, 4);
    const TempFile wide("wide.png"), tall("tall.png"), narrow("narrow.png"), text("text.png");
    write_png(wide, Rgba32(17, 16, flat));  // one pixel wider than b
    write_png(tall, Rgba32(40, 17, flat));  // strip higher than b
    write_png(narrow, Rgba32(8, 9, flat));  // strip narrower than one frame
    std::ofstream(text.path) << "not an image";
    const Rgba32 big(17, 1, flat);

    const TempFile strip("strip.png");
    write_png(strip, Rgba32(30, 10, [](int x, int) -> std::array<uint8_t, 4> {
                  return {uint8_t(x), 0, 0, 255};
              }));
    brush::load_image_brush_array(*st, strip.path.c_str());
    brush::load_image_brush_from_rgba32(*st, Rgba32(2, 3, flat).px.data(), 2, 3);
    const std::vector<std::function<void()>> calls = {
        [&] { brush::load_image_brush(*st, wide.path.c_str()); },
        [&] { brush::load_image_brush(*st, text.path.c_str()); },
        [&] { brush::load_image_brush(*st, "/nonexistent/brush.png"); },
        [&] { brush::load_image_brush(*st, nullptr); },
        [&] { brush::load_image_brush_array(*st, tall.path.c_str()); },
        [&] { brush::load_image_brush_array(*st, narrow.path.c_str()); },
        [&] { brush::load_image_brush_array(*st, text.path.c_str()); },
        [&] { brush::load_image_brush_array(*st, nullptr); },
        [&] { brush::load_image_brush_from_rgba32(*st, big.px.data(), 17, 1); },
        [&] { brush::load_image_brush_from_rgba32(*st, big.px.data(), 0, 1); },
        [&] { brush::load_image_brush_from_rgba32(*st, big.px.data(), 1, -1); },
        [&] { brush::load_image_brush_from_rgba32(*st, nullptr, 2, 2); },
        [&] {
            brush::set_size(*st, 0);
            brush::fill_image_brush(*st, 1, 1, 1);
        },
        [&] { brush::copy_to_image_brush(*st); },
    };
    for (size_t k = 0; k < calls.size(); ++k) {
        SCOPED_TRACE(k);
        calls[k]();
        const ImageBrush& ib = st->image_brush;
        EXPECT_EQ(ib.source_w, 2);
        EXPECT_EQ(ib.source_h, 3);
        EXPECT_EQ(source_at(*st, 2, 1), (Pixel{65280, 0, 32768, 65280}));
        EXPECT_EQ(ib.strip_w, 30);
        EXPECT_EQ(ib.strip_frames, 3);
    }
    // A picture exactly b a side is taken.
    write_png(wide, Rgba32(16, 16, flat));
    brush::load_image_brush(*st, wide.path.c_str());
    EXPECT_EQ(st->image_brush.source_w, 16);
}

TEST(ImageBrush, FailedAllocationKeepsThePreviousSource) {
    auto st = make_state(16, 4);
    brush::fill_image_brush(*st, 1, 2, 3);
    alloc_hook::fail_next(1);
    EXPECT_THROW(brush::fill_image_brush(*st, 9, 9, 9), std::bad_alloc);
    alloc_hook::reset();
    EXPECT_EQ(source_at(*st, 3, 3), (Pixel{257, 514, 771, 65535}));
}

TEST(ImageBrush, CopyToTakesTheTopLeftSquareOfTheBlendBuffer) {
    auto st = make_state(8, 3);
    for (size_t k = 0; k < st->brush.blend.size(); ++k) st->brush.blend[k] = uint16_t(k);
    brush::copy_to_image_brush(*st);
    for (int32_t row = 0; row < 3; ++row)
        for (int32_t col = 0; col < 3; ++col)
            EXPECT_EQ(source_at(*st, row, col), blend_at(*st, row, col));
}

// Effect 51 gets 360 - angle, so 0 still passes 360; a quarter turn moves the
// alpha with the colour (positive effect angles turn clockwise, so 90 here
// turns the picture anticlockwise: its left half goes to the bottom).
TEST(ImageBrush, RotationPassesTheComplementAndTurnsAlphaWithColour) {
    auto st = make_state(16, 8);
    const Rgba32 half(8, 8, [](int x, int) -> std::array<uint8_t, 4> {
        return x < 4 ? std::array<uint8_t, 4>{255, 0, 0, 255} : std::array<uint8_t, 4>{0, 0, 0, 0};
    });
    brush::load_image_brush_from_rgba32(*st, half.px.data(), 8, 8);
    brush::size_image_brush(*st);

    brush::rotate_image_brush(*st, 0);
    scripts::EffectTrace t = scripts::last_effect();
    EXPECT_EQ(t.effect, 51);
    EXPECT_EQ(t.slots[0], 360);
    EXPECT_EQ(t.slots[1], 100);
    const ImageBrush& ib = st->image_brush;
    EXPECT_EQ(std::vector<uint8_t>(ib.rotate_second.data(), ib.rotate_second.data() + 256),
              half.px);

    brush::rotate_image_brush(*st, 90);
    EXPECT_EQ(scripts::last_effect().slots[0], 270);
    brush::copy_from_image_brush_rotate(*st, 0);
    for (int32_t row = 0; row < 8; ++row)
        for (int32_t col = 0; col < 8; ++col) {
            const Pixel want = row >= 4 ? Pixel{65280, 0, 0, 65280} : Pixel{0, 0, 0, 0};
            ASSERT_EQ(blend_at(*st, row, col), want) << row << "," << col;
        }
}

// After a resize with a smaller b the old copies would overrun the new blend
// buffer: they count as absent until made again.
TEST(ImageBrush, ChangingTheMaximumBrushSizeInvalidatesSizedAndRotatedCopies) {
    auto st = make_state(32, 32);
    brush::fill_image_brush(*st, 255, 255, 255);
    brush::copy_from_image_brush(*st, 0);
    brush::rotate_image_brush(*st, 10);
    canvas::new_size(*st, nullptr, 32, 32, 16, 0);
    ASSERT_EQ(st->brush.size, 16);
    brush::copy_from_image_brush_rotate(*st, 0);
    EXPECT_EQ(blend_at(*st, 0, 0), (Pixel{0, 0, 0, 0}));
    brush::rotate_image_brush(*st, 10);
    EXPECT_TRUE(st->image_brush.sized.empty());
    brush::copy_from_image_brush(*st, 0);  // the source survives and is sized again
    EXPECT_EQ(st->image_brush.sized_side, 16);
    EXPECT_EQ(blend_at(*st, 15, 15), (Pixel{65535, 65535, 65535, 65535}));
}

// The PNG is RGBA, 8 bits a channel, with a resolution record of 2834 by
// 2834 pixels per metre, and reads back as the narrowed source.
TEST(ImageBrush, SavesAnRgbaPngAt2834PixelsPerMetre) {
    auto st = make_state(16, 4);
    const TempFile f("saved.png");
    brush::save_image_brush(*st, f.path.c_str());
    EXPECT_FALSE(std::filesystem::exists(f.path));  // no source yet
    const Rgba32 img(5, 3, [](int x, int y) -> std::array<uint8_t, 4> {
        return {uint8_t(x * 50), uint8_t(y * 80), 7, uint8_t(255 - x)};
    });
    brush::load_image_brush_from_rgba32(*st, img.px.data(), 5, 3);
    brush::save_image_brush(*st, f.path.c_str());

    std::FILE* fp = std::fopen(f.path.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, fp);
    png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    EXPECT_EQ(png_get_image_width(png, info), 5u);
    EXPECT_EQ(png_get_image_height(png, info), 3u);
    EXPECT_EQ(png_get_color_type(png, info), PNG_COLOR_TYPE_RGB_ALPHA);
    EXPECT_EQ(png_get_bit_depth(png, info), 8);
    png_uint_32 rx = 0, ry = 0;
    int unit = -1;
    ASSERT_TRUE(png_get_pHYs(png, info, &rx, &ry, &unit) & PNG_INFO_pHYs);
    EXPECT_EQ(rx, 2834u);
    EXPECT_EQ(ry, 2834u);
    EXPECT_EQ(unit, PNG_RESOLUTION_METER);
    png_bytepp rows = png_get_rows(png, info);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(std::vector<uint8_t>(rows[y], rows[y] + 20),
                  std::vector<uint8_t>(img.px.begin() + y * 20, img.px.begin() + y * 20 + 20));
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(fp);
}

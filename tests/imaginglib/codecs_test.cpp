// Image file decoders and the reader that picks one by content. Every test file
// is made here: PNG and JPEG through libpng and libjpeg, BMP and TGA by hand.
#include "imaginglib/codecs/codecs.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "imaginglib/image_file.h"

namespace qrn::imaginglib {
namespace {

using Bytes = std::vector<uint8_t>;
using Decoder = uint8_t* (*)(const uint8_t*, size_t, int32_t*, int32_t*) noexcept;

struct Image {
    bool ok = false;
    int32_t w = -7, h = -7;  // a failed decode must leave these alone
    Bytes rgba;
};

Image decode(Decoder fn, const Bytes& file, size_t size) {
    Image img;
    uint8_t* block = fn(file.data(), size, &img.w, &img.h);
    if (block) {
        img.ok = true;
        img.rgba.assign(block, block + size_t(img.w) * size_t(img.h) * 4);
        free_image(block);
    }
    return img;
}
Image decode(Decoder fn, const Bytes& file) { return decode(fn, file, file.size()); }

// A decoder must refuse every proper prefix of a good file without touching
// the sides; run under ASan this also proves it reads nothing past the end.
void expect_prefixes_fail(Decoder fn, const Bytes& file) {
    for (size_t n = 0; n < file.size(); ++n) {
        const Bytes cut(file.begin(), file.begin() + ptrdiff_t(n));  // its own heap block
        const Image img = decode(fn, cut);
        ASSERT_FALSE(img.ok) << "prefix of " << n << " of " << file.size() << " bytes";
        ASSERT_EQ(img.w, -7);
    }
}

void put16(Bytes& b, size_t at, uint32_t v) { b[at] = uint8_t(v), b[at + 1] = uint8_t(v >> 8); }
void put32(Bytes& b, size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// ---- PNG ----

struct PngSpec {
    const char* name;
    int w, h, colour_type, depth;
    Bytes raw;  // rows as the PNG stores them, no filter bytes
    Bytes want;
    Bytes palette = {};  // RGB triples
    Bytes trns = {};
    bool interlaced = false;
};

void on_png_write(png_structp png, png_bytep data, size_t n) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

Bytes encode_png(const PngSpec& s) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, on_png_write, nullptr);
    png_set_IHDR(png, info, png_uint_32(s.w), png_uint_32(s.h), s.depth, s.colour_type,
                 s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty())
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(s.palette.data()),
                     int(s.palette.size() / 3));
    png_color_16 grey_key{};
    grey_key.gray = s.trns.empty() ? 0 : s.trns[0];
    if (s.colour_type == PNG_COLOR_TYPE_PALETTE && !s.trns.empty())
        png_set_tRNS(png, info, s.trns.data(), int(s.trns.size()), nullptr);
    else if (!s.trns.empty())
        png_set_tRNS(png, info, nullptr, 0, &grey_key);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    const size_t stride = png_get_rowbytes(png, info);
    Bytes raw = s.raw;
    for (int y = 0; y < s.h; ++y) rows.push_back(raw.data() + size_t(y) * stride);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes random_bytes(size_t n, unsigned seed) {
    Bytes b(n);
    for (auto& v : b) v = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    return b;
}

PngSpec interlaced_rgb() {
    PngSpec s{"Adam7Rgb", 9, 9, PNG_COLOR_TYPE_RGB, 8, random_bytes(9 * 9 * 3, 5), {}};
    for (size_t k = 0; k < 81; ++k)
        s.want.insert(s.want.end(), {s.raw[k * 3], s.raw[k * 3 + 1], s.raw[k * 3 + 2], 255});
    s.interlaced = true;
    return s;
}

class PngDecode : public ::testing::TestWithParam<PngSpec> {};

// Each colour type and depth must come out as the same straight 8-bit RGBA.
TEST_P(PngDecode, ExpandsToRgba) {
    const PngSpec& s = GetParam();
    const Image img = decode(codecs::decode_png, encode_png(s));
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.w, s.w);
    EXPECT_EQ(img.h, s.h);
    EXPECT_EQ(img.rgba, s.want);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(ColourTypes, PngDecode, ::testing::Values(
    PngSpec{"Rgba8", 2, 1, PNG_COLOR_TYPE_RGBA, 8, {1, 2, 3, 4, 5, 6, 7, 8}, {1, 2, 3, 4, 5, 6, 7, 8}},
    PngSpec{"RgbOddWidth", 3, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6, 7, 8, 9},
            {1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255}},
    PngSpec{"Grey8", 2, 2, PNG_COLOR_TYPE_GRAY, 8, {0, 9, 200, 255},
            {0, 0, 0, 255, 9, 9, 9, 255, 200, 200, 200, 255, 255, 255, 255, 255}},
    PngSpec{"GreyKey", 2, 1, PNG_COLOR_TYPE_GRAY, 8, {7, 8}, {7, 7, 7, 0, 8, 8, 8, 255}, {}, {7}},
    PngSpec{"Grey1", 3, 1, PNG_COLOR_TYPE_GRAY, 1, {0xA0},
            {255, 255, 255, 255, 0, 0, 0, 255, 255, 255, 255, 255}},
    // 16-bit keeps the high byte, as the engine narrows.
    PngSpec{"Rgba16", 1, 1, PNG_COLOR_TYPE_RGBA, 16,
            {0x12, 0xFF, 0x34, 0x80, 0x56, 0x01, 0x78, 0x7F}, {0x12, 0x34, 0x56, 0x78}},
    PngSpec{"Palette2WithAlpha", 3, 1, PNG_COLOR_TYPE_PALETTE, 2, {0x18},
            {10, 20, 30, 255, 40, 50, 60, 128, 70, 80, 90, 255},
            {10, 20, 30, 40, 50, 60, 70, 80, 90}, {255, 128}},
    interlaced_rgb()),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

TEST(PngDecode, RefusesTruncatedCorruptAndOversizedFiles) {
    const PngSpec small{"", 4, 4, PNG_COLOR_TYPE_RGBA, 8, random_bytes(64, 1), {}};
    const Bytes good = encode_png(small);
    ASSERT_TRUE(decode(codecs::decode_png, good).ok);
    expect_prefixes_fail(codecs::decode_png, good);

    Bytes bad_crc = good;
    bad_crc[29] ^= 1;  // last byte of the IHDR checksum
    EXPECT_FALSE(decode(codecs::decode_png, bad_crc).ok);

    for (int w : {10000, 10001}) {
        const PngSpec wide{"", w, 1, PNG_COLOR_TYPE_GRAY, 1, Bytes(size_t(w + 7) / 8, 0), {}};
        const PngSpec tall{"", 1, w, PNG_COLOR_TYPE_GRAY, 1, Bytes(size_t(w), 0), {}};
        EXPECT_EQ(decode(codecs::decode_png, encode_png(wide)).ok, w == 10000);
        EXPECT_EQ(decode(codecs::decode_png, encode_png(tall)).ok, w == 10000);
    }
}

long peak_rss_kb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

// Past png_set_chunk_malloc_max libpng only warns, then allocates and clears
// as much as the chunk's length says: 44 bytes could cost a gigabyte.
TEST(PngDecode, RefusesChunkLengthsPastTheEndBeforeAllocating) {
    const Bytes good = encode_png({"", 1, 1, PNG_COLOR_TYPE_GRAY, 8, {0}, {}});
    Bytes hostile(good.begin(), good.begin() + 33);  // signature and IHDR
    hostile.insert(hostile.end(), {0x40, 0, 0, 0, 'z', 'T', 'X', 't', 'k', 0, 0});
    const long before = peak_rss_kb();
    EXPECT_FALSE(decode(codecs::decode_png, hostile).ok);
    codecs::Probe probe;
    EXPECT_FALSE(codecs::probe_png(hostile.data(), hostile.size(), probe));
    EXPECT_LT(peak_rss_kb() - before, 256 * 1024);

    // A chunk of that size that is all there still reads past, as before.
    Bytes text = {'t', 'E', 'X', 't', 'k', 0};
    text.resize(text.size() + (12u << 20), 'x');
    uint8_t len[4], crc[4];
    codecs::put_be32(len, uint32_t(text.size() - 4));
    codecs::put_be32(crc, uint32_t(crc32(0, text.data(), uInt(text.size()))));
    Bytes big(good.begin(), good.begin() + 33);
    big.insert(big.end(), len, len + 4);
    big.insert(big.end(), text.begin(), text.end());
    big.insert(big.end(), crc, crc + 4);
    big.insert(big.end(), good.begin() + 33, good.end());
    const Image read = decode(codecs::decode_png, big);
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.rgba, decode(codecs::decode_png, good).rgba);
}

// ---- JPEG ----

Bytes encode_jpeg(int w, int h, int components, J_COLOR_SPACE space, const Bytes& px,
                  int quality = 100) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long len = 0;
    jpeg_mem_dest(&c, &mem, &len);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    Bytes rows = px;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = rows.data() + size_t(c.next_scanline) * size_t(w) * size_t(components);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes out(mem, mem + len);
    std::free(mem);
    return out;
}

Bytes flat(size_t pixels, std::initializer_list<uint8_t> px) {
    Bytes b;
    for (size_t k = 0; k < pixels; ++k) b.insert(b.end(), px);
    return b;
}

void expect_flat(const Image& img, int w, int h, std::initializer_list<int> want) {
    ASSERT_TRUE(img.ok);
    ASSERT_EQ(img.w, w);
    ASSERT_EQ(img.h, h);
    for (size_t k = 0; k < img.rgba.size(); k += 4) {
        int c = 0;
        for (int v : want) ASSERT_NEAR(img.rgba[k + size_t(c++)], v, 3) << "byte " << k;
    }
}

TEST(JpegDecode, ReadsColourGreyAndInvertedCmyk) {
    expect_flat(
        decode(codecs::decode_jpeg, encode_jpeg(16, 8, 3, JCS_RGB, flat(128, {200, 100, 50}))), 16,
        8, {200, 100, 50, 255});
    expect_flat(decode(codecs::decode_jpeg, encode_jpeg(5, 3, 1, JCS_GRAYSCALE, flat(15, {77}))), 5,
                3, {77, 77, 77, 255});
    // Stored inverted: C = M = Y = 255 is no ink, so K alone sets the level.
    expect_flat(
        decode(codecs::decode_jpeg, encode_jpeg(8, 8, 4, JCS_CMYK, flat(64, {255, 128, 255, 200}))),
        8, 8, {200, 100, 200, 255});
}

TEST(JpegDecode, RefusesTruncatedAndOversizedFiles) {
    const Bytes good = encode_jpeg(16, 16, 3, JCS_RGB, random_bytes(16 * 16 * 3, 2), 90);
    ASSERT_TRUE(decode(codecs::decode_jpeg, good).ok);
    expect_prefixes_fail(codecs::decode_jpeg, good);
    for (int w : {10000, 10001}) {
        EXPECT_EQ(
            decode(codecs::decode_jpeg, encode_jpeg(w, 1, 1, JCS_GRAYSCALE, Bytes(size_t(w), 9)))
                .ok,
            w == 10000);
        EXPECT_EQ(
            decode(codecs::decode_jpeg, encode_jpeg(1, w, 1, JCS_GRAYSCALE, Bytes(size_t(w), 9)))
                .ok,
            w == 10000);
    }
    EXPECT_FALSE(decode(codecs::decode_jpeg, Bytes{0xFF, 0xD8, 0xFF, 0xD9}).ok);
}

// ---- BMP ----

struct BmpSpec {
    const char* name;
    int32_t w, h;
    uint16_t bpp;
    uint32_t compression;
    Bytes palette;  // 4 bytes an entry (3 for the core header)
    Bytes data;
    Bytes want;
    uint32_t header = 40;
    Bytes masks = {};  // after a 40-byte header, or inside a larger one
    uint32_t colours = 0;
};

Bytes encode_bmp(const BmpSpec& s) {
    const bool in_header = s.header > 40;
    const size_t palette_at = 14 + s.header + (in_header ? 0 : s.masks.size());
    const size_t data_at = palette_at + s.palette.size();
    Bytes b(data_at, 0);
    b[0] = 'B', b[1] = 'M';
    put32(b, 2, uint32_t(data_at + s.data.size()));
    put32(b, 10, uint32_t(data_at));
    put32(b, 14, s.header);
    if (s.header == 12) {
        put16(b, 18, uint32_t(s.w));
        put16(b, 20, uint32_t(s.h));
        put16(b, 22, 1);
        put16(b, 24, s.bpp);
    } else {
        put32(b, 18, uint32_t(s.w));
        put32(b, 22, uint32_t(s.h));
        put16(b, 26, 1);
        put16(b, 28, s.bpp);
        put32(b, 30, s.compression);
        put32(b, 46, s.colours);
    }
    std::copy(s.masks.begin(), s.masks.end(),
              b.begin() + ptrdiff_t(in_header ? 54 : 14 + s.header));
    std::copy(s.palette.begin(), s.palette.end(), b.begin() + ptrdiff_t(palette_at));
    b.insert(b.end(), s.data.begin(), s.data.end());
    return b;
}

constexpr uint8_t T = 0;  // a pixel run-length data never reached: transparent black
const Bytes kPal4 = {0,   0, 255, 0, 0, 255, 0, 0,
                     255, 0, 0,   0, 9, 9,   9, 0};  // red, green, blue, grey

class BmpDecode : public ::testing::TestWithParam<BmpSpec> {};

TEST_P(BmpDecode, DecodesToTopFirstRgba) {
    const BmpSpec& s = GetParam();
    const Image img = decode(codecs::decode_bmp, encode_bmp(s));
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.w, s.w);
    EXPECT_EQ(img.h, s.h < 0 ? -s.h : s.h);
    EXPECT_EQ(img.rgba, s.want);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, BmpDecode, ::testing::Values(
    // Bottom-up: the file's first row is the image's last.
    BmpSpec{"OneBit", 3, 2, 1, 0, {0, 0, 0, 0, 255, 255, 255, 0}, {0xA0, 0, 0, 0, 0x60, 0, 0, 0},
            {0, 0, 0, 255,         255, 255, 255, 255, 255, 255, 255, 255,
             255, 255, 255, 255,   0, 0, 0, 255,       255, 255, 255, 255}},
    BmpSpec{"FourBit", 3, 1, 4, 0, kPal4, {0x12, 0x30, 0, 0},
            {0, 255, 0, 255, 0, 0, 255, 255, 9, 9, 9, 255}},
    // 256 entries promised, two before the pixel data: index 2 reads opaque black.
    BmpSpec{"PaletteEndsAtPixelData", 2, 1, 8, 0, {1, 2, 3, 0, 4, 5, 6, 0}, {1, 2, 0, 0},
            {6, 5, 4, 255, 0, 0, 0, 255}, 40, {}, 256},
    BmpSpec{"CoreHeader", 2, 1, 8, 0, {1, 2, 3, 4, 5, 6}, {1, 0, 0, 0},
            {6, 5, 4, 255, 3, 2, 1, 255}, 12},
    BmpSpec{"Rgb24Padded", 3, 2, 24, 0, {},
            {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0,   10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0},
            {12, 11, 10, 255, 15, 14, 13, 255, 18, 17, 16, 255,
             3, 2, 1, 255,    6, 5, 4, 255,    9, 8, 7, 255}},
    BmpSpec{"Rgb24TopDown", 1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0},
            {3, 2, 1, 255, 6, 5, 4, 255}},
    BmpSpec{"Rgb32Alpha", 2, 1, 32, 0, {}, {1, 2, 3, 0, 4, 5, 6, 7}, {3, 2, 1, 0, 6, 5, 4, 7}},
    BmpSpec{"Rgb16Is555", 1, 1, 16, 0, {}, {0x1F, 0x7C}, {255, 0, 255, 255}},
    BmpSpec{"Masks565", 2, 1, 16, 3, {}, {0x00, 0xF8, 0xE0, 0x07},
            {255, 0, 0, 255, 0, 255, 0, 255}, 40,
            {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}},
    BmpSpec{"V4MasksInRgbaOrder", 1, 1, 32, 3, {}, {1, 2, 3, 4}, {1, 2, 3, 4}, 108,
            {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF}},
    // 4 x 3: bottom row a run of 3 then end of line; middle row a jump of
    // (1, 0) then three literals and a pad byte; top row an over-long run,
    // clipped, then the end.
    BmpSpec{"Rle8", 4, 3, 8, 1, kPal4,
            {3, 1, 0, 0,   0, 2, 1, 0,   0, 3, 2, 0, 3, 0,   0, 0,   6, 3,   0, 1},
            {9, 9, 9, 255,   9, 9, 9, 255,     9, 9, 9, 255,     9, 9, 9, 255,
             T, T, T, T,     0, 0, 255, 255,   255, 0, 0, 255,   9, 9, 9, 255,
             0, 255, 0, 255, 0, 255, 0, 255,   0, 255, 0, 255,   T, T, T, T}},
    // A run alternates the two nibbles; three literal nibbles take two bytes.
    BmpSpec{"Rle4", 6, 1, 4, 2, kPal4, {3, 0x12, 0, 3, 0x30, 0x20, 0, 1},
            {0, 255, 0, 255,   0, 0, 255, 255,   0, 255, 0, 255,
             9, 9, 9, 255,     255, 0, 0, 255,   0, 0, 255, 255}}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

TEST(BmpDecode, RefusesBadHeadersAndShortData) {
    // Rows of 12 bytes need no padding, so every byte counts.
    const Bytes good = encode_bmp({"", 4, 2, 24, 0, {}, Bytes(24, 7), {}});
    ASSERT_TRUE(decode(codecs::decode_bmp, good).ok);
    expect_prefixes_fail(codecs::decode_bmp, good);
    // Only the last row may come without its padding.
    Bytes unpadded = encode_bmp({"", 1, 2, 24, 0, {}, Bytes(8, 7), {}});
    unpadded.pop_back();
    EXPECT_TRUE(decode(codecs::decode_bmp, unpadded).ok);
    unpadded.resize(unpadded.size() - 3);
    EXPECT_FALSE(decode(codecs::decode_bmp, unpadded).ok);

    struct Edit {
        const char* what;
        size_t at;
        uint32_t value;
        bool wide;
    };
    const Edit edits[] = {{"zero width", 18, 0, true},
                          {"width 10001", 18, 10001, true},
                          {"negative width", 18, 0xFFFFFFFF, true},
                          {"zero height", 22, 0, true},
                          {"height -10001", 22, uint32_t(-10001), true},
                          {"height INT32_MIN", 22, 0x80000000, true},
                          {"7 bits", 28, 7, false},
                          {"RLE8 at 24 bits", 30, 1, true},
                          {"JPEG inside", 30, 4, true},
                          {"unknown header", 14, 20, true},
                          {"header past end", 14, 4000, true},
                          {"data past end", 10, 60, true}};
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.what);
        Bytes b = good;
        e.wide ? put32(b, e.at, e.value) : put16(b, e.at, e.value);
        EXPECT_FALSE(decode(codecs::decode_bmp, b).ok);
    }

    // Run-length data must be bottom-up and must not end before the image does.
    BmpSpec rle{"", 2, 2, 8, 1, kPal4, {2, 1, 0, 0}, {}};
    EXPECT_FALSE(decode(codecs::decode_bmp, encode_bmp(rle)).ok);
    rle.data.insert(rle.data.end(), {0, 2, 1});  // a jump missing its last byte
    EXPECT_FALSE(decode(codecs::decode_bmp, encode_bmp(rle)).ok);
    rle.data = {2, 1, 0, 0, 2, 1, 0, 0};  // two lines, no end marker: complete
    EXPECT_TRUE(decode(codecs::decode_bmp, encode_bmp(rle)).ok);
    rle.h = -2;
    EXPECT_FALSE(decode(codecs::decode_bmp, encode_bmp(rle)).ok);
    // A palette running past the end of the file.
    Bytes short_palette = encode_bmp({"", 1, 1, 8, 0, kPal4, {0, 0, 0, 0}, {}, 40, {}, 256});
    put32(short_palette, 10, 2000);
    short_palette.resize(70);
    EXPECT_FALSE(decode(codecs::decode_bmp, short_palette).ok);
}

// ---- TGA ----

Bytes encode_tga(uint8_t type, uint16_t w, uint16_t h, uint8_t depth, uint8_t descriptor,
                 const Bytes& data, const Bytes& id = {}, uint16_t map_entries = 0) {
    // Sized once and copied into: GCC 12 at -O3 misreads insert() on a short vector.
    const size_t map_bytes = size_t(map_entries) * 3;
    Bytes b(18 + id.size() + map_bytes + data.size(), 0);
    b[0] = uint8_t(id.size());
    b[1] = map_entries ? 1 : 0;
    b[2] = type;
    put16(b, 5, map_entries);
    b[7] = map_entries ? 24 : 0;
    put16(b, 12, w);
    put16(b, 14, h);
    b[16] = depth;
    b[17] = descriptor;
    auto at = std::copy(id.begin(), id.end(), b.begin() + 18);
    at = std::fill_n(at, map_bytes, 0xAB);
    std::copy(data.begin(), data.end(), at);
    return b;
}

struct TgaSpec {
    const char* name;
    Bytes file;
    int32_t w, h;
    Bytes want;
};

class TgaDecode : public ::testing::TestWithParam<TgaSpec> {};

TEST_P(TgaDecode, DecodesToTopFirstRgba) {
    const TgaSpec& s = GetParam();
    const Image img = decode(codecs::decode_tga, s.file);
    ASSERT_TRUE(img.ok);
    EXPECT_EQ(img.w, s.w);
    EXPECT_EQ(img.h, s.h);
    EXPECT_EQ(img.rgba, s.want);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Layouts, TgaDecode, ::testing::Values(
    TgaSpec{"Bgr24BottomFirst", encode_tga(2, 1, 2, 24, 0x00, {1, 2, 3, 4, 5, 6}), 1, 2,
            {6, 5, 4, 255, 3, 2, 1, 255}},
    TgaSpec{"Bgra32TopFirst", encode_tga(2, 2, 1, 32, 0x28, {1, 2, 3, 4, 5, 6, 7, 0}), 2, 1,
            {3, 2, 1, 4, 7, 6, 5, 0}},
    TgaSpec{"Bgra32PaddingIsOpaque", encode_tga(2, 1, 1, 32, 0x20, {1, 2, 3, 0}), 1, 1,
            {3, 2, 1, 255}},
    TgaSpec{"GreyRightToLeftTopFirst", encode_tga(3, 2, 1, 8, 0x30, {10, 20}), 2, 1,
            {20, 20, 20, 255, 10, 10, 10, 255}},
    TgaSpec{"IdAndUnusedColourMapSkipped", encode_tga(3, 1, 1, 8, 0x20, {42}, {1, 2, 3}, 2), 1, 1,
            {42, 42, 42, 255}},
    // A run of three crosses from the first row into the second, then one literal.
    TgaSpec{"RleAcrossRows", encode_tga(10, 2, 2, 24, 0x20, {0x82, 1, 2, 3, 0x00, 4, 5, 6}), 2, 2,
            {3, 2, 1, 255, 3, 2, 1, 255, 3, 2, 1, 255, 6, 5, 4, 255}},
    // The last run is longer than the pixels left: cut short.
    TgaSpec{"RleGreyRunCut", encode_tga(11, 3, 1, 8, 0x20, {0x00, 5, 0x85, 6}), 3, 1,
            {5, 5, 5, 255, 6, 6, 6, 255, 6, 6, 6, 255}}),
    [](const auto& p) { return std::string(p.param.name); });
// clang-format on

TEST(TgaDecode, RefusesUnsupportedShortAndImplausibleFiles) {
    const Bytes good = encode_tga(
        10, 3, 2, 32, 0x28,
        {0x81, 1, 2, 3, 4, 0x03, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20});
    ASSERT_TRUE(decode(codecs::decode_tga, good).ok);
    expect_prefixes_fail(codecs::decode_tga, good);
    const struct {
        const char* what;
        Bytes file;
    } bad[] = {
        {"colour-mapped", encode_tga(1, 1, 1, 8, 0, {0}, {}, 1)},
        {"16-bit", encode_tga(2, 1, 1, 16, 0, {0, 0})},
        {"8-bit true colour", encode_tga(2, 1, 1, 8, 0, {0})},
        {"zero width", encode_tga(2, 0, 1, 24, 0, {0, 0, 0})},
        {"10001 high", encode_tga(3, 1, 10001, 8, 0, Bytes(10001, 0))},
        {"unknown type", encode_tga(4, 1, 1, 8, 0, {0})},
        // 10000 x 10000 from a few bytes: too short for one packet per 128 pixels.
        {"run-length bomb", encode_tga(11, 10000, 10000, 8, 0, {0xFF, 1, 0xFF, 1})},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.what);
        EXPECT_FALSE(decode(codecs::decode_tga, b.file).ok);
    }
}

// ---- Reading by content ----

TEST(ImageFile, PicksTheDecoderByContent) {
    const Bytes png = encode_png({"", 1, 1, PNG_COLOR_TYPE_RGB, 8, {3, 2, 1}, {}});
    const Bytes jpeg = encode_jpeg(8, 8, 1, JCS_GRAYSCALE, flat(64, {50}));
    const Bytes bmp = encode_bmp({"", 1, 1, 24, 0, {}, {1, 2, 3, 0}, {}});
    const Bytes tga = encode_tga(2, 1, 1, 24, 0, {1, 2, 3});
    for (const Bytes* f : {&png, &bmp, &tga})
        EXPECT_EQ(decode(decode_image, *f).rgba, (Bytes{3, 2, 1, 255}));
    expect_flat(decode(decode_image, jpeg), 8, 8, {50, 50, 50, 255});

    const std::string text = "width,height\n1,1\n";
    for (const Bytes& junk : {Bytes{}, Bytes(text.begin(), text.end()), random_bytes(64, 9)}) {
        EXPECT_EQ(codecs::sniff(junk.data(), junk.size()), codecs::FileType::Unknown);
        EXPECT_FALSE(decode(decode_image, junk).ok);
    }
    int32_t w = -7, h = -7;
    EXPECT_EQ(decode_image(nullptr, 100, &w, &h), nullptr);
    EXPECT_EQ(w, -7);
}

TEST(ImageFile, ReadsFilesAndCountsEveryCall) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(::testing::TempDir()) / "qrn_image_file_test";
    fs::create_directories(dir);
    auto write = [&](const char* name, const Bytes& b) {
        std::ofstream(dir / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return (dir / name).string();
    };
    const std::string tga = write("tile.tga", encode_tga(3, 2, 1, 8, 0x20, {10, 20}));
    const std::string empty = write("empty.png", {});

    const int64_t before = image_file_reads();
    int32_t w = -7, h = -7;
    uint8_t* block = read_image_file(tga.c_str(), &w, &h);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(w, 2);
    EXPECT_EQ(h, 1);
    EXPECT_EQ(Bytes(block, block + 8), (Bytes{10, 10, 10, 255, 20, 20, 20, 255}));
    free_image(block);

    w = h = -7;
    const std::string missing = (dir / "missing.bmp").string(), folder = dir.string();
    for (const char* path :
         {static_cast<const char*>(nullptr), "", missing.c_str(), folder.c_str(), empty.c_str()}) {
        EXPECT_EQ(read_image_file(path, &w, &h), nullptr) << (path ? path : "null");
        EXPECT_EQ(w, -7);
    }
    EXPECT_EQ(image_file_reads(), before + 6);
    free_image(nullptr);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace qrn::imaginglib

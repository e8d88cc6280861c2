// The writers: exact round trips through every lossless format, line writers
// against whole-image writers, resolution records, truncated files, the EMF
// records and the file destination's all-or-nothing rename.
#include "imaginglib/codecs/writers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/image_file.h"

namespace qrn::imaginglib::codecs {
namespace {

using Bytes = std::vector<uint8_t>;

// Seeded pixels; colours fold onto `levels` values per channel, so a picture
// can be kept within GIF's 256 colours.
Bytes picture(int w, int h, int bpp, unsigned seed, int levels = 256) {
    Bytes px(size_t(w) * size_t(h) * size_t(bpp));
    for (size_t k = 0; k < px.size(); ++k) {
        seed = seed * 1103515245u + 12345u;
        px[k] = uint8_t((seed >> 16) % unsigned(levels) * (255u / unsigned(levels - 1 ? levels - 1 : 1)));
    }
    return px;
}

Bytes as_rgba(const Bytes& px, int bpp) {
    if (bpp == 4) return px;
    Bytes out;
    for (size_t k = 0; k < px.size(); k += 3) out.insert(out.end(), {px[k], px[k + 1], px[k + 2], 255});
    return out;
}

Bytes encode(Format f, const Bytes& px, int w, int h, int bpp, const WriteOptions& o = {}) {
    MemoryDest d;
    EXPECT_TRUE(write_image(f, d, px.data(), w, h, bpp, int64_t(w) * bpp, o));
    return d.bytes;
}

struct Decoded {
    bool ok = false;
    int32_t w = 0, h = 0;
    Bytes rgba;
};

Decoded decode(const Bytes& file) {
    Decoded d;
    uint8_t* block = decode_image(file.data(), file.size(), &d.w, &d.h);
    if (block) {
        d.ok = true;
        d.rgba.assign(block, block + size_t(d.w) * size_t(d.h) * 4);
        free_image(block);
    }
    return d;
}

struct Lossless {
    const char* name;
    Format format;
    int bpp, levels;
    FileType type;
};

class RoundTrip : public ::testing::TestWithParam<Lossless> {};

// Odd widths catch row padding; 7 x 5 with two levels stays under 256 colours.
TEST_P(RoundTrip, ReadsBackEveryPixel) {
    const Lossless& c = GetParam();
    for (const auto& [w, h] : {std::pair{1, 1}, {7, 5}, {33, 3}}) {
        SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h));
        const Bytes px = picture(w, h, c.bpp, unsigned(w * 31 + h), c.levels);
        const Bytes file = encode(c.format, px, w, h, c.bpp);
        EXPECT_EQ(sniff(file.data(), file.size()), c.type);
        const Decoded d = decode(file);
        ASSERT_TRUE(d.ok);
        EXPECT_EQ(d.w, w);
        EXPECT_EQ(d.h, h);
        EXPECT_EQ(d.rgba, as_rgba(px, c.bpp));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTrip, ::testing::Values(
    Lossless{"Bmp", Format::Bmp, 3, 256, FileType::Bmp},
    Lossless{"Png24", Format::Png, 3, 256, FileType::Png},
    Lossless{"Png32", Format::Png, 4, 256, FileType::Png},
    Lossless{"Tga", Format::Tga, 4, 256, FileType::Tga},
    Lossless{"Tiff", Format::Tiff, 4, 256, FileType::Tiff},
    Lossless{"Gif", Format::Gif, 3, 6, FileType::Gif},
    Lossless{"Pcx", Format::Pcx, 3, 256, FileType::Pcx},
    Lossless{"Psd", Format::Psd, 3, 256, FileType::Psd}),
    [](const auto& i) { return std::string(i.param.name); });

// Exactly 256 colours still go through unchanged; more get at most 256, and the
// same picture always gives the same file.
TEST(GifWriter, KeepsUpTo256ColoursAndReducesMoreDeterministically) {
    Bytes px;
    for (int k = 0; k < 256; ++k) px.insert(px.end(), {uint8_t(k), uint8_t(255 - k), uint8_t(k * 3)});
    EXPECT_EQ(decode(encode(Format::Gif, px, 16, 16, 3)).rgba, as_rgba(px, 3));

    const Bytes many = picture(64, 64, 3, 9);
    const Bytes a = encode(Format::Gif, many, 64, 64, 3), b = encode(Format::Gif, many, 64, 64, 3);
    EXPECT_EQ(a, b);
    const Decoded d = decode(a);
    ASSERT_TRUE(d.ok);
    std::vector<uint32_t> colours;
    for (size_t k = 0; k < d.rgba.size(); k += 4)
        colours.push_back(uint32_t(d.rgba[k]) << 16 | uint32_t(d.rgba[k + 1]) << 8 | d.rgba[k + 2]);
    std::sort(colours.begin(), colours.end());
    EXPECT_LE(std::unique(colours.begin(), colours.end()) - colours.begin(), 256);
}

// Our TGA declares its eight alpha bits, so a wholly transparent page stays so.
TEST(TgaWriter, KeepsAWhollyTransparentPicture) {
    const Bytes clear(4 * 3 * 4, 0);
    EXPECT_EQ(decode(encode(Format::Tga, clear, 4, 3, 4)).rgba, clear);
}

struct Lines {
    const char* name;
    Format format;
    int bpp;
    bool full_chroma;
};

class LineWriters : public ::testing::TestWithParam<Lines> {};

// A page written one row at a time must be the very file of the whole image.
TEST_P(LineWriters, GiveTheWholeImageWritersBytes) {
    const Lines& c = GetParam();
    const int w = 37, h = 29;
    WriteOptions o;
    o.resolution = {true, 2834.6, 2834.6, 1};
    o.jpeg_full_chroma = c.full_chroma;
    const Bytes px = picture(w, h, c.bpp, 4);
    MemoryDest lines;
    auto writer = make_line_writer(c.format, lines, w, h, c.bpp, o);
    ASSERT_TRUE(writer);
    for (int r = 0; r < h; ++r) {
        const int y = c.format == Format::Bmp ? h - 1 - r : r;
        ASSERT_TRUE(writer->write_line(px.data() + size_t(y) * size_t(w) * size_t(c.bpp)));
    }
    ASSERT_TRUE(writer->finish());
    EXPECT_EQ(lines.bytes, encode(c.format, px, w, h, c.bpp, o));
}

INSTANTIATE_TEST_SUITE_P(Formats, LineWriters, ::testing::Values(
    Lines{"Bmp", Format::Bmp, 3, false}, Lines{"Png24", Format::Png, 3, false},
    Lines{"Png32", Format::Png, 4, false}, Lines{"Jpeg", Format::Jpeg, 3, false},
    Lines{"JpegFullChroma", Format::Jpeg, 3, true}, Lines{"Tga", Format::Tga, 4, false},
    Lines{"Tiff", Format::Tiff, 4, false}),
    [](const auto& i) { return std::string(i.param.name); });

TEST(LineWriters, RefuseFormatsSidesAndPixelSizesTheyCannotWrite) {
    MemoryDest d;
    EXPECT_FALSE(make_line_writer(Format::Gif, d, 4, 4, 3, {}));
    EXPECT_FALSE(make_line_writer(Format::Bmp, d, 4, 4, 4, {}));
    EXPECT_FALSE(make_line_writer(Format::Tga, d, 4, 4, 3, {}));
    EXPECT_FALSE(make_line_writer(Format::Png, d, 0, 4, 3, {}));
    EXPECT_FALSE(make_line_writer(Format::Png, d, 4, kMaxSide + 1, 3, {}));
}

struct Record {
    const char* name;
    Format format;
    int bpp;
    Resolution res;
    uint32_t want;
    int32_t unit;
};

class ResolutionRecords : public ::testing::TestWithParam<Record> {};

// What each writer stores is what the probe reads back: 72 dpi is 2834 per metre.
TEST_P(ResolutionRecords, ProbeReadsWhatTheWriterStored) {
    const Record& c = GetParam();
    WriteOptions o;
    o.resolution = c.res;
    const Bytes file = encode(c.format, picture(5, 4, c.bpp, 1), 5, 4, c.bpp, o);
    ImageProbe p;
    ASSERT_TRUE(probe_image(file.data(), file.size(), p));
    ASSERT_TRUE(p.dims_known);
    EXPECT_EQ(p.width, 5);
    EXPECT_EQ(p.height, 4);
    EXPECT_EQ(p.resolution, c.want);
    EXPECT_EQ(p.unit, c.unit);
}

INSTANTIATE_TEST_SUITE_P(Formats, ResolutionRecords, ::testing::Values(
    Record{"Bmp", Format::Bmp, 3, {true, 72 * 39.3700787, 72 * 39.3700787, 0}, 2834, 2},
    Record{"Png", Format::Png, 4, {true, 72 * 39.3700787, 72 * 39.3700787, 1}, 2834, 1},
    Record{"JpegInch", Format::Jpeg, 3, {true, 300, 300, 1}, 300, 1},
    Record{"JpegCm", Format::Jpeg, 3, {true, 118, 118, 2}, 118, 2},
    Record{"Tiff", Format::Tiff, 4, {true, 300, 300, 2}, 300, 2},
    Record{"PngNone", Format::Png, 3, {}, 0, 0},
    Record{"BmpNone", Format::Bmp, 3, {}, 0, 2}),
    [](const auto& i) { return std::string(i.param.name); });

// No prefix of a file may decode to anything but the whole picture: a reader
// that fills dst halfway is the fault. ASan sees reads past the end.
TEST(Decoders, PrefixesFailOrGiveTheWholePicture) {
    const Bytes px = picture(9, 7, 3, 12, 4);
    const Bytes px4 = picture(9, 7, 4, 12);
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"tiff", encode(Format::Tiff, px4, 9, 7, 4)}, {"gif", encode(Format::Gif, px, 9, 7, 3)},
        {"pcx", encode(Format::Pcx, px, 9, 7, 3)},   {"psd", encode(Format::Psd, px, 9, 7, 3)},
        {"png", encode(Format::Png, px4, 9, 7, 4)},   {"tga", encode(Format::Tga, px4, 9, 7, 4)}};
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        const Decoded whole = decode(file);
        ASSERT_TRUE(whole.ok);
        for (size_t n = 0; n < file.size(); ++n) {
            const Decoded d = decode(Bytes(file.begin(), file.begin() + std::ptrdiff_t(n)));
            if (d.ok) {
                ASSERT_EQ(d.rgba, whole.rgba) << n << " bytes";
            }
        }
    }
}

// The smallest of 1/8, 1/4, 1/2 that keeps the minimum, sides rounded up.
TEST(JpegScaledDecode, KeepsAtLeastTheMinimumSides) {
    const Bytes file = encode(Format::Jpeg, picture(37, 29, 3, 3), 37, 29, 3);
    const struct {
        int32_t min_w, min_h, w, h;
    } cases[] = {{5, 4, 5, 4}, {6, 4, 10, 8}, {10, 8, 10, 8}, {11, 1, 19, 15},
                 {19, 15, 19, 15}, {20, 1, 37, 29}, {0, 0, 37, 29}, {100, 100, 37, 29}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.min_w) + " x " + std::to_string(c.min_h));
        int32_t w = 0, h = 0;
        uint8_t* px = decode_jpeg_scaled(file.data(), file.size(), c.min_w, c.min_h, &w, &h);
        ASSERT_TRUE(px);
        free_image(px);
        EXPECT_EQ(w, c.w);
        EXPECT_EQ(h, c.h);
    }
}

// Headers promising more than any file holds are refused before allocating.
TEST(Decoders, RefuseHugeSidesFromTheHeader) {
    Bytes pcx = encode(Format::Pcx, picture(3, 3, 3, 1), 3, 3, 3);
    put_le16(pcx.data() + 8, 9999);
    put_le16(pcx.data() + 10, 9999);
    put_le16(pcx.data() + 66, 10000);
    Bytes psd = encode(Format::Psd, picture(3, 3, 3, 1), 3, 3, 3);
    put_be32(psd.data() + 14, 10000);
    put_be32(psd.data() + 18, 10000);
    Bytes gif = encode(Format::Gif, picture(3, 3, 3, 1, 2), 3, 3, 3);
    put_le16(gif.data() + 6, 0);
    for (const Bytes* f : {&pcx, &psd, &gif}) EXPECT_FALSE(decode(*f).ok);
}

// Header, StretchDIBits holding the bottom-up BGR rows, end of file; sizes add up.
TEST(EmfWriter, WritesHeaderOneStretchDibitsAndEof) {
    const int w = 3, h = 2;
    const Bytes px = picture(w, h, 3, 5);
    const Bytes f = encode(Format::Emf, px, w, h, 3);
    EXPECT_EQ(sniff(f.data(), f.size()), FileType::Emf);
    EXPECT_FALSE(decode(f).ok);  // metafiles are unreadable here
    std::vector<uint32_t> types;
    for (size_t at = 0; at + 8 <= f.size();) {
        types.push_back(le32(&f[at]));
        const uint32_t size = le32(&f[at + 4]);
        ASSERT_GE(size, 8u);
        if (types.back() == 81) {
            const uint8_t* r = &f[at];
            EXPECT_EQ(le32(r + 40), uint32_t(w));
            EXPECT_EQ(le32(r + 44), uint32_t(h));
            EXPECT_EQ(le32(r + 68), 0x00CC0020u);
            const uint8_t* bits = r + le32(r + 56);
            // First stored row is the bottom one, in B, G, R order.
            EXPECT_EQ(bits[0], px[size_t(w) * 3 + 2]);
            EXPECT_EQ(bits[2], px[size_t(w) * 3]);
            EXPECT_EQ(le32(r + 60), uint32_t(h * 12));
        }
        at += size;
    }
    EXPECT_EQ(types, (std::vector<uint32_t>{1, 81, 14}));
    EXPECT_EQ(le32(&f[48]), f.size());
}

class FileDestTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("qrn_dest_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        target = (dir / "page.bin").string();
        std::ofstream(target) << "old";
        ::chmod(target.c_str(), 0640);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string contents() const {
        std::ifstream in(target, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    size_t entries() const {
        return size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
    }
    std::filesystem::path dir;
    std::string target;
};

TEST_F(FileDestTest, ReplacesTheFileOnlyWhenCommittedAndKeepsItsMode) {
    {
        FileDest d(target.c_str());
        ASSERT_TRUE(d.write("new", 3));
        EXPECT_EQ(contents(), "old");  // nothing visible before commit
        ASSERT_TRUE(d.commit());
    }
    EXPECT_EQ(contents(), "new");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileDestTest, WritesThroughASymbolicLink) {
    const std::string link = (dir / "link.bin").string();
    std::filesystem::create_symlink(target, link);
    FileDest d(link.c_str());
    ASSERT_TRUE(d.write("new", 3));
    ASSERT_TRUE(d.commit());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(contents(), "new");
}

TEST_F(FileDestTest, AFailedOrAbandonedWriteLeavesTheOldFileAndNoTemporary) {
    { FileDest d(target.c_str()); d.write("half", 4); }  // abandoned
    {
        FileDest d(target.c_str());
        d.write("x", 1);
        d.fail();
        EXPECT_FALSE(d.commit());
    }
    // A writer that gives up half way (a side of 0) commits nothing either.
    {
        FileDest d(target.c_str());
        EXPECT_FALSE(write_image(Format::Png, d, nullptr, 0, 0, 3, 0, {}));
    }
    EXPECT_EQ(contents(), "old");
    EXPECT_EQ(entries(), 1u);
    FileDest nowhere((dir / "missing" / "x.png").string().c_str());
    EXPECT_FALSE(nowhere.ok());
    EXPECT_FALSE(FileDest(nullptr).ok());
}

}  // namespace
}  // namespace qrn::imaginglib::codecs

// Image files through the exported API only: writers by extension, readers and
// the new RGBA buffer, converters, page writers, rename; then ImageMagick's
// reading of what we write, where it is installed.
#include <quornel/quornel.h>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr int kW = 23, kH = 17;

Bytes picture(int w, int h, int bpp, unsigned seed) {
    Bytes px(size_t(w) * size_t(h) * size_t(bpp));
    for (auto& v : px) v = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    return px;
}

Bytes slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("qrn_files_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        QRN_SetLastError("");
        QRN_IPLInit(0);
    }
    void TearDown() override {
        QRN_DeleteNewRGBA();
        QRN_DeleteImage();
        fs::remove_all(dir);
    }
    std::string path(const char* name) const { return (dir / name).string(); }
    // The file as the new RGBA buffer; sides 0 when it cannot be read.
    std::pair<int, int> read_sides(const std::string& p) const {
        if (!QRN_ReadFromFile(p.c_str())) return {0, 0};
        return {QRN_GetNewRGBAWidth(), QRN_GetNewRGBAHeight()};
    }
    size_t entries() const { return size_t(std::distance(fs::directory_iterator(dir), {})); }
    fs::path dir;
};

TEST_F(Files, WritersFollowTheExtensionWithoutRegardToCase) {
    const Bytes rgb = picture(kW, kH, 3, 1), rgba = picture(kW, kH, 4, 2);
    struct {
        const char* ext;
        int bpp, result;
        Bytes magic;
    } cases[] = {
        {".JPG", 3, 1, {0xFF, 0xD8, 0xFF}}, {".Bmp", 3, 1, {'B', 'M'}},
        {".png", 3, 1, {0x89, 'P'}},        {".gif", 3, 1, {'G', 'I', 'F'}},
        {".pcx", 3, 1, {0x0A, 5}},          {".psd", 3, 1, {'8', 'B', 'P', 'S'}},
        {".emf", 3, 1, {1, 0, 0, 0}},       {".WMF", 3, 1, {1, 0, 0, 0}},  // EMF inside
        {".tif", 3, 0, {}},                 {".jpeg", 3, 0, {}},
        {".png", 4, 1, {0x89, 'P'}},        {".TGA", 4, 1, {0, 0, 2}},
        {".tif", 4, 1, {'I', 'I', 42}},     {".tiff", 4, 0, {}},
        {".bmp", 4, 0, {}},                 {".jpg", 4, 0, {}},
        {"", 3, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ext) + " " + std::to_string(c.bpp));
        const std::string p = path("out");
        fs::remove(p);
        const int32_t r = c.bpp == 3
                              ? QRN_WriteToFileRGB24(rgb.data(), kW, kH, p.c_str(), c.ext, 72)
                              : QRN_WriteToFileRGBA32(rgba.data(), kW, kH, p.c_str(), c.ext, 72);
        EXPECT_EQ(r, c.result);
        // An extension without a writer leaves no file, not an empty one.
        ASSERT_EQ(fs::exists(p), c.result == 1);
        if (c.result) {
            const Bytes f = slurp(p);
            EXPECT_TRUE(std::equal(c.magic.begin(), c.magic.end(), f.begin()));
        }
    }
    EXPECT_EQ(entries(), 0u);  // the last case wrote nothing, and no temporaries are left
    EXPECT_STREQ(QRN_GetLastError(), "");
}

TEST_F(Files, SizedReadersCopyOnlyAnExactlyMatchingImage) {
    const Bytes rgba = picture(kW, kH, 4, 3);
    const std::string p = path("a.png");
    ASSERT_EQ(QRN_WriteToFileRGBA32(rgba.data(), kW, kH, p.c_str(), ".png", 96), 1);
    Bytes got(rgba.size(), 0xEE);
    ASSERT_EQ(QRN_ReadFromFileRGBA32(got.data(), kW, kH, p.c_str()), 1);
    EXPECT_EQ(got, rgba);
    Bytes rgb(size_t(kW) * kH * 3, 0xEE);
    ASSERT_EQ(QRN_ReadFromFileRGB24(rgb.data(), kW, kH, p.c_str()), 1);
    for (size_t k = 0; k < size_t(kW) * kH; ++k) ASSERT_EQ(rgb[k * 3 + 2], rgba[k * 4 + 2]);
    for (const auto& [w, h] : {std::pair{kW + 1, kH}, {kW - 1, kH}, {kW, kH + 1}, {kW, kH - 1}}) {
        Bytes untouched((size_t(kW) + 1) * (kH + 1) * 4, 0xEE);
        EXPECT_EQ(QRN_ReadFromFileRGBA32(untouched.data(), w, h, p.c_str()), 0);
        EXPECT_EQ(QRN_ReadFromFileRGB24(untouched.data(), w, h, p.c_str()), 0);
        EXPECT_EQ(untouched, Bytes(untouched.size(), 0xEE));
    }
    EXPECT_EQ(QRN_ReadFromFileRGBA32(nullptr, kW, kH, p.c_str()), 0);
    EXPECT_EQ(QRN_ReadFromFileRGBA32(got.data(), kW, kH, nullptr), 0);
}

TEST_F(Files, NewRgbaBufferIsReplacedOnlyByASuccessfulRead) {
    const Bytes rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::string good = path("3x1.bmp"), bad = path("bad.png");
    ASSERT_EQ(QRN_WriteToFileRGB24(rgb.data(), 3, 1, good.c_str(), ".bmp", 72), 1);
    ASSERT_EQ(QRN_ReadFromFile(good.c_str()), 1);
    Bytes out(12, 0xEE);
    QRN_GetNewRGBA24(out.data());
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 9), rgb);
    EXPECT_EQ(Bytes(out.begin() + 9, out.end()), Bytes(3, 0xEE));  // 9 bytes, no more

    Bytes png = slurp(good);
    std::ofstream(bad, std::ios::binary) << "\x89PNG\r\n\x1a\n garbage";
    EXPECT_EQ(QRN_ReadFromFile(bad.c_str()), 0);
    EXPECT_EQ(QRN_ReadFromFile(path("missing.bmp").c_str()), 0);
    EXPECT_EQ(QRN_ReadFromFile(nullptr), 0);
    Bytes rgba(12, 0);
    QRN_GetNewRGBA32(rgba.data());
    EXPECT_EQ(rgba, (Bytes{1, 2, 3, 255, 4, 5, 6, 255, 7, 8, 9, 255}));

    EXPECT_EQ(QRN_DeleteNewRGBA(), 0);
    EXPECT_EQ(QRN_GetNewRGBAWidth(), 3);
    EXPECT_EQ(QRN_GetNewRGBAHeight(), 1);
    Bytes after(12, 0xEE);
    QRN_GetNewRGBA32(after.data());
    QRN_GetResizedNewRGBA24(after.data(), 2, 1);
    EXPECT_EQ(after, Bytes(12, 0xEE));  // absent: nothing
}

TEST_F(Files, ResizedCopyRefusesUnusableSides) {
    const Bytes rgb = picture(8, 8, 3, 4);
    const std::string p = path("8.bmp");
    ASSERT_EQ(QRN_WriteToFileRGB24(rgb.data(), 8, 8, p.c_str(), ".bmp", 72), 1);
    ASSERT_EQ(QRN_ReadFromFile(p.c_str()), 1);
    Bytes out(8 * 8 * 3, 0xEE);
    QRN_GetResizedNewRGBA24(out.data(), 8, 8);  // equal sizes copy exactly
    EXPECT_EQ(out, rgb);
    Bytes untouched(16, 0xEE);
    QRN_GetResizedNewRGBA24(untouched.data(), 0, 4);
    QRN_GetResizedNewRGBA24(untouched.data(), 4, -1);
    QRN_GetResizedNewRGBA24(untouched.data(), 1, 20000);
    EXPECT_EQ(untouched, Bytes(16, 0xEE));
}

TEST_F(Files, ThumbnailIsA24BitBmpWhateverItsName) {
    for (const auto& [w, h, tw, th] : {std::tuple{400, 200, 100, 50}, {200, 400, 50, 100},
                                       {50, 50, 100, 100}, {1000, 1, 100, 1}}) {
        // JPEG sources shrink while decoding; the sizes must not change.
        for (const char* ext : {".png", ".jpg"}) {
            SCOPED_TRACE(std::to_string(w) + " x " + std::to_string(h) + ext);
            const std::string src = path("src") + ext, dst = path("thumb.png");
            ASSERT_EQ(QRN_WriteToFileRGB24(picture(w, h, 3, 5).data(), w, h, src.c_str(), ext, 72), 1);
            EXPECT_EQ(QRN_MakeThumbnail(src.c_str(), dst.c_str()), 0);
            const Bytes f = slurp(dst);
            ASSERT_GE(f.size(), 30u);
            EXPECT_EQ(f[0], 'B');
            EXPECT_EQ(f[28], 24);  // bits per pixel
            EXPECT_EQ(read_sides(dst), std::pair(tw, th));
        }
    }
    EXPECT_EQ(QRN_MakeThumbnail(path("missing.png").c_str(), path("t.bmp").c_str()), 0);
    EXPECT_FALSE(fs::exists(path("t.bmp")));
}

TEST_F(Files, WebPictureIsAJpegWithinTheLimits) {
    struct {
        int w, h, mw, mh, tw, th;
    } cases[] = {{800, 600, 400, 400, 400, 300}, {300, 200, 400, 400, 300, 200},
                 {800, 600, 0, 400, 0, 0}, {800, 600, 400, 0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        const std::string src = path("src.bmp"), dst = path("web.jpg");
        fs::remove(dst);
        const Bytes px = picture(c.w, c.h, 3, 6);
        ASSERT_EQ(QRN_WriteToFileRGB24(px.data(), c.w, c.h, src.c_str(), ".bmp", 72), 1);
        EXPECT_EQ(QRN_MakeWebPic(src.c_str(), dst.c_str(), c.mw, c.mh), 0);
        if (c.tw == 0) {
            EXPECT_FALSE(fs::exists(dst));  // a limit of 0 writes nothing
            continue;
        }
        EXPECT_EQ(slurp(dst)[0], 0xFF);
        EXPECT_EQ(read_sides(dst), std::pair(c.tw, c.th));
    }
}

class Page : public Files {
protected:
    void SetUp() override {
        Files::SetUp();
        QRN_CreateImage(nullptr, kW, kH, 16, 0);
        ASSERT_EQ(QRN_CreateLayer(1, kW, kH), 1);
        QRN_SetLayerOptions(1, 1, 0, 100, "Normal");
        for (int s = 2; s <= 3; ++s) {
            ASSERT_EQ(QRN_CreateLayer(s, kW, kH), 1);
            QRN_SetLayerOptions(s, 1, 0, s == 2 ? 100 : 60, s == 2 ? "Normal" : "Multiply");
            QRN_SetLayer(s);
            const Bytes px = picture(kW, kH, 4, unsigned(s));
            QRN_LoadRGBA32(px.data(), kW * 4, 0);
        }
    }
    // The narrowed QRN_Merge picture, the page writers' reference.
    static Bytes merged(int bpp) {
        std::vector<uint16_t> page(size_t(kW) * kH * 4);
        QRN_Merge(page.data());
        Bytes out;
        for (size_t k = 0; k < page.size(); ++k)
            if (bpp == 4 || k % 4 != 3) out.push_back(uint8_t(page[k] >> 8));
        return out;
    }
};

TEST_F(Page, LosslessPagesEqualTheNarrowedMerge) {
    struct {
        const char* ext;
        int bpp, dpi;  // TGA has no resolution record
    } cases[] = {{".png", 4, 150}, {".tga", 4, 72}, {".tif", 4, 150}, {".png", 3, 150},
                 {".BMP", 3, 150}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ext) + " " + std::to_string(c.bpp));
        const std::string p = path("page");
        const int32_t r = c.bpp == 4 ? QRN_SavePageToFileRGB32(p.c_str(), c.ext, 150)
                                     : QRN_SavePageToFileRGB24(p.c_str(), c.ext, 150);
        EXPECT_EQ(r, 0);
        Bytes got(size_t(kW) * kH * size_t(c.bpp));
        ASSERT_EQ(c.bpp == 4 ? QRN_ReadFromFileRGBA32(got.data(), kW, kH, p.c_str())
                             : QRN_ReadFromFileRGB24(got.data(), kW, kH, p.c_str()),
                  1);
        EXPECT_EQ(got, merged(c.bpp));
        EXPECT_EQ(QRN_GetDPIFromFile(p.c_str()), c.dpi);
    }
    EXPECT_STREQ(QRN_GetLastError(), "");
}

TEST_F(Page, JpegPageAndUnknownExtensions) {
    const std::string jpg = path("page.jpg"), none = path("page.gif");
    EXPECT_EQ(QRN_SavePageToFileRGB24(jpg.c_str(), ".jpg", 300), 0);
    EXPECT_EQ(read_sides(jpg), std::pair(kW, kH));
    EXPECT_EQ(QRN_GetDPIFromFile(jpg.c_str()), 300);
    EXPECT_EQ(QRN_SavePageToFileRGB24(none.c_str(), ".gif", 72), 0);
    EXPECT_EQ(QRN_SavePageToFileRGB32(none.c_str(), ".jpg", 72), 0);
    EXPECT_EQ(QRN_SavePageToFileRGB32(none.c_str(), nullptr, 72), 0);
    EXPECT_FALSE(fs::exists(none));
    QRN_DeleteImage();
    EXPECT_EQ(QRN_SavePageToFileRGB32(none.c_str(), ".png", 72), 0);  // no canvas
    EXPECT_FALSE(fs::exists(none));
}

TEST_F(Page, SetInNewRgbaLoadsTheCurrentLayer) {
    const Bytes px = picture(kW, kH, 4, 9);
    const std::string p = path("in.png");
    ASSERT_EQ(QRN_WriteToFileRGBA32(px.data(), kW, kH, p.c_str(), ".png", 72), 1);
    ASSERT_EQ(QRN_ReadFromFile(p.c_str()), 1);
    QRN_SetLayer(2);
    EXPECT_EQ(QRN_SetInNewRGBA(), kH);
    Bytes got(px.size());
    QRN_GetRGBA32(got.data(), kW * 4);
    size_t same = 0;
    for (size_t k = 0; k < px.size(); k += 4) same += got[k] == px[k];
    EXPECT_GT(same, px.size() / 4 / 2);  // loaded, transparent pixels aside
    QRN_DeleteNewRGBA();
    EXPECT_EQ(QRN_SetInNewRGBA(), 0);
}

TEST_F(Files, RenameRefusesToReplaceAnExistingFile) {
    const std::string a = path("a"), b = path("b"), c = path("c");
    std::ofstream(a) << "A";
    std::ofstream(b) << "B";
    EXPECT_EQ(QRN_RenameFile(a.c_str(), b.c_str()), 0);
    EXPECT_EQ(slurp(a), Bytes{'A'});
    EXPECT_EQ(slurp(b), Bytes{'B'});
    EXPECT_EQ(QRN_RenameFile(a.c_str(), c.c_str()), 1);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(slurp(c), Bytes{'A'});
    EXPECT_EQ(QRN_RenameFile(nullptr, c.c_str()), 0);
    EXPECT_EQ(QRN_RenameFile(c.c_str(), nullptr), 0);
}

TEST_F(Files, OverwriteKeepsPermissionsAndAFailedWriteKeepsTheOldFile) {
    const Bytes rgb = picture(kW, kH, 3, 7);
    const std::string p = path("keep.png");
    std::ofstream(p) << "old";
    ::chmod(p.c_str(), 0604);
    EXPECT_EQ(QRN_WriteToFileRGB24(rgb.data(), 0, kH, p.c_str(), ".png", 72), 0);
    EXPECT_EQ(QRN_WriteToFileRGB24(nullptr, kW, kH, p.c_str(), ".png", 72), 0);
    EXPECT_EQ(QRN_WriteToFileRGB24(rgb.data(), kW, kH, p.c_str(), nullptr, 72), 0);
    EXPECT_EQ(slurp(p), (Bytes{'o', 'l', 'd'}));
    ASSERT_EQ(QRN_WriteToFileRGB24(rgb.data(), kW, kH, p.c_str(), ".png", 72), 1);
    struct stat st {};
    ASSERT_EQ(::stat(p.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_EQ(QRN_WriteToFileRGB24(rgb.data(), kW, kH, path("no/such/dir.png").c_str(), ".png", 72), 0);
    EXPECT_EQ(entries(), 1u);
}

// ---- ImageMagick reads what we write ----

std::string run(const std::string& cmd) {
    std::unique_ptr<FILE, int (*)(FILE*)> p(::popen(cmd.c_str(), "r"), ::pclose);
    if (!p) return {};
    std::string out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p.get())) out.append(buf, n);
    return out;
}

TEST_F(Files, ImageMagickReadsFormatSizeDensityAndPixels) {
    if (run("command -v identify").empty()) GTEST_SKIP() << "ImageMagick's identify is not installed";
    Bytes rgb = picture(kW, kH, 3, 8), rgba(size_t(kW) * kH * 4);
    for (size_t k = 0; k < size_t(kW) * kH; ++k) {
        std::copy_n(&rgb[k * 3], 3, &rgba[k * 4]);
        rgba[k * 4 + 3] = 255;  // opaque: the comparison is of colour
    }
    // GIF gets a picture of few colours so that it too must be exact.
    Bytes few = rgb;
    for (auto& v : few) v &= 0xC0;
    struct {
        const char* ext;
        int bpp;
        const char* format;  // identify's name starts with this
        const char* density;  // "" where the format has none
        bool lossless;
    } cases[] = {
        {".bmp", 3, "BMP", "118.11 PixelsPerCentimeter", true},
        {".png", 3, "PNG", "118.11 PixelsPerCentimeter", true},
        {".jpg", 3, "JPEG", "300 PixelsPerInch", false},
        {".gif", 3, "GIF", "", true},
        {".pcx", 3, "PCX", "", true},
        {".psd", 3, "PSD", "", true},
        {".png", 4, "PNG", "118.11 PixelsPerCentimeter", true},
        {".tga", 4, "TGA", "", true},
        {".tif", 4, "TIFF", "300 PixelsPerInch", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + std::to_string(c.bpp));
        const std::string p = path((std::string("im") + std::to_string(c.bpp) + c.ext).c_str());
        const Bytes& src = c.bpp == 4 ? rgba : std::string(c.ext) == ".gif" ? few : rgb;
        ASSERT_EQ(c.bpp == 3 ? QRN_WriteToFileRGB24(src.data(), kW, kH, p.c_str(), c.ext, 300)
                             : QRN_WriteToFileRGBA32(src.data(), kW, kH, p.c_str(), c.ext, 300),
                  1);
        const std::string info = run("identify -format '%m %w %h' '" + p + "' 2>&1");
        EXPECT_EQ(info.rfind(c.format, 0), 0u) << info;
        char sides[32];
        std::snprintf(sides, sizeof sides, " %d %d", kW, kH);
        EXPECT_NE(info.find(sides), std::string::npos) << info;
        if (*c.density) {
            // 300 dpi is 11811 per metre: 118.11 per cm, which identify prints long.
            double x = 0, y = 0;
            char unit[40] = {};
            const std::string d = run("identify -format '%x %y %U' '" + p + "' 2>&1");
            ASSERT_EQ(std::sscanf(d.c_str(), "%lf %lf %39s", &x, &y, unit), 3) << d;
            double want = 0;
            char want_unit[40] = {};
            std::sscanf(c.density, "%lf %39s", &want, want_unit);
            EXPECT_NEAR(x, want, 0.005);
            EXPECT_NEAR(y, want, 0.005);
            EXPECT_STREQ(unit, want_unit);
        }
        if (!c.lossless) continue;
        const std::string raw = run("convert '" + p + "' -depth 8 rgb:- 2>/dev/null");
        const Bytes pixels(raw.begin(), raw.end());
        Bytes want;
        for (size_t k = 0; k < size_t(kW) * kH; ++k)
            for (int ch = 0; ch < 3; ++ch) want.push_back(src[k * size_t(c.bpp) + size_t(ch)]);
        EXPECT_EQ(pixels, want);
    }
}

}  // namespace

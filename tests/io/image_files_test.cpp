// The engine's file rules without files where it can: the DPI table and its
// snapping, the converters' target sizes; then the probe on files we write.
#include "io/image_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/imaging_api/imaging.h"

namespace qrn::io {
namespace {

// Reference for the snap: the nearest listed value within one, else 72.
int32_t snapped(int32_t v) {
    for (int32_t s : {72, 96, 150, 200, 300, 450, 600})
        if (std::abs(v - s) <= 1) return s;
    return 72;
}

TEST(Dpi, SnapsWithinOneOfEachListedValueAndOtherwiseGives72) {
    for (int32_t v = -5; v <= 700; ++v) {
        SCOPED_TRACE(v);
        EXPECT_EQ(snap_dpi(v), snapped(v));
    }
}

struct DpiCase {
    int32_t type;
    uint32_t value;
    int32_t unit;
    int32_t want;
};

// Each format's factor per unit, and the units it has none for.
TEST(Dpi, ConvertsEachFormatsUnitWithItsFactor) {
    using namespace imaging;
    const DpiCase cases[] = {
        {kFileJpeg, 300, 1, 300},  {kFileJpeg, 118, 2, 300},   // 299.7 truncates to 299
        {kFileJpeg, 300, 0, 72},   {kFileJpeg, 300, 3, 72},
        {kFilePng, 3937, 1, 72},   {kFilePng, 2835, 1, 72},    // 99 is in no window
        {kFilePng, 5906, 1, 150},  {kFilePng, 11811, 2, 72},
        {kFileBmp, 2834, 2, 72},   {kFileBmp, 118, 1, 300},
        {kFileBmp, 11811, 3, 72},  {kFileBmp, 11811, 2, 300},
        {kFileTiff, 600, 2, 600},  {kFileTiff, 600, 1, 72},    {kFileTiff, 177, 3, 450},
        {kFilePsd, 96, 2, 96},     {kFilePsd, 300, 1, 72},     {kFilePsd, 79, 3, 200},
        {2 /* GIF */, 300, 1, 72}, {0, 300, 1, 72},
        // A value that saturates the conversion is no resolution at all.
        {kFileJpeg, 0xFFFFFFFFu, 1, 72}, {kFileTiff, 0xFFFFFFFFu, 3, 72},
    };
    for (const DpiCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.value) + " " +
                     std::to_string(c.unit));
        EXPECT_EQ(dpi_from_header(c.type, c.value, c.unit), c.want);
    }
}

struct SizeCase {
    int32_t w, h, max_w, max_h;
    bool ok;
    int32_t tw, th;
};

TEST(Converters, ThumbnailIs100OnTheLongerSideAndNever0) {
    const SizeCase cases[] = {
        {400, 200, 0, 0, true, 100, 50}, {200, 400, 0, 0, true, 50, 100},
        {50, 50, 0, 0, true, 100, 100},  {1000, 1, 0, 0, true, 100, 1},
        {1, 1000, 0, 0, true, 1, 100},   {300, 299, 0, 0, true, 100, 99},
        {0, 10, 0, 0, false, 0, 0},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
        int32_t tw = 0, th = 0;
        ASSERT_EQ(thumbnail_size(c.w, c.h, tw, th), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(tw, c.tw);
        EXPECT_EQ(th, c.th);
    }
}

TEST(Converters, WebPictureFitsTheLimitsWithoutEnlarging) {
    const SizeCase cases[] = {
        {800, 600, 400, 400, true, 400, 300}, {300, 200, 400, 400, true, 300, 200},
        {600, 800, 400, 400, true, 300, 400}, {1000, 1, 10, 400, true, 10, 1},
        {800, 600, 0, 400, false, 0, 0},      {800, 600, 400, 0, false, 0, 0},
        // Negative limits are huge unsigned numbers: no limit at all.
        {800, 600, -1, -1, true, 800, 600},   {800, 600, 400, -1, true, 400, 300},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h) + " in " +
                     std::to_string(c.max_w) + " x " + std::to_string(c.max_h));
        int32_t tw = 0, th = 0;
        ASSERT_EQ(web_pic_size(c.w, c.h, c.max_w, c.max_h, tw, th), c.ok);
        if (!c.ok) continue;
        EXPECT_EQ(tw, c.tw);
        EXPECT_EQ(th, c.th);
    }
}

// The probe on real files: the stored units come back through the table.
TEST(Dpi, ReadsTheResolutionOfFilesWeWrite) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("qrn_dpi_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<uint8_t> px(8 * 8 * 4, 200);
    struct {
        const char* name;
        imaging::FileFormat format;
        int bpp;
        double res;
        int32_t unit, want;
    } files[] = {
        {"cm.jpg", imaging::FileFormat::Jpeg, 3, 118, 2, 300},
        {"inch.jpg", imaging::FileFormat::Jpeg, 3, 300, 1, 300},
        {"3937.png", imaging::FileFormat::Png, 4, 3937, 1, 72},
        {"5906.png", imaging::FileFormat::Png, 4, 5906, 1, 150},
        {"600.tif", imaging::FileFormat::Tiff, 4, 600, 2, 600},
        {"none.bmp", imaging::FileFormat::Bmp, 3, 0, 0, 72},
        {"plain.gif", imaging::FileFormat::Gif, 3, 0, 0, 72},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string path = (dir / f.name).string();
        imaging::FileOptions o;
        o.has_resolution = f.res > 0;
        o.res_x = o.res_y = f.res;
        o.res_unit = f.unit;
        ASSERT_TRUE(imaging::write_image_file(path.c_str(), f.format, px.data(), 8, 8, f.bpp,
                                              8 * f.bpp, o));
        EXPECT_EQ(dpi_from_file(path.c_str()), f.want);
    }
    EXPECT_EQ(dpi_from_file((dir / "missing.png").string().c_str()), 72);
    EXPECT_EQ(dpi_from_file(nullptr), 72);
    std::filesystem::remove_all(dir);
}

// The buffer is freed and its sides recorded before the allocation: a failed
// one leaves it absent with the new sides and the text the host looks for.
TEST(NewRgba, FailedAllocationLeavesItAbsentWithItsText) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("qrn_new_rgba_" + std::to_string(::getpid()) + ".bmp");
    const std::vector<uint8_t> px(5 * 3 * 3, 9);
    ASSERT_TRUE(imaging::write_image_file(path.string().c_str(), imaging::FileFormat::Bmp,
                                          px.data(), 5, 3, 3, 15, {}));
    EngineState st;
    ASSERT_TRUE(create_new_rgba(st, 2, 2));
    alloc_hook::fail_next(1);
    EXPECT_EQ(read_from_file(st, path.string().c_str()), 0);
    alloc_hook::reset();
    EXPECT_TRUE(st.new_rgba.pixels.empty());
    EXPECT_EQ(st.new_rgba.width, 5);
    EXPECT_EQ(st.new_rgba.height, 3);
    EXPECT_STREQ(st.last_error.text, "CreateNewRGBA Excpt");
    EXPECT_EQ(read_from_file(st, path.string().c_str()), 1);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace qrn::io

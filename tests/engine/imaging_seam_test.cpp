// The engine's seams to the imaging and image-script libraries.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/imaging_api/imaging.h"
#include "engine/imaging_api/scripts.h"

using namespace qrn;

namespace {

// A top-down 24-bit BMP of w x h pixels with the given header size fields.
std::vector<uint8_t> bmp24(int32_t w, int32_t h, int32_t header_w, int32_t header_h) {
    const uint32_t row = uint32_t((w * 3 + 3) & ~3);
    const uint32_t data = row * uint32_t(h);
    std::vector<uint8_t> f(54 + data, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    f[0] = 'B', f[1] = 'M';
    put32(2, uint32_t(f.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(header_w));
    put32(22, uint32_t(-header_h));  // negative height: top-down
    f[26] = 1;
    f[28] = 24;
    put32(34, data);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = &f[54 + size_t(y) * row + size_t(x) * 3];
            p[0] = uint8_t(10 * x);  // blue
            p[1] = uint8_t(20 * y);  // green
            p[2] = 200;              // red
        }
    return f;
}

std::string write_temp(const std::string& name, const std::vector<uint8_t>& bytes) {
    const auto path = std::filesystem::temp_directory_path() / name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path.string();
}

}  // namespace

TEST(ImagingSeam, ReadsAnImageFileAsRgbaAndCountsReads) {
    const std::string path = write_temp("qrn_seam_ok.bmp", bmp24(3, 2, 3, 2));
    const int64_t reads = imaging::image_file_reads();
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(imaging::read_image_file(path.c_str(), rgba, w, h));
    EXPECT_EQ(imaging::image_file_reads(), reads + 1);
    ASSERT_EQ(w, 3);
    ASSERT_EQ(h, 2);
    ASSERT_EQ(rgba.size(), 24u);
    const uint8_t* p = &rgba[(1 * 3 + 2) * 4];  // row 1, column 2
    EXPECT_EQ(p[0], 200);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 20);
    EXPECT_EQ(p[3], 255);
    std::filesystem::remove(path);
}

TEST(ImagingSeam, RefusesNullPathsMissingFilesAndOversizedHeaders) {
    std::vector<uint8_t> rgba(4, 7);
    int32_t w = -1, h = -1;
    EXPECT_FALSE(imaging::read_image_file(nullptr, rgba, w, h));
    EXPECT_FALSE(imaging::read_image_file("/nonexistent/qrn.png", rgba, w, h));
    // A header claiming 20000 pixels a row over a tiny file never allocates for it.
    const std::string path = write_temp("qrn_seam_big.bmp", bmp24(2, 2, 20000, 2));
    EXPECT_FALSE(imaging::read_image_file(path.c_str(), rgba, w, h));
    EXPECT_EQ(w, -1);
    EXPECT_EQ(rgba.size(), 4u);
    std::filesystem::remove(path);
}

TEST(ScriptSeam, RendersInRgbOrderAndFallsBackForNonScripts) {
    const std::string script =
        "QIS 1\nheader 1 0 1 0xFF0000FF 4 3\neffect 100 3=0xFF102030\nend\n";
    const std::string path = write_temp("qrn_seam.qis", std::vector<uint8_t>(script.begin(), script.end()));
    std::vector<uint8_t> rgba;
    int32_t w = 0, h = 0;
    ASSERT_TRUE(scripts::render(path.c_str(), rgba, w, h));
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 3);
    ASSERT_EQ(rgba.size(), 48u);
    EXPECT_EQ(rgba[0], 0x10);  // red first
    EXPECT_EQ(rgba[2], 0x30);
    const std::string bmp = write_temp("qrn_seam_not_script.bmp", bmp24(2, 2, 2, 2));
    EXPECT_FALSE(scripts::render(bmp.c_str(), rgba, w, h));
    EXPECT_FALSE(scripts::render(nullptr, rgba, w, h));
    std::filesystem::remove(path);
    std::filesystem::remove(bmp);
}

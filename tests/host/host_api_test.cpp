// Drives the shared library through its exported C API only, as a host would.
#include <quornel/quornel.h>
#include <quornel/quornel_host.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

constexpr int kW = 64, kH = 48;

class Host : public ::testing::Test {
protected:
    void SetUp() override {
        QRN_SetLastError("");
        QRN_IPLInit(0);
        QRN_CreateImage(nullptr, kW, kH, 32, 0);
    }
    void TearDown() override {
        QRN_DeleteImage();
        QRN_IPLExit();
    }
    static std::vector<uint8_t> picture(uint8_t seed) {
        std::vector<uint8_t> px(size_t(kW) * kH * 4);
        for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t(i * 7 + seed);
        for (size_t i = 3; i < px.size(); i += 4) px[i] = 255;
        return px;
    }
    static std::vector<uint8_t> read_current() {
        std::vector<uint8_t> px(size_t(kW) * kH * 4);
        EXPECT_EQ(QRN_GetRGBA32(px.data(), kW * 4), kH);
        return px;
    }
};

}  // namespace

TEST(HostExports, EveryNameOfTheExportListResolves) {
    std::ifstream map(QRN_MAP_FILE);
    ASSERT_TRUE(map.good());
    const std::regex entry(R"(^\s+((QRNX?_|BankAdrs)\w*);)");
    int names = 0;
    for (std::string line; std::getline(map, line);) {
        std::smatch m;
        if (!std::regex_search(line, m, entry)) continue;
        ++names;
        EXPECT_NE(dlsym(RTLD_DEFAULT, m[1].str().c_str()), nullptr) << m[1];
    }
    EXPECT_GT(names, 100);
}

TEST_F(Host, PaintingRunKeepsTheLastErrorEmpty) {
    ASSERT_EQ(QRN_CreateLayer(1, kW, kH), 1);
    ASSERT_EQ(QRN_CreateLayer(2, kW, kH), 1);
    QRN_SetLayerOptions(2, 1, 0, 100, "Normal");
    QRN_SetLayer(2);
    QRN_SetUndoLevels(20);
    QRN_SetUndoMB(16);
    const auto a = picture(1), b = picture(99);
    QRN_LoadRGBA32(a.data(), kW * 4, 0);
    QRN_SaveUndoBuffer(1, 1);
    QRN_LoadRGBA32(b.data(), kW * 4, 0);
    QRN_SaveUndoBuffer(1, 1);
    QRN_Undo();
    EXPECT_EQ(read_current(), a);
    QRN_Redo();
    EXPECT_EQ(read_current(), b);
    QRN_Undo();
    EXPECT_EQ(read_current(), a);

    std::vector<uint8_t> z(size_t(kW) * kH * 4 + 256);
    const int32_t n = QRN_GetRGBA32LayerCompressed(z.data(), 0, int32_t(z.size()), 2, 0);
    ASSERT_GT(n, 0);
    QRN_Clear(0, 0, 0, 0);
    QRN_LoadRGBA32LayerCompressed(z.data(), 0, n, 2);
    EXPECT_EQ(read_current(), a);
    EXPECT_STREQ(QRN_GetLastError(), "");
}

TEST_F(Host, ImpossibleRequestsReturnNormallyWithTheirExcptText) {
    ASSERT_EQ(QRN_CreateLayer(2, kW, kH), 1);
    QRN_SetLayer(2);
    const auto a = picture(3);
    QRN_LoadRGBA32(a.data(), kW * 4, 0);
    const uint8_t garbage[] = {0x78, 0x9C, 1, 2, 3, 4, 5, 6, 7};
    QRN_LoadRGBA32LayerCompressed(garbage, 0, sizeof garbage, 2);
    EXPECT_STREQ(QRN_GetLastError(), "LoadRGBA32LayerCompressed Excpt");
    EXPECT_EQ(read_current(), a);
    uint8_t small[8];
    EXPECT_EQ(QRN_GetRGBA32LayerCompressed(small, 0, sizeof small, 2, 6), 0);
    EXPECT_STREQ(QRN_GetLastError(), "GetRGBA32Layer Excpt");
}

TEST_F(Host, OutOfRangeSlotsActLikeEmptySlots) {
    EXPECT_EQ(QRN_CreateLayer(64, kW, kH), 0);
    EXPECT_EQ(QRN_CreateLayer(-1, kW, kH), 0);
    EXPECT_EQ(QRN_CreateLayer(3, 20000, 20000), 0);
    EXPECT_EQ(QRN_CreateLayer(3, 0, 10), 0);
    std::vector<uint8_t> buf(size_t(kW) * kH * 4, 0xAB);
    EXPECT_EQ(QRN_GetRGBA32Layer(buf.data(), kW * 4, -1), 0);
    EXPECT_EQ(QRN_GetRGBA32Layer(buf.data(), kW * 4, 64), 0);
    EXPECT_EQ(QRN_GetRGBA32Layer(buf.data(), kW * 4, 5), 0);
    EXPECT_EQ(buf[0], 0xAB);
    EXPECT_EQ(QRN_LoadRGBA32Layer(buf.data(), kW * 4, 64, kW, kH, 0), 0);
    const int32_t num = QRN_GetLayerNum();
    QRN_SetLayer(64);
    QRN_SetLayer(-7);
    EXPECT_EQ(QRN_GetLayerNum(), num);
    QRN_SetLayerAlpha(70, 1);
    QRN_InvertAlpha(-2);
    QRN_CreateBlobFromImage(99, 1);
    QRN_SwapLayers(1, 64);
    QRN_RGBA64RectToRGBA32(nullptr, 0, 0, 4, 4, 4, 0, nullptr);
    QRN_SetLayerOptions(2, 1, 0, 100, nullptr);
    EXPECT_EQ(QRN_GetLayerCount(), 0);
    EXPECT_STREQ(QRN_GetLastError(), "");
}

TEST_F(Host, CanvasSizesOutsideTheRangeBecomeOneHundred) {
    QRN_CreateImage(nullptr, 10001, 50, 8, 0);
    std::vector<uint8_t> rgb(size_t(100) * 3 * 50 + 3, 0);
    QRN_SetPixelRGB24(rgb.data(), 300, 99, 0, 0xFF00, 0xFF00, 0xFF00);
    QRN_SetPixelRGB24(rgb.data(), 300, 100, 0, 0xFF00, 0xFF00, 0xFF00);
    EXPECT_EQ(rgb[99 * 3], 0xFF);
    EXPECT_EQ(rgb[100 * 3], 0);
}

TEST_F(Host, UndoHistoryCounts) {
    ASSERT_EQ(QRN_CreateLayer(2, kW, kH), 1);
    QRN_SetLayer(2);
    EXPECT_EQ(QRN_SetUndoLevels(1000), 500);
    QRN_SetUndoMB(16);
    QRN_SaveUndoBuffer(1, 0);
    QRN_SaveUndoBuffer(1, 0);
    QRN_Undo();
    EXPECT_EQ(QRN_CanRedo(), 1);
    QRN_SaveUndoBuffer(1, 0);
    EXPECT_EQ(QRN_CanRedo(), 0);
    EXPECT_EQ(QRN_GetUndoCount(), 2);
    EXPECT_EQ(QRN_SetUndoLevels(0), 0);
    QRN_SaveUndoBuffer(1, 0);
    EXPECT_EQ(QRN_GetUndoCount(), 0);
    EXPECT_EQ(QRN_CanUndo(), 0);
}

TEST_F(Host, UndoOfADeletedLayerLeavesTheCurrentLayerAlone) {
    ASSERT_EQ(QRN_CreateLayer(2, kW, kH), 1);
    ASSERT_EQ(QRN_CreateLayer(3, kW, kH), 1);
    QRN_SetUndoLevels(10);
    QRN_SetUndoMB(16);
    QRN_SetLayer(2);
    QRN_Clear(10, 20, 30, 255);
    QRN_SaveUndoBuffer(1, 0);
    QRN_DeleteLayer(2);
    QRN_SetLayer(3);
    const auto c = picture(5);
    QRN_LoadRGBA32(c.data(), kW * 4, 0);
    QRN_Undo();
    EXPECT_EQ(QRN_GetLayerNum(), 3);
    EXPECT_EQ(read_current(), c);
}

TEST_F(Host, SaveWithoutACurrentLayerDoesNotCrash) {
    QRN_SetUndoLevels(5);
    QRN_SaveUndoBuffer(1, 1);
    QRN_Undo();
    QRN_Redo();
    QRN_Clear(1, 2, 3, 4);
    std::vector<uint8_t> rgb(size_t(kW) * kH * 3);
    EXPECT_EQ(QRN_GetRGB24(rgb.data(), kW * 3), 0);
    EXPECT_STREQ(QRN_GetLastError(), "");
}

TEST_F(Host, UndoMemoryFollowsTheCanvas) {
    QRN_CreateImage(nullptr, 2048, 2048, 8, 0);
    EXPECT_EQ(QRN_GetCurrentUndoMemory(), 40);
    QRN_SetUndoMB(0);
    EXPECT_GE(QRN_GetTotalUndoMemory(), 15 * 4096 / 1024);
}

TEST_F(Host, DeleteImageThenOperationsAreHarmless) {
    ASSERT_EQ(QRN_CreateLayer(2, kW, kH), 1);
    QRN_SetLayer(2);
    QRN_DeleteImage();
    std::vector<uint8_t> buf(size_t(kW) * kH * 4, 7);
    QRN_LoadRGBA32(buf.data(), kW * 4, 1);
    QRN_ClearMasked(1, 2, 3, 4);
    QRN_SaveUndoBuffer(1, 1);
    QRN_Undo();
    QRN_BlurPaintLayerAlpha();
    EXPECT_EQ(QRN_GetRGBA32(buf.data(), kW * 4), 0);
    EXPECT_EQ(QRN_CreateTexture(2), nullptr);
}

TEST(HostUtilities, MemoryHelpersAndDisplayFlag) {
    char text[] = "abcdef";
    QRN_Memcpy(text + 1, text, 4);
    EXPECT_STREQ(text, "aabcdf");
    QRN_Memcpy(text, "zz", 0);
    QRN_Memcpy(text, "zz", -5);
    QRN_Memcpy(nullptr, text, 3);
    EXPECT_STREQ(text, "aabcdf");
    int x = 0;
    EXPECT_EQ(BankAdrs(&x), &x);
    EXPECT_EQ(QRN_Alloc(-1), nullptr);
    void* block = QRN_Alloc(64);
    ASSERT_NE(block, nullptr);
    QRN_Free(block);
    QRN_Free(nullptr);
    EXPECT_GT(QRN_GetTotalPhyMemory(), 0);
    EXPECT_GT(QRN_GetAvailPhyMemory(), 0);
    EXPECT_GE(QRN_GetTotalPgMemory(), QRN_GetTotalPhyMemory());
    ASSERT_NE(QRN_GetDirInfo(), nullptr);
    EXPECT_GT(std::strlen(QRN_GetDirInfo()), 0u);

    EXPECT_EQ(QRN_IsDisplayChanged(), 0);
    QRNX_NotifyDisplayChanged();
    EXPECT_EQ(QRN_IsDisplayChanged(), 1);
    EXPECT_EQ(QRN_IsDisplayChanged(), 0);
    QRNX_NotifyPowerEvent(7);
    EXPECT_EQ(QRN_IsDisplayChanged(), 0);
    QRNX_NotifyPowerEvent(18);
    EXPECT_EQ(QRN_IsDisplayChanged(), 1);
}

TEST(HostUtilities, LastErrorKeeps511CharactersAndIgnoresNull) {
    const std::string long_text(600, 'q');
    QRN_SetLastError(long_text.c_str());
    EXPECT_EQ(std::string(QRN_GetLastError()), long_text.substr(0, 511));
    QRN_SetLastError(nullptr);
    EXPECT_EQ(std::strlen(QRN_GetLastError()), 511u);
    QRN_SetStartDir(nullptr);
    QRN_SetLastError("");
}

TEST_F(Host, MaskFlagsReturnTheByteGiven) {
    EXPECT_EQ(QRN_EnableMask(0x101), 1);
    EXPECT_EQ(QRN_DisplayMask(0x200), 0);
    EXPECT_EQ(QRN_EnableMask(1), 1);
}

TEST_F(Host, MaskRoundTripsThroughItsGreyViewAndLineCodec) {
    std::vector<uint8_t> grey(size_t(kW) * kH * 3), back(grey.size());
    for (size_t i = 0; i < grey.size(); i += 3) grey[i] = grey[i + 1] = grey[i + 2] = uint8_t(i / 3);
    QRN_LoadMask(grey.data(), kW * 3, kW, kH);
    QRN_SaveMask(back.data(), kW * 3);
    EXPECT_EQ(back, grey);
    // A mask row through the run-length line format and back changes nothing.
    std::vector<uint8_t> line(size_t(kW) * 2);
    ASSERT_GT(QRN_GetMaskLineRLE(line.data(), 3), 0);
    QRN_ClearMask(0, 0, 0);
    QRN_PutMaskLineRLE(line.data(), 3);
    QRN_SaveMask(back.data(), kW * 3);
    EXPECT_EQ(back[size_t(3 * kW) * 3], grey[size_t(3 * kW) * 3]);
    EXPECT_EQ(QRN_GetMaskLineRLE(line.data(), kH), 0);
    EXPECT_EQ(QRN_GetMaskLineRLE(line.data(), -1), 0);
    QRN_DeleteImage();
    QRN_ClearMask(0, 0, 0);
    QRN_InvertMask();
    QRN_SaveMask(back.data(), kW * 3);
    EXPECT_EQ(QRN_GetMaskLineRLE(line.data(), 0), 0);
    EXPECT_STREQ(QRN_GetLastError(), "");
}

TEST_F(Host, AdjustFiltersRoundTripAHalfTransparentPixel) {
    uint8_t px[4] = {255, 128, 0, 128};
    QRN_AdjustRGBA32PreFilter(px, 1, 1);
    EXPECT_EQ(px[0], 128);
    EXPECT_EQ(px[1], 64);
    QRN_AdjustRGBA32PostFilter(px, 1, 1);
    EXPECT_EQ(px[0], 255);
    EXPECT_EQ(px[1], 127);
    QRN_AdjustRGBA32PreFilter(nullptr, 1, 1);
}

TEST_F(Host, MaskDabsSelectWithDarkPaintUntilTheNextTool) {
    ASSERT_EQ(QRN_CreateLayer(2, kW, kH), 1);
    QRN_SetLayer(2);
    QRN_SetSize(9);
    QRN_SetTool(1.0f, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, "", "", 0);
    QRN_SetAlpha(100);
    QRN_SetMaskMakerOn();
    std::vector<uint8_t> grey(size_t(kW) * kH * 3);
    const size_t centre = (size_t(20) * kW + 20) * 3;
    QRN_DrawDabGrit(20, 20, 0xFFFF, 0xFFFF, 0xFFFF);  // white deselects
    QRN_SaveMask(grey.data(), kW * 3);
    EXPECT_EQ(grey[centre], 255);
    QRN_DrawDabGrit(20, 20, 0, 0, 0);  // still a mask dab: black selects again
    QRN_SaveMask(grey.data(), kW * 3);
    EXPECT_EQ(grey[centre], 0);
    std::vector<uint8_t> px(size_t(kW) * kH * 4);
    QRN_GetRGBA32(px.data(), kW * 4);
    EXPECT_EQ(px[(size_t(20) * kW + 20) * 4 + 3], 0);  // the layer was not painted
    QRN_SetTool(1.0f, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, "", "", 0);
    QRN_DrawDabGrit(20, 20, 0, 0, 0);
    QRN_GetRGBA32(px.data(), kW * 4);
    EXPECT_EQ(px[(size_t(20) * kW + 20) * 4 + 3], 255);  // a colour dab again
    // Far outside the canvas nothing is painted, and nothing breaks.
    QRN_DrawDabGrit(-1000, -1000, 0, 0, 0);
    QRN_DrawDabGrit(INT32_MAX, INT32_MIN, 0, 0, 0);
    EXPECT_STREQ(QRN_GetLastError(), "");
}

TEST_F(Host, MergeAndRenderThroughTheApi) {
    QRN_CreateLayer(1, kW, kH);
    QRN_CreateLayer(2, kW, kH);
    QRN_SetLayerOptions(1, 1, 0, 100, "Normal");
    QRN_SetLayerOptions(2, 1, 0, 300, "Multiply");  // 300 % acts as 100 %
    QRN_SetLayer(2);
    QRN_Clear(128, 64, 255, 255);
    std::vector<uint16_t> page(size_t(kW) * kH * 4);
    QRN_Merge(page.data());
    EXPECT_EQ(page[0] >> 8, 128);  // 0x8000 times paper words of 0xFFFF (above 1.0)
    EXPECT_EQ(page[3], 0xFFFF);
    EXPECT_EQ(QRN_GetColorAtMerged(0, 0), (page[0] >> 8) << 16 | (page[1] >> 8) << 8 | (page[2] >> 8));
    EXPECT_EQ(QRN_GetColorAtMerged(-1, -1), -1);
    QRN_SetViewSize(kW, kH);
    QRN_SetScale(1, 1);
    std::vector<uint8_t> bgr(size_t(kW) * kH * 3);
    EXPECT_EQ(QRN_Render(nullptr, kW * 3, 0, 0, kW, kH), 0);
    EXPECT_EQ(QRN_Render(bgr.data(), kW * 3, -10, -10, 1000, 1000), 1);
    EXPECT_EQ(bgr[2], page[0] >> 8);
    EXPECT_EQ(bgr[0], page[2] >> 8);
    // Merging the layer into the paper gives the page; the paper's slot takes it.
    QRN_MergeLayer(2, 1);
    QRN_SetLayerOptions(2, 0, 0, 100, "Multiply");
    std::vector<uint16_t> again(page.size());
    QRN_Merge(again.data());
    EXPECT_EQ(again, page);
    EXPECT_STREQ(QRN_GetLastError(), "");
}

// RGBA64 host rows at an odd byte stride are not word aligned: the conversions and
// the fill must give the same bytes as at an even stride.
TEST_F(Host, OddStridesOfWordBuffersGiveTheSameBytes) {
    const int32_t even = kW * 8 + 2, odd = kW * 8 + 1, wide = kW * 4;
    std::vector<uint8_t> a(size_t(even) * kH + 8), b(size_t(odd) * kH + 8);
    QRN_ClearRGBA64(reinterpret_cast<uint16_t*>(a.data()), even, 0x1234, 0x5678, 0x9ABC, 0xDEF0);
    QRN_ClearRGBA64(reinterpret_cast<uint16_t*>(b.data() + 1), odd, 0x1234, 0x5678, 0x9ABC, 0xDEF0);
    for (int y = 0; y < kH; ++y)
        ASSERT_EQ(0, std::memcmp(&a[size_t(y) * even], &b[size_t(y) * odd + 1], size_t(kW) * 8)) << y;
    for (size_t i = 0; i < a.size(); ++i) a[i] = uint8_t(i * 13 + 5);
    for (int y = 0; y < kH; ++y)
        std::memcpy(&b[size_t(y) * odd + 1], &a[size_t(y) * even], size_t(kW) * 8);
    for (int bpp : {4, 3}) {
        std::vector<uint8_t> from_even(size_t(wide) * kH), from_odd(size_t(wide) * kH);
        const auto* se = reinterpret_cast<const uint16_t*>(a.data());
        const auto* so = reinterpret_cast<const uint16_t*>(b.data() + 1);
        if (bpp == 4) {
            QRN_GetRGBA32FromRGBA64(from_even.data(), wide, 5, kH, se, even);
            QRN_GetRGBA32FromRGBA64(from_odd.data(), wide, 5, kH, so, odd);
        } else {
            QRN_GetRGB24FromRGBA64(from_even.data(), wide, se, even);
            QRN_GetRGB24FromRGBA64(from_odd.data(), wide, so, odd);
        }
        EXPECT_EQ(from_even, from_odd) << bpp;
    }
}

// The exports linked statically with the core, so allocation failures can be
// injected: each must end in its "<Op> Excpt" text or stated fallback, with
// the engine still usable and nothing leaked.
#include <gtest/gtest.h>
#include <quornel/quornel.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/buffer.h"
#include "engine/engine_state.h"

using namespace qrn;

namespace {

struct Injected : ::testing::Test {
    void SetUp() override {
        QRN_SetLastError("");
        QRN_DeleteImage();
        baseline = alloc_hook::live_blocks();
    }
    void TearDown() override {
        alloc_hook::reset();
        QRN_DeleteImage();
    }
    long baseline = 0;
};

}  // namespace

TEST_F(Injected, CreateImageReportsItsTextAndRecoversOnTheNextCall) {
    for (long n = 0; n < 30; ++n) {
        SCOPED_TRACE(n);
        QRN_SetLastError("");
        alloc_hook::fail_after(n);
        QRN_CreateImage(nullptr, 32, 32, 16, 0);
        alloc_hook::reset();
        const std::string err = QRN_GetLastError();
        if (err.empty()) break;  // every allocation got through
        EXPECT_EQ(err, "CreateImage Excpt");
        // Whatever was left half-made, painting calls stay harmless...
        QRN_CreateLayer(2, 32, 32);
        QRN_SetLayer(2);
        QRN_SaveUndoBuffer(1, 1);
        QRN_Undo();
        QRN_Clear(1, 2, 3, 4);
        // ...and a fresh canvas works.
        QRN_SetLastError("");
        QRN_CreateImage(nullptr, 32, 32, 16, 0);
        EXPECT_STREQ(QRN_GetLastError(), "");
        QRN_DeleteImage();
    }
    // Random byte arrays survive DeleteImage by design; count them out.
    QRN_CreateImage(nullptr, 32, 32, 16, 0);
    QRN_DeleteImage();
    const long arrays = alloc_hook::live_blocks() - baseline;
    EXPECT_LE(arrays, 2);
}

TEST_F(Injected, CreateLayerRetriesOnceThenReportsAndReturnsZero) {
    QRN_CreateImage(nullptr, 64, 64, 8, 0);
    alloc_hook::fail_next(1);
    EXPECT_EQ(QRN_CreateLayer(2, 64, 64), 1);
    EXPECT_STREQ(QRN_GetLastError(), "");
    alloc_hook::fail_next(2);
    EXPECT_EQ(QRN_CreateLayer(3, 64, 64), 0);
    EXPECT_STREQ(QRN_GetLastError(), "CreateLayer Excpt");
    alloc_hook::reset();
    EXPECT_EQ(QRN_GetLayerCount(), 1);
    EXPECT_EQ(QRN_CreateLayer(3, 64, 64), 1);
}

TEST_F(Injected, SaveUndoBufferRecordsNothingButKeepsTheBackBufferTrue) {
    QRN_CreateImage(nullptr, 16, 16, 8, 0);
    ASSERT_EQ(QRN_CreateLayer(2, 16, 16), 1);
    QRN_SetLayer(2);
    QRN_SetUndoLevels(10);
    QRN_SetUndoMB(8);
    const long before = alloc_hook::live_blocks();
    QRN_Clear(200, 0, 0, 255);
    alloc_hook::fail_after(0);
    QRN_SaveUndoBuffer(1, 1);
    alloc_hook::reset();
    EXPECT_EQ(QRN_GetUndoCount(), 0);
    EXPECT_EQ(alloc_hook::live_blocks(), before);
    // The next save starts from the true state: undoing it gives the red layer.
    QRN_Clear(0, 0, 200, 255);
    QRN_SaveUndoBuffer(1, 1);
    QRN_Undo();
    std::vector<uint8_t> px(16 * 16 * 4);
    QRN_GetRGBA32(px.data(), 16 * 4);
    EXPECT_EQ(px[0], 200);
    EXPECT_EQ(px[2], 0);
}

TEST_F(Injected, CompressedTransferFailuresKeepTheLayer) {
    QRN_CreateImage(nullptr, 16, 16, 8, 0);
    ASSERT_EQ(QRN_CreateLayer(2, 16, 16), 1);
    QRN_SetLayer(2);
    QRN_Clear(10, 20, 30, 255);
    std::vector<uint8_t> z(4096);
    const int32_t n = QRN_GetRGBA32LayerCompressed(z.data(), 0, int32_t(z.size()), 2, 6);
    ASSERT_GT(n, 0);
    alloc_hook::fail_after(0);
    EXPECT_EQ(QRN_GetRGBA32LayerCompressed(z.data(), 0, int32_t(z.size()), 2, 6), 0);
    EXPECT_STREQ(QRN_GetLastError(), "GetRGBA32Layer Excpt");
    QRN_Clear(1, 1, 1, 1);
    QRN_LoadRGBA32LayerCompressed(z.data(), 0, n, 2);
    EXPECT_STREQ(QRN_GetLastError(), "LoadRGBA32LayerCompressed Excpt");
    alloc_hook::reset();
    std::vector<uint8_t> px(16 * 16 * 4);
    QRN_GetRGBA32(px.data(), 16 * 4);
    EXPECT_EQ(px[0], 1);
}

// Either buffer of a geometry call failing changes nothing; a layer that
// cannot be re-created stops the loop with the earlier layers at the new
// size, and the alpha lock comes back either way.
TEST_F(Injected, GeometryFailuresReportTheirTextsAndStopAtTheFailingLayer) {
    const struct {
        void (*call)();
        const char* text;
        int32_t new_width;  // 0: the layers keep their size
    } ops[] = {
        {[] { QRN_IPLResize(8, 6, "Box"); }, "IPLResize Excpt", 8},
        {[] { QRN_IPLResizePage(8, 6, "MC"); }, "IPLResizePage Excpt", 8},
        {[] { QRN_IPLCrop(0, 0, 8, 6); }, "IPLCrop Excpt", 8},
        {[] { QRN_IPLRotateLeft(); }, "IPLRotateLeft Excpt", 12},
        {[] { QRN_IPLRotateRight(); }, "IPLRotateRight Excpt", 12},
        {[] { QRN_IPLFlipHorizontal(); }, "IPLFlipHorizontal Excpt", 0},
        {[] { QRN_IPLFlipVertical(); }, "IPLVlipVertical Excpt", 0},
        {[] { QRN_IPLAllocSrcBuffer32(); }, "IPLAllocSrcBuffer32 Excpt", 0},
        {[] { QRN_IPLAllocDstBuffer32(); }, "IPLAllocDstBuffer32 Excpt", 0},
        {[] { QRN_IPLAllocSrcBuffer24(); }, "IPLAllocSrcBuffer24 Excpt", 0},
        {[] { QRN_IPLAllocDstBuffer24(); }, "IPLAllocDstBuffer24 Excpt", 0},
    };
    auto& slots = engine().canvas.slots;
    for (const auto& op : ops) {
        SCOPED_TRACE(op.text);
        QRN_CreateImage(nullptr, 16, 12, 8, 0);
        QRN_CreateLayer(1, 16, 12);
        QRN_CreateLayer(2, 16, 12);
        QRN_SetLayerOptions(2, 1, 1, 100, "Normal");
        QRN_SetLastError("");
        alloc_hook::fail_next(1);
        op.call();
        alloc_hook::reset();
        EXPECT_STREQ(QRN_GetLastError(), op.text);
        EXPECT_EQ(slots[1].width, 16);
        EXPECT_EQ(slots[2].width, 16);
        if (op.new_width > 0) {
            // Scratch, result and slot 1 succeed; slot 2 fails twice (the retry too).
            QRN_SetLastError("");
            alloc_hook::fail_after(3);
            op.call();
            alloc_hook::reset();
            EXPECT_STREQ(QRN_GetLastError(), op.text);
            EXPECT_EQ(slots[1].width, op.new_width);
            EXPECT_TRUE(slots[2].pixels.empty());
            EXPECT_EQ(slots[2].alpha_locked, 1);
        }
        QRN_IPLFreeSrcBuffer32();
        QRN_DeleteImage();
    }
    // Only the random byte arrays, which outlive the canvas by design.
    EXPECT_LE(alloc_hook::live_blocks() - baseline, 2);
}

// Each image brush export reports a failed allocation under its own text; the
// mix into the blend buffer reports its sizing step's.
TEST_F(Injected, ImageBrushFailuresReportTheirTexts) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "qrn_injected_image_brush.png").string();
    const std::vector<uint8_t> rgba(6 * 6 * 4, 200);
    struct Case {
        void (*setup)();
        void (*op)(const char* path, const uint8_t* rgba);
        const char* text;
    };
    const Case cases[] = {
        {[] {}, [](const char*, const uint8_t*) { QRN_FillImageBrush(1, 2, 3); },
         "FillImageBrush Excpt"},
        {[] {}, [](const char*, const uint8_t*) { QRN_CopyToImageBrush(); },
         "CopyToImageBrush Excpt"},
        {[] {}, [](const char*, const uint8_t* px) { QRN_LoadImageBrushFromRGBA32(px, 6, 6); },
         "LoadImageBrushFromRGBA32 Excpt"},
        {[] {}, [](const char* p, const uint8_t*) { QRN_LoadImageBrush(p); },
         "LoadImageBrush Excpt"},
        {[] {}, [](const char* p, const uint8_t*) { QRN_LoadImageBrushArray(p); },
         "LoadImageBrushArray Excpt"},
        {[] {}, [](const char* p, const uint8_t*) { QRN_SaveImageBrush(p); },
         "SaveImageBrush Excpt"},
        {[] {
             QRN_SizeImageBrush();
             QRN_SetSize(5);
         },
         [](const char*, const uint8_t*) { QRN_SizeImageBrush(); }, "SizeImageBrush Excpt"},
        {[] {
             QRN_SizeImageBrush();
             QRN_SetSize(3);
         },
         [](const char*, const uint8_t*) { QRN_CopyFromImageBrush(50); }, "SizeImageBrush Excpt"},
        {[] { QRN_SizeImageBrush(); },
         [](const char*, const uint8_t*) { QRN_RotateImageBrush(30); }, "RotateImageBrush Excpt"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QRN_CreateImage(nullptr, 16, 16, 8, 0);
        QRN_SetSize(6);
        QRN_FillImageBrush(9, 9, 9);
        QRN_SaveImageBrush(path.c_str());
        c.setup();
        QRN_SetLastError("");
        alloc_hook::fail_next(1);
        c.op(path.c_str(), rgba.data());
        alloc_hook::reset();
        EXPECT_STREQ(QRN_GetLastError(), c.text);
        QRN_DeleteImage();
    }
    std::filesystem::remove(path);
}

TEST_F(Injected, DistortionsReportTheirTextsAndKeepTheLayer) {
    constexpr int32_t w = 16, h = 8;
    QRN_CreateImage(nullptr, w, h, 8, 0);
    ASSERT_EQ(QRN_CreateLayer(2, w, h), 1);
    QRN_SetLayer(2);
    QRN_Clear(10, 20, 30, 255);
    QRN_IPLAllocDstBuffer32();
    std::vector<uint8_t> src(size_t(w) * h * 4, 0x80);
    QRN_IPLAllocSrcBuffer32();
    QRN_IPLSetSrcBuffer32(src.data());
    const std::string script = testing::TempDir() + "export_failure_bump.qis";
    std::ofstream(script) << "QIS 1\nheader 1 1 1 0xFF808080 4 4\nend\n";
    std::vector<uint8_t> rgb(size_t(w) * h * 3, 7);
    struct Case {
        const char* text;
        void (*call)(const std::string&, std::vector<uint8_t>&);
    };
    const Case cases[] = {
        {"IPLPan Excpt",
         [](const std::string&, std::vector<uint8_t>&) { QRN_IPLPan(1, 0, 0, 0, 0, 0, 0, 0); }},
        {"BlurMoreBuffer Excpt",
         [](const std::string&, std::vector<uint8_t>& px) {
             QRN_BlurMoreBufferRGB24(px.data(), w, h, 4, 100);
         }},
        {"IPLDisplacementBump Excpt",
         [](const std::string& s, std::vector<uint8_t>&) {
             QRN_IPLDisplacementBummp(s.c_str(), 2.0, 0);
         }},
    };
    std::vector<uint16_t> before(size_t(w) * h * 4), after(before.size());
    QRN_GetLayerData(before.data(), 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        QRN_SetLastError("");
        alloc_hook::fail_next(1);
        c.call(script, rgb);
        alloc_hook::reset();
        EXPECT_STREQ(QRN_GetLastError(), c.text);
        QRN_GetLayerData(after.data(), 2);
        EXPECT_EQ(after, before);
        EXPECT_EQ(rgb, std::vector<uint8_t>(rgb.size(), 7));
    }
    // Without the failure the pan goes through and reports nothing.
    QRN_SetLastError("");
    QRN_IPLPan(1, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_STREQ(QRN_GetLastError(), "");
    QRN_GetLayerData(after.data(), 2);
    EXPECT_NE(after, before);
}

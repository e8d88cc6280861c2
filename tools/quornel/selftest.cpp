// quornel selftest: exercises canvas, layers, transfer, brushes and undo through the
// C API and checks each result.
#include "cli.h"

#include <quornel/quornel.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace cli {
namespace {

int g_failures = 0;

void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "  ok  " : "  FAIL", what);
    if (!ok) ++g_failures;
}

// A picture with some structure: a gradient with a disc in it.
std::vector<uint8_t> make_picture(int w, int h) {
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &px[(size_t(y) * size_t(w) + size_t(x)) * 4];
            const int dx = x - w / 2, dy = y - h / 2;
            const bool disc = dx * dx + dy * dy < (w / 4) * (w / 4);
            p[0] = uint8_t(x * 255 / (w - 1));
            p[1] = uint8_t(y * 255 / (h - 1));
            p[2] = disc ? 200 : 40;
            p[3] = 255;
        }
    return px;
}

}  // namespace

int selftest() {
    const int w = 320, h = 200;
    std::printf("quornel selftest: %dx%d canvas\n", w, h);
    check(QRN_IPLInit(0) != 0, "imaging library starts");
    QRN_CreateImage(nullptr, w, h, 64, 0);
    check(QRN_CreateLayer(1, w, h) == 1, "paper layer created in slot 1");
    check(QRN_CreateLayer(2, w, h) == 1, "painting layer created in slot 2");
    check(QRN_GetLayerCount() == 2, "two layers counted");
    QRN_SetLayerOptions(2, 1, 0, 100, "Multiply");
    QRN_SetLayer(2);
    check(QRN_GetLayerNum() == 2, "slot 2 is current");

    std::vector<uint16_t> paper(size_t(w) * size_t(h) * 4);
    QRN_GetLayerData(paper.data(), 1);
    bool white = true;
    for (uint16_t v : paper) white = white && v == 0xFFFF;
    check(white, "paper is opaque white in every word");

    QRN_SetUndoLevels(16);
    QRN_SetUndoMB(64);
    const std::vector<uint8_t> picture = make_picture(w, h);
    QRN_LoadRGBA32(picture.data(), w * 4, 0);
    std::vector<uint8_t> back(picture.size());
    QRN_GetRGBA32(back.data(), w * 4);
    check(back == picture, "picture loaded and read back unchanged");
    QRN_SaveUndoBuffer(1, 0);

    QRN_Clear(255, 0, 0, 255);
    QRN_GetRGBA32(back.data(), w * 4);
    check(back[0] == 255 && back[1] == 0 && back[3] == 255, "layer cleared to red");
    QRN_SaveUndoBuffer(1, 0);
    check(QRN_GetUndoCount() == 2, "two undo steps stored");

    QRN_Undo();
    QRN_GetRGBA32(back.data(), w * 4);
    check(back == picture, "undo brings the picture back");
    QRN_Redo();
    QRN_GetRGBA32(back.data(), w * 4);
    check(back[0] == 255 && back[1] == 0, "redo brings the red back");
    QRN_Undo();

    std::vector<uint8_t> packed(size_t(w) * size_t(h) * 4 + 1024);
    const int32_t n = QRN_GetRGBA32LayerCompressed(packed.data(), 0, int32_t(packed.size()), 2, 6);
    std::printf("  compressed layer: %d bytes from %zu\n", n, picture.size());
    check(n > 0, "layer compresses");
    QRN_Clear(0, 0, 0, 0);
    QRN_LoadRGBA32LayerCompressed(packed.data(), 0, n, 2);
    QRN_GetRGBA32(back.data(), w * 4);
    check(back == picture, "compressed layer restores the picture");

    // A brush stroke: a soft round brush, then the same stroke again from the
    // same seed must give the same pixels.
    auto paint_stroke = [&] {
        QRN_Clear(0, 0, 0, 0);
        QRN_SetRandomSeed(7);
        QRN_SetSize(24);
        QRN_SetTool(1.0f, 3, 200, 220, 128, 8, 4, 0, 0, 0, 0, 0, 0, "", "", 0);
        QRN_SetAlpha(100);
        QRN_SetDensity(256);
        for (int i = 0; i < 40; ++i) {
            QRN_DrawDabGrit(40 + i * 6, 60 + (i * i) % 80, 0x2000, 0x6000, 0xC000);
            QRN_DecDrawingLength();
        }
    };
    paint_stroke();
    std::vector<uint8_t> stroke(picture.size());
    QRN_GetRGBA32(stroke.data(), w * 4);
    size_t painted = 0;
    for (size_t i = 3; i < stroke.size(); i += 4) painted += stroke[i] != 0;
    std::printf("  stroke: 40 dabs painted %zu pixels\n", painted);
    check(painted > 1000, "brush stroke paints pixels");
    paint_stroke();
    QRN_GetRGBA32(back.data(), w * 4);
    check(back == stroke, "same seed repaints the same stroke");
    QRN_SaveUndoBuffer(1, 0);
    QRN_Undo();
    QRN_GetRGBA32(back.data(), w * 4);
    check(back != stroke, "undo takes the stroke back");

    check(QRN_CreateLayer(64, w, h) == 0, "slot 64 is refused");
    check(QRN_GetLastError()[0] == '\0', "no error reported");
    QRN_DeleteImage();
    QRN_IPLExit();
    std::printf("selftest %s (%d failure%s)\n", g_failures ? "FAILED" : "passed", g_failures,
                g_failures == 1 ? "" : "s");
    return g_failures ? 1 : 0;
}

}  // namespace cli

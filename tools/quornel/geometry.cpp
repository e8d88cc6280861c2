// quornel resize, page, crop, rotate and flip: a picture as the background
// layer of a canvas of its own size, one geometry call, then QRN_NewSize at
// the new size as a host does, and the layer written as PNG.
#include <quornel/quornel.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli.h"

namespace cli {

const char* const kFilterNames[kFilterCount] = {
    "Area Average", "Nearest Neighbor", "Bilinear", "Bicubic",  "Box",     "Triangle",
    "Hamming",      "Gaussian",         "Bell",     "B-Spline", "Cubic 1", "Cubic 2",
    "Lanczos3",     "Mitchell",         "Sinc",     "Hermite",  "Hanning", "Catrom"};

bool known_filter(const std::string& name) {
    for (const char* f : kFilterNames)
        if (name == f) return true;
    return false;
}

int geometry(const GeometryRequest& rq) {
    constexpr int32_t kMaxBrush = 8;
    const int32_t dpi = QRN_GetDPIFromFile(rq.in.c_str());
    if (QRN_ReadFromFile(rq.in.c_str()) != 1) {
        std::fprintf(stderr, "quornel %s: cannot read %s\n", rq.command.c_str(), rq.in.c_str());
        return 1;
    }
    const int32_t w = QRN_GetNewRGBAWidth(), h = QRN_GetNewRGBAHeight();
    std::vector<uint8_t> px(size_t(w) * size_t(h) * 4);
    QRN_GetNewRGBA32(px.data());
    QRN_DeleteNewRGBA();

    int32_t nw = rq.width, nh = rq.height;
    if (rq.command == "crop") {
        if (!(0 <= rq.left && rq.left < rq.right && rq.right <= w && 0 <= rq.top &&
              rq.top < rq.bottom && rq.bottom <= h)) {
            std::fprintf(stderr, "quornel crop: the rectangle %d,%d,%d,%d is not inside the %dx%d picture\n",
                         rq.left, rq.top, rq.right, rq.bottom, w, h);
            return 2;
        }
        nw = rq.right - rq.left;
        nh = rq.bottom - rq.top;
    } else if (rq.command == "rotate") {
        nw = h;
        nh = w;
    } else if (rq.command == "flip") {
        nw = w;
        nh = h;
    }

    QRN_IPLInit(0);
    QRN_CreateImage(nullptr, w, h, kMaxBrush, 0);
    QRN_CreateLayer(1, w, h);
    QRN_LoadRGBA32Layer(px.data(), w * 4, 1, w, h, 0);
    const auto t0 = std::chrono::steady_clock::now();
    if (rq.command == "resize") QRN_IPLResize(nw, nh, rq.name.c_str());
    else if (rq.command == "page") QRN_IPLResizePage(nw, nh, rq.name.c_str());
    else if (rq.command == "crop") QRN_IPLCrop(rq.left, rq.top, rq.right, rq.bottom);
    else if (rq.command == "rotate" && rq.option) QRN_IPLRotateLeft();
    else if (rq.command == "rotate") QRN_IPLRotateRight();
    else if (rq.option) QRN_IPLFlipVertical();
    else QRN_IPLFlipHorizontal();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    QRN_NewSize(nullptr, nw, nh, kMaxBrush, 0);

    std::vector<uint8_t> result(size_t(nw) * size_t(nh) * 4);
    const bool changed = QRN_GetRGBA32Layer(result.data(), nw * 4, 1) == nh;
    const std::string error = QRN_GetLastError();
    QRN_DeleteImage();
    QRN_IPLExit();
    if (!changed) {
        std::fprintf(stderr, "quornel %s: the engine did not change the picture%s%s\n",
                     rq.command.c_str(), error.empty() ? "" : ": ", error.c_str());
        return 1;
    }
    if (QRN_WriteToFileRGBA32(result.data(), nw, nh, rq.out.c_str(), ".png", dpi) != 1) {
        std::fprintf(stderr, "quornel %s: cannot write %s\n", rq.command.c_str(), rq.out.c_str());
        return 1;
    }
    std::printf("%s: %dx%d from %dx%d, %s%s%s in %.1f ms\n", rq.out.c_str(), nw, nh, w, h,
                rq.command.c_str(), rq.name.empty() ? "" : " ", rq.name.c_str(), ms);
    return 0;
}

}  // namespace cli

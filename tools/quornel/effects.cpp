// quornel photopop and hsl: PhotoPop on a picture loaded as the current layer
// with the work buffers a host allocates around it, and the HSL adjustment of
// the picture's own pixels; both write PNG and print the time of the call.
#include <quornel/quornel.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"

namespace cli {
namespace {

// The picture as packed RGBA32, or false after saying why.
bool read_picture(const char* command, const std::string& in, std::vector<uint8_t>& px, int32_t& w,
                  int32_t& h) {
    if (QRN_ReadFromFile(in.c_str()) != 1) {
        std::fprintf(stderr, "quornel %s: cannot read %s\n", command, in.c_str());
        return false;
    }
    w = QRN_GetNewRGBAWidth();
    h = QRN_GetNewRGBAHeight();
    px.assign(size_t(w) * size_t(h) * 4, 0);
    QRN_GetNewRGBA32(px.data());
    QRN_DeleteNewRGBA();
    return true;
}

bool write_picture(const char* command, const std::string& out, const std::vector<uint8_t>& px,
                   int32_t w, int32_t h, int32_t dpi) {
    if (QRN_WriteToFileRGBA32(px.data(), w, h, out.c_str(), ".png", dpi) == 1) return true;
    std::fprintf(stderr, "quornel %s: cannot write %s\n", command, out.c_str());
    return false;
}

double ms_since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int photopop(const std::string& in, const std::string& out, int contrast, int saturation) {
    constexpr int32_t kMaxBrush = 8;
    const int32_t dpi = QRN_GetDPIFromFile(in.c_str());
    std::vector<uint8_t> px;
    int32_t w = 0, h = 0;
    if (!read_picture("photopop", in, px, w, h)) return 1;
    QRN_IPLInit(0);
    QRN_CreateImage(nullptr, w, h, kMaxBrush, 0);
    QRN_CreateLayer(1, w, h);
    QRN_SetLayer(1);
    QRN_LoadRGBA32Layer(px.data(), w * 4, 1, w, h, 0);
    QRN_IPLAllocSrcBuffer32();
    QRN_IPLAllocDstBuffer32();
    const auto t0 = std::chrono::steady_clock::now();
    const int32_t rows = QRN_IPLPhotoPop(contrast, saturation, 0);
    const double ms = ms_since(t0);
    QRN_IPLFreeSrcBuffer32();
    QRN_IPLFreeDstBuffer32();
    const bool read = QRN_GetRGBA32Layer(px.data(), w * 4, 1) == h;
    QRN_DeleteImage();
    QRN_IPLExit();
    if (rows != h || !read) {
        std::fprintf(stderr, "quornel photopop: the engine did not change the picture\n");
        return 1;
    }
    if (!write_picture("photopop", out, px, w, h, dpi)) return 1;
    std::printf("%s: %dx%d, photopop contrast %d saturation %d in %.1f ms\n", out.c_str(), w, h,
                contrast, saturation, ms);
    return 0;
}

int hsl(const std::string& in, const std::string& out, int hue, int saturation, int lightness) {
    const int32_t dpi = QRN_GetDPIFromFile(in.c_str());
    std::vector<uint8_t> px;
    int32_t w = 0, h = 0;
    if (!read_picture("hsl", in, px, w, h)) return 1;
    const auto t0 = std::chrono::steady_clock::now();
    QRN_ProcessBuffer_HSLAdjust(px.data(), w, h, hue, saturation, lightness);
    const double ms = ms_since(t0);
    if (!write_picture("hsl", out, px, w, h, dpi)) return 1;
    std::printf("%s: %dx%d, hue %+d, saturation %+d%%, lightness %+d%% in %.1f ms\n", out.c_str(),
                w, h, hue, saturation, lightness, ms);
    return 0;
}

}  // namespace cli

// quornel convert and quornel thumbnail: image files through the engine's readers
// and writers, as a host would call them.
#include <quornel/quornel.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli.h"

namespace cli {
namespace {

// The writers know ".jpg" and ".tif" only; the longer spellings of a path are
// passed as those.
std::string writer_extension(const std::string& path) {
    std::string ext = std::filesystem::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".jpeg") return ".jpg";
    if (ext == ".tiff") return ".tif";
    return ext;
}

bool one_of(const std::string& ext, std::initializer_list<const char*> list) {
    for (const char* e : list)
        if (ext == e) return true;
    return false;
}

}  // namespace

int convert(const std::string& in, const std::string& out, int dpi) {
    const std::string ext = writer_extension(out);
    const bool rgba = one_of(ext, {".png", ".tga", ".tif"});
    if (!rgba && !one_of(ext, {".bmp", ".emf", ".gif", ".jpg", ".pcx", ".psd", ".wmf"})) {
        std::fprintf(stderr, "quornel convert: no writer for '%s' (%s)\n", ext.c_str(), out.c_str());
        return 2;
    }
    Progress progress("convert", 2);
    if (dpi <= 0) dpi = QRN_GetDPIFromFile(in.c_str());
    if (QRN_ReadFromFile(in.c_str()) != 1) {
        std::fprintf(stderr, "quornel convert: cannot read %s\n", in.c_str());
        return 1;
    }
    const int32_t w = QRN_GetNewRGBAWidth(), h = QRN_GetNewRGBAHeight();
    progress.step("read");
    std::vector<uint8_t> px(size_t(w) * size_t(h) * (rgba ? 4 : 3));
    if (rgba)
        QRN_GetNewRGBA32(px.data());
    else
        QRN_GetNewRGBA24(px.data());
    QRN_DeleteNewRGBA();
    const int32_t written =
        rgba ? QRN_WriteToFileRGBA32(px.data(), w, h, out.c_str(), ext.c_str(), dpi)
             : QRN_WriteToFileRGB24(px.data(), w, h, out.c_str(), ext.c_str(), dpi);
    progress.step("written");
    progress.clear();
    if (written != 1) {
        std::fprintf(stderr, "quornel convert: cannot write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s: %dx%d at %d dpi\n", out.c_str(), w, h, dpi);
    return 0;
}

int thumbnail(const std::string& in, const std::string& out, int web_width, int web_height) {
    Progress progress("thumbnail", 1);
    std::error_code ec;
    std::filesystem::remove(out, ec);
    // Both converters return 0 whatever happened: the file tells.
    if (web_width > 0)
        QRN_MakeWebPic(in.c_str(), out.c_str(), web_width, web_height);
    else
        QRN_MakeThumbnail(in.c_str(), out.c_str());
    progress.step("written");
    progress.clear();
    if (!std::filesystem::exists(out, ec)) {
        std::fprintf(stderr, "quornel thumbnail: cannot make %s from %s\n", out.c_str(), in.c_str());
        return 1;
    }
    std::printf("%s: %ju bytes\n", out.c_str(), std::uintmax_t(std::filesystem::file_size(out, ec)));
    return 0;
}

}  // namespace cli

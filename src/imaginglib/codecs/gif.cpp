// GIF through giflib: the first frame read onto its logical screen, writing
// one 8-bit frame with the palette our quantiser makes.
#include <gif_lib.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/codecs/writers.h"
#include "imaginglib/quantise.h"

namespace qrn::imaginglib::codecs {
namespace {

struct MemIn {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

int on_input(GifFileType* gif, GifByteType* out, int n) {
    auto* m = static_cast<MemIn*>(gif->UserData);
    if (n < 0 || !fits(m->size, m->pos, size_t(n))) return 0;  // short read: giflib fails
    std::memcpy(out, m->data + m->pos, size_t(n));
    m->pos += size_t(n);
    return n;
}

struct GifClose {
    void operator()(GifFileType* g) const {
        int err = 0;
        DGifCloseFile(g, &err);
    }
};

// Pixels outside the first frame stay transparent black, as does the frame's
// transparent colour.
bool read_first_frame(GifFileType* gif, uint8_t* pixels) {
    const int sw = gif->SWidth, sh = gif->SHeight;
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) return false;
        if (type == TERMINATE_RECORD_TYPE) return false;  // no image at all
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) != GIF_OK) return false;
            if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4 && (ext[1] & 1))
                transparent = ext[4];
            while (ext)
                if (DGifGetExtensionNext(gif, &ext) != GIF_OK) return false;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) != GIF_OK) return false;
        const GifImageDesc& d = gif->Image;
        if (d.Width < 1 || d.Width > kMaxSide || d.Height < 1 || d.Height > kMaxSide) return false;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        if (!map || !map->Colors) return false;
        std::vector<GifPixelType> line(size_t(d.Width));
        // Interlaced rows come as every 8th from 0, every 8th from 4, every
        // 4th from 2, every 2nd from 1.
        static constexpr int kStart[4] = {0, 4, 2, 1}, kStep[4] = {8, 8, 4, 2};
        const int passes = d.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            const int start = d.Interlace ? kStart[pass] : 0, step = d.Interlace ? kStep[pass] : 1;
            for (int r = start; r < d.Height; r += step) {
                if (DGifGetLine(gif, line.data(), d.Width) != GIF_OK) return false;
                const int y = d.Top + r;
                if (y < 0 || y >= sh) continue;
                for (int c = 0; c < d.Width; ++c) {
                    const int x = d.Left + c;
                    if (x < 0 || x >= sw || line[size_t(c)] == transparent) continue;
                    uint8_t* out = pixels + (size_t(y) * size_t(sw) + size_t(x)) * 4;
                    if (line[size_t(c)] < map->ColorCount) {
                        const GifColorType& col = map->Colors[line[size_t(c)]];
                        out[0] = col.Red, out[1] = col.Green, out[2] = col.Blue;
                    }
                    out[3] = 0xFF;
                }
            }
        }
        return true;
    }
}

int on_output(GifFileType* gif, const GifByteType* data, int n) {
    return static_cast<Dest*>(gif->UserData)->write(data, size_t(n)) ? n : 0;
}

}  // namespace

uint8_t* decode_gif(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    if (!data || size < 13 || !width || !height) return nullptr;
    try {
        MemIn in{data, size};
        int err = 0;
        const std::unique_ptr<GifFileType, GifClose> gif(DGifOpen(&in, on_input, &err));
        if (!gif) return nullptr;
        // The screen is checked before any pixel is read.
        // Owned until returned: reading the frame can throw.
        std::unique_ptr<uint8_t, decltype(&std::free)> pixels(alloc_rgba(gif->SWidth, gif->SHeight),
                                                             &std::free);
        if (!pixels || !read_first_frame(gif.get(), pixels.get())) return nullptr;
        *width = gif->SWidth;
        *height = gif->SHeight;
        return pixels.release();
    } catch (...) {
        return nullptr;
    }
}

bool write_gif(Dest& dest, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride) {
    std::vector<uint8_t> indices(size_t(w) * size_t(h));
    uint8_t palette[256][3] = {};
    if (quantise_rgb(rgb, w, h, stride, indices.data(), palette) == 0) return false;
    GifColorType colours[256] = {};
    for (int k = 0; k < 256; ++k)
        colours[k] = GifColorType{palette[k][0], palette[k][1], palette[k][2]};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    if (!map) return false;
    int err = 0;
    GifFileType* gif = EGifOpen(&dest, on_output, &err);
    bool ok = gif && EGifPutScreenDesc(gif, w, h, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr) == GIF_OK;
    for (int32_t y = 0; ok && y < h; ++y)
        ok = EGifPutLine(gif, indices.data() + size_t(y) * size_t(w), w) == GIF_OK;
    if (gif && EGifCloseFile(gif, &err) != GIF_OK) ok = false;
    GifFreeMapObject(map);
    return ok && dest.ok();
}

}  // namespace qrn::imaginglib::codecs

// PCX: reading 8-bit images of one plane (256-colour palette, or grey when the
// file has none), three (RGB) or four (RGBA) planes, run-length coded or not;
// writing 24-bit run-length coded.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {
namespace {

constexpr size_t kHeader = 128;
constexpr uint8_t kMaker = 0x0A;
constexpr uint8_t kRunFlag = 0xC0;
constexpr unsigned kMaxRun = 63;
constexpr size_t kPaletteBytes = 769;  // 0x0C, then 256 R, G, B triples

// Undoes the run-length coding as one stream, since some writers let runs
// cross the end of a line.
struct Unpacker {
    const uint8_t* data;
    size_t size, pos;
    bool rle;
    unsigned run = 0;
    uint8_t value = 0;

    bool fill(uint8_t* out, size_t n) {
        for (size_t k = 0; k < n; ++k) {
            if (run == 0) {
                if (pos >= size) return false;
                const uint8_t b = data[pos++];
                if (rle && (b & kRunFlag) == kRunFlag) {
                    if (pos >= size) return false;
                    run = b & kMaxRun;
                    value = data[pos++];
                    if (run == 0) {
                        --k;  // an empty run writes nothing
                        continue;
                    }
                } else {
                    run = 1;
                    value = b;
                }
            }
            out[k] = value;
            --run;
        }
        return true;
    }
};

}  // namespace

uint8_t* decode_pcx(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    if (!data || size < kHeader || !width || !height || data[0] != kMaker) return nullptr;
    const uint8_t encoding = data[2], bits = data[3], planes = data[65];
    const int64_t w = int64_t(le16(data + 8)) - le16(data + 4) + 1;
    const int64_t h = int64_t(le16(data + 10)) - le16(data + 6) + 1;
    const uint64_t line = le16(data + 66);
    if (encoding > 1 || bits != 8 || (planes != 1 && planes != 3 && planes != 4)) return nullptr;
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide || line < uint64_t(w)) return nullptr;
    // Even fully run-length coded, every 63 bytes of image need two in the file.
    const uint64_t image_bytes = line * planes * uint64_t(h);
    const uint64_t least = encoding ? (image_bytes + kMaxRun - 1) / kMaxRun * 2 : image_bytes;
    if (!fits(size, kHeader, least)) return nullptr;

    // The palette of a one-plane file sits at the very end of it.
    const bool palette = planes == 1 && size >= kHeader + kPaletteBytes &&
                         data[size - kPaletteBytes] == 0x0C;
    const uint8_t* pal = palette ? data + size - kPaletteBytes + 1 : nullptr;
    uint8_t* pixels = nullptr;
    try {
        std::vector<uint8_t> scan(size_t(line) * planes);
        pixels = alloc_rgba(w, h);
        if (!pixels) return nullptr;
        Unpacker in{data, palette ? size - kPaletteBytes : size, kHeader, encoding == 1};
        for (int64_t y = 0; y < h; ++y) {
            if (!in.fill(scan.data(), scan.size())) {
                std::free(pixels);
                return nullptr;
            }
            uint8_t* out = pixels + size_t(y * w) * 4;
            for (int64_t x = 0; x < w; ++x, out += 4) {
                if (planes == 1) {
                    const uint8_t v = scan[size_t(x)];
                    for (int c = 0; c < 3; ++c) out[c] = pal ? pal[v * 3 + c] : v;
                    out[3] = 0xFF;
                } else {
                    for (int c = 0; c < 3; ++c) out[c] = scan[size_t(c * line) + size_t(x)];
                    out[3] = planes == 4 ? scan[size_t(3 * line) + size_t(x)] : 0xFF;
                }
            }
        }
    } catch (...) {
        std::free(pixels);
        return nullptr;
    }
    *width = int32_t(w);
    *height = int32_t(h);
    return pixels;
}

namespace {

// Runs of up to 63; a single byte with both top bits set must go as a run too.
void pack_line(const uint8_t* in, size_t n, std::vector<uint8_t>& out) {
    for (size_t k = 0; k < n;) {
        size_t run = 1;
        while (k + run < n && run < kMaxRun && in[k + run] == in[k]) ++run;
        if (run > 1 || (in[k] & kRunFlag) == kRunFlag) out.push_back(uint8_t(kRunFlag | run));
        out.push_back(in[k]);
        k += run;
    }
}

}  // namespace

bool write_pcx(Dest& dest, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride) {
    const size_t line = size_t(w + (w & 1));  // bytes per plane line, even
    uint8_t head[kHeader] = {kMaker, 5, 1, 8};
    put_le16(head + 8, uint32_t(w - 1));
    put_le16(head + 10, uint32_t(h - 1));
    head[65] = 3;
    put_le16(head + 66, uint32_t(line));
    put_le16(head + 68, 1);  // colour palette information
    if (!dest.write(head, sizeof head)) return false;
    std::vector<uint8_t> plane(line, 0), packed;
    for (int32_t y = 0; y < h; ++y) {
        packed.clear();
        const uint8_t* row = rgb + y * stride;
        for (int c = 0; c < 3; ++c) {
            for (int32_t x = 0; x < w; ++x) plane[size_t(x)] = row[x * 3 + c];
            pack_line(plane.data(), line, packed);
        }
        if (!dest.write(packed.data(), packed.size())) return false;
    }
    return dest.ok();
}

}  // namespace qrn::imaginglib::codecs

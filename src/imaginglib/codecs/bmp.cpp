// BMP: 1-, 4- and 8-bit palettised, 16-, 24- and 32-bit true colour, bottom-up
// or top-down; RLE8, RLE4 and bit-field masks as well.
#include <algorithm>
#include <cstdlib>

#include "imaginglib/codecs/codecs.h"

namespace qrn::imaginglib::codecs {
namespace {

constexpr size_t kFileHeader = 14;
constexpr uint32_t kCoreHeader = 12;  // the oldest header: 16-bit sides, 3-byte palette

enum : uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// One channel of a packed 16- or 32-bit pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0;  // the channel's largest value; 0 for an absent channel

    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        // A mask with holes is read as the run from its lowest bit up.
        uint64_t bits = m >> shift;
        while (bits) {
            max = max << 1 | 1;
            bits >>= 1;
        }
    }
    uint8_t get(uint32_t px, uint8_t absent) const {
        if (!max) return absent;
        return uint8_t((((px & mask) >> shift) * 255 + max / 2) / max);  // rounded
    }
};

struct Header {
    int64_t width = 0;
    int64_t height = 0;  // sign removed
    bool top_down = false;
    uint32_t bpp = 0;
    uint32_t compression = kRgb;
    uint32_t colours = 0;  // palette entries in the file
    size_t palette_at = 0;
    size_t entry_bytes = 4;
    Channel red, green, blue, alpha;
    bool has_alpha = false;  // a fourth byte that may be alpha (see opaque_if_no_alpha)
};

bool parse_header(const uint8_t* d, size_t size, Header& h) {
    if (!fits(size, kFileHeader, 4)) return false;
    const uint32_t info = le32(d + kFileHeader);
    if (!fits(size, kFileHeader, info)) return false;
    const uint8_t* p = d + kFileHeader;
    size_t masks_at = 0;
    if (info == kCoreHeader) {
        h.width = le16(p + 4);
        h.height = le16(p + 6);
        h.bpp = le16(p + 10);
        h.entry_bytes = 3;
    } else if (info == 40 || info == 52 || info == 56 || info == 64 || info == 108 || info == 124) {
        h.width = int32_t(le32(p + 4));
        const int64_t height = int32_t(le32(p + 8));
        h.top_down = height < 0;
        h.height = height < 0 ? -height : height;
        h.bpp = le16(p + 14);
        h.compression = le32(p + 16);
        h.colours = le32(p + 32);
        // The 64-byte header numbers its compressions differently beyond RLE.
        if (info == 64 && h.compression > kRle4) return false;
        if (info >= 52) masks_at = kFileHeader + 40;
    } else {
        return false;
    }
    h.palette_at = kFileHeader + info;
    if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
        if (info == 40) {
            // The masks follow a 40-byte header, before the palette.
            masks_at = h.palette_at;
            h.palette_at += h.compression == kAlphaBitFields ? 16 : 12;
        }
        const size_t mask_bytes = h.compression == kAlphaBitFields || info >= 56 ? 16 : 12;
        if (!masks_at || !fits(size, masks_at, mask_bytes)) return false;
        h.red = Channel(le32(d + masks_at));
        h.green = Channel(le32(d + masks_at + 4));
        h.blue = Channel(le32(d + masks_at + 8));
        if (mask_bytes == 16) h.alpha = Channel(le32(d + masks_at + 12));
        h.has_alpha = h.alpha.max != 0;
    } else if (h.bpp == 16) {
        h.red = Channel(0x7C00);
        h.green = Channel(0x03E0);
        h.blue = Channel(0x001F);
    } else if (h.bpp == 32) {
        h.red = Channel(0x00FF0000);
        h.green = Channel(0x0000FF00);
        h.blue = Channel(0x000000FF);
        h.alpha = Channel(0xFF000000);
        h.has_alpha = true;
    }

    if (h.width < 1 || h.width > kMaxSide || h.height < 1 || h.height > kMaxSide) return false;
    switch (h.compression) {
        case kRgb:
            if (h.bpp != 1 && h.bpp != 4 && h.bpp != 8 && h.bpp != 16 && h.bpp != 24 && h.bpp != 32)
                return false;
            break;
        case kRle8:
        case kRle4:
            // Run-length data is bottom-up only.
            if (h.bpp != (h.compression == kRle8 ? 8u : 4u) || h.top_down) return false;
            break;
        case kBitFields:
        case kAlphaBitFields:
            if (h.bpp != 16 && h.bpp != 32) return false;
            break;
        default:
            return false;
    }
    return true;
}

struct Palette {
    uint8_t rgba[256][4];
};

// Indices past the file's entries read as opaque black. Writers often keep
// fewer entries than the header promises; the pixel data ends the palette.
bool read_palette(const uint8_t* d, size_t size, const Header& h, size_t data_at, Palette& pal) {
    for (auto& e : pal.rgba) e[0] = e[1] = e[2] = 0, e[3] = 0xFF;
    if (h.bpp > 8) return true;
    const uint32_t max_entries = 1u << h.bpp;
    uint64_t n = h.colours == 0 || h.colours > max_entries ? max_entries : h.colours;
    if (data_at >= h.palette_at)
        n = std::min<uint64_t>(n, (data_at - h.palette_at) / h.entry_bytes);
    if (!fits(size, h.palette_at, n * h.entry_bytes)) return false;
    for (size_t k = 0; k < n; ++k) {
        const uint8_t* e = d + h.palette_at + k * h.entry_bytes;  // B, G, R[, reserved]
        pal.rgba[k][0] = e[2];
        pal.rgba[k][1] = e[1];
        pal.rgba[k][2] = e[0];
    }
    return true;
}

void copy_entry(uint8_t* out, const Palette& pal, unsigned index) {
    for (int c = 0; c < 4; ++c) out[c] = pal.rgba[index][c];
}

void decode_row(const uint8_t* row, uint8_t* out, const Header& h, const Palette& pal) {
    const int64_t w = h.width;
    for (int64_t x = 0; x < w; ++x, out += 4) {
        switch (h.bpp) {
            case 1:
                copy_entry(out, pal, (row[x >> 3] >> (7 - (x & 7))) & 1);
                break;
            case 4:
                copy_entry(out, pal, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
                break;
            case 8:
                copy_entry(out, pal, row[x]);
                break;
            case 24:
                out[0] = row[x * 3 + 2];
                out[1] = row[x * 3 + 1];
                out[2] = row[x * 3];
                out[3] = 0xFF;
                break;
            default: {
                const uint32_t px = h.bpp == 16 ? le16(row + x * 2) : le32(row + x * 4);
                out[0] = h.red.get(px, 0);
                out[1] = h.green.get(px, 0);
                out[2] = h.blue.get(px, 0);
                out[3] = h.alpha.get(px, 0xFF);
            }
        }
    }
}

// Bytes of an uncompressed image: rows padded to 32 bits, except that the
// last row may come without its padding.
uint64_t stride_bytes(const Header& h) { return (uint64_t(h.width) * h.bpp + 31) / 32 * 4; }
uint64_t plain_bytes(const Header& h) {
    return stride_bytes(h) * uint64_t(h.height - 1) + (uint64_t(h.width) * h.bpp + 7) / 8;
}

// The caller has checked that plain_bytes(h) are there from at.
void decode_plain(const uint8_t* d, size_t at, const Header& h, const Palette& pal,
                  uint8_t* pixels) {
    const size_t stride = size_t(stride_bytes(h));
    for (int64_t r = 0; r < h.height; ++r) {
        const int64_t y = h.top_down ? r : h.height - 1 - r;
        decode_row(d + at + size_t(r) * stride, pixels + size_t(y * h.width) * 4, h, pal);
    }
}

// Runs and literal strings of palette indices with escapes for end of line,
// end of image and a jump. Pixels past a row's end are dropped; pixels never
// reached stay transparent black. Data that ends before the image is truncated.
bool decode_rle(const uint8_t* d, size_t size, size_t at, const Header& h, const Palette& pal,
                uint8_t* pixels) {
    const bool four = h.compression == kRle4;
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    auto put = [&](unsigned index) {
        if (x < h.width && y < h.height)
            copy_entry(pixels + size_t((h.height - 1 - y) * h.width + x) * 4, pal, index);
        ++x;
    };
    size_t p = at;
    while (y < h.height) {
        if (!fits(size, p, 2)) return false;
        const unsigned n = d[p], v = d[p + 1];
        p += 2;
        if (n > 0) {
            for (unsigned i = 0; i < n; ++i) put(four ? (i & 1 ? v & 15 : v >> 4) : v);
        } else if (v == 0) {
            x = 0;
            ++y;
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            if (!fits(size, p, 2)) return false;
            x += d[p];
            y += d[p + 1];
            p += 2;
        } else {
            const size_t bytes = four ? (v + 1) / 2 : v;
            if (!fits(size, p, bytes)) return false;
            for (unsigned i = 0; i < v; ++i)
                put(four ? (d[p + i / 2] >> (i & 1 ? 0 : 4)) & 15 : d[p + i]);
            p += (bytes + 1) & ~size_t(1);  // literals are padded to 16 bits
        }
    }
    return true;
}

}  // namespace

uint8_t* decode_bmp(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    if (!data || !width || !height || size < kFileHeader || data[0] != 'B' || data[1] != 'M')
        return nullptr;
    const size_t at = le32(data + 10);
    Header h;
    Palette pal;
    if (at >= size || !parse_header(data, size, h) || !read_palette(data, size, h, at, pal))
        return nullptr;
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    // A plain image must be all there before we allocate for it.
    if (!rle && !fits(size, at, plain_bytes(h))) return nullptr;
    uint8_t* pixels = alloc_rgba(h.width, h.height);
    if (!pixels) return nullptr;
    if (!rle) {
        decode_plain(data, at, h, pal, pixels);
    } else if (!decode_rle(data, size, at, h, pal, pixels)) {
        std::free(pixels);
        return nullptr;
    }
    if (h.has_alpha) opaque_if_no_alpha(pixels, size_t(h.width) * size_t(h.height));
    *width = int32_t(h.width);
    *height = int32_t(h.height);
    return pixels;
}

}  // namespace qrn::imaginglib::codecs

#include <vector>

#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {

bool probe_bmp(const uint8_t* data, size_t size, Probe& out) noexcept {
    Header h;
    if (!data || size < kFileHeader || data[0] != 'B' || data[1] != 'M' ||
        !parse_header(data, size, h))
        return false;
    out.width = int32_t(h.width);
    out.height = int32_t(h.height);
    const uint32_t info = le32(data + kFileHeader);
    // The core header has no resolution; the others store pixels per metre.
    out.resolution = info >= 40 ? le32(data + kFileHeader + 24) : 0;
    out.unit = info >= 40 ? 2 : 0;
    return true;
}

namespace {

// 24-bit, uncompressed, rows padded to four bytes, bottom row first as given.
class BmpLines final : public LineWriter {
public:
    BmpLines(Dest& dest, int32_t w, int32_t h, const WriteOptions& o)
        : dest_(dest), w_(w), row_(size_t((int64_t(w) * 3 + 3) / 4 * 4), 0) {
        const uint32_t image = uint32_t(row_.size() * size_t(h));
        uint8_t head[54] = {'B', 'M'};
        put_le32(head + 2, 54 + image);
        put_le32(head + 10, 54);
        put_le32(head + 14, 40);
        put_le32(head + 18, uint32_t(w));
        put_le32(head + 22, uint32_t(h));
        put_le16(head + 26, 1);
        put_le16(head + 28, 24);
        put_le32(head + 34, image);
        if (o.resolution.present) {
            put_le32(head + 38, uint32_t(trunc_field(o.resolution.x, INT32_MIN, INT32_MAX)));
            put_le32(head + 42, uint32_t(trunc_field(o.resolution.y, INT32_MIN, INT32_MAX)));
        }
        dest_.write(head, sizeof head);
    }
    bool write_line(const uint8_t* rgb) noexcept override {
        for (int32_t x = 0; x < w_; ++x) {
            row_[size_t(x) * 3] = rgb[x * 3 + 2];
            row_[size_t(x) * 3 + 1] = rgb[x * 3 + 1];
            row_[size_t(x) * 3 + 2] = rgb[x * 3];
        }
        return dest_.write(row_.data(), row_.size());
    }
    bool finish() noexcept override { return dest_.ok(); }

private:
    Dest& dest_;
    int32_t w_;
    std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<LineWriter> bmp_line_writer(Dest& dest, int32_t w, int32_t h,
                                            const WriteOptions& o) {
    auto writer = std::make_unique<BmpLines>(dest, w, h, o);
    return dest.ok() ? std::move(writer) : nullptr;
}

}  // namespace qrn::imaginglib::codecs

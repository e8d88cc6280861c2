// TGA: 24- and 32-bit true colour and 8-bit grey, uncompressed or run-length
// coded, with the origin in any corner.
#include <algorithm>
#include <cstdlib>

#include "imaginglib/codecs/codecs.h"

namespace qrn::imaginglib::codecs {
namespace {

constexpr size_t kHeader = 18;
constexpr uint8_t kTrueColour = 2, kGrey = 3, kRle = 8;  // kRle is added to the type
constexpr uint8_t kRightToLeft = 0x10, kTopFirst = 0x20;
constexpr uint64_t kMaxRun = 128;

// Writes the file's pixels in file order to their places in a top-first,
// left-to-right block.
struct Sink {
    uint8_t* pixels;
    int64_t w, h;
    bool top_first, right_to_left;
    int bpp;  // 1, 3 or 4 bytes in the file
    int64_t col = 0, row = 0;

    void put(const uint8_t* s) {
        const int64_t x = right_to_left ? w - 1 - col : col;
        const int64_t y = top_first ? row : h - 1 - row;
        uint8_t* out = pixels + size_t(y * w + x) * 4;
        if (bpp == 1) {
            out[0] = out[1] = out[2] = s[0];
            out[3] = 0xFF;
        } else {
            out[0] = s[2];
            out[1] = s[1];
            out[2] = s[0];
            out[3] = bpp == 4 ? s[3] : 0xFF;
        }
        if (++col == w) col = 0, ++row;
    }
};

}  // namespace

uint8_t* decode_tga(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    if (!data || !width || !height || size < kHeader) return nullptr;
    const uint8_t id_bytes = data[0], map_type = data[1], type = data[2];
    const uint64_t map_bytes = map_type == 1 ? uint64_t(le16(data + 5)) * ((data[7] + 7u) / 8) : 0;
    const int64_t w = le16(data + 12), h = le16(data + 14);
    const uint8_t depth = data[16], descriptor = data[17];

    const uint8_t base = type & ~kRle;
    const bool rle = (type & kRle) != 0;
    if (map_type > 1 || (type & ~(kRle | 3)) != 0) return nullptr;
    if (!((base == kTrueColour && (depth == 24 || depth == 32)) || (base == kGrey && depth == 8)))
        return nullptr;
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide) return nullptr;
    const uint64_t bpp = depth / 8u;
    const uint64_t count = uint64_t(w) * uint64_t(h);
    const uint64_t at = kHeader + id_bytes + map_bytes;
    // Refuse before allocating when the data cannot be long enough: uncompressed
    // needs every pixel, run-length at least one packet per 128 pixels.
    const uint64_t least = rle ? (count + kMaxRun - 1) / kMaxRun * (1 + bpp) : count * bpp;
    if (!fits(size, at, least)) return nullptr;

    uint8_t* pixels = alloc_rgba(w, h);
    if (!pixels) return nullptr;
    Sink sink{pixels,  w, h, (descriptor & kTopFirst) != 0, (descriptor & kRightToLeft) != 0,
              int(bpp)};
    size_t p = size_t(at);
    if (!rle) {
        for (uint64_t k = 0; k < count; ++k, p += bpp) sink.put(data + p);
    } else {
        // Packets may run across rows; a run past the last pixel is cut short.
        uint64_t done = 0;
        while (done < count) {
            if (!fits(size, p, 1)) break;
            const uint8_t head = data[p++];
            const uint64_t n = std::min<uint64_t>((head & 0x7Fu) + 1, count - done);
            const bool repeat = (head & 0x80) != 0;
            if (!fits(size, p, repeat ? bpp : n * bpp)) break;
            for (uint64_t k = 0; k < n; ++k) sink.put(data + p + (repeat ? 0 : k * bpp));
            p += size_t(repeat ? bpp : n * bpp);  // a cut literal ends the image anyway
            done += n;
        }
        if (done < count) {
            std::free(pixels);
            return nullptr;
        }
    }
    // A file that declares eight alpha bits means them, even when all are 0
    // (a transparent page); without the declaration the byte may be padding.
    if (bpp == 4 && (descriptor & 0x0F) == 0) opaque_if_no_alpha(pixels, size_t(count));
    *width = int32_t(w);
    *height = int32_t(h);
    return pixels;
}

}  // namespace qrn::imaginglib::codecs

#include <vector>

#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {
namespace {

// 32-bit uncompressed with the origin at the top left, so rows go out in the
// order the page writer produces them.
class TgaLines final : public LineWriter {
public:
    TgaLines(Dest& dest, int32_t w, int32_t h) : dest_(dest), w_(w), row_(size_t(w) * 4) {
        uint8_t head[kHeader] = {0, 0, kTrueColour};
        put_le16(head + 12, uint32_t(w));
        put_le16(head + 14, uint32_t(h));
        head[16] = 32;
        head[17] = kTopFirst | 8;  // 8 alpha bits
        dest_.write(head, sizeof head);
    }
    bool write_line(const uint8_t* rgba) noexcept override {
        for (size_t x = 0; x < size_t(w_); ++x) {
            row_[x * 4] = rgba[x * 4 + 2];
            row_[x * 4 + 1] = rgba[x * 4 + 1];
            row_[x * 4 + 2] = rgba[x * 4];
            row_[x * 4 + 3] = rgba[x * 4 + 3];
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

std::unique_ptr<LineWriter> tga_line_writer(Dest& dest, int32_t w, int32_t h) {
    auto writer = std::make_unique<TgaLines>(dest, w, h);
    return dest.ok() ? std::move(writer) : nullptr;
}

}  // namespace qrn::imaginglib::codecs

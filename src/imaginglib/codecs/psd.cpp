// PSD: reading the merged composite (8- or 16-bit grey or RGB, alpha as the
// next channel, raw or PackBits) and the resolution resource; writing a flat
// 8-bit RGB image, raw.
#include <cstdlib>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {
namespace {

constexpr size_t kHeader = 26;
constexpr uint16_t kGreyMode = 1, kRgbMode = 3;
constexpr uint16_t kResolutionInfo = 0x03ED;

struct PsdHeader {
    uint32_t channels, width, height, depth, mode;
    size_t resources_at, resources_bytes;
    size_t image_at;  // the compression word of the composite
};

// The four sections before the composite, each a 32-bit length and its bytes.
bool parse(const uint8_t* d, size_t size, PsdHeader& h) {
    if (size < kHeader || d[0] != '8' || d[1] != 'B' || d[2] != 'P' || d[3] != 'S' ||
        be16(d + 4) != 1)
        return false;
    h.channels = be16(d + 12);
    h.height = be32(d + 14);
    h.width = be32(d + 18);
    h.depth = be16(d + 22);
    h.mode = be16(d + 24);
    if (h.channels < 1 || h.channels > 56 || (h.depth != 8 && h.depth != 16)) return false;
    if (h.width < 1 || h.width > uint32_t(kMaxSide) || h.height < 1 || h.height > uint32_t(kMaxSide))
        return false;
    size_t at = kHeader;
    for (int section = 0; section < 3; ++section) {
        if (!fits(size, at, 4)) return false;
        const uint32_t n = be32(d + at);
        if (!fits(size, at + 4, n)) return false;
        if (section == 1) h.resources_at = at + 4, h.resources_bytes = n;
        at += 4 + size_t(n);
    }
    h.image_at = at;
    return true;
}

// PackBits: n >= 0 copies n + 1 bytes, -127..-1 repeats the next byte 1 - n
// times, -128 is skipped. Output beyond the row is dropped; a short row fails.
bool unpack_row(const uint8_t* in, size_t n, uint8_t* out, size_t want) {
    size_t got = 0;
    for (size_t p = 0; p < n && got < want;) {
        const int8_t c = int8_t(in[p++]);
        if (c == -128) continue;
        if (c >= 0) {
            const size_t k = size_t(c) + 1;
            if (!fits(n, p, k)) return false;
            for (size_t i = 0; i < k && got < want; ++i) out[got++] = in[p + i];
            p += k;
        } else {
            if (p >= n) return false;
            for (int i = 0; i < 1 - c && got < want; ++i) out[got++] = in[p];
            ++p;
        }
    }
    return got == want;
}

}  // namespace

uint8_t* decode_psd(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    PsdHeader h{};
    if (!data || !width || !height || !parse(data, size, h)) return nullptr;
    if (!(h.mode == kRgbMode && h.channels >= 3) && h.mode != kGreyMode) return nullptr;
    if (!fits(size, h.image_at, 2)) return nullptr;
    const uint16_t compression = be16(data + h.image_at);
    const size_t sample = h.depth / 8, row_bytes = size_t(h.width) * sample;
    const size_t rows = size_t(h.channels) * h.height;
    const size_t body = h.image_at + 2;
    std::vector<size_t> row_at, row_len;  // every channel row's bytes in the file
    try {
        if (compression == 0) {
            if (!fits(size, body, uint64_t(rows) * row_bytes)) return nullptr;
            row_at.resize(rows), row_len.assign(rows, row_bytes);
            for (size_t r = 0; r < rows; ++r) row_at[r] = body + r * row_bytes;
        } else if (compression == 1) {
            if (!fits(size, body, uint64_t(rows) * 2)) return nullptr;
            row_at.resize(rows), row_len.resize(rows);
            size_t at = body + rows * 2;
            for (size_t r = 0; r < rows; ++r) {
                row_len[r] = be16(data + body + r * 2);
                if (!fits(size, at, row_len[r])) return nullptr;
                row_at[r] = at;
                at += row_len[r];
            }
        } else {
            return nullptr;
        }
        const bool grey = h.mode == kGreyMode;
        const int colours = grey ? 1 : 3;
        const int alpha = h.channels > uint32_t(colours) ? colours : -1;
        uint8_t* pixels = alloc_rgba(h.width, h.height);
        if (!pixels) return nullptr;
        std::vector<uint8_t> row(row_bytes);
        for (int c = 0; c < 4; ++c) {
            const int channel = c < 3 ? (grey ? 0 : c) : alpha;
            for (uint32_t y = 0; y < h.height; ++y) {
                uint8_t* out = pixels + size_t(y) * h.width * 4 + size_t(c);
                if (channel < 0) {
                    for (uint32_t x = 0; x < h.width; ++x) out[size_t(x) * 4] = 0xFF;
                    continue;
                }
                const size_t r = size_t(channel) * h.height + y;
                if (compression == 1
                        ? !unpack_row(data + row_at[r], row_len[r], row.data(), row_bytes)
                        : false) {
                    std::free(pixels);
                    return nullptr;
                }
                const uint8_t* src = compression == 1 ? row.data() : data + row_at[r];
                // 16-bit samples are big-endian: the high byte comes first.
                for (uint32_t x = 0; x < h.width; ++x) out[size_t(x) * 4] = src[size_t(x) * sample];
            }
        }
        *width = int32_t(h.width);
        *height = int32_t(h.height);
        return pixels;
    } catch (...) {
        return nullptr;
    }
}

bool probe_psd(const uint8_t* data, size_t size, Probe& out) noexcept {
    PsdHeader h{};
    if (!data || !parse(data, size, h)) return false;
    out.width = int32_t(h.width);
    out.height = int32_t(h.height);
    out.resolution = 0;
    out.unit = 1;  // no resolution resource
    // Resource blocks: "8BIM", id, padded Pascal name, 32-bit size, padded data.
    const uint8_t* d = data + h.resources_at;
    const size_t n = h.resources_bytes;
    for (size_t at = 0; fits(n, at, 7);) {
        if (d[at] != '8' || d[at + 1] != 'B' || d[at + 2] != 'I' || d[at + 3] != 'M') break;
        const uint16_t id = be16(d + at + 4);
        const size_t name = (size_t(d[at + 6]) + 2) & ~size_t(1);
        if (!fits(n, at + 6 + name, 4)) break;
        const uint32_t len = be32(d + at + 6 + name);
        const size_t body = at + 10 + name;
        if (!fits(n, body, len)) break;
        if (id == kResolutionInfo && len >= 16) {
            // Horizontal resolution in 16.16 fixed point, then its unit
            // (1 per inch, 2 per cm), which we report one higher.
            out.resolution = be32(d + body) >> 16;
            out.unit = be16(d + body + 4) + 1;
            break;
        }
        at = body + ((size_t(len) + 1) & ~size_t(1));
    }
    return true;
}

bool write_psd(Dest& dest, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride) {
    uint8_t head[kHeader + 14] = {'8', 'B', 'P', 'S'};
    put_be16(head + 4, 1);
    put_be16(head + 12, 3);
    put_be32(head + 14, uint32_t(h));
    put_be32(head + 18, uint32_t(w));
    put_be16(head + 22, 8);
    put_be16(head + 24, kRgbMode);
    // Colour mode data, resources, layers and masks all empty; raw composite.
    if (!dest.write(head, sizeof head)) return false;
    std::vector<uint8_t> row(static_cast<size_t>(w));
    for (int c = 0; c < 3; ++c)
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) row[size_t(x)] = rgb[y * stride + x * 3 + c];
            if (!dest.write(row.data(), row.size())) return false;
        }
    return dest.ok();
}

}  // namespace qrn::imaginglib::codecs

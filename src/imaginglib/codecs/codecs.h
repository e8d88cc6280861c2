// Decoders of the image file formats we read, from memory to RGBA32 (R, G, B, A
// bytes, rows top first, no padding). image_file.cpp picks one by content; the
// fuzz targets call them directly.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::imaginglib::codecs {

// Largest side any decoder accepts; checked before anything is allocated.
constexpr int32_t kMaxSide = 10000;

// Known by content. The metafiles are recognised so that they can be refused
// as such: we have no renderer for them.
enum class FileType { Unknown, Png, Jpeg, Bmp, Tga, Tiff, Gif, Pcx, Psd, Emf, Wmf };

// Recognises a format by its first bytes. PCX and TGA have weak or no
// signatures, so they are tried last, on the plausibility of their headers.
FileType sniff(const uint8_t* data, size_t size);

// What a format's header says about the image, without decoding it. The
// resolution is the stored number as it stands, with the format's own unit
// code: BMP 2 (per metre; 0 when absent), JPEG the JFIF unit (1 per inch,
// 2 per cm), PNG the pHYs unit (1 per metre), TIFF the ResolutionUnit (2 inch,
// 3 cm), PSD the ResolutionInfo unit plus one (2 inch, 3 cm); unit 0 for none.
struct Probe {
    int32_t width = 0;
    int32_t height = 0;
    uint32_t resolution = 0;
    int32_t unit = 0;
};
bool probe_png(const uint8_t* data, size_t size, Probe& out) noexcept;
bool probe_jpeg(const uint8_t* data, size_t size, Probe& out) noexcept;
bool probe_bmp(const uint8_t* data, size_t size, Probe& out) noexcept;
bool probe_tiff(const uint8_t* data, size_t size, Probe& out) noexcept;
bool probe_psd(const uint8_t* data, size_t size, Probe& out) noexcept;

// Each returns a block from alloc_rgba (free it with std::free, or free_image
// outside the library) and sets width and height; or returns null, leaving
// them alone, for a null or empty buffer, a truncated, corrupt or unsupported
// file, a side outside 1..kMaxSide or a failed allocation.
uint8_t* decode_png(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_jpeg(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_bmp(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_tga(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
// Decoded at 1/2, 1/4 or 1/8 of the size where that still gives at least
// min_width x min_height (sides rounded up); at full size otherwise.
uint8_t* decode_jpeg_scaled(const uint8_t* data, size_t size, int32_t min_width,
                            int32_t min_height, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_tiff(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_gif(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_pcx(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_psd(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;

// Largest w x h any decoder allocates for: kMaxSide squared unless lowered
// (the fuzz targets lower it, so that their memory limit is not what they find).
int64_t pixel_limit() noexcept;
void set_pixel_limit(int64_t pixels) noexcept;

// A zeroed w x h RGBA32 block, or null when a side is outside 1..kMaxSide,
// w x h is above pixel_limit() or the allocation fails. Zeroed so that pixels a file leaves out (RLE skips)
// read as transparent black rather than as old heap contents.
uint8_t* alloc_rgba(int64_t w, int64_t h) noexcept;

// Formats whose fourth byte may be alpha or padding (32-bit BMP and TGA): a
// block whose alpha is 0 everywhere came from padding and is made opaque.
void opaque_if_no_alpha(uint8_t* rgba, size_t pixels) noexcept;

inline uint16_t be16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A resolution field from a double: truncated toward zero, NaN 0, saturated
// to the field's range.
inline int64_t trunc_field(double v, int64_t lo, int64_t hi) {
    if (!(v == v)) return 0;
    if (v <= double(lo)) return lo;
    if (v >= double(hi)) return hi;
    return int64_t(v);
}

inline void put_le16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v), p[1] = uint8_t(v >> 8); }
inline void put_le32(uint8_t* p, uint32_t v) {
    put_le16(p, v & 0xFFFF);
    put_le16(p + 2, v >> 16);
}
inline void put_be16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 8), p[1] = uint8_t(v); }
inline void put_be32(uint8_t* p, uint32_t v) {
    put_be16(p, v >> 16);
    put_be16(p + 2, v & 0xFFFF);
}

// True when n bytes from pos lie inside a buffer of size bytes; never overflows.
inline bool fits(size_t size, uint64_t pos, uint64_t n) { return pos <= size && n <= size - pos; }

}  // namespace qrn::imaginglib::codecs

// Decoders of the image file formats we read, from memory to RGBA32 (R, G, B, A
// bytes, rows top first, no padding). image_file.cpp picks one by content; the
// fuzz targets call them directly.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::imaginglib::codecs {

// Largest side any decoder accepts; checked before anything is allocated.
constexpr int32_t kMaxSide = 10000;

enum class FileType { Unknown, Png, Jpeg, Bmp, Tga };

// Recognises a format by its first bytes. TGA has no signature, so it is
// tried last, on the plausibility of its header.
FileType sniff(const uint8_t* data, size_t size);

// Each returns a block from alloc_rgba (free it with std::free, or free_image
// outside the library) and sets width and height; or returns null, leaving
// them alone, for a null or empty buffer, a truncated, corrupt or unsupported
// file, a side outside 1..kMaxSide or a failed allocation.
uint8_t* decode_png(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_jpeg(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_bmp(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;
uint8_t* decode_tga(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;

// A zeroed w x h RGBA32 block, or null when a side is outside 1..kMaxSide or
// the allocation fails. Zeroed so that pixels a file leaves out (RLE skips)
// read as transparent black rather than as old heap contents.
uint8_t* alloc_rgba(int64_t w, int64_t h) noexcept;

// Formats whose fourth byte may be alpha or padding (32-bit BMP and TGA): a
// block whose alpha is 0 everywhere came from padding and is made opaque.
void opaque_if_no_alpha(uint8_t* rgba, size_t pixels) noexcept;

inline uint16_t le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// True when n bytes from pos lie inside a buffer of size bytes; never overflows.
inline bool fits(size_t size, uint64_t pos, uint64_t n) { return pos <= size && n <= size - pos; }

}  // namespace qrn::imaginglib::codecs

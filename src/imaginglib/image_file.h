// Reading image files (PNG, JPEG, BMP, TGA, TIFF, GIF, PCX, PSD, told apart by
// content) to RGBA32, and probing their headers; the engine's seam copies the
// block and frees it here.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::imaginglib {

// Reads the file at path as RGBA32 (R, G, B, A bytes, rows top first, row
// length width x 4). Returns a block to release with free_image and sets width
// and height (each 1..10000); or returns null, leaving them alone, for a null
// path, a file that cannot be read, an unknown format or a bad image.
uint8_t* read_image_file(const char* path, int32_t* width, int32_t* height) noexcept;

// As read_image_file, but a JPEG may come at 1/2, 1/4 or 1/8 of its size as
// long as both sides stay at least min_width x min_height (thumbnails).
uint8_t* read_image_file_scaled(const char* path, int32_t min_width, int32_t min_height,
                                int32_t* width, int32_t* height) noexcept;

// The same for a file already in memory.
uint8_t* decode_image(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;

// Releases a block from read_image_file or decode_image; null is ignored.
void free_image(uint8_t* block) noexcept;

// File-type codes as the engine knows them.
enum : int32_t {
    kTypeUnknown = 0, kTypeBmp = 1, kTypeGif = 2, kTypeJpeg = 3, kTypePng = 4, kTypePcx = 5,
    kTypeTiff = 6, kTypeEmf = 7, kTypeWmf = 8, kTypeTga = 9, kTypePsd = 10
};

// A file's type by content and, for BMP, JPEG, PNG, TIFF and PSD, its header:
// sides and the stored resolution with the format's unit code (see
// codecs::Probe). dims_known is false where the header could not be read.
struct ImageProbe {
    int32_t type = kTypeUnknown;
    bool dims_known = false;
    int32_t width = 0, height = 0;
    uint32_t resolution = 0;
    int32_t unit = 0;
};
bool probe_image(const uint8_t* data, size_t size, ImageProbe& out) noexcept;
// False when the file cannot be opened or read.
bool probe_image_file(const char* path, ImageProbe& out) noexcept;

// Metafiles rendered as RGB24 at the given size: we have no renderer, so this
// is always the library's quiet failure, null.
uint8_t* read_metafile(const char* path, int32_t* width, int32_t* height, int32_t canvas_w,
                       int32_t canvas_h, uint32_t background) noexcept;

// Calls of read_image_file so far, failed ones included: lets tests see that a
// cache spared a read.
int64_t image_file_reads() noexcept;

}  // namespace qrn::imaginglib

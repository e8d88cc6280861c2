// Reading image files (PNG, JPEG, BMP, TGA, told apart by content) to RGBA32;
// the engine's seam copies the block and frees it here.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::imaginglib {

// Reads the file at path as RGBA32 (R, G, B, A bytes, rows top first, row
// length width x 4). Returns a block to release with free_image and sets width
// and height (each 1..10000); or returns null, leaving them alone, for a null
// path, a file that cannot be read, an unknown format or a bad image.
uint8_t* read_image_file(const char* path, int32_t* width, int32_t* height) noexcept;

// The same for a file already in memory.
uint8_t* decode_image(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept;

// Releases a block from read_image_file or decode_image; null is ignored.
void free_image(uint8_t* block) noexcept;

// Calls of read_image_file so far, failed ones included: lets tests see that a
// cache spared a read.
int64_t image_file_reads() noexcept;

}  // namespace qrn::imaginglib

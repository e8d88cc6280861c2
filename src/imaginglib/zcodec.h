// Buffer compression in the zlib format (RFC 1950), so stored data opens with any zlib.
#pragma once
#include <cstddef>
#include <cstdint>

namespace qrn::imaginglib {

// Compresses src into out, never writing more than capacity bytes. level 1..9
// (anything else: 6). Returns the stream length, or 0 when it does not fit.
int64_t z_deflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity, int level);
// Inflates a zlib stream into out, never writing past capacity. Returns the
// bytes produced, or -1 when the stream is corrupt, truncated, foreign or
// larger than capacity.
int64_t z_inflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity);

}  // namespace qrn::imaginglib

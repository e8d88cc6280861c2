// Buffer compression pair on libdeflate's zlib wrapper: compressed layers leave
// the engine and come back, so both sides hold to a hard output bound.
#include "imaginglib/zcodec.h"

#include <libdeflate.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace qrn::imaginglib {
namespace {

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

constexpr int kDefaultLevel = 6;
// More than libdeflate ever keeps free at the end of its output (8 bytes plus a partial byte).
constexpr size_t kEndSlack = 64;

}  // namespace

int64_t z_deflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity, int level) {
    if (!out || capacity == 0 || (!src && len > 0)) return 0;
    if (level < 1 || level > 9) level = kDefaultLevel;
    // A fresh compressor per call: the engine keeps no hidden state between exports.
    std::unique_ptr<libdeflate_compressor, CompressorFree> c(libdeflate_alloc_compressor(level));
    if (!c) return 0;
    const uint8_t none = 0;
    const uint8_t* in = src ? src : &none;
    size_t n = libdeflate_zlib_compress(c.get(), in, len, out, capacity);
    if (n != 0) return static_cast<int64_t>(n);
    // libdeflate gives up a few bytes before the end of the output (it keeps room for
    // a final word), so a stream that would fit exactly comes back as 0. Retry with
    // room to spare and keep the result only if it fits the caller's bound.
    if (capacity > SIZE_MAX - kEndSlack) return 0;
    std::unique_ptr<uint8_t[]> spare;
    try {
        spare = std::make_unique_for_overwrite<uint8_t[]>(capacity + kEndSlack);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    n = libdeflate_zlib_compress(c.get(), in, len, spare.get(), capacity + kEndSlack);
    if (n == 0 || n > capacity) return 0;
    std::memcpy(out, spare.get(), n);
    return static_cast<int64_t>(n);
}

int64_t z_inflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity) {
    if (!src || len == 0) return -1;
    std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(libdeflate_alloc_decompressor());
    if (!d) return -1;
    uint8_t none = 0;
    size_t produced = 0;
    // With an actual-size out-parameter a short stream succeeds; a longer one reports
    // insufficient space without writing past `capacity`.
    const libdeflate_result r = libdeflate_zlib_decompress(d.get(), src, len, out ? out : &none,
                                                           out ? capacity : 0, &produced);
    if (r != LIBDEFLATE_SUCCESS) return -1;
    return static_cast<int64_t>(produced);
}

}  // namespace qrn::imaginglib

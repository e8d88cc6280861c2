// PNG files from anywhere, decoded through libpng with our limits and
// transformations. Chunk checksums are recomputed first so that mutated
// chunks reach the decoder instead of failing the CRC check.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_image_check.h"
#include "imaginglib/codecs/codecs.h"

namespace {

uint32_t crc32(const uint8_t* p, size_t n) {
    uint32_t c = 0xFFFFFFFFu;
    for (size_t k = 0; k < n; ++k) {
        c ^= p[k];
        for (int b = 0; b < 8; ++b) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> png(data, data + size);
    // Chunks: length, type, data, CRC of type and data.
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint32_t len = be32(&png[at]);
        if (len > png.size() - at - 12) break;
        const uint32_t crc = crc32(&png[at + 4], size_t(len) + 4);
        for (int b = 0; b < 4; ++b) png[at + 8 + len + size_t(b)] = uint8_t(crc >> (24 - 8 * b));
        at += size_t(len) + 12;
    }
    qrn::fuzz::check_decoder(qrn::imaginglib::codecs::decode_png,
                             qrn::imaginglib::codecs::FileType::Png, png.data(), png.size());
    return 0;
}

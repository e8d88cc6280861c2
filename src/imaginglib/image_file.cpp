// Image files to RGBA32: reads the whole file, tells the format by content and
// hands it to that format's decoder.
#include "imaginglib/image_file.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "imaginglib/codecs/codecs.h"

namespace qrn::imaginglib {
namespace {

// Above the largest uncompressed image we accept (10000 x 10000 x 4 plus headers),
// far below what a 32-bit build can address.
constexpr long kMaxFileBytes = 1L << 30;

int64_t g_reads = 0;

struct File {
    std::FILE* f;
    ~File() {
        if (f) std::fclose(f);
    }
};

// The whole file in a malloc'd buffer, or null.
uint8_t* slurp(const char* path, size_t* size) {
    File file{std::fopen(path, "rb")};
    if (!file.f || std::fseek(file.f, 0, SEEK_END) != 0) return nullptr;
    const long end = std::ftell(file.f);
    if (end <= 0 || end > kMaxFileBytes || std::fseek(file.f, 0, SEEK_SET) != 0) return nullptr;
    auto* bytes = static_cast<uint8_t*>(std::malloc(size_t(end)));
    if (!bytes) return nullptr;
    // A short read (a directory, a file shrinking under us) is a failure.
    if (std::fread(bytes, 1, size_t(end), file.f) != size_t(end)) {
        std::free(bytes);
        return nullptr;
    }
    *size = size_t(end);
    return bytes;
}

}  // namespace

namespace codecs {

FileType sniff(const uint8_t* data, size_t size) {
    static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (!data) return FileType::Unknown;
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return FileType::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return FileType::Jpeg;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return FileType::Bmp;
    if (size >= 18) {
        // Colour-map type 0 or 1, a known image type, both sides set and a
        // pixel depth TGA defines: random bytes rarely pass all four.
        const uint8_t map_type = data[1], type = data[2], depth = data[16];
        const bool known_type =
            type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
        const bool known_depth =
            depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
        if (map_type <= 1 && known_type && known_depth && le16(data + 12) != 0 &&
            le16(data + 14) != 0)
            return FileType::Tga;
    }
    return FileType::Unknown;
}

uint8_t* alloc_rgba(int64_t w, int64_t h) noexcept {
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide) return nullptr;
    return static_cast<uint8_t*>(std::calloc(size_t(w) * size_t(h), 4));
}

void opaque_if_no_alpha(uint8_t* rgba, size_t pixels) noexcept {
    for (size_t k = 0; k < pixels; ++k)
        if (rgba[k * 4 + 3] != 0) return;
    for (size_t k = 0; k < pixels; ++k) rgba[k * 4 + 3] = 0xFF;
}

}  // namespace codecs

uint8_t* decode_image(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    if (!width || !height) return nullptr;
    switch (codecs::sniff(data, size)) {
        case codecs::FileType::Png:
            return codecs::decode_png(data, size, width, height);
        case codecs::FileType::Jpeg:
            return codecs::decode_jpeg(data, size, width, height);
        case codecs::FileType::Bmp:
            return codecs::decode_bmp(data, size, width, height);
        case codecs::FileType::Tga:
            return codecs::decode_tga(data, size, width, height);
        case codecs::FileType::Unknown:
            break;
    }
    return nullptr;
}

uint8_t* read_image_file(const char* path, int32_t* width, int32_t* height) noexcept {
    ++g_reads;
    if (!path || !*path || !width || !height) return nullptr;
    size_t size = 0;
    uint8_t* bytes = slurp(path, &size);
    if (!bytes) return nullptr;
    uint8_t* image = decode_image(bytes, size, width, height);
    std::free(bytes);
    return image;
}

void free_image(uint8_t* block) noexcept { std::free(block); }

int64_t image_file_reads() noexcept { return g_reads; }

}  // namespace qrn::imaginglib

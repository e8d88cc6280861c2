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
constexpr int64_t kDefaultPixelLimit = int64_t(codecs::kMaxSide) * codecs::kMaxSide;
int64_t g_pixel_limit = kDefaultPixelLimit;

struct File {
    std::FILE* f;
    ~File() {
        if (f) std::fclose(f);
    }
};

// The whole file, or its first `limit` bytes, in a malloc'd buffer; or null.
// total gets the file's length.
uint8_t* slurp(const char* path, size_t* size, size_t limit = SIZE_MAX, size_t* total = nullptr) {
    File file{std::fopen(path, "rb")};
    if (!file.f || std::fseek(file.f, 0, SEEK_END) != 0) return nullptr;
    const long end = std::ftell(file.f);
    if (end <= 0 || end > kMaxFileBytes || std::fseek(file.f, 0, SEEK_SET) != 0) return nullptr;
    const size_t want = size_t(end) < limit ? size_t(end) : limit;
    auto* bytes = static_cast<uint8_t*>(std::malloc(want));
    if (!bytes) return nullptr;
    // A short read (a directory, a file shrinking under us) is a failure.
    if (std::fread(bytes, 1, want, file.f) != want) {
        std::free(bytes);
        return nullptr;
    }
    *size = want;
    if (total) *total = size_t(end);
    return bytes;
}

// Headers sit at the start of every format but TIFF, whose directory may come
// last; the probe reads this much first and the whole file only if it must.
constexpr size_t kProbePrefix = 1 << 20;

}  // namespace

namespace codecs {

FileType sniff(const uint8_t* data, size_t size) {
    static constexpr uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (!data) return FileType::Unknown;
    if (size >= 8 && std::memcmp(data, kPng, 8) == 0) return FileType::Png;
    if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF) return FileType::Jpeg;
    if (size >= 2 && data[0] == 'B' && data[1] == 'M') return FileType::Bmp;
    if (size >= 4 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
                      (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42)))
        return FileType::Tiff;
    if (size >= 6 && std::memcmp(data, "GIF8", 4) == 0 && (data[4] == '7' || data[4] == '9') &&
        data[5] == 'a')
        return FileType::Gif;
    if (size >= 4 && std::memcmp(data, "8BPS", 4) == 0) return FileType::Psd;
    // EMF: a header record (type 1) with the " EMF" signature at 40.
    if (size >= 44 && le32(data) == 1 && le32(data + 40) == 0x464D4520) return FileType::Emf;
    // WMF: the placeable key, or a plain header (memory or disk type, nine words).
    if (size >= 4 && le32(data) == 0x9AC6CDD7) return FileType::Wmf;
    if (size >= 18 && (le16(data) == 1 || le16(data) == 2) && le16(data + 2) == 9 &&
        (le16(data + 4) == 0x100 || le16(data + 4) == 0x300))
        return FileType::Wmf;
    // PCX: the maker byte, a known version, no or run-length coding, a known depth.
    if (size >= 128 && data[0] == 0x0A && data[1] <= 5 && data[1] != 1 && data[2] <= 1 &&
        (data[3] == 1 || data[3] == 2 || data[3] == 4 || data[3] == 8))
        return FileType::Pcx;
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

int64_t pixel_limit() noexcept { return g_pixel_limit; }
void set_pixel_limit(int64_t pixels) noexcept {
    g_pixel_limit = pixels < 1 || pixels > kDefaultPixelLimit ? kDefaultPixelLimit : pixels;
}

uint8_t* alloc_rgba(int64_t w, int64_t h) noexcept {
    if (w < 1 || w > kMaxSide || h < 1 || h > kMaxSide || w * h > g_pixel_limit) return nullptr;
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
        case codecs::FileType::Tiff:
            return codecs::decode_tiff(data, size, width, height);
        case codecs::FileType::Gif:
            return codecs::decode_gif(data, size, width, height);
        case codecs::FileType::Pcx:
            return codecs::decode_pcx(data, size, width, height);
        case codecs::FileType::Psd:
            return codecs::decode_psd(data, size, width, height);
        case codecs::FileType::Emf:  // no metafile renderer: unreadable
        case codecs::FileType::Wmf:
        case codecs::FileType::Unknown:
            break;
    }
    return nullptr;
}

uint8_t* read_image_file(const char* path, int32_t* width, int32_t* height) noexcept {
    return read_image_file_scaled(path, 0, 0, width, height);
}

uint8_t* read_image_file_scaled(const char* path, int32_t min_width, int32_t min_height,
                                int32_t* width, int32_t* height) noexcept {
    ++g_reads;
    if (!path || !*path || !width || !height) return nullptr;
    size_t size = 0;
    uint8_t* bytes = slurp(path, &size);
    if (!bytes) return nullptr;
    uint8_t* image =
        min_width > 0 && codecs::sniff(bytes, size) == codecs::FileType::Jpeg
            ? codecs::decode_jpeg_scaled(bytes, size, min_width, min_height, width, height)
            : decode_image(bytes, size, width, height);
    std::free(bytes);
    return image;
}

void free_image(uint8_t* block) noexcept { std::free(block); }

static int32_t file_type_code(codecs::FileType type) noexcept {
    switch (type) {
        case codecs::FileType::Bmp: return kTypeBmp;
        case codecs::FileType::Gif: return kTypeGif;
        case codecs::FileType::Jpeg: return kTypeJpeg;
        case codecs::FileType::Png: return kTypePng;
        case codecs::FileType::Pcx: return kTypePcx;
        case codecs::FileType::Tiff: return kTypeTiff;
        case codecs::FileType::Emf: return kTypeEmf;
        case codecs::FileType::Wmf: return kTypeWmf;
        case codecs::FileType::Tga: return kTypeTga;
        case codecs::FileType::Psd: return kTypePsd;
        case codecs::FileType::Unknown: break;
    }
    return kTypeUnknown;
}

bool probe_image(const uint8_t* data, size_t size, ImageProbe& out) noexcept {
    codecs::Probe p;
    const codecs::FileType type = codecs::sniff(data, size);
    bool ok = false;
    switch (type) {
        case codecs::FileType::Bmp: ok = codecs::probe_bmp(data, size, p); break;
        case codecs::FileType::Jpeg: ok = codecs::probe_jpeg(data, size, p); break;
        case codecs::FileType::Png: ok = codecs::probe_png(data, size, p); break;
        case codecs::FileType::Tiff: ok = codecs::probe_tiff(data, size, p); break;
        case codecs::FileType::Psd: ok = codecs::probe_psd(data, size, p); break;
        default: break;
    }
    out.type = file_type_code(type);
    out.dims_known = ok;
    out.width = ok ? p.width : 0;
    out.height = ok ? p.height : 0;
    out.resolution = ok ? p.resolution : 0;
    out.unit = ok ? p.unit : 0;
    return type != codecs::FileType::Unknown;
}

bool probe_image_file(const char* path, ImageProbe& out) noexcept {
    if (!path || !*path) return false;
    size_t size = 0, total = 0;
    uint8_t* bytes = slurp(path, &size, kProbePrefix, &total);
    if (!bytes) return false;
    probe_image(bytes, size, out);
    std::free(bytes);
    if (out.dims_known || size == total) return true;
    bytes = slurp(path, &size);
    if (!bytes) return false;
    probe_image(bytes, size, out);
    std::free(bytes);
    return true;
}

uint8_t* read_metafile(const char*, int32_t*, int32_t*, int32_t, int32_t, uint32_t) noexcept {
    return nullptr;
}

int64_t image_file_reads() noexcept { return g_reads; }

}  // namespace qrn::imaginglib

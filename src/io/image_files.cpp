// Image files between disk, host buffers, the new RGBA buffer and the page.
#include "io/image_files.h"

#include <cstring>
#include <optional>
#include <vector>

#include "composite/merge.h"
#include "engine/arith.h"
#include "engine/imaging_api/imaging.h"
#include "engine/layers.h"
#include "engine/pixels.h"

namespace qrn::io {
namespace {

using imaging::FileFormat;
using imaging::FileOptions;

constexpr double kInchesPerCm = 2.5400000025908;
constexpr double kInchesPerMetre = 0.025400000025908;
constexpr double kMetresPerInch = 39.3700787;  // pixels per metre = dpi x this, truncated

// ASCII only: a host's locale must not change which writer runs.
bool same_extension(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const char x = *a >= 'A' && *a <= 'Z' ? char(*a + 32) : *a;
        if (x != *b) return false;
        if (!x) return true;
    }
}

bool usable(const uint8_t* pixels, int32_t w, int32_t h, const char* path, const char* ext) {
    return pixels && path && ext && valid_side(w) && valid_side(h);
}

FileOptions per_metre(int32_t dpi, int32_t unit) {
    FileOptions o;
    o.has_resolution = true;
    o.res_x = o.res_y = double(dpi) * kMetresPerInch;
    o.res_unit = unit;
    return o;
}

FileOptions per_inch(int32_t dpi, int32_t unit) {
    FileOptions o;
    o.has_resolution = true;
    o.res_x = o.res_y = dpi;
    o.res_unit = unit;
    return o;
}

uint32_t background_colour(const EngineState& st) {
    const uint16_t* c = st.settings.colour;
    return uint32_t(c[0] >> 8) | uint32_t(c[1] >> 8) << 8 | uint32_t(c[2] >> 8) << 16;
}

struct Picture {
    std::vector<uint8_t> pixels;  // packed
    int32_t width = 0, height = 0;
    int32_t bytes_per_pixel = 4;
};

// The file as RGBA32, or a metafile's RGB24 rendering at the canvas size.
std::optional<Picture> read_picture(const EngineState& st, const char* path) {
    imaging::FileHeader head;
    if (!imaging::probe_image_file(path, head)) return std::nullopt;
    Picture p;
    if (head.type == imaging::kFileEmf || head.type == imaging::kFileWmf) {
        p.bytes_per_pixel = 3;
        if (!imaging::read_metafile(path, st.canvas.width, st.canvas.height,
                                    background_colour(st), p.pixels, p.width, p.height))
            return std::nullopt;
    } else if (!imaging::read_image_file(path, p.pixels, p.width, p.height)) {
        return std::nullopt;
    }
    return p;
}

// Packed RGB24 or RGBA32 of the picture; alpha 255 where it has none.
void copy_as(const Picture& p, uint8_t* dst, int32_t bytes_per_pixel) {
    const size_t n = size_t(p.width) * size_t(p.height);
    if (p.bytes_per_pixel == bytes_per_pixel) {
        std::memcpy(dst, p.pixels.data(), n * size_t(bytes_per_pixel));
        return;
    }
    for (size_t k = 0; k < n; ++k) {
        const uint8_t* s = &p.pixels[k * size_t(p.bytes_per_pixel)];
        uint8_t* d = dst + k * size_t(bytes_per_pixel);
        d[0] = s[0], d[1] = s[1], d[2] = s[2];
        if (bytes_per_pixel == 4) d[3] = 0xFF;
    }
}

std::vector<uint8_t> drop_alpha(const uint8_t* rgba, size_t pixels) {
    std::vector<uint8_t> rgb(pixels * 3);
    for (size_t k = 0; k < pixels; ++k) std::memcpy(&rgb[k * 3], rgba + k * 4, 3);
    return rgb;
}

// Shrink by area average only when both sides shrink; otherwise the bilinear
// resize, which also enlarges.
bool resample(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t tw, int32_t th,
              int32_t bpp) {
    if (tw < w && th < h)
        return imaging::decimate(src, w, h, int64_t(w) * bpp, dst, tw, th, int64_t(tw) * bpp, bpp);
    return imaging::resize(src, w, h, int64_t(w) * bpp, dst, tw, th, int64_t(tw) * bpp, bpp);
}

// The source resampled to the size the rule gives, as RGB24. The rule and
// the choice between decimate and resize see the file's own sides; a JPEG
// that is to shrink is decoded at the smallest scale keeping twice the
// target, so every target pixel still averages several source pixels.
// Channels resample independently, so dropping alpha after resampling gives
// the same pixels as before, without a full-size RGB copy.
template <class SizeRule>
bool converted(const char* src_path, SizeRule rule, std::vector<uint8_t>& out, int32_t& tw,
               int32_t& th) {
    imaging::FileHeader head;
    if (!imaging::probe_image_file(src_path, head)) return false;
    imaging::ImageBlock img;
    if (head.type == imaging::kFileJpeg && head.dims_known) {
        if (!rule(head.width, head.height, tw, th)) return false;
        const bool shrinks = tw < head.width && th < head.height;
        if (!imaging::read_image_block(src_path, shrinks ? tw * 2 : 0, shrinks ? th * 2 : 0, img))
            return false;
        if (!shrinks && (img.width != head.width || img.height != head.height)) return false;
    } else if (!imaging::read_image_block(src_path, 0, 0, img) ||
               !rule(img.width, img.height, tw, th)) {
        return false;
    }
    std::vector<uint8_t> rgba(size_t(tw) * size_t(th) * 4);
    if (!resample(img.pixels.get(), img.width, img.height, rgba.data(), tw, th, 4)) return false;
    out = drop_alpha(rgba.data(), size_t(tw) * size_t(th));
    return true;
}

}  // namespace

int32_t snap_dpi(int32_t dpi) {
    for (const int32_t v : {72, 96, 150, 200, 300, 450, 600})
        if (dpi >= v - 1 && dpi <= v + 1) return v;
    return kDefaultDpi;
}

int32_t dpi_from_header(int32_t type, uint32_t value, int32_t unit) {
    const double v = value;
    std::optional<double> dpi;
    switch (type) {
        case imaging::kFileBmp:
            if (unit == 1) dpi = v * kInchesPerCm;
            if (unit == 2) dpi = v * kInchesPerMetre;
            break;
        case imaging::kFileJpeg:
            if (unit == 1) dpi = v;
            if (unit == 2) dpi = v * kInchesPerCm;
            break;
        case imaging::kFilePng:
            if (unit == 1) dpi = v * kInchesPerMetre;
            break;
        case imaging::kFileTiff:
        case imaging::kFilePsd:
            if (unit == 2) dpi = v;
            if (unit == 3) dpi = v * kInchesPerCm;
            break;
        default:
            break;
    }
    // Huge stored values saturate, and a saturated value snaps to 72.
    return snap_dpi(dpi ? trunc_i32(*dpi) : kDefaultDpi);
}

int32_t dpi_from_file(const char* path) {
    imaging::FileHeader head;
    if (!imaging::probe_image_file(path, head) || !head.dims_known) return kDefaultDpi;
    return dpi_from_header(head.type, head.resolution, head.unit);
}

bool create_new_rgba(EngineState& st, int32_t width, int32_t height) {
    NewRgba& n = st.new_rgba;
    n.pixels.reset();
    n.width = width;
    n.height = height;
    if (!valid_side(width) || !valid_side(height)) return false;
    n.pixels = Buffer<uint8_t>::try_make(size_t(width) * size_t(height) * 4);
    if (n.pixels.empty()) st.last_error.set_failure("CreateNewRGBA");
    return !n.pixels.empty();
}

int32_t read_from_file(EngineState& st, const char* path) {
    const std::optional<Picture> p = read_picture(st, path);
    if (!p || !create_new_rgba(st, p->width, p->height)) return 0;
    copy_as(*p, st.new_rgba.pixels.data(), 4);
    return 1;
}

int32_t read_from_file_sized(EngineState& st, uint8_t* dst, int32_t width, int32_t height,
                             const char* path, int32_t bytes_per_pixel) {
    if (!dst) return 0;
    const std::optional<Picture> p = read_picture(st, path);
    if (!p || p->width != width || p->height != height) return 0;
    copy_as(*p, dst, bytes_per_pixel);
    return 1;
}

int32_t write_rgb24(const uint8_t* pixels, int32_t width, int32_t height, const char* path,
                    const char* ext, int32_t dpi) {
    if (!usable(pixels, width, height, path, ext)) return 0;
    const int64_t stride = int64_t(width) * 3;
    auto write = [&](FileFormat f, const FileOptions& o) {
        return imaging::write_image_file(path, f, pixels, width, height, 3, stride, o) ? 1 : 0;
    };
    if (same_extension(ext, ".bmp")) return write(FileFormat::Bmp, per_metre(dpi, 0));
    if (same_extension(ext, ".png")) return write(FileFormat::Png, per_metre(dpi, 1));
    if (same_extension(ext, ".emf")) return write(FileFormat::Emf, {});
    if (same_extension(ext, ".gif")) return write(FileFormat::Gif, {});
    if (same_extension(ext, ".jpg")) {
        FileOptions o = per_inch(dpi, 1);
        o.jpeg_quality = 97;
        return write(FileFormat::Jpeg, o);
    }
    if (same_extension(ext, ".pcx")) return write(FileFormat::Pcx, {});
    if (same_extension(ext, ".psd")) return write(FileFormat::Psd, {});
    if (same_extension(ext, ".wmf")) return write(FileFormat::Emf, {});  // EMF, as .emf
    return 0;
}

int32_t write_rgba32(const uint8_t* pixels, int32_t width, int32_t height, const char* path,
                     const char* ext, int32_t dpi) {
    if (!usable(pixels, width, height, path, ext)) return 0;
    const int64_t stride = int64_t(width) * 4;
    auto write = [&](FileFormat f, const FileOptions& o) {
        return imaging::write_image_file(path, f, pixels, width, height, 4, stride, o) ? 1 : 0;
    };
    if (same_extension(ext, ".png")) return write(FileFormat::Png, per_metre(dpi, 1));
    if (same_extension(ext, ".tga")) return write(FileFormat::Tga, {});
    if (same_extension(ext, ".tif")) return write(FileFormat::Tiff, per_inch(dpi, 2));
    return 0;
}

void save_page(EngineState& st, const char* path, const char* ext, int32_t dpi,
               int32_t bytes_per_pixel) {
    const int32_t w = st.canvas.width, h = st.canvas.height;
    if (!st.canvas.exists || !path || !ext || !valid_side(w) || !valid_side(h)) return;
    FileFormat format;
    FileOptions options;
    if (bytes_per_pixel == 3 && same_extension(ext, ".bmp")) {
        format = FileFormat::Bmp, options = per_metre(dpi, 0);
    } else if (same_extension(ext, ".png")) {
        format = FileFormat::Png, options = per_metre(dpi, 1);
    } else if (bytes_per_pixel == 3 && same_extension(ext, ".jpg")) {
        format = FileFormat::Jpeg, options = per_inch(dpi, 1);
        options.jpeg_quality = 97;
        options.jpeg_full_chroma = true;
    } else if (bytes_per_pixel == 4 && same_extension(ext, ".tga")) {
        format = FileFormat::Tga;
    } else if (bytes_per_pixel == 4 && same_extension(ext, ".tif")) {
        format = FileFormat::Tiff, options = per_inch(dpi, 2);
    } else {
        return;
    }
    Buffer<uint16_t> row64 = Buffer<uint16_t>::try_make(size_t(w) * 4);
    Buffer<uint8_t> row = Buffer<uint8_t>::try_make(size_t(w) * size_t(bytes_per_pixel));
    if (row64.empty() || row.empty()) return;
    imaging::LineFile file;
    if (!file.open(path, format, w, h, bytes_per_pixel, options)) return;
    // BMP stores its rows bottom up; the others top down.
    const bool bottom_up = format == FileFormat::Bmp;
    for (int32_t r = 0; r < h; ++r) {
        const int32_t y = bottom_up ? h - 1 - r : r;
        composite::merge_rect(st, row64.data(), 0, y, w, 1);
        if (bytes_per_pixel == 3)
            pixels::rgba64_to_rgb24(row.data(), int64_t(w) * 3, row64.data(), int64_t(w) * 4, w, 1);
        else
            pixels::rgba64_to_rgba32(row.data(), int64_t(w) * 4, row64.data(), int64_t(w) * 4, w,
                                     1);
        if (!file.write_line(row.data())) return;
    }
    file.close();
}

bool thumbnail_size(int32_t w, int32_t h, int32_t& tw, int32_t& th) {
    if (w < 1 || h < 1) return false;
    // Real arithmetic: 100 / w in integers would be 0 for every w above 100.
    if (h < w) {
        tw = 100;
        th = trunc_i32(100.0 / w * h);
    } else {
        th = 100;
        tw = trunc_i32(100.0 / h * w);
    }
    // An extreme aspect ratio would truncate a side to 0.
    tw = tw < 1 ? 1 : tw;
    th = th < 1 ? 1 : th;
    return true;
}

bool web_pic_size(int32_t w, int32_t h, int32_t max_w, int32_t max_h, int32_t& tw, int32_t& th) {
    if (w < 1 || h < 1 || max_w == 0 || max_h == 0) return false;
    // Single precision throughout; the limits compare as unsigned, so a
    // negative limit never limits.
    const float fw = float(w), fh = float(h);
    tw = w, th = h;
    if (float(max_w) / float(max_h) > fw / fh) {
        if (uint32_t(h) > uint32_t(max_h)) {
            tw = trunc_i32(fw * (float(max_h) / fh));
            th = max_h;
        }
    } else if (uint32_t(w) > uint32_t(max_w)) {
        tw = max_w;
        th = trunc_i32(fh * (float(max_w) / fw));
    }
    tw = tw < 1 ? 1 : tw;
    th = th < 1 ? 1 : th;
    return true;
}

void make_thumbnail(const char* src_path, const char* dst_path) {
    std::vector<uint8_t> out;
    int32_t tw = 0, th = 0;
    if (!dst_path || !converted(src_path, thumbnail_size, out, tw, th)) return;
    // Always a BMP, whatever the destination is called.
    imaging::write_image_file(dst_path, FileFormat::Bmp, out.data(), tw, th, 3, int64_t(tw) * 3,
                              {});
}

void make_web_pic(const char* src_path, const char* dst_path, int32_t max_w, int32_t max_h) {
    std::vector<uint8_t> out;
    int32_t tw = 0, th = 0;
    auto rule = [&](int32_t w, int32_t h, int32_t& a, int32_t& b) {
        return web_pic_size(w, h, max_w, max_h, a, b);
    };
    if (!dst_path || !converted(src_path, rule, out, tw, th)) return;
    FileOptions o;
    o.jpeg_quality = 75;
    imaging::write_image_file(dst_path, FileFormat::Jpeg, out.data(), tw, th, 3, int64_t(tw) * 3,
                              o);
}

void get_new_rgba32(const EngineState& st, uint8_t* dst) {
    if (dst && !st.new_rgba.pixels.empty())
        std::memcpy(dst, st.new_rgba.pixels.data(), st.new_rgba.pixels.bytes());
}

void get_new_rgba24(const EngineState& st, uint8_t* dst) {
    const NewRgba& n = st.new_rgba;
    if (!dst || n.pixels.empty()) return;
    const size_t count = size_t(n.width) * size_t(n.height);
    for (size_t k = 0; k < count; ++k) std::memcpy(dst + k * 3, n.pixels.data() + k * 4, 3);
}

void get_resized_new_rgba24(const EngineState& st, uint8_t* dst, int32_t width, int32_t height) {
    const NewRgba& n = st.new_rgba;
    if (!dst || n.pixels.empty() || !valid_side(width) || !valid_side(height)) return;
    std::vector<uint8_t> tmp(size_t(width) * size_t(height) * 4);
    if (!resample(n.pixels.data(), n.width, n.height, tmp.data(), width, height, 4)) return;
    const size_t count = size_t(width) * size_t(height);
    for (size_t k = 0; k < count; ++k) std::memcpy(dst + k * 3, &tmp[k * 4], 3);
}

int32_t set_in_new_rgba(EngineState& st) {
    const NewRgba& n = st.new_rgba;
    if (n.pixels.empty() || !layers::current(st)) return 0;
    return pixels::load_rgba32_layer(st, n.pixels.data(), int64_t(n.width) * 4,
                                     st.canvas.current_slot, n.width, n.height, true);
}

void delete_new_rgba(EngineState& st) { st.new_rgba.pixels.reset(); }

}  // namespace qrn::io

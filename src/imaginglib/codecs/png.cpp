// PNG through libpng: every colour type and depth expanded to 8-bit RGBA.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "imaginglib/codecs/codecs.h"

namespace qrn::imaginglib::codecs {
namespace {

// Decompressed ancillary chunks (text, profiles) are kept below this.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
constexpr uint32_t kIdat = 0x49444154, kIend = 0x49454E44;

// Everything the decode touches lives here, outside the function that calls
// setjmp, so nothing it reads after a longjmp is indeterminate.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
};

[[noreturn]] void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

// Past the chunk limit libpng only warns, then allocates and clears as much as
// a chunk's length says, up to 2 GiB for a 44-byte file. So the chunks libpng
// will read whole are checked against the data first: those before the first
// of type last, and that one too when whole_last. One that runs past the end
// would fail the read anyway, only later. What libpng allocates for a chunk
// then stays below the file's own size.
bool chunks_fit(const uint8_t* data, size_t size, uint32_t last, bool whole_last) {
    for (uint64_t at = 8; fits(size, at, 8);) {
        const uint64_t len = be32(data + at);
        const bool whole = fits(size, at + 8, len + 4);
        if (be32(data + at + 4) == last) return whole || !whole_last;
        if (!whole) return false;
        at += 12 + len;
    }
    return true;
}

void on_read(png_structp png, png_bytep out, size_t n) {
    auto* r = static_cast<PngRead*>(png_get_io_ptr(png));
    if (!fits(r->size, r->pos, n)) png_error(png, "truncated");
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
}

// Runs libpng; an error anywhere inside longjmps back here and returns false.
// No object with a destructor may live in this frame.
bool read_png(PngRead& r) {
    if (setjmp(png_jmpbuf(r.png))) return false;
    png_set_read_fn(r.png, &r, on_read);
    png_set_user_limits(r.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(r.png, kMaxChunkBytes);
    png_read_info(r.png, r.info);

    const png_uint_32 w = png_get_image_width(r.png, r.info);
    const png_uint_32 h = png_get_image_height(r.png, r.info);
    if (w < 1 || w > png_uint_32(kMaxSide) || h < 1 || h > png_uint_32(kMaxSide)) return false;
    // Palette, low-depth grey and tRNS become 8-bit RGB(A); 16-bit keeps its
    // high byte, as the engine narrows everywhere else. No gamma is applied:
    // the stored values are the pixels.
    png_set_expand(r.png);
    png_set_strip_16(r.png);
    png_set_gray_to_rgb(r.png);
    png_set_add_alpha(r.png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != size_t(w) * 4) return false;

    r.pixels = alloc_rgba(w, h);
    if (!r.pixels) return false;
    // Row by row into the block itself: interlaced passes fill in the rows
    // earlier passes left, without a separate row-pointer array.
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < h; ++y)
            png_read_row(r.png, r.pixels + size_t(y) * w * 4, nullptr);
    png_read_end(r.png, nullptr);
    r.width = int32_t(w);
    r.height = int32_t(h);
    return true;
}

}  // namespace

uint8_t* decode_png(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    if (!data || size == 0 || !width || !height) return nullptr;
    PngRead r;
    r.data = data;
    r.size = size;
    if (!chunks_fit(data, size, kIend, true)) return nullptr;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!r.png) return nullptr;
    r.info = png_create_info_struct(r.png);
    const bool ok = r.info && read_png(r);
    png_destroy_read_struct(&r.png, r.info ? &r.info : nullptr, nullptr);
    if (!ok) {
        std::free(r.pixels);
        return nullptr;
    }
    *width = r.width;
    *height = r.height;
    return r.pixels;
}

}  // namespace qrn::imaginglib::codecs

#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {
namespace {

struct PngProbe {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngRead src;
    png_uint_32 w = 0, h = 0, res = 0;
    int unit = 0;
};

// No object with a destructor may live in this frame.
bool read_png_header(PngProbe& p) {
    if (setjmp(png_jmpbuf(p.png))) return false;
    png_set_read_fn(p.png, &p.src, on_read);
    png_set_user_limits(p.png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(p.png, kMaxChunkBytes);
    png_read_info(p.png, p.info);
    p.w = png_get_image_width(p.png, p.info);
    p.h = png_get_image_height(p.png, p.info);
    png_uint_32 x = 0, y = 0;
    if (png_get_pHYs(p.png, p.info, &x, &y, &p.unit) & PNG_INFO_pHYs) p.res = x;
    return true;
}

void on_write(png_structp png, png_bytep data, size_t n) {
    if (!static_cast<Dest*>(png_get_io_ptr(png))->write(data, n)) png_error(png, "write");
}
void on_flush(png_structp) {}

// Each call into libpng sits in its own setjmp frame, since the rows come in
// one call at a time.
class PngLines final : public LineWriter {
public:
    explicit PngLines(Dest& dest) : dest_(dest) {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
        if (png_) info_ = png_create_info_struct(png_);
    }
    ~PngLines() override {
        if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
    }
    bool start(int32_t w, int32_t h, int32_t bpp, const WriteOptions& o) {
        if (!info_) return false;
        if (setjmp(png_jmpbuf(png_))) return failed_ = true, false;
        png_set_write_fn(png_, &dest_, on_write, on_flush);
        png_set_IHDR(png_, info_, png_uint_32(w), png_uint_32(h), 8,
                     bpp == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (o.resolution.present)
            png_set_pHYs(png_, info_, png_uint_32(trunc_field(o.resolution.x, 0, INT32_MAX)),
                         png_uint_32(trunc_field(o.resolution.y, 0, INT32_MAX)),
                         PNG_RESOLUTION_METER);
        // libpng's adaptive filters with deflate level 5 rather than 6: on
        // painted pictures about three times as fast for files some 4 % larger.
        // Fewer filters or lower levels cost 6 to 25 % in size.
        png_set_compression_level(png_, 5);
        png_write_info(png_, info_);
        return true;
    }
    bool write_line(const uint8_t* row) noexcept override {
        if (failed_) return false;
        if (setjmp(png_jmpbuf(png_))) return failed_ = true, false;
        png_write_row(png_, row);
        return true;
    }
    bool finish() noexcept override {
        if (failed_) return false;
        if (setjmp(png_jmpbuf(png_))) return failed_ = true, false;
        png_write_end(png_, nullptr);
        return dest_.ok();
    }

private:
    Dest& dest_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    bool failed_ = false;
};

}  // namespace

bool probe_png(const uint8_t* data, size_t size, Probe& out) noexcept {
    if (!data || size < 8) return false;
    PngProbe p;
    p.src.data = data;
    p.src.size = size;
    // png_read_info stops at the first image data's header.
    if (!chunks_fit(data, size, kIdat, false)) return false;
    p.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
    if (!p.png) return false;
    p.info = png_create_info_struct(p.png);
    const bool ok = p.info && read_png_header(p);
    png_destroy_read_struct(&p.png, p.info ? &p.info : nullptr, nullptr);
    if (!ok || p.w < 1 || p.w > png_uint_32(kMaxSide) || p.h < 1 || p.h > png_uint_32(kMaxSide))
        return false;
    out.width = int32_t(p.w);
    out.height = int32_t(p.h);
    out.resolution = p.res;
    out.unit = p.res ? p.unit : 0;
    return true;
}

std::unique_ptr<LineWriter> png_line_writer(Dest& dest, int32_t w, int32_t h, int32_t bpp,
                                            const WriteOptions& o) {
    auto writer = std::make_unique<PngLines>(dest);
    if (!writer->start(w, h, bpp, o)) return nullptr;
    return writer;
}

}  // namespace qrn::imaginglib::codecs

// TIFF through libtiff: reading the first directory to RGBA (8-bit RGB, RGBA
// and grey strips directly, so unassociated alpha comes back unchanged;
// everything else through libtiff's RGBA interface), writing uncompressed
// 32-bit RGBA with unassociated alpha and the resolution tags.
//
// The host may use libtiff itself: we never touch its process-wide handlers,
// only per-file ones given at open.
#include <tiffio.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {
namespace {

struct MemIn {
    const uint8_t* data;
    size_t size;
    uint64_t pos = 0;
};

int on_tiff_message(TIFF*, void* failed, const char*, const char*, va_list) {
    if (failed) *static_cast<bool*>(failed) = true;
    return 1;  // handled: libtiff calls nothing process-wide
}

tmsize_t in_read(thandle_t h, void* buf, tmsize_t n) {
    auto* m = static_cast<MemIn*>(h);
    if (n < 0 || m->pos > m->size) return 0;
    const size_t take = size_t(n) < m->size - m->pos ? size_t(n) : size_t(m->size - m->pos);
    std::memcpy(buf, m->data + m->pos, take);
    m->pos += take;
    return tmsize_t(take);
}
tmsize_t in_write(thandle_t, void*, tmsize_t) { return 0; }
toff_t in_seek(thandle_t h, toff_t off, int whence) {
    auto* m = static_cast<MemIn*>(h);
    const uint64_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
    if (off > UINT64_MAX - base) return toff_t(-1);
    m->pos = base + off;
    return m->pos;
}
int in_close(thandle_t) { return 0; }
toff_t in_size(thandle_t h) { return static_cast<MemIn*>(h)->size; }
int no_map(thandle_t, void**, toff_t*) { return 0; }
void no_unmap(thandle_t, void*, toff_t) {}

// Opens with our handlers and a cap on any single allocation libtiff makes.
TIFF* open_memory(MemIn& in, bool* failed) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, on_tiff_message, failed);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, on_tiff_message, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, tmsize_t(pixel_limit()) * 4 + (1 << 20));
    TIFF* tif = TIFFClientOpenExt("memory", "rm", &in, in_read, in_write, in_seek, in_close,
                                  in_size, no_map, no_unmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

struct TiffClose {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffClose>;

// 8-bit contiguous strips of grey, grey + alpha, RGB or RGBA.
bool read_direct(TIFF* tif, uint32_t w, uint32_t h, uint8_t* pixels, const bool& failed) {
    uint16_t bps = 0, spp = 0, photometric = 0, planar = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && (spp == 1 || spp == 2);
    const bool rgb = photometric == PHOTOMETRIC_RGB && (spp == 3 || spp == 4);
    if (bps != 8 || planar != PLANARCONFIG_CONTIG || TIFFIsTiled(tif) || !(grey || rgb))
        return false;
    if (TIFFScanlineSize64(tif) != uint64_t(w) * spp) return false;
    std::vector<uint8_t> line(size_t(w) * spp);
    for (uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0 || failed) return false;
        uint8_t* out = pixels + size_t(y) * w * 4;
        const uint8_t* s = line.data();
        for (uint32_t x = 0; x < w; ++x, out += 4, s += spp) {
            out[0] = s[0];
            out[1] = grey ? s[0] : s[1];
            out[2] = grey ? s[0] : s[2];
            out[3] = spp == 2 || spp == 4 ? s[spp - 1] : 0xFF;
        }
    }
    return true;
}

}  // namespace

uint8_t* decode_tiff(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    if (!data || size < 8 || !width || !height) return nullptr;
    try {
        MemIn in{data, size};
        bool failed = false;
        const TiffPtr tif(open_memory(in, &failed));
        if (!tif) return nullptr;
        uint32_t w = 0, h = 0;
        TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
        // Owned until returned: the direct read can throw.
        std::unique_ptr<uint8_t, decltype(&std::free)> owned(alloc_rgba(w, h), &std::free);
        uint8_t* pixels = owned.get();
        if (!pixels) return nullptr;
        bool ok = read_direct(tif.get(), w, h, pixels, failed) && !failed;
        if (!ok && !failed) {
            // libtiff's own conversion; it wants the raster as 32-bit words,
            // R in the low byte, which on a little-endian machine is RGBA.
            std::memset(pixels, 0, size_t(w) * h * 4);
            ok = TIFFReadRGBAImageOriented(tif.get(), w, h, reinterpret_cast<uint32_t*>(pixels),
                                           ORIENTATION_TOPLEFT, 0) == 1 &&
                 !failed;
        }
        if (!ok) return nullptr;
        *width = int32_t(w);
        *height = int32_t(h);
        return owned.release();
    } catch (...) {
        return nullptr;
    }
}

bool probe_tiff(const uint8_t* data, size_t size, Probe& out) noexcept {
    if (!data || size < 8) return false;
    MemIn in{data, size};
    bool failed = false;
    const TiffPtr tif(open_memory(in, &failed));
    if (!tif) return false;
    uint32_t w = 0, h = 0;
    float xres = 0;
    uint16_t unit = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    if (w < 1 || w > uint32_t(kMaxSide) || h < 1 || h > uint32_t(kMaxSide)) return false;
    const bool has_res = TIFFGetField(tif.get(), TIFFTAG_XRESOLUTION, &xres) == 1;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_RESOLUTIONUNIT, &unit);
    out.width = int32_t(w);
    out.height = int32_t(h);
    // Read as an unsigned 32-bit number, truncated.
    out.resolution = has_res ? uint32_t(trunc_field(xres, 0, UINT32_MAX)) : 0;
    out.unit = has_res ? unit : 0;
    return true;
}

namespace {

tmsize_t out_read(thandle_t, void*, tmsize_t) { return 0; }
tmsize_t out_write(thandle_t h, void* buf, tmsize_t n) {
    return n >= 0 && static_cast<Dest*>(h)->write(buf, size_t(n)) ? n : -1;
}
toff_t out_seek(thandle_t h, toff_t off, int whence) {
    auto* d = static_cast<Dest*>(h);
    const uint64_t base = whence == SEEK_CUR ? d->tell() : whence == SEEK_END ? d->size() : 0;
    if (off > UINT64_MAX - base || !d->seek(base + off)) return toff_t(-1);
    return base + off;
}
toff_t out_size(thandle_t h) { return static_cast<Dest*>(h)->size(); }

// Strips of about 64 KB, the same whichever way the rows arrive.
uint32_t rows_per_strip(int32_t w) {
    const uint32_t rows = uint32_t(65536 / (int64_t(w) * 4));
    return rows < 1 ? 1 : rows;
}

class TiffLines final : public LineWriter {
public:
    explicit TiffLines(Dest& dest) : dest_(dest) {}
    ~TiffLines() override {
        if (tif_) TIFFClose(tif_);
    }
    bool start(int32_t w, int32_t h, const WriteOptions& o) {
        TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
        if (!opts) return false;
        TIFFOpenOptionsSetErrorHandlerExtR(opts, on_tiff_message, &failed_);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, on_tiff_message, nullptr);
        tif_ = TIFFClientOpenExt("dest", "w", &dest_, out_read, out_write, out_seek, in_close,
                                 out_size, no_map, no_unmap, opts);
        TIFFOpenOptionsFree(opts);
        if (!tif_) return false;
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif_, TIFFTAG_IMAGEWIDTH, uint32_t(w));
        TIFFSetField(tif_, TIFFTAG_IMAGELENGTH, uint32_t(h));
        TIFFSetField(tif_, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif_, TIFFTAG_SAMPLESPERPIXEL, 4);
        TIFFSetField(tif_, TIFFTAG_EXTRASAMPLES, 1, extra);
        TIFFSetField(tif_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif_, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif_, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(tif_, TIFFTAG_ROWSPERSTRIP, rows_per_strip(w));
        if (o.resolution.present) {
            TIFFSetField(tif_, TIFFTAG_XRESOLUTION, float(o.resolution.x));
            TIFFSetField(tif_, TIFFTAG_YRESOLUTION, float(o.resolution.y));
            TIFFSetField(tif_, TIFFTAG_RESOLUTIONUNIT, uint16_t(o.resolution.unit));
        }
        line_.resize(size_t(w) * 4);
        return !failed_;
    }
    bool write_line(const uint8_t* row) noexcept override {
        if (failed_) return false;
        // TIFFWriteScanline may encode in place, so it gets a copy.
        std::memcpy(line_.data(), row, line_.size());
        if (TIFFWriteScanline(tif_, line_.data(), row_++, 0) != 1) failed_ = true;
        return !failed_;
    }
    bool finish() noexcept override {
        if (failed_) return false;
        const bool flushed = TIFFFlush(tif_) == 1;
        TIFFClose(tif_);
        tif_ = nullptr;
        return flushed && !failed_ && dest_.ok();
    }

private:
    Dest& dest_;
    TIFF* tif_ = nullptr;
    std::vector<uint8_t> line_;
    uint32_t row_ = 0;
    bool failed_ = false;
};

}  // namespace

std::unique_ptr<LineWriter> tiff_line_writer(Dest& dest, int32_t w, int32_t h,
                                             const WriteOptions& o) {
    auto writer = std::make_unique<TiffLines>(dest);
    if (!writer->start(w, h, o)) return nullptr;
    return writer;
}

}  // namespace qrn::imaginglib::codecs

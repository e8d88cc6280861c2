// JPEG through libjpeg-turbo: grey, YCbCr and RGB straight to RGBA, CMYK and
// YCCK through a CMYK row.
// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstdlib>

#include "imaginglib/codecs/codecs.h"

namespace qrn::imaginglib::codecs {
namespace {

// A progressive file may hold any number of scans, each a pass over the whole
// image; real encoders write about ten.
constexpr int kMaxScans = 1000;

struct JpegError {
    jpeg_error_mgr mgr;  // first, so libjpeg's pointer to it is a pointer to us
    std::jmp_buf jump;
};

// As in png.cpp: all state outside the frame that calls setjmp.
struct JpegRead {
    jpeg_decompress_struct cinfo;
    JpegError err;
    jpeg_progress_mgr progress;
    uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t min_width = 0;  // scaled decoding keeps at least these sides
    int32_t min_height = 0;
};

[[noreturn]] void bail(j_common_ptr c) {
    std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1);
}

void on_error_exit(j_common_ptr c) { bail(c); }
void on_output_message(j_common_ptr) {}

// Running out of data is a truncated file, and so is a marker inside the
// entropy-coded data: libjpeg would pad either with grey and carry on.
void on_message(j_common_ptr c, int level) {
    if (level < 0 && (c->err->msg_code == JWRN_JPEG_EOF || c->err->msg_code == JWRN_HIT_MARKER))
        bail(c);
}

void on_progress(j_common_ptr c) {
    if (reinterpret_cast<j_decompress_ptr>(c)->input_scan_number > kMaxScans) bail(c);
}

// Adobe writes CMYK inverted (255 = no ink), and that is what files hold.
void cmyk_to_rgba(const JSAMPLE* cmyk, uint8_t* out, JDIMENSION w) {
    for (JDIMENSION x = 0; x < w; ++x, cmyk += 4, out += 4) {
        const unsigned k = cmyk[3];
        out[0] = uint8_t(cmyk[0] * k / 255);
        out[1] = uint8_t(cmyk[1] * k / 255);
        out[2] = uint8_t(cmyk[2] * k / 255);
        out[3] = 0xFF;
    }
}

// No object with a destructor may live in this frame.
bool read_jpeg(JpegRead& r, const uint8_t* data, size_t size) {
    if (setjmp(r.err.jump)) return false;
    jpeg_create_decompress(&r.cinfo);
    r.cinfo.progress = &r.progress;
    jpeg_mem_src(&r.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&r.cinfo, TRUE);

    const JDIMENSION full_w = r.cinfo.image_width, full_h = r.cinfo.image_height;
    if (full_w < 1 || full_w > JDIMENSION(kMaxSide) || full_h < 1 ||
        full_h > JDIMENSION(kMaxSide))
        return false;
    const bool cmyk = r.cinfo.jpeg_color_space == JCS_CMYK || r.cinfo.jpeg_color_space == JCS_YCCK;
    r.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    // The largest of 1/8, 1/4, 1/2 that keeps both minimum sides, which the
    // IDCT gives for almost nothing; libjpeg rounds scaled sides up.
    for (unsigned denom = 8; denom > 1 && r.min_width > 0; denom /= 2) {
        if ((full_w + denom - 1) / denom >= JDIMENSION(r.min_width) &&
            (full_h + denom - 1) / denom >= JDIMENSION(r.min_height)) {
            r.cinfo.scale_num = 1;
            r.cinfo.scale_denom = denom;
            break;
        }
    }
    jpeg_calc_output_dimensions(&r.cinfo);
    const JDIMENSION w = r.cinfo.output_width, h = r.cinfo.output_height;
    r.pixels = alloc_rgba(w, h);
    if (!r.pixels) return false;
    jpeg_start_decompress(&r.cinfo);
    if (r.cinfo.output_width != w || r.cinfo.output_height != h || r.cinfo.output_components != 4)
        return false;

    // The CMYK row comes from libjpeg's pool, which jpeg_destroy frees on any path.
    JSAMPARRAY cmyk_row = cmyk
                              ? (*r.cinfo.mem->alloc_sarray)(
                                    reinterpret_cast<j_common_ptr>(&r.cinfo), JPOOL_IMAGE, w * 4, 1)
                              : nullptr;
    while (r.cinfo.output_scanline < h) {
        uint8_t* out = r.pixels + size_t(r.cinfo.output_scanline) * w * 4;
        JSAMPROW row = cmyk ? cmyk_row[0] : out;
        if (jpeg_read_scanlines(&r.cinfo, &row, 1) != 1) return false;
        if (cmyk) cmyk_to_rgba(cmyk_row[0], out, w);
    }
    jpeg_finish_decompress(&r.cinfo);
    r.width = int32_t(w);
    r.height = int32_t(h);
    return true;
}

}  // namespace

uint8_t* decode_jpeg(const uint8_t* data, size_t size, int32_t* width, int32_t* height) noexcept {
    return decode_jpeg_scaled(data, size, 0, 0, width, height);
}

uint8_t* decode_jpeg_scaled(const uint8_t* data, size_t size, int32_t min_width,
                            int32_t min_height, int32_t* width, int32_t* height) noexcept {
    if (!data || size == 0 || !width || !height) return nullptr;
    // jpeg_mem_src takes an unsigned long, 32 bits on Windows.
    if (size > static_cast<unsigned long>(-1)) return nullptr;
    JpegRead r{};
    r.min_width = min_width > 0 && min_height > 0 ? min_width : 0;
    r.min_height = min_height;
    r.cinfo.err = jpeg_std_error(&r.err.mgr);
    r.err.mgr.error_exit = on_error_exit;
    r.err.mgr.emit_message = on_message;
    r.err.mgr.output_message = on_output_message;
    r.progress.progress_monitor = on_progress;
    const bool ok = read_jpeg(r, data, size);
    jpeg_destroy_decompress(&r.cinfo);
    if (!ok) {
        std::free(r.pixels);
        return nullptr;
    }
    *width = r.width;
    *height = r.height;
    return r.pixels;
}

}  // namespace qrn::imaginglib::codecs

#include <vector>

#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {
namespace {

struct JpegProbe {
    jpeg_decompress_struct cinfo;
    JpegError err;
};

// No object with a destructor may live in this frame.
bool read_jpeg_header(JpegProbe& p, const uint8_t* data, size_t size) {
    if (setjmp(p.err.jump)) return false;
    jpeg_create_decompress(&p.cinfo);
    jpeg_mem_src(&p.cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&p.cinfo, TRUE);
    return true;
}

constexpr size_t kOutChunk = 64 * 1024;

// libjpeg's output goes through a fixed buffer into the Dest; a failed write
// is a libjpeg error, so it ends in the writer's setjmp like any other.
struct JpegDest {
    jpeg_destination_mgr mgr;  // first, so libjpeg's pointer to it is a pointer to us
    Dest* dest;
    JOCTET buffer[kOutChunk];
};

void on_init_dest(j_compress_ptr c) {
    auto* d = reinterpret_cast<JpegDest*>(c->dest);
    d->mgr.next_output_byte = d->buffer;
    d->mgr.free_in_buffer = kOutChunk;
}
boolean on_empty_buffer(j_compress_ptr c) {
    auto* d = reinterpret_cast<JpegDest*>(c->dest);
    if (!d->dest->write(d->buffer, kOutChunk)) bail(reinterpret_cast<j_common_ptr>(c));
    d->mgr.next_output_byte = d->buffer;
    d->mgr.free_in_buffer = kOutChunk;
    return TRUE;
}
void on_term_dest(j_compress_ptr c) {
    auto* d = reinterpret_cast<JpegDest*>(c->dest);
    if (!d->dest->write(d->buffer, kOutChunk - d->mgr.free_in_buffer))
        bail(reinterpret_cast<j_common_ptr>(c));
}

class JpegLines final : public LineWriter {
public:
    explicit JpegLines(Dest& dest) {
        cinfo_.err = jpeg_std_error(&err_.mgr);
        err_.mgr.error_exit = on_error_exit;
        err_.mgr.emit_message = [](j_common_ptr, int) {};
        err_.mgr.output_message = on_output_message;
        out_.dest = &dest;
        out_.mgr.init_destination = on_init_dest;
        out_.mgr.empty_output_buffer = on_empty_buffer;
        out_.mgr.term_destination = on_term_dest;
    }
    ~JpegLines() override {
        if (created_) jpeg_destroy_compress(&cinfo_);
    }
    bool start(int32_t w, int32_t h, const WriteOptions& o) {
        if (setjmp(err_.jump)) return failed_ = true, false;
        jpeg_create_compress(&cinfo_);
        created_ = true;
        cinfo_.dest = &out_.mgr;
        cinfo_.image_width = JDIMENSION(w);
        cinfo_.image_height = JDIMENSION(h);
        cinfo_.input_components = 3;
        cinfo_.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo_);
        jpeg_set_quality(&cinfo_, o.jpeg_quality, TRUE);
        if (o.resolution.present) {
            cinfo_.density_unit = UINT8(o.resolution.unit);
            cinfo_.X_density = UINT16(trunc_field(o.resolution.x, 0, 65535));
            cinfo_.Y_density = UINT16(trunc_field(o.resolution.y, 0, 65535));
        }
        if (o.jpeg_full_chroma) {
            cinfo_.dct_method = JDCT_ISLOW;
            cinfo_.smoothing_factor = 0;
            for (int c = 0; c < cinfo_.num_components; ++c)
                cinfo_.comp_info[c].h_samp_factor = cinfo_.comp_info[c].v_samp_factor = 1;
        }
        jpeg_start_compress(&cinfo_, TRUE);
        return true;
    }
    bool write_line(const uint8_t* row) noexcept override {
        if (failed_) return false;
        if (setjmp(err_.jump)) return failed_ = true, false;
        JSAMPROW r = const_cast<JSAMPROW>(row);  // libjpeg only reads it
        return jpeg_write_scanlines(&cinfo_, &r, 1) == 1;
    }
    bool finish() noexcept override {
        if (failed_) return false;
        if (setjmp(err_.jump)) return failed_ = true, false;
        jpeg_finish_compress(&cinfo_);
        return out_.dest->ok();
    }

private:
    jpeg_compress_struct cinfo_{};
    JpegError err_{};
    JpegDest out_{};
    bool created_ = false;
    bool failed_ = false;
};

}  // namespace

bool probe_jpeg(const uint8_t* data, size_t size, Probe& out) noexcept {
    if (!data || size == 0 || size > static_cast<unsigned long>(-1)) return false;
    JpegProbe p{};
    p.cinfo.err = jpeg_std_error(&p.err.mgr);
    p.err.mgr.error_exit = on_error_exit;
    p.err.mgr.emit_message = on_message;
    p.err.mgr.output_message = on_output_message;
    const bool ok = read_jpeg_header(p, data, size);
    const JDIMENSION w = p.cinfo.image_width, h = p.cinfo.image_height;
    const unsigned unit = p.cinfo.density_unit, res = p.cinfo.X_density;
    jpeg_destroy_decompress(&p.cinfo);
    if (!ok || w < 1 || w > JDIMENSION(kMaxSide) || h < 1 || h > JDIMENSION(kMaxSide)) return false;
    out.width = int32_t(w);
    out.height = int32_t(h);
    out.resolution = res;
    out.unit = int32_t(unit);
    return true;
}

std::unique_ptr<LineWriter> jpeg_line_writer(Dest& dest, int32_t w, int32_t h,
                                             const WriteOptions& o) {
    auto writer = std::make_unique<JpegLines>(dest);
    if (!writer->start(w, h, o)) return nullptr;
    return writer;
}

}  // namespace qrn::imaginglib::codecs

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

    const JDIMENSION w = r.cinfo.image_width, h = r.cinfo.image_height;
    if (w < 1 || w > JDIMENSION(kMaxSide) || h < 1 || h > JDIMENSION(kMaxSide)) return false;
    const bool cmyk = r.cinfo.jpeg_color_space == JCS_CMYK || r.cinfo.jpeg_color_space == JCS_YCCK;
    r.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
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
    if (!data || size == 0 || !width || !height) return nullptr;
    // jpeg_mem_src takes an unsigned long, 32 bits on Windows.
    if (size > static_cast<unsigned long>(-1)) return nullptr;
    JpegRead r{};
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

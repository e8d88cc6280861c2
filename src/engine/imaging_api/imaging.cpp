// Forwards the engine's imaging calls to our imaging library.
#include "engine/imaging_api/imaging.h"

#include <memory>
#include <utility>

#include "engine/arith.h"
#include "imaginglib/blur.h"
#include "imaginglib/convert.h"
#include "imaginglib/enhance.h"
#include "imaginglib/gauss/gaussian.h"
#include "imaginglib/image_file.h"
#include "imaginglib/library.h"
#include "imaginglib/overlay.h"
#include "imaginglib/resample/resample.h"
#include "imaginglib/shapes.h"
#include "imaginglib/zcodec.h"

namespace qrn::imaging {

int32_t init() {
    imaginglib::initialize_core4();
    imaginglib::initialize_effects4();
    imaginglib::initialize_core3();
    return imaginglib::initialize_effects3();
}

void exit() { imaginglib::exit_core3(); }

void overlay(uint8_t* dst, int32_t dst_w, int32_t dst_h, int32_t bytes_per_pixel,
             int64_t dst_stride, const uint8_t* src, int32_t src_w, int32_t src_h,
             int64_t src_stride, int32_t x, int32_t y) {
    imaginglib::overlay_image(dst, dst_w, dst_h, bytes_per_pixel, dst_stride, src, src_w, src_h,
                              src_stride, x, y, 1.0, 0);
}

int64_t deflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity, int level) {
    return imaginglib::z_deflate(src, len, out, capacity, level);
}

int64_t inflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity) {
    return imaginglib::z_inflate(src, len, out, capacity);
}

bool blur_grey(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
               int64_t dst_stride, int32_t strength) {
    return imaginglib::blur_image(src, w, h, 1, src_stride, dst, dst_stride, strength, 1) != 0;
}

bool gaussian_blur(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                   int64_t src_stride, uint8_t* dst, int64_t dst_stride, double sigma,
                   int32_t channels) {
    return imaginglib::gaussian_blur_image(src, w, h, bytes_per_pixel, src_stride, dst, dst_stride,
                                           sigma, channels) != 0;
}

bool sharpen(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t src_stride,
             uint8_t* dst, int64_t dst_stride, int32_t level, int32_t channels) {
    return imaginglib::sharpen_image(src, w, h, bytes_per_pixel, src_stride, dst, dst_stride, level,
                                     channels) != 0;
}

bool modify_saturation(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                       double amount) {
    return imaginglib::modify_saturation(px, w, h, bytes_per_pixel, stride, amount) != 0;
}

bool fill_ellipse(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                  uint32_t colour, int32_t cx, int32_t cy, int32_t rx, int32_t ry) {
    return imaginglib::draw_ellipse(px, w, h, bytes_per_pixel, stride, colour, cx, cy, rx, ry, 1,
                                    1.0) != 0;
}

bool fill_solid_rect(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                     int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour) {
    return imaginglib::fill_solid_rect(px, w, h, bytes_per_pixel, stride, left, top, right, bottom,
                                       colour) != 0;
}

namespace {
struct ImageBlockFree {
    void operator()(uint8_t* block) const { imaginglib::free_image(block); }
};
}  // namespace

bool read_image_file(const char* path, std::vector<uint8_t>& rgba, int32_t& width,
                     int32_t& height) {
    int32_t w = 0, h = 0;
    // Owned from here, so that a failed copy still releases the library's block.
    const std::unique_ptr<uint8_t, ImageBlockFree> block(imaginglib::read_image_file(path, &w, &h));
    if (!block || !valid_side(w) || !valid_side(h)) return false;
    std::vector<uint8_t> copy(block.get(), block.get() + size_t(w) * size_t(h) * 4);
    rgba = std::move(copy);
    width = w;
    height = h;
    return true;
}

bool read_image_block(const char* path, int32_t min_width, int32_t min_height, ImageBlock& out) {
    int32_t w = 0, h = 0;
    ImageBlock b;
    b.pixels = {imaginglib::read_image_file_scaled(path, min_width, min_height, &w, &h),
                [](uint8_t* p) { imaginglib::free_image(p); }};
    if (!b.pixels || !valid_side(w) || !valid_side(h)) return false;
    b.width = w;
    b.height = h;
    out = std::move(b);
    return true;
}

int64_t image_file_reads() { return imaginglib::image_file_reads(); }

bool grey8(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride, uint8_t* grey,
           int64_t grey_stride) {
    return imaginglib::image_to_grey8(rgba, w, h, stride, grey, grey_stride) != 0;
}

void swap_red_blue(uint8_t* rgba, int32_t w, int32_t h, int64_t stride) {
    imaginglib::swap_red_blue(rgba, w, h, stride);
}

bool split_channel(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride, int32_t channel,
                   uint8_t* plane, int64_t plane_stride) {
    return imaginglib::split_image_channel(rgba, w, h, stride, channel, plane, plane_stride) != 0;
}

bool combine_channel(uint8_t* rgba, int32_t w, int32_t h, int64_t stride, int32_t channel,
                     const uint8_t* plane, int64_t plane_stride) {
    const int32_t ok =
        imaginglib::combine_image_channel(rgba, w, h, stride, channel, plane, plane_stride);
    return ok != 0;
}

bool decimate(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
              int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel) {
    return imaginglib::decimate_image(src, sw, sh, src_stride, dst, dw, dh, dst_stride,
                                      bytes_per_pixel) != 0;
}

bool resize(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
            int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel) {
    return imaginglib::resize_image(src, sw, sh, src_stride, dst, dw, dh, dst_stride,
                                    bytes_per_pixel) != 0;
}

}  // namespace qrn::imaging

#include "imaginglib/codecs/writers.h"

namespace qrn::imaging {
namespace {

namespace codecs = imaginglib::codecs;

codecs::Format to_codec(FileFormat f) {
    switch (f) {
        case FileFormat::Bmp: return codecs::Format::Bmp;
        case FileFormat::Png: return codecs::Format::Png;
        case FileFormat::Jpeg: return codecs::Format::Jpeg;
        case FileFormat::Tga: return codecs::Format::Tga;
        case FileFormat::Tiff: return codecs::Format::Tiff;
        case FileFormat::Gif: return codecs::Format::Gif;
        case FileFormat::Pcx: return codecs::Format::Pcx;
        case FileFormat::Psd: return codecs::Format::Psd;
        case FileFormat::Emf: return codecs::Format::Emf;
    }
    return codecs::Format::Bmp;
}

codecs::WriteOptions to_codec(const FileOptions& o) {
    codecs::WriteOptions w;
    w.resolution = {o.has_resolution, o.res_x, o.res_y, o.res_unit};
    w.jpeg_quality = o.jpeg_quality;
    w.jpeg_full_chroma = o.jpeg_full_chroma;
    return w;
}

}  // namespace

bool probe_image_file(const char* path, FileHeader& out) {
    imaginglib::ImageProbe p;
    if (!imaginglib::probe_image_file(path, p)) return false;
    out = {p.type, p.dims_known, p.width, p.height, p.resolution, p.unit};
    return true;
}

bool read_metafile(const char* path, int32_t canvas_w, int32_t canvas_h, uint32_t background,
                   std::vector<uint8_t>& rgb, int32_t& width, int32_t& height) {
    int32_t w = 0, h = 0;
    const std::unique_ptr<uint8_t, ImageBlockFree> block(
        imaginglib::read_metafile(path, &w, &h, canvas_w, canvas_h, background));
    if (!block || !valid_side(w) || !valid_side(h)) return false;
    std::vector<uint8_t> copy(block.get(), block.get() + size_t(w) * size_t(h) * 3);
    rgb = std::move(copy);
    width = w;
    height = h;
    return true;
}

bool write_image_file(const char* path, FileFormat format, const uint8_t* pixels, int32_t width,
                      int32_t height, int32_t bytes_per_pixel, int64_t stride,
                      const FileOptions& options) {
    codecs::FileDest dest(path);
    return dest.ok() &&
           codecs::write_image(to_codec(format), dest, pixels, width, height, bytes_per_pixel,
                               stride, to_codec(options)) &&
           dest.commit();
}

struct LineFile::Impl {
    explicit Impl(const char* path) : dest(path) {}
    codecs::FileDest dest;
    std::unique_ptr<codecs::LineWriter> writer;
};

LineFile::LineFile() = default;
LineFile::~LineFile() = default;

bool LineFile::open(const char* path, FileFormat format, int32_t width, int32_t height,
                    int32_t bytes_per_pixel, const FileOptions& options) {
    auto impl = std::make_unique<Impl>(path);
    if (!impl->dest.ok()) return false;
    impl->writer = codecs::make_line_writer(to_codec(format), impl->dest, width, height,
                                            bytes_per_pixel, to_codec(options));
    if (!impl->writer) return false;
    impl_ = std::move(impl);
    return true;
}

bool LineFile::write_line(const uint8_t* row) { return impl_ && impl_->writer->write_line(row); }

bool LineFile::close() {
    if (!impl_) return false;
    const bool ok = impl_->writer->finish() && impl_->dest.commit();
    impl_.reset();
    return ok;
}

}  // namespace qrn::imaging

#include "imaginglib/geometry/geometry.h"

namespace qrn::imaging {

bool resample_nearest(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                      int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel) {
    return imaginglib::resample_nearest(src, sw, sh, src_stride, dst, dw, dh, dst_stride,
                                        bytes_per_pixel) != 0;
}

bool resize_bicubic(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                    int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel) {
    return imaginglib::resize_bicubic(src, sw, sh, src_stride, dst, dw, dh, dst_stride,
                                      bytes_per_pixel) != 0;
}

bool resize_filtered(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride,
                     uint8_t* dst, int32_t dw, int32_t dh, int64_t dst_stride,
                     int32_t bytes_per_pixel, int32_t filter) {
    return imaginglib::resize_filter(src, sw, sh, src_stride, dst, dw, dh, dst_stride,
                                     bytes_per_pixel, filter) != 0;
}

bool place_image(uint8_t* dst, int32_t dst_w, int32_t dst_h, int32_t bytes_per_pixel,
                 int64_t dst_stride, const uint8_t* src, int32_t src_w, int32_t src_h,
                 int64_t src_stride, int32_t x, int32_t y) {
    return imaginglib::overlay_image(dst, dst_w, dst_h, bytes_per_pixel, dst_stride, src, src_w,
                                     src_h, src_stride, x, y, 1.0, 0) != 0;
}

bool crop(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
          int64_t dst_stride, int32_t left, int32_t top, int32_t right, int32_t bottom,
          int32_t bytes_per_pixel) {
    return imaginglib::crop_image(src, w, h, src_stride, dst, dst_stride,
                                  {left, top, right, bottom}, bytes_per_pixel) != 0;
}

bool quick_rotate(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
                  int64_t dst_stride, int32_t turn, int32_t bytes_per_pixel) {
    return imaginglib::quick_rotate_image(src, w, h, src_stride, dst, dst_stride, turn,
                                          bytes_per_pixel) != 0;
}

bool flip_horizontal(uint8_t* image, int32_t w, int32_t h, int32_t bytes_per_pixel,
                     int64_t stride) {
    return imaginglib::horizontal_flip_image(image, w, h, bytes_per_pixel, stride) != 0;
}

bool flip_vertical(uint8_t* image, int64_t stride, int32_t h) {
    return imaginglib::vertical_flip_image(image, stride, h) != 0;
}

}  // namespace qrn::imaging

#include "imaginglib/spline.h"

namespace qrn::imaging {

int32_t spline_points_3d(int32_t wanted, int32_t controls, int32_t smoothness, const double* cx,
                         const double* cy, const double* cz, double* out_x, double* out_y,
                         double* out_z) {
    return imaginglib::spline_points_3d(wanted, controls, smoothness, cx, cy, cz, out_x, out_y,
                                        out_z);
}

}  // namespace qrn::imaging

#include "imaginglib/box_blur.h"
#include "imaginglib/transform.h"

namespace qrn::imaging {

void clear_transforms() { imaginglib::clear_all_transforms(); }

bool add_offset_transform(int32_t width, int32_t height, double dx, double dy, int32_t edge) {
    return imaginglib::add_offset_transform(width, height, dx, dy, edge) != 0;
}

bool add_bump_transform(int32_t width, int32_t height, float amount, const uint8_t* map,
                        int32_t map_w, int32_t map_h) {
    return imaginglib::add_bump_map_displacement_transform(width, height, amount, map, map_w,
                                                           map_h) != 0;
}

bool run_transforms(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
                    int64_t dst_stride, int32_t bytes_per_pixel, int32_t smooth, uint32_t fill) {
    return imaginglib::transform_process(src, w, h, src_stride, dst, dst_stride, bytes_per_pixel,
                                         smooth, fill) != 0;
}

bool push(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
          uint8_t* dst, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius) {
    return imaginglib::push_image(src, w, h, bytes_per_pixel, stride, dst, x1, y1, x2, y2,
                                  radius) != 0;
}

bool blur_more(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t bytes_per_pixel,
               int64_t src_stride, int64_t dst_stride, int32_t radius, double amount,
               int32_t channels) {
    return imaginglib::box_blur_image(src, w, h, dst, bytes_per_pixel, src_stride, dst_stride,
                                      radius, amount, channels) != 0;
}

}  // namespace qrn::imaging

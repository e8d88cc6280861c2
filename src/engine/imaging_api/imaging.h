// The engine's one seam to our imaging library: the engine calls these, never
// imaginglib/ directly, so the library can be swapped or faked.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qrn::imaging {

// Starts the library's four parts in order; returns the last one's result.
int32_t init();
void exit();

// Exact copy of a source image onto the destination at (x, y), clipped to the
// destination. Pixels are bytes_per_pixel bytes; strides are in bytes.
void overlay(uint8_t* dst, int32_t dst_w, int32_t dst_h, int32_t bytes_per_pixel,
             int64_t dst_stride, const uint8_t* src, int32_t src_w, int32_t src_h,
             int64_t src_stride, int32_t x, int32_t y);

// zlib (RFC 1950) stream of src, at most capacity bytes; level 1..9. Returns
// the stream length, or 0 when it does not fit or fails.
int64_t deflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity, int level);
// Inflates a zlib stream into out (never past capacity). Returns the bytes
// produced, or -1 for a corrupt, truncated or foreign stream.
int64_t inflate(const uint8_t* src, size_t len, uint8_t* out, size_t capacity);

// Blur of a one-byte-per-pixel image; false when it could not run.
bool blur_grey(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
               int64_t dst_stride, int32_t strength);

// ---- Filters and shapes of the pixel kernels and PhotoPop ----
// Channel masks: bit 0 the first byte of a pixel (R), bit 3 the fourth (A).

// Gaussian blur with standard deviation sigma in pixels; false when it could not run.
bool gaussian_blur(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel,
                   int64_t src_stride, uint8_t* dst, int64_t dst_stride, double sigma,
                   int32_t channels);
// Sharpening by level (0 copies) of the masked channels.
bool sharpen(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t src_stride,
             uint8_t* dst, int64_t dst_stride, int32_t level, int32_t channels);
// Saturation scaled by amount in place (1 changes nothing, 0 grey, negative inverts).
bool modify_saturation(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                       double amount);
// A filled ellipse of one colour (low byte first) around (cx, cy) with radii rx, ry.
bool fill_ellipse(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                  uint32_t colour, int32_t cx, int32_t cy, int32_t rx, int32_t ry);
// Columns left..right - 1, rows top..bottom - 1 set to the colour, clipped.
bool fill_solid_rect(uint8_t* px, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
                     int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t colour);

}  // namespace qrn::imaging

#include <vector>

namespace qrn::imaging {

// Reads an image file (PNG, JPEG, BMP, TGA, ...) as RGBA32, rows top first.
// Sizes are validated (1..10000 a side) before anything is copied; false for
// a null path, an unreadable file or an unusable image.
bool read_image_file(const char* path, std::vector<uint8_t>& rgba, int32_t& width,
                     int32_t& height);
// The library's own block of a file read as RGBA32, without a copy: for
// pictures that are only passed on (the converters).
struct ImageBlock {
    std::unique_ptr<uint8_t, void (*)(uint8_t*)> pixels{nullptr, nullptr};
    int32_t width = 0, height = 0;
};
// A JPEG may come at 1/2, 1/4 or 1/8 of its size as long as both sides stay
// at least min_width x min_height (0: full size).
bool read_image_block(const char* path, int32_t min_width, int32_t min_height, ImageBlock& out);
// How many image files have been read (tests check that caches hold).
int64_t image_file_reads();
// RGBA32 to 8-bit grey (luminance).
bool grey8(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride, uint8_t* grey,
           int64_t grey_stride);
// Swaps the first and third byte of every RGBA32 pixel in place.
void swap_red_blue(uint8_t* rgba, int32_t w, int32_t h, int64_t stride);
// Channel 0..3 of an RGBA32 image into a one-byte plane, and back.
bool split_channel(const uint8_t* rgba, int32_t w, int32_t h, int64_t stride, int32_t channel,
                   uint8_t* plane, int64_t plane_stride);
bool combine_channel(uint8_t* rgba, int32_t w, int32_t h, int64_t stride, int32_t channel,
                     const uint8_t* plane, int64_t plane_stride);
// Shrinks by area averaging; for a destination smaller than the source.
// bytes_per_pixel 1..4 (byte channels) or 8 (RGBA64, even pointers and strides).
bool decimate(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
              int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);
// Bilinear resize to any size.
bool resize(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
            int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);

}  // namespace qrn::imaging

#include <memory>

namespace qrn::imaging {

// ---- Image files ----

// File-type codes of the probe: the engine acts on these.
constexpr int32_t kFileBmp = 1, kFileJpeg = 3, kFilePng = 4, kFileTiff = 6, kFileEmf = 7,
                  kFileWmf = 8, kFilePsd = 10;

// A file's type by content and, where its header could be read, the stored
// resolution with the format's own unit code (BMP 2 = per metre; JPEG 1 inch,
// 2 cm; PNG 1 = per metre; TIFF and PSD 2 inch, 3 cm; 0 none).
struct FileHeader {
    int32_t type = 0;
    bool dims_known = false;
    int32_t width = 0, height = 0;
    uint32_t resolution = 0;
    int32_t unit = 0;
};
// False when the file cannot be opened.
bool probe_image_file(const char* path, FileHeader& out);

// The metafile renderer: RGB24 at the canvas size over the background colour
// (0x00BBGGRR). We have none, so this always fails quietly.
bool read_metafile(const char* path, int32_t canvas_w, int32_t canvas_h, uint32_t background,
                   std::vector<uint8_t>& rgb, int32_t& width, int32_t& height);

enum class FileFormat { Bmp, Png, Jpeg, Tga, Tiff, Gif, Pcx, Psd, Emf };

struct FileOptions {
    bool has_resolution = false;
    double res_x = 0, res_y = 0;  // in the format's unit, truncated by the writer
    int32_t res_unit = 0;
    int32_t jpeg_quality = 97;
    bool jpeg_full_chroma = false;  // accurate DCT, no smoothing, no chroma subsampling
};

// Whole image, rows top first. Written beside path and renamed over it only
// when complete; false (and path untouched) for anything that fails.
bool write_image_file(const char* path, FileFormat format, const uint8_t* pixels, int32_t width,
                      int32_t height, int32_t bytes_per_pixel, int64_t stride,
                      const FileOptions& options);

// The same one row at a time (BMP bottom row first); close() makes the file.
// Giving up before close() leaves path untouched.
class LineFile {
public:
    LineFile();
    ~LineFile();
    bool open(const char* path, FileFormat format, int32_t width, int32_t height,
              int32_t bytes_per_pixel, const FileOptions& options);
    bool write_line(const uint8_t* row);
    bool close();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qrn::imaging

namespace qrn::imaging {

// ---- Resamplers and geometry of whole images (layer geometry) ----
// Each answers whether the library call succeeded; strides are in bytes.

bool resample_nearest(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                      int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);
bool resize_bicubic(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride, uint8_t* dst,
                    int32_t dw, int32_t dh, int64_t dst_stride, int32_t bytes_per_pixel);
// filter: 0 Box, 1 Triangle, 2 Hamming, 3 Gaussian, 4 Bell, 5 B-Spline, 6 Cubic 1,
// 7 Cubic 2, 8 Lanczos3, 9 Mitchell, 10 Sinc, 11 Hermite, 12 Hanning, 13 Catrom.
bool resize_filtered(const uint8_t* src, int32_t sw, int32_t sh, int64_t src_stride,
                     uint8_t* dst, int32_t dw, int32_t dh, int64_t dst_stride,
                     int32_t bytes_per_pixel, int32_t filter);
// The source copied onto the destination at (x, y), either may be negative;
// what falls outside is clipped.
bool place_image(uint8_t* dst, int32_t dst_w, int32_t dst_h, int32_t bytes_per_pixel,
                 int64_t dst_stride, const uint8_t* src, int32_t src_w, int32_t src_h,
                 int64_t src_stride, int32_t x, int32_t y);
// The rectangle [left, right) x [top, bottom) of the source into a destination
// of its size.
bool crop(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
          int64_t dst_stride, int32_t left, int32_t top, int32_t right, int32_t bottom,
          int32_t bytes_per_pixel);
// Turn codes: 0 a quarter clockwise, 1 a half, 2 a quarter counter-clockwise.
bool quick_rotate(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
                  int64_t dst_stride, int32_t turn, int32_t bytes_per_pixel);
bool flip_horizontal(uint8_t* image, int32_t w, int32_t h, int32_t bytes_per_pixel,
                     int64_t stride);
bool flip_vertical(uint8_t* image, int64_t stride, int32_t h);

// ---- Spline ----

// `wanted` samples of a smooth curve through `controls` control points in three
// dimensions; the first and last samples are the first and last control points.
// `smoothness` is passed on as the caller gives it. Returns the samples written, 0
// when the arguments are unusable.
int32_t spline_points_3d(int32_t wanted, int32_t controls, int32_t smoothness, const double* cx,
                         const double* cy, const double* cz, double* out_x, double* out_y,
                         double* out_z);

// ---- Distortions ----

// The library's one transform list: cleared, built up, then run over an image.
// Offset edge modes: 0 fill, 1 wrap, 2 clamp, anything else fill.
void clear_transforms();
bool add_offset_transform(int32_t width, int32_t height, double dx, double dy, int32_t edge);
// Displacement along the slope of a packed grey map; the map is copied.
bool add_bump_transform(int32_t width, int32_t height, float amount, const uint8_t* map,
                        int32_t map_w, int32_t map_h);
// Runs the list from src into a distinct dst; smooth 0 samples the nearest pixel,
// else bilinear; uncovered pixels take fill (R in the low byte).
bool run_transforms(const uint8_t* src, int32_t w, int32_t h, int64_t src_stride, uint8_t* dst,
                    int64_t dst_stride, int32_t bytes_per_pixel, int32_t smooth, uint32_t fill);
// Pushes the picture from (x1, y1) towards (x2, y2) into a distinct dst of the same stride.
bool push(const uint8_t* src, int32_t w, int32_t h, int32_t bytes_per_pixel, int64_t stride,
          uint8_t* dst, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t radius);
// Box blur: radius 0 is 3 x 3; amount 1.0 is the full blur; channels is a mask
// (bit 0 the first byte of a pixel).
bool blur_more(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t bytes_per_pixel,
               int64_t src_stride, int64_t dst_stride, int32_t radius, double amount,
               int32_t channels);

}  // namespace qrn::imaging

// Encoders of the formats we write, to a Dest. The five line-based formats
// have line writers; the whole-image writers are those same line writers fed
// every row, so a page written line by line is byte for byte the file the
// whole-image writer makes of the same picture.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "imaginglib/codecs/dest.h"

namespace qrn::imaginglib::codecs {

enum class Format { Bmp, Png, Jpeg, Tga, Tiff, Gif, Pcx, Psd, Emf };

// A resolution record as the writers store it: BMP pixels per metre, PNG
// pixels per metre (unit 1), JPEG dots per inch (unit 1), TIFF dots per inch
// (unit 2). Values are truncated to the field's integer type.
struct Resolution {
    bool present = false;
    double x = 0, y = 0;
    int32_t unit = 0;
};

struct WriteOptions {
    Resolution resolution;
    int32_t jpeg_quality = 97;
    // Page JPEGs: accurate integer DCT, no smoothing, no chroma subsampling.
    // Otherwise libjpeg's defaults (2 x 2 chroma).
    bool jpeg_full_chroma = false;
};

class LineWriter {
public:
    virtual ~LineWriter() = default;
    // One row of width pixels (3 or 4 bytes each, R, G, B[, A]), in the
    // format's own order: BMP bottom row first, the others top row first.
    virtual bool write_line(const uint8_t* row) noexcept = 0;
    // After height rows; true when the file is complete. Nothing is written
    // to dest after a failure.
    virtual bool finish() noexcept = 0;
};

// Null for a format without line writer, a side outside 1..kMaxSide, a pixel
// size the format does not take (BMP, JPEG: 3; TGA, TIFF: 4; PNG: 3 or 4) or
// a failed start.
std::unique_ptr<LineWriter> make_line_writer(Format format, Dest& dest, int32_t width,
                                             int32_t height, int32_t bytes_per_pixel,
                                             const WriteOptions& options) noexcept;

// Whole image, rows top first, stride in bytes (at least width x bytes_per_pixel).
// GIF, PCX, PSD and EMF take RGB24; the others as make_line_writer.
bool write_image(Format format, Dest& dest, const uint8_t* pixels, int32_t width, int32_t height,
                 int32_t bytes_per_pixel, int64_t stride, const WriteOptions& options) noexcept;

// The per-format pieces behind the two above.
std::unique_ptr<LineWriter> bmp_line_writer(Dest&, int32_t w, int32_t h, const WriteOptions&);
std::unique_ptr<LineWriter> png_line_writer(Dest&, int32_t w, int32_t h, int32_t bpp,
                                            const WriteOptions&);
std::unique_ptr<LineWriter> jpeg_line_writer(Dest&, int32_t w, int32_t h, const WriteOptions&);
std::unique_ptr<LineWriter> tga_line_writer(Dest&, int32_t w, int32_t h);
std::unique_ptr<LineWriter> tiff_line_writer(Dest&, int32_t w, int32_t h, const WriteOptions&);
bool write_gif(Dest&, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride);
bool write_pcx(Dest&, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride);
bool write_psd(Dest&, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride);
bool write_emf(Dest&, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride);

}  // namespace qrn::imaginglib::codecs

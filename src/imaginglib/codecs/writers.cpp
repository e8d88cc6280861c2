// Picks the encoder for a format and drives the line writers over a whole image.
#include "imaginglib/codecs/writers.h"

#include "imaginglib/codecs/codecs.h"

namespace qrn::imaginglib::codecs {

std::unique_ptr<LineWriter> make_line_writer(Format format, Dest& dest, int32_t width,
                                             int32_t height, int32_t bytes_per_pixel,
                                             const WriteOptions& options) noexcept {
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide || !dest.ok())
        return nullptr;
    try {
        switch (format) {
            case Format::Bmp:
                return bytes_per_pixel == 3 ? bmp_line_writer(dest, width, height, options)
                                            : nullptr;
            case Format::Png:
                return bytes_per_pixel == 3 || bytes_per_pixel == 4
                           ? png_line_writer(dest, width, height, bytes_per_pixel, options)
                           : nullptr;
            case Format::Jpeg:
                return bytes_per_pixel == 3 ? jpeg_line_writer(dest, width, height, options)
                                            : nullptr;
            case Format::Tga:
                return bytes_per_pixel == 4 ? tga_line_writer(dest, width, height) : nullptr;
            case Format::Tiff:
                return bytes_per_pixel == 4 ? tiff_line_writer(dest, width, height, options)
                                            : nullptr;
            default:
                return nullptr;
        }
    } catch (...) {
        return nullptr;
    }
}

bool write_image(Format format, Dest& dest, const uint8_t* pixels, int32_t width, int32_t height,
                 int32_t bytes_per_pixel, int64_t stride, const WriteOptions& options) noexcept {
    if (!pixels || width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) return false;
    if (stride < int64_t(width) * bytes_per_pixel) return false;
    try {
        switch (format) {
            case Format::Gif:
                return bytes_per_pixel == 3 && write_gif(dest, pixels, width, height, stride);
            case Format::Pcx:
                return bytes_per_pixel == 3 && write_pcx(dest, pixels, width, height, stride);
            case Format::Psd:
                return bytes_per_pixel == 3 && write_psd(dest, pixels, width, height, stride);
            case Format::Emf:
                return bytes_per_pixel == 3 && write_emf(dest, pixels, width, height, stride);
            default:
                break;
        }
        const auto writer =
            make_line_writer(format, dest, width, height, bytes_per_pixel, options);
        if (!writer) return false;
        const bool bottom_up = format == Format::Bmp;
        for (int32_t r = 0; r < height; ++r) {
            const int32_t y = bottom_up ? height - 1 - r : r;
            if (!writer->write_line(pixels + y * stride)) return false;
        }
        return writer->finish();
    } catch (...) {
        return false;
    }
}

}  // namespace qrn::imaginglib::codecs

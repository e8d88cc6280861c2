// The engine side of image files: resolution probe, readers into host buffers
// and the new RGBA buffer, writers chosen by extension, page writers, the
// thumbnail and web-picture converters, and the new RGBA buffer's getters.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::io {

constexpr int32_t kDefaultDpi = 72;

// dpi from a probe's type, stored value and unit code (factors per format),
// truncated, then snapped: within one of 72, 96, 150, 200, 300, 450 or 600
// gives that value, anything else 72.
int32_t dpi_from_header(int32_t type, uint32_t value, int32_t unit);
int32_t snap_dpi(int32_t dpi);
int32_t dpi_from_file(const char* path);

// Frees the old buffer, records the sides, allocates (zeroed). False, with
// "CreateNewRGBA Excpt" and the buffer absent, when the allocation fails.
bool create_new_rgba(EngineState& st, int32_t width, int32_t height);

// 1 when the file was read into the new RGBA buffer. A file that cannot be
// read leaves the old buffer as it was.
int32_t read_from_file(EngineState& st, const char* path);
// 1 when the image is exactly width x height and was copied into dst (packed
// RGB24 or RGBA32); otherwise 0 and dst untouched.
int32_t read_from_file_sized(EngineState& st, uint8_t* dst, int32_t width, int32_t height,
                             const char* path, int32_t bytes_per_pixel);

// The writer's result, 0 for an extension the pixel size has no writer for
// (compared without regard to case), a null argument or a side outside 1..10000.
int32_t write_rgb24(const uint8_t* pixels, int32_t width, int32_t height, const char* path,
                    const char* extension, int32_t dpi);
int32_t write_rgba32(const uint8_t* pixels, int32_t width, int32_t height, const char* path,
                     const char* extension, int32_t dpi);

// The merged page, one row at a time; nothing without a canvas.
void save_page(EngineState& st, const char* path, const char* extension, int32_t dpi,
               int32_t bytes_per_pixel);

// Target sides of the two converters; false where nothing is to be written.
bool thumbnail_size(int32_t w, int32_t h, int32_t& tw, int32_t& th);
bool web_pic_size(int32_t w, int32_t h, int32_t max_w, int32_t max_h, int32_t& tw, int32_t& th);
void make_thumbnail(const char* src_path, const char* dst_path);
void make_web_pic(const char* src_path, const char* dst_path, int32_t max_w, int32_t max_h);

void get_new_rgba32(const EngineState& st, uint8_t* dst);
void get_new_rgba24(const EngineState& st, uint8_t* dst);
void get_resized_new_rgba24(const EngineState& st, uint8_t* dst, int32_t width, int32_t height);
int32_t set_in_new_rgba(EngineState& st);
void delete_new_rgba(EngineState& st);

}  // namespace qrn::io

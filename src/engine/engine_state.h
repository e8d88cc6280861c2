// The one record of everything the engine owns: settings, canvas and layer slots,
// brush buffers, mask, undo history and work buffers. Zeroed at load.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/arith.h"
#include "engine/buffer.h"
#include "platform/tablet_driver.h"

namespace qrn {

constexpr int kLayerSlots = 64;
constexpr int kUndoEntries = 500;
constexpr int kGritBuffers = 20;
constexpr int kModeNameBytes = 50;
constexpr int kStartDirBytes = 1024;
constexpr int kLastErrorBytes = 512;

// Fixed text so that reporting a failure never allocates.
struct LastError {
    char text[kLastErrorBytes] = {};
    void set(const char* msg);          // at most 511 characters; null ignored
    void set_failure(const char* op);  // "<op> Excpt"
};

struct Settings {
    uint16_t colour[4] = {};        // r, g, b, a
    uint16_t colour_banks[16] = {};  // planar: four reds, greens, blues, alphas
    int32_t blend_strength = 0;
    int32_t blend_strength_comp = 0;
    int32_t primary_strength = 0;
    int32_t primary_strength_comp = 0;
    uint8_t blend_remix = 0;
    int32_t density_threshold = 0;
    int32_t alpha_percent = 0;
    int32_t alpha_scaled = 0;
    int32_t colour_vary = 0;
    int32_t alpha_locked = 0;
    int32_t colour_locked = 0;
    int32_t blob_locked = 0;
    int32_t alpha_level = 0;
    int32_t image_brush_mode = 0;
    int32_t solid_brush_mode = 0;
    int32_t rotate_brush_mode = 0;
    int32_t rotation_degrees = 0;
    float rotation_radians = 0;
    float rotation_sin = 0;
    float rotation_cos = 0;
    int32_t mix_mode = 0;
    int32_t mix_amount = 0;
    int32_t mix_amount_comp = 0;
    int32_t posterise_step = 0;
    uint8_t temp_disable_blend = 0;  // one-shot
    uint8_t mask_maker_on = 0;       // one-shot
    uint8_t erase_mode_on = 0;       // one-shot
    uint8_t tracing_mode = 0;
    uint8_t mask_enabled = 0;
    uint8_t display_mask = 0;
    uint32_t mask_overlay_a[3] = {};  // r, g, b: 8-bit value << 8
    uint32_t mask_overlay_b[3] = {};
    int32_t mask_overlay_solid = 0;   // 0: the overlay tints at most half
    int32_t scale_a = 0, scale_b = 0;
    int32_t offset_x = 0, offset_y = 0;
    int32_t view_width = 0, view_height = 0;
    char start_dir[kStartDirBytes] = {};
    uint32_t random_seed = 0;
    uint8_t display_changed = 0;
};

struct RandomByteArray {
    Buffer<uint8_t> bytes;
    int32_t modulus = 0;
    uint32_t seed = 0;
    int32_t length = 0;
};

struct LayerRecord {
    Buffer<uint16_t> pixels;  // RGBA64, width x height, row_words a row
    int32_t width = 0;
    int32_t height = 0;
    int32_t row_words = 0;
    uint8_t visible = 0;
    uint8_t alpha_locked = 0;
    uint16_t opacity = 0;  // 0..256
    char mode_name[kModeNameBytes] = {};
    int32_t merge_mode = 0;

    bool has_pixels() const { return !pixels.empty(); }
};

struct Canvas {
    void* host_window = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t row_bytes = 0;
    int32_t max_brush = 0;      // b
    int32_t max_brush_row = 0;  // b x 4 words
    int32_t reserved = 0;
    int32_t current_layer_num = 0;
    int32_t current_slot = -1;  // -1: no current layer
    int32_t top_layer_index = 0;
    int32_t tracing_slot = -1;
    bool exists = false;        // CreateImage ran and DeleteImage has not
    std::array<LayerRecord, kLayerSlots> slots;
    LayerRecord paint_layer;
    Buffer<uint8_t> texture;  // W x H bytes or empty
    Buffer<uint16_t> mask;    // W x H words or empty
};

// Cached source of an image brush shape: kept between calls so the same path
// and angle do not reload the file.
struct ShapeCache {
    std::vector<uint8_t> rgba;  // RGBA32, width x height, already rotated
    int32_t width = 0;
    int32_t height = 0;
    std::string path;
    int32_t angle = 0;
    bool valid() const { return !rgba.empty() && width > 0 && height > 0; }
    void reset() { rgba.clear(); rgba.shrink_to_fit(); width = height = 0; path.clear(); angle = 0; }
};

constexpr int kScaleMapEntries = 1000;

struct BrushBuffers {
    std::array<Buffer<uint8_t>, kGritBuffers> grit;  // (b + 25)^2 bytes, read with row length b
    Buffer<uint16_t> shape;                            // b x b coverage, row length b
    Buffer<uint16_t> blend;                            // b x b RGBA64
    int32_t blend_row_words = 0;
    ShapeCache cached_shape;
    int32_t size = 0;       // S
    int32_t footprint = 0;  // n
    std::array<int32_t, kScaleMapEntries> scale_map = {};
    float shape_strength = 0;
    uint8_t softness = 0;
    uint8_t invert_shape = 0;
    int32_t shape_angle = 0;
    int32_t grit_size = 0;
    int32_t grit_coverage = 0;  // a block is placed where its placement byte is below this
    int32_t grit_fill = 0;      // a pixel of a placed block is filled below this
    int32_t grit_repeat = 0;
    int32_t grit_countdown = 0;
    // The grit in use as (buffer, byte offset) rather than a pointer, so that
    // reallocating the buffers can reset it: -1 means none chosen yet.
    int32_t grit_choice = -1;
    int64_t grit_offset = 0;
    int32_t pix_colour_vary = 0;
    int32_t pix_lum_vary = 0;
    int32_t tool_arg11 = 0;  // stored, never read
    uint8_t tool_arg13 = 0;  // stored, never read
};

struct UndoEntry {
    Buffer<uint16_t> pixels;  // packed RGBA64, w x h
    Buffer<uint16_t> mask;    // packed words, w x h
    uint8_t mask_flag = 0;
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool in_use() const { return !pixels.empty() || !mask.empty(); }
};

struct ChangedRect {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

struct UndoHistory {
    std::array<UndoEntry, kUndoEntries> entries;  // 0 is the newest
    std::array<int32_t, kUndoEntries> layer = {};
    int32_t levels = 0;
    int32_t redo_count = 0;
    bool paused = false;
    ChangedRect changed;
    int64_t budget_kb = 0;
    int64_t used_kb = 0;
    bool auto_budget = false;
    Buffer<uint16_t> back_pixels;  // canvas-sized RGBA64 copy of the current layer
    Buffer<uint16_t> back_mask;    // canvas-sized copy of the mask
};

// Canvas-sized source and destination buffers of image processing; the Lua
// filters use the RGBA32 pair too.
struct WorkBuffers {
    Buffer<uint8_t> src32, dst32, src24, dst24;
};

// Parameter block of the pixel-kernel runner, written before every kernel and
// kept until the next run (the in-place flag too).
struct KernelParams {
    uint8_t in_place = 0;  // 0: kernels read the source, write the destination
    double r[6] = {};      // runner arguments x 0.001
    int32_t k1 = 0, k2 = 0;
    uint8_t f[6] = {};
    int32_t area[4] = {};  // first column, first row, last column, last row
    int32_t columns = 0, rows = 0;
};

// The new RGBA buffer: one packed RGBA32 image filled by file, clipboard and
// screen input. Width and height keep their last values after it is freed.
struct NewRgba {
    Buffer<uint8_t> pixels;  // width x height x 4, or empty
    int32_t width = 0;
    int32_t height = 0;
};

// Image brush pictures, all RGBA64 packed at their own sizes. The sized copy
// and the rotation cache remember the maximum brush size they were made
// under: after a resize with another b they count as absent.
struct ImageBrush {
    Buffer<uint16_t> source;  // source_w x source_h
    int32_t source_w = 0, source_h = 0;
    Buffer<uint16_t> sized;  // sized_side x sized_side
    int32_t sized_side = 0;
    int32_t sized_b = 0;
    Buffer<uint8_t> rotate_first, rotate_second;  // RGBA32, rotate_w x rotate_h each
    int32_t rotate_w = 0, rotate_h = 0;
    int32_t rotate_b = 0;
    bool rotate_valid = false;
    Buffer<uint16_t> strip;  // strip_w x strip_h, frames of strip_h x strip_h
    int32_t strip_w = 0, strip_h = 0;
    int32_t strip_frames = 0;
};

// Stroke spline and pen tablet input.
constexpr int kSplinePoints = 100;
constexpr int kSplineControls = 3;

struct StrokeSpline {
    std::array<double, kSplineControls> control_x{}, control_y{}, control_z{};
    std::array<double, kSplinePoints> x{}, y{}, z{};  // the samples
    int32_t count = 0;                                // 0 until the first calculation
};

constexpr int kTabletPackets = 256;

struct TabletInput {
    platform::TabletHandle context = 0;  // 0: closed
    void* window = nullptr;
    int32_t origin_x = 0, origin_y = 0;  // screen position of the window's client area
    float pressure_scale = 0;            // percent per pressure unit
    std::array<platform::TabletPacket, kTabletPackets> packets{};
    uint32_t packet_count = 0;           // of the last read
    uint32_t last_pressure = 100;        // percent; a host starts at full pressure
};

struct EngineState {
    Settings settings;
    Canvas canvas;
    BrushBuffers brush;
    UndoHistory undo;
    WorkBuffers work;
    KernelParams kernel;
    NewRgba new_rgba;
    RandomByteArray grit_placement, grit_value, pix_colour_vary, pix_lum_vary;
    Rng rng;  // ours, not rand(): same sequence on every platform
    LastError last_error;
    char dir_info[261] = {};  // text storage behind QRN_GetDirInfo
    ImageBrush image_brush;
    StrokeSpline spline;
    TabletInput tablet;
};

EngineState& engine();  // the process-wide instance; src/exports/ only

}  // namespace qrn

// Pixel transfer between host buffers and layers: 8-bit loads (plain or weighted
// by texture and mask), 8- and 16-bit reads, raw layer copies, host-buffer
// conversions, compressed whole-layer transfer and one-colour fills.
//
// Strides are signed byte strides. A slot outside 0..63, an empty slot, a null
// host buffer or (for canvas-geometry functions) a slot whose size differs from
// the canvas writes nothing and gives 0.
#pragma once
#include <cstdint>

#include "composite/composite_job.h"
#include "engine/engine_state.h"

namespace qrn::pixels {

constexpr uint32_t kFullWeight = 0xFFFF;

// Texture and mask of every load into a layer, read at canvas offset
// row x W + column; an input smaller than the canvas counts as absent.
struct LoadWeights {
    const uint8_t* texture = nullptr;
    const uint16_t* mask = nullptr;
    int64_t width = 0;
    int64_t height = 0;

    bool any() const { return texture || mask; }

    // Texture t >= 128 keeps full weight, else (2t x 65535) >> 8; then a mask
    // word m < 0xFFFF scales it by (w x m) >> 16. Outside the canvas (a slot
    // larger than it) there is no texture or mask: full weight.
    uint32_t at(int64_t row, int64_t col) const {
        if (row >= height || col >= width) return kFullWeight;
        const int64_t k = row * width + col;
        uint32_t w = kFullWeight;
        if (texture) {
            const uint32_t t = texture[k];
            if (t < 128) w = (2 * t * 65535u) >> 8;
        }
        if (mask) {
            const uint32_t m = mask[k];
            if (m < kFullWeight) w = (w * m) >> 16;
        }
        return w;
    }
};

// The weighting inputs as they stand; look them up once per operation.
LoadWeights load_weights(const EngineState& st);

// The three RGBA32 loaders differ only in how they treat transparent pixels.
enum class LoadVariant { Plain, Good, Good2 };

// Reversed (B, G, R) rows into the current layer, min(W, w) x min(H, h); alpha 0xFFFF.
void load_bgr24(EngineState& st, const uint8_t* buf, int32_t stride, int32_t w, int32_t h);
// Canvas-sized RGB24 into the current layer's colour words. Returns H (0: nothing done).
int32_t load_rgb24(EngineState& st, const uint8_t* buf, int32_t stride, bool use_mask);
// First byte of each RGB24 pixel into the alpha of pixels whose alpha is not 0.
void load_rgb24_to_alpha(EngineState& st, const uint8_t* buf, int32_t stride, bool use_mask);
// RGBA32 into a slot, clipped to the slot's own size. Returns rows written. `simd`
// picks the weighted load's loop (tests compare each width against Scalar).
int32_t load_rgba32_layer(EngineState& st, const uint8_t* buf, int64_t stride, int32_t slot,
                          int32_t w, int32_t h, bool use_mask,
                          LoadVariant variant = LoadVariant::Plain,
                          composite::Simd simd = composite::Simd::Best);
// load_rgba32_layer on the current slot with its own width and height.
int32_t load_rgba32(EngineState& st, const uint8_t* buf, int32_t stride, bool use_mask);
// zlib stream of a packed slot-sized RGBA32 image. Throws qrn::Failure (layer
// unchanged) unless the stream inflates to exactly width x height x 4 bytes.
void load_rgba32_layer_compressed(EngineState& st, const uint8_t* data, int32_t length,
                                  int32_t slot);

// Word-for-word copies of canvas-sized slots. set_rgba64_layer returns H.
int32_t set_rgba64_layer(EngineState& st, const uint16_t* buf, int32_t stride, int32_t slot);
void set_layer_data(EngineState& st, const uint16_t* packed, int32_t slot);
void copy_layer_data(EngineState& st, int32_t from, int32_t to);

// Narrowing reads of canvas-sized layers; each returns H.
int32_t get_rgb24(EngineState& st, uint8_t* buf, int32_t stride);
int32_t get_rgb24_from_alpha(EngineState& st, uint8_t* buf, int32_t stride);
int32_t get_rgba32_layer(EngineState& st, uint8_t* buf, int32_t stride, int32_t slot);
int32_t get_rgba32(EngineState& st, uint8_t* buf, int32_t stride);
// w x h words at (x, y), clipped to the canvas; buffer (i, j) is canvas (x + j, y + i).
void get_rgba64_layer_rect(EngineState& st, uint16_t* buf, int32_t stride, int32_t slot, int32_t x,
                           int32_t y, int32_t w, int32_t h);
void get_rgba64_layer(EngineState& st, uint16_t* buf, int32_t stride, int32_t slot);
void get_layer_data(EngineState& st, uint16_t* packed, int32_t slot);
// zlib stream of the narrowed layer, at most `capacity` bytes; level = extra when
// 1..9, else 6. Returns the stream length; throws qrn::Failure when nothing fits.
int32_t get_rgba32_layer_compressed(EngineState& st, uint8_t* out, int32_t capacity, int32_t slot,
                                    int32_t extra);

// Host-buffer conversions: h rows of w pixels from the pointers themselves.
void rgba64_to_rgba32(uint8_t* dst, int64_t dst_stride, const uint16_t* src, int64_t src_stride,
                      int32_t w, int32_t h);
void rgba64_to_rgb24(uint8_t* dst, int64_t dst_stride, const uint16_t* src, int64_t src_stride,
                     int32_t w, int32_t h);
// The same over the canvas size.
void rgba64_to_rgb24_canvas(const EngineState& st, uint8_t* dst, int32_t dst_stride,
                            const uint16_t* src, int32_t src_stride);
// The w x h rectangle at (x, y) of a packed RGBA64 image src_width pixels wide into a
// packed destination. Pixels left or right of the image or above it are skipped.
void rgba64_rect_to_rgba32(const uint16_t* src, int32_t x, int32_t y, int32_t w, int32_t h,
                           int32_t src_width, uint8_t* dst);
void rgba64_rect_to_rgb24(const uint16_t* src, int32_t x, int32_t y, int32_t w, int32_t h,
                          int32_t src_width, uint8_t* dst);

// Packed image conversions for the merge, image brushes and effects: all four
// channels widened by shifting, or narrowed.
void widen_rgba32_image(const uint8_t* src, uint16_t* dst, int32_t w, int32_t h);
void narrow_rgba64_image(const uint16_t* src, uint8_t* dst, int32_t w, int32_t h);

// Fills of the current layer with an 8-bit colour (only the low byte of each argument).
void clear(EngineState& st, int32_t r, int32_t g, int32_t b, int32_t a);
void clear_masked(EngineState& st, int32_t r, int32_t g, int32_t b, int32_t a);
// clear_masked on a given canvas-sized layer (anything else: nothing).
void clear_masked_layer(EngineState& st, LayerRecord& layer, int32_t r, int32_t g, int32_t b,
                        int32_t a);
void clear_masked_alpha(EngineState& st, int32_t r, int32_t g, int32_t b, int32_t a);
// Fills of host buffers: canvas-sized with a stride, or packed w x h.
void clear_rgba64(const EngineState& st, uint16_t* buf, int32_t stride, int32_t r, int32_t g,
                  int32_t b, int32_t a);
void clear_rgba32(const EngineState& st, uint8_t* buf, int32_t stride, int32_t r, int32_t g,
                  int32_t b, int32_t a);
void clear_rgba32_buf(uint8_t* buf, int32_t w, int32_t h, int32_t r, int32_t g, int32_t b,
                      int32_t a);

}  // namespace qrn::pixels

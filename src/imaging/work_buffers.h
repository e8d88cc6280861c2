// The four canvas-sized work buffers of image processing: allocation from the
// current layer, release, refills from the layer or the host, and the mask on
// the source's alpha. Called by the imaging exports; every consumer checks
// that a buffer is present before touching it.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::imaging::work {

enum class Kind { Src32, Dst32, Src24, Dst24 };

// Frees the old buffer of that kind, then allocates W x H x 4 (or x 3) bytes,
// zero-filled; the sources are then filled from the current layer when there
// is one. A 0 x H canvas leaves the buffer absent.
void allocate(EngineState& st, Kind kind);
void release(EngineState& st, Kind kind);

// Copies W x H x 4 bytes of the host's RGBA32 image into the source buffer;
// nothing without a source buffer of the canvas size or with a null image.
void set_src32(EngineState& st, const uint8_t* pixels);
// Refills the source buffer from the current layer; nothing without either.
void update_src32(EngineState& st);
// Scales the source buffer's alpha by the mask when the mask is enabled.
void apply_mask_to_src_alpha(EngineState& st);

// The buffer when present and exactly canvas-sized, else null.
uint8_t* canvas_buffer(EngineState& st, Kind kind);

}  // namespace qrn::imaging::work

// Run-length line codecs: RGBA64 pixels as 5-byte runs of 8-bit RGBA, 16-bit mask
// words as 2-byte runs of 8-bit grey, and one layer or mask row at a time for hosts
// that store pictures line by line.
//
// A run is a length byte (1..255) then the high byte of each channel; a line is
// runs back to back with no header or terminator. Encoding keeps the high bytes
// only, so 0xFFFF comes back as 0xFF00 and words differing only in their low byte
// join one run.
#pragma once
#include <cstdint>
#include <limits>

#include "engine/engine_state.h"

namespace qrn::undo {

constexpr int kMaxRunLength = 255;
constexpr int kRgbaRunBytes = 5;
constexpr int kGreyRunBytes = 2;
// Largest counts whose worst case (no two neighbours equal) still fits the int32
// byte count the encoders return; larger counts encode nothing.
constexpr int32_t kMaxRgbaCount = std::numeric_limits<int32_t>::max() / kRgbaRunBytes;
constexpr int32_t kMaxGreyCount = std::numeric_limits<int32_t>::max() / kGreyRunBytes;

// Encoders: `count` elements of src into out (room for 5 x count / 2 x count bytes).
// Return the bytes written; 0 and nothing written for a null pointer or count <= 0.
int32_t compress_rgba64(const uint16_t* src, uint8_t* out, int32_t count) noexcept;
int32_t compress_g16(const uint16_t* src, uint8_t* out, int32_t count) noexcept;

// Decoders: write elements 0..count-1 of dst at most, and read at most `count` runs,
// so a corrupt line (zero-length runs) never reads past 5 x count / 2 x count bytes.
void uncompress_rgba32(const uint8_t* in, uint16_t* dst, int32_t count) noexcept;
void uncompress_g8(const uint8_t* in, uint16_t* dst, int32_t count) noexcept;

// Row `row` (canvas geometry, W elements) of a canvas-sized slot or of the mask.
// A slot outside 0..63, empty or not canvas-sized, no mask, a row outside 0..H-1
// or a null buffer gives 0 and touches nothing.
int32_t get_layer_line(EngineState& st, uint8_t* out, int32_t slot, int32_t row);
void put_layer_line(EngineState& st, const uint8_t* in, int32_t slot, int32_t row);
int32_t get_mask_line(EngineState& st, uint8_t* out, int32_t row);
void put_mask_line(EngineState& st, const uint8_t* in, int32_t row);

}  // namespace qrn::undo

// RGB24 to at most 256 palette colours, for GIF. Deterministic: the same
// picture always gives the same palette and indices.
#pragma once
#include <cstdint>

namespace qrn::imaginglib {

// Pictures of up to 256 distinct colours keep them exactly (palette in
// ascending 0xRRGGBB order); others are reduced by median cut over a 5-bit
// per channel histogram, each colour taking its box's weighted mean.
// indices gets w x h bytes (packed); palette gets R, G, B triples. Returns the
// number of palette entries (1..256), or 0 for unusable arguments.
int32_t quantise_rgb(const uint8_t* rgb, int32_t w, int32_t h, int64_t stride, uint8_t* indices,
                     uint8_t palette[256][3]);

}  // namespace qrn::imaginglib

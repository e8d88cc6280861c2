// The engine's own pixel kernels on the RGBA32 work buffers, reached by name
// through one runner; the named effects and PhotoPop call it.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::imaging {

// Runner arguments after the name and the in-place flag: six reals given in
// thousandths (a slider 0..1000 becomes 0.0..1.0), two integers, six flags.
struct KernelArgs {
    int32_t reals[6] = {};
    int32_t k1 = 0, k2 = 0;
    uint8_t flags[6] = {};
};

// Stores the parameter block, copies source to destination unless in_place is
// set, and runs the kernel whose name matches exactly ("Anti Alias", "Adaptive
// Blur", "Line Art Cleaner", "Basic Threshold", "Adjust Lab", "Detail Blur",
// "Value Blur", "Hyper Contrast", "Bas Relief", "Grayscale", "Invert",
// "Vignette"); an unknown or null name runs nothing. The result is left in the
// destination buffer. Returns 0, doing nothing, when either RGBA32 work buffer
// is missing or not canvas-sized; otherwise 1.
int32_t run_kernel(EngineState& st, const char* name, uint8_t in_place, const KernelArgs& args);

}  // namespace qrn::imaging

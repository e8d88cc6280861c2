// RGBA run-length lines coming back from a host (see rle_fuzz_check.h).
#include "rle_fuzz_check.h"
#include "undo/rle_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return rle_fuzz::check<qrn::undo::kRgbaRunBytes, 4>(data, size, qrn::undo::uncompress_rgba32,
                                                         qrn::undo::compress_rgba64);
}

// Any bytes through content sniffing, the header probe and the reader it
// picks (the library-backed ones included: libpng, libjpeg, libtiff, giflib).
// A probe that reads a header must agree with the decoder on the sides.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/image_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qrn::imaginglib;
    codecs::set_pixel_limit(1 << 24);
    const std::vector<uint8_t> in(data, data + size);  // its own block, for ASan
    ImageProbe probe;
    probe_image(in.data(), in.size(), probe);
    if (probe.dims_known && (probe.width < 1 || probe.width > 10000 || probe.height < 1 ||
                             probe.height > 10000))
        __builtin_trap();
    int32_t w = -1, h = -1;
    uint8_t* block = decode_image(in.data(), in.size(), &w, &h);
    if (!block) {
        if (w != -1 || h != -1) __builtin_trap();
        return 0;
    }
    if (w < 1 || w > 10000 || h < 1 || h > 10000) __builtin_trap();
    if (probe.dims_known && (probe.width != w || probe.height != h)) __builtin_trap();
    volatile uint8_t sum = 0;
    for (size_t k = 0; k < size_t(w) * size_t(h) * 4; ++k) sum = uint8_t(sum + block[k]);
    free_image(block);
    return 0;
}

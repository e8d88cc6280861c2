// What every image decoder target checks: a decoded block has sides 1..10000
// and is all readable (ASan sees a short block), and reading by content gives
// the same image as the decoder itself whenever the content names its format.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/image_file.h"

namespace qrn::fuzz {

using Decoder = uint8_t* (*)(const uint8_t*, size_t, int32_t*, int32_t*) noexcept;

inline void check_decoder(Decoder decode, imaginglib::codecs::FileType type, const uint8_t* data,
                          size_t size) {
    // A copy in its own heap block, so a read past the input is caught too.
    std::vector<uint8_t> in(data, data + size);
    int32_t w = -1, h = -1;
    uint8_t* block = decode(in.data(), in.size(), &w, &h);
    if (!block) {
        if (w != -1 || h != -1) __builtin_trap();
        return;
    }
    if (w < 1 || w > 10000 || h < 1 || h > 10000) __builtin_trap();
    const size_t bytes = size_t(w) * size_t(h) * 4;
    volatile uint8_t sum = 0;
    for (size_t k = 0; k < bytes; ++k) sum = uint8_t(sum + block[k]);

    if (imaginglib::codecs::sniff(in.data(), in.size()) == type) {
        int32_t w2 = 0, h2 = 0;
        uint8_t* again = imaginglib::decode_image(in.data(), in.size(), &w2, &h2);
        if (!again || w2 != w || h2 != h || std::memcmp(again, block, bytes) != 0) __builtin_trap();
        imaginglib::free_image(again);
    }
    imaginglib::free_image(block);
}

}  // namespace qrn::fuzz

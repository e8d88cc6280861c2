// A packed test picture of 1..8 bytes a pixel whose rows may carry padding; the
// padding starts as kUntouched so a test can see a write past a row's end.
#pragma once
#include <cstdint>
#include <random>
#include <vector>

namespace qrn::imaginglib::test_support {

constexpr uint8_t kUntouched = 0xEE;

struct Img {
    int32_t w, h, bpp;
    int64_t stride;  // bytes
    std::vector<uint8_t> bytes;
    Img(int32_t w_, int32_t h_, int32_t bpp_, int64_t pad = 0)
        : w(w_),
          h(h_),
          bpp(bpp_),
          stride(int64_t(w_) * bpp_ + pad),
          bytes(size_t(stride * h_), kUntouched) {}
    uint8_t* px(int64_t x, int64_t y) { return &bytes[size_t(y * stride + x * bpp)]; }
    uint8_t& at(int64_t x, int64_t y, int c) { return px(x, y)[c]; }
};

// Seeded noise in every channel; the padding stays untouched.
inline Img random_img(int32_t w, int32_t h, int32_t bpp, int64_t pad, unsigned seed) {
    Img img(w, h, bpp, pad);
    std::mt19937 gen(seed);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int c = 0; c < bpp; ++c) img.at(x, y, c) = uint8_t(gen());
    return img;
}

}  // namespace qrn::imaginglib::test_support

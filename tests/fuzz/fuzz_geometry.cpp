// The imaging library's geometry (crop, quick rotation, flips, overlay) on
// random sizes, pixel widths, strides of either sign and rectangles, each
// checked against a plain model. Buffers are exactly as large as their
// strides say, so the sanitizers see any access past them; padding bytes must
// come out as they went in.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaginglib/geometry/geometry.h"
#include "imaginglib/overlay.h"

namespace {

using namespace qrn::imaginglib;

struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    int32_t coord() {
        const uint8_t b = byte();
        // Mostly near the image, sometimes at the ends of the int32 range.
        if (b == 0xFF) return INT32_MAX;
        if (b == 0xFE) return INT32_MIN;
        return int32_t(b % 96) - 16;
    }
};

// An image in a block of exactly |stride| x h bytes; first is row 0.
struct Image {
    int32_t w, h, bpp;
    int64_t stride;
    std::vector<uint8_t> block;
    Image(int32_t w_, int32_t h_, int32_t bpp_, int64_t pad, bool bottom_up, Reader& in, bool fill)
        : w(w_), h(h_), bpp(bpp_), stride((int64_t(w_) * bpp_ + pad) * (bottom_up ? -1 : 1)),
          block(size_t((int64_t(w_) * bpp_ + pad) * h_)) {
        for (size_t i = 0; i < block.size(); ++i) block[i] = fill ? uint8_t(in.byte() + i) : uint8_t(0xA5 ^ i);
    }
    uint8_t* first() { return stride < 0 ? block.data() + (h - 1) * -stride : block.data(); }
    uint8_t* px(int64_t x, int64_t y) { return first() + y * stride + x * bpp; }
};

void require(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in{data, size};
    const uint8_t op = in.byte() % 5;
    const int32_t bpp = 1 + in.byte() % 8;
    const int32_t w = 1 + in.byte() % 40, h = 1 + in.byte() % 40;
    const uint8_t layout = in.byte();
    const int64_t pad = layout % 5, dst_pad = (layout >> 3) % 4;
    const bool bottom_up = (layout & 0x80) != 0, dst_bottom_up = (layout & 0x40) != 0;
    Image src(w, h, bpp, pad, bottom_up, in, true);

    if (op == 0) {  // crop
        const CropRect r{in.coord(), in.coord(), in.coord(), in.coord()};
        const int64_t cw = int64_t(r.right) - r.left, ch = int64_t(r.bottom) - r.top;
        if (cw <= 0 || ch <= 0) {
            // An empty rectangle is refused before the destination is touched.
            uint8_t guard[8] = {};
            require(crop_image(src.first(), w, h, src.stride, guard, 8, r, bpp) == 0);
            return 0;
        }
        if (cw > 64 || ch > 64) return 0;
        Image dst(int32_t(cw), int32_t(ch), bpp, dst_pad, dst_bottom_up, in, false);
        const Image before = dst;
        const int32_t ok = crop_image(src.first(), w, h, src.stride, dst.first(), dst.stride, r, bpp);
        const bool meets = r.left < w && r.right > 0 && r.top < h && r.bottom > 0;
        require(ok == (meets ? 1 : 0));
        Image want = before;
        if (ok)
            for (int64_t y = 0; y < ch; ++y)
                for (int64_t x = 0; x < cw; ++x) {
                    const int64_t sx = x + r.left, sy = y + r.top;
                    if (sx >= 0 && sy >= 0 && sx < w && sy < h) std::memcpy(want.px(x, y), src.px(sx, sy), size_t(bpp));
                }
        require(dst.block == want.block);
    } else if (op == 1) {  // quick rotation, codes 0..3 (3 is unknown)
        const int32_t turn = in.byte() % 4;
        const bool quarter = turn != 1;
        const int32_t dw = quarter ? h : w, dh = quarter ? w : h;
        Image dst(dw, dh, bpp, dst_pad, dst_bottom_up, in, false);
        Image want = dst;
        const int32_t ok = quick_rotate_image(src.first(), w, h, src.stride, dst.first(), dst.stride, turn, bpp);
        require(ok == (turn < 3 ? 1 : 0));
        if (ok)
            for (int64_t y = 0; y < dh; ++y)
                for (int64_t x = 0; x < dw; ++x) {
                    const int64_t sx = turn == 0 ? y : turn == 2 ? w - 1 - y : w - 1 - x;
                    const int64_t sy = turn == 0 ? h - 1 - x : turn == 2 ? x : h - 1 - y;
                    std::memcpy(want.px(x, y), src.px(sx, sy), size_t(bpp));
                }
        require(dst.block == want.block);
    } else if (op == 2) {  // horizontal flip in place
        Image want = src;
        require(horizontal_flip_image(src.first(), w, h, bpp, src.stride) == 1);
        Image orig = want;
        for (int64_t y = 0; y < h; ++y)
            for (int64_t x = 0; x < w; ++x) std::memcpy(want.px(x, y), orig.px(w - 1 - x, y), size_t(bpp));
        require(src.block == want.block);
    } else if (op == 3) {  // vertical flip: whole rows of |stride| bytes, padding included
        Image orig = src;
        require(vertical_flip_image(src.first(), src.stride, h) == 1);
        const int64_t row = src.stride < 0 ? -src.stride : src.stride;
        for (int64_t y = 0; y < h; ++y)
            require(std::memcmp(src.px(0, y), orig.px(0, h - 1 - y), size_t(row)) == 0);
    } else {  // overlay at any position, clipped
        const int32_t dw = 1 + in.byte() % 40, dh = 1 + in.byte() % 40;
        const int32_t x0 = in.coord(), y0 = in.coord();
        Image dst(dw, dh, bpp, dst_pad, dst_bottom_up, in, false);
        Image want = dst;
        require(overlay_image(dst.first(), dw, dh, bpp, dst.stride, src.first(), w, h, src.stride, x0, y0, 1.0, 0) == 1);
        for (int64_t y = 0; y < dh; ++y)
            for (int64_t x = 0; x < dw; ++x) {
                const int64_t sx = x - int64_t(x0), sy = y - int64_t(y0);
                if (sx >= 0 && sy >= 0 && sx < w && sy < h) std::memcpy(want.px(x, y), src.px(sx, sy), size_t(bpp));
            }
        require(dst.block == want.block);
    }
    return 0;
}

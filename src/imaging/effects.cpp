// PhotoPop, the hue/saturation adjustments, the unused-colour search and the
// alpha fill.
#include "imaging/effects.h"

#include <bit>
#include <cstring>
#include <vector>

#include "engine/imaging_api/imaging.h"
#include "engine/layers.h"
#include "engine/pixels.h"
#include "imaging/kernels.h"
#include "imaging/work_buffers.h"
#include "script/colour_spaces.h"

namespace qrn::imaging {
namespace {

int64_t packed_pixels(const uint8_t* px, int32_t w, int32_t h) {
    return (px && w > 0 && h > 0) ? int64_t(w) * int64_t(h) : 0;
}

// Hue plus shift, brought back onto the circle once each way. A shift of more
// than a turn is first reduced to its remainder in whole degrees, so that it
// gives exactly the hue of the same shift within a turn and one wrap suffices.
double shifted_hue(double h, int32_t shift) {
    if (shift > 360 || shift < -360) shift = (shift % 360 + 360) % 360;
    h = h + shift;
    if (h > 360) h -= 360;
    if (h < 0) h += 360;
    return h;
}

double clamp01(double v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

// Both adjustments treat hue and saturation alike; an achromatic colour (hue
// -1) becomes hue 0, saturation 0.
void shift_hue_and_saturation(double& h, double& s, int32_t hue, int32_t saturation) {
    if (h != -1) {
        h = shifted_hue(h, hue);
        s = clamp01(s + saturation * 0.01);
    } else {
        h = 0;
        s = 0;
    }
}

template <class Convert>
void adjust(uint8_t* px, int32_t w, int32_t h, Convert convert) {
    const int64_t n = packed_pixels(px, w, h);
    for (int64_t i = 0; i < n; ++i, px += 4) {
        const script::Rgb8 o = convert(px[0], px[1], px[2]);
        px[0] = o.r;
        px[1] = o.g;
        px[2] = o.b;
    }
}

}  // namespace

double photo_pop_amount(double s) { return s > 50 ? (s - 50) * 0.02 * 2 + 1 : s * 0.02 * 3 - 2; }

int32_t photo_pop(EngineState& st, int32_t contrast, double saturation, uint8_t extra_pass) {
    const int64_t n = layers::canvas_pixels(st);
    const int32_t w = st.canvas.width, h = st.canvas.height;
    if (n <= 0 || !layers::current(st) || !work::canvas_buffer(st, work::Kind::Src32) ||
        !work::canvas_buffer(st, work::Kind::Dst32))
        return 0;
    WorkBuffers& wb = st.work;
    // 1. Sharpen an RGB24 copy of the layer; the RGB24 pair is freed afterwards.
    wb.src24 = Buffer<uint8_t>::try_make(size_t(n) * 3);
    wb.dst24 = Buffer<uint8_t>::try_make(size_t(n) * 3);
    if (wb.src24 && wb.dst24) {
        pixels::get_rgb24(st, wb.src24.data(), w * 3);
        if (sharpen(wb.src24.data(), w, h, 3, int64_t(w) * 3, wb.dst24.data(), int64_t(w) * 3, 5,
                    7))
            pixels::load_rgb24(st, wb.dst24.data(), w * 3, true);
    }
    wb.src24.reset();
    wb.dst24.reset();
    // 2. Hyper Contrast, each run loaded and the source refreshed from the layer.
    auto contrast_pass = [&](int32_t r1_thousandths) {
        KernelArgs a;
        a.reals[0] = r1_thousandths;
        if (!run_kernel(st, "Hyper Contrast", 0, a)) return;
        pixels::load_rgba32(st, wb.dst32.data(), w * 4, true);
        work::update_src32(st);
    };
    if (extra_pass == 1) contrast_pass(1);
    contrast_pass(contrast);
    // 3. Saturation on a fresh read of the layer.
    work::update_src32(st);
    if (!modify_saturation(wb.src32.data(), w, h, 4, int64_t(w) * 4, photo_pop_amount(saturation)))
        return 0;
    return pixels::load_rgba32(st, wb.src32.data(), w * 4, true);
}

void hsl_adjust(uint8_t* px, int32_t w, int32_t h, int32_t hue, int32_t saturation,
                int32_t lightness) {
    adjust(px, w, h, [&](uint8_t r, uint8_t g, uint8_t b) {
        script::Hsl c = script::rgb_to_hsl(r, g, b);
        shift_hue_and_saturation(c.h, c.s, hue, saturation);
        c.l = clamp01(c.l + lightness * 0.01);
        return script::hsl_to_rgb(c.h, c.s, c.l);
    });
}

void hsv_adjust(uint8_t* px, int32_t w, int32_t h, int32_t hue, int32_t saturation, int32_t value) {
    adjust(px, w, h, [&](uint8_t r, uint8_t g, uint8_t b) {
        script::Hsv c = script::rgb_to_hsv(r, g, b);
        shift_hue_and_saturation(c.h, c.s, hue, saturation);
        c.v = clamp01(c.v + value * 0.01);
        return script::hsv_to_rgb(c.h, c.s, c.v);
    });
}

// One pass marks every colour in a 2^24-bit table; the first clear bit in
// ascending order is the first free colour of the b, g, r scan.
std::optional<uint32_t> unused_colour(const uint8_t* rgba, int32_t w, int32_t h) {
    std::vector<uint64_t> seen(size_t(1) << 18, 0);
    const int64_t n = packed_pixels(rgba, w, h);
    for (int64_t i = 0; i < n; ++i, rgba += 4) {
        const uint32_t c = uint32_t(rgba[0]) | uint32_t(rgba[1]) << 8 | uint32_t(rgba[2]) << 16;
        seen[c >> 6] |= uint64_t(1) << (c & 63);
    }
    for (size_t i = 0; i < seen.size(); ++i)
        if (~seen[i] != 0) return uint32_t(i << 6) | uint32_t(std::countr_one(seen[i]));
    return std::nullopt;
}

void fill_alpha(uint8_t* rgba, int32_t w, int32_t h, uint8_t alpha) {
    const int64_t n = packed_pixels(rgba, w, h);
    for (int64_t i = 0; i < n; ++i) rgba[i * 4 + 3] = alpha;
}

}  // namespace qrn::imaging

// The work buffers of image processing.
#include "imaging/work_buffers.h"

#include <cstring>

#include "engine/layers.h"
#include "engine/pixels.h"
#include "mask/mask.h"

namespace qrn::imaging::work {
namespace {

Buffer<uint8_t>& buffer_of(EngineState& st, Kind kind) {
    switch (kind) {
        case Kind::Src32: return st.work.src32;
        case Kind::Dst32: return st.work.dst32;
        case Kind::Src24: return st.work.src24;
        case Kind::Dst24: return st.work.dst24;
    }
    return st.work.src32;
}

int64_t bytes_per_pixel(Kind kind) { return (kind == Kind::Src32 || kind == Kind::Dst32) ? 4 : 3; }

int64_t canvas_bytes(const EngineState& st, Kind kind) {
    if (!st.canvas.exists) return 0;
    return layers::canvas_pixels(st) * bytes_per_pixel(kind);
}

}  // namespace

uint8_t* canvas_buffer(EngineState& st, Kind kind) {
    Buffer<uint8_t>& b = buffer_of(st, kind);
    const int64_t want = canvas_bytes(st, kind);
    return (want > 0 && b.size() == size_t(want)) ? b.data() : nullptr;
}

void allocate(EngineState& st, Kind kind) {
    Buffer<uint8_t>& b = buffer_of(st, kind);
    // The old buffer goes first, so that the two never need memory at once; a
    // failed allocation leaves the kind absent.
    b.reset();
    const int64_t bytes = canvas_bytes(st, kind);
    if (bytes <= 0) return;
    b = Buffer<uint8_t>::make(size_t(bytes));
    const int32_t stride = st.canvas.width * int32_t(bytes_per_pixel(kind));
    if (kind == Kind::Src32) pixels::get_rgba32(st, b.data(), stride);
    if (kind == Kind::Src24) pixels::get_rgb24(st, b.data(), stride);
}

void release(EngineState& st, Kind kind) { buffer_of(st, kind).reset(); }

void set_src32(EngineState& st, const uint8_t* pixels) {
    uint8_t* dst = canvas_buffer(st, Kind::Src32);
    if (!dst || !pixels) return;
    std::memcpy(dst, pixels, st.work.src32.size());
}

void update_src32(EngineState& st) {
    if (uint8_t* dst = canvas_buffer(st, Kind::Src32))
        pixels::get_rgba32(st, dst, st.canvas.width * 4);
}

void apply_mask_to_src_alpha(EngineState& st) {
    uint8_t* src = canvas_buffer(st, Kind::Src32);
    if (src && st.settings.mask_enabled != 0) mask::apply_to_alpha_rgba32(st, src);
}

}  // namespace qrn::imaging::work

// Work buffers: sizes, zero fill, what each source is filled from, the host
// copy and the mask on the source's alpha, with and without canvas and layer.
#include "imaging/work_buffers.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/canvas.h"
#include "engine/layers.h"

namespace qrn::imaging::work {
namespace {

constexpr int32_t kW = 5, kH = 3;

struct Case {
    Kind kind;
    int bpp;
    bool from_layer;
};
const Case kCases[] = {{Kind::Src32, 4, true}, {Kind::Dst32, 4, false}, {Kind::Src24, 3, true},
                       {Kind::Dst24, 3, false}};

Buffer<uint8_t>& of(EngineState& st, Kind k) {
    return k == Kind::Src32 ? st.work.src32
           : k == Kind::Dst32 ? st.work.dst32
           : k == Kind::Src24 ? st.work.src24
                              : st.work.dst24;
}

// Pixel (x, y) of the current layer: channels distinct, low bytes that the
// 8-bit copy must drop.
uint16_t word(int x, int y, int c) { return uint16_t(((x * 40 + y * 7 + c * 50) & 0xFF) << 8 | 0x7F); }

class WorkBuffers : public ::testing::Test {
protected:
    EngineState st;
    void SetUp() override {
        canvas::create_image(st, nullptr, kW, kH, 8, 0);
        layers::create_layer(st, 2, kW, kH);
        LayerRecord& r = st.canvas.slots[2];
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                for (int c = 0; c < 4; ++c) r.pixels[size_t((y * kW + x) * 4 + c)] = word(x, y, c);
        st.canvas.current_slot = 2;
    }
};

TEST_F(WorkBuffers, SourcesCopyTheLayerHighBytesAndDestinationsStartZeroed) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(int(c.kind));
        of(st, c.kind) = Buffer<uint8_t>::make(7);
        of(st, c.kind).fill_bytes(0xAB);
        allocate(st, c.kind);
        const Buffer<uint8_t>& b = of(st, c.kind);
        ASSERT_EQ(b.size(), size_t(kW * kH * c.bpp));
        for (int i = 0; i < kW * kH; ++i)
            for (int ch = 0; ch < c.bpp; ++ch)
                ASSERT_EQ(b[size_t(i * c.bpp + ch)], c.from_layer ? word(i % kW, i / kW, ch) >> 8 : 0) << i;
        release(st, c.kind);
        EXPECT_TRUE(of(st, c.kind).empty());
    }
}

// Without a current layer, or with one that is not canvas-sized (normal
// after a geometry change), the sources are zeros rather than left unset.
TEST_F(WorkBuffers, SourcesAreZerosWithoutAUsableCurrentLayer) {
    for (int variant = 0; variant < 2; ++variant) {
        if (variant == 0) st.canvas.current_slot = -1;
        else layers::create_layer(st, 2, kH, kW);
        for (Kind k : {Kind::Src32, Kind::Src24}) {
            allocate(st, k);
            ASSERT_FALSE(of(st, k).empty());
            for (size_t i = 0; i < of(st, k).size(); ++i) ASSERT_EQ(of(st, k)[i], 0);
        }
    }
}

TEST_F(WorkBuffers, NoCanvasOrAnEmptyOneLeavesEveryBufferAbsent) {
    for (int variant = 0; variant < 2; ++variant) {
        if (variant == 0) canvas::delete_image(st);
        else canvas::create_image(st, nullptr, 0, kH, 8, 0);
        for (const Case& c : kCases) {
            allocate(st, c.kind);
            EXPECT_TRUE(of(st, c.kind).empty());
        }
        std::vector<uint8_t> host(64, 1);
        set_src32(st, host.data());
        update_src32(st);
        apply_mask_to_src_alpha(st);
        EXPECT_TRUE(st.work.src32.empty());
    }
}

TEST_F(WorkBuffers, HostCopyAndRefillNeedTheSourceBuffer) {
    std::vector<uint8_t> host(size_t(kW * kH * 4));
    for (size_t i = 0; i < host.size(); ++i) host[i] = uint8_t(i * 3 + 1);
    set_src32(st, host.data());  // no buffer yet
    EXPECT_TRUE(st.work.src32.empty());
    allocate(st, Kind::Src32);
    set_src32(st, nullptr);
    EXPECT_EQ(st.work.src32[0], word(0, 0, 0) >> 8);
    set_src32(st, host.data());
    EXPECT_EQ(std::vector<uint8_t>(st.work.src32.data(), st.work.src32.data() + host.size()), host);
    update_src32(st);
    EXPECT_EQ(st.work.src32[5], word(1, 0, 1) >> 8);
    st.canvas.current_slot = -1;
    set_src32(st, host.data());
    update_src32(st);  // no layer: the buffer keeps what it has
    EXPECT_EQ(st.work.src32[5], host[5]);
}

// Only the mask's high byte counts and >> 8 is not / 255: a fully selected
// opaque pixel ends at 254. A disabled mask changes nothing.
TEST_F(WorkBuffers, MaskScalesTheSourceAlphaOnlyWhenEnabled) {
    const struct {
        uint8_t enabled;
        uint16_t mask, alpha;
        uint8_t want;
    } rows[] = {{1, 0xFFFF, 255, 254}, {1, 0x8000, 255, 127}, {1, 0x00FF, 255, 0},
                {1, 0xFFFF, 0, 0},     {0, 0x0000, 255, 255}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << int(r.enabled) << " " << r.mask << " " << r.alpha);
        allocate(st, Kind::Src32);
        for (size_t i = 3; i < st.work.src32.size(); i += 4) st.work.src32[i] = uint8_t(r.alpha);
        for (size_t k = 0; k < st.canvas.mask.size(); ++k) st.canvas.mask[k] = r.mask;
        st.settings.mask_enabled = r.enabled;
        apply_mask_to_src_alpha(st);
        for (size_t i = 3; i < st.work.src32.size(); i += 4) ASSERT_EQ(st.work.src32[i], r.want);
        EXPECT_EQ(st.work.src32[0], word(0, 0, 0) >> 8);  // colour untouched
    }
}

}  // namespace
}  // namespace qrn::imaging::work

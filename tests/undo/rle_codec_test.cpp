#include "undo/rle_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/buffer.h"
#include "engine/engine_state.h"
#include "engine/pixel_format.h"

namespace {

using qrn::Buffer;
using qrn::EngineState;
using qrn::Rgba64;
namespace undo = qrn::undo;

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

Words pixels_of(const std::vector<Rgba64>& px) {
    Words w;
    for (const Rgba64& p : px) w.insert(w.end(), {p.r, p.g, p.b, p.a});
    return w;
}

// Encodes into a buffer of exactly the documented worst case, so the sanitizer
// build catches a write past it; returns the bytes the encoder reports.
Bytes encode_rgba(const Words& src) {
    const int32_t count = int32_t(src.size() / 4);
    Bytes out(size_t(count) * undo::kRgbaRunBytes);
    out.resize(size_t(undo::compress_rgba64(src.data(), out.data(), count)));
    return out;
}
Bytes encode_grey(const Words& src) {
    Bytes out(src.size() * undo::kGreyRunBytes);
    out.resize(size_t(undo::compress_g16(src.data(), out.data(), int32_t(src.size()))));
    return out;
}
Words decode_rgba(const Bytes& in, int32_t count) {
    Words out(size_t(count) * 4, 0xABCD);
    undo::uncompress_rgba32(in.data(), out.data(), count);
    return out;
}
Words decode_grey(const Bytes& in, int32_t count) {
    Words out(size_t(count), 0xABCD);
    undo::uncompress_g8(in.data(), out.data(), count);
    return out;
}
Words high_bytes(Words w) {
    for (uint16_t& v : w) v &= 0xFF00;
    return w;
}

constexpr Rgba64 kRed{0xFF00, 0x0012, 0x0000, 0xFFFF};

TEST(RleCodec, SplitsRunsAt255) {
    struct Case {
        int pixels;
        Bytes lengths;
    };
    const Case cases[] = {{1, {1}}, {255, {255}}, {256, {255, 1}}, {300, {255, 45}}, {510, {255, 255}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixels);
        const Bytes rgba = encode_rgba(pixels_of(std::vector<Rgba64>(size_t(c.pixels), kRed)));
        const Bytes grey = encode_grey(Words(size_t(c.pixels), 0x7F80));
        ASSERT_EQ(rgba.size(), c.lengths.size() * 5);
        ASSERT_EQ(grey.size(), c.lengths.size() * 2);
        for (size_t k = 0; k < c.lengths.size(); ++k) {
            EXPECT_EQ(Bytes(rgba.begin() + long(k) * 5, rgba.begin() + long(k) * 5 + 5),
                      (Bytes{c.lengths[k], 0xFF, 0x00, 0x00, 0xFF}));
            EXPECT_EQ(Bytes(grey.begin() + long(k) * 2, grey.begin() + long(k) * 2 + 2),
                      (Bytes{c.lengths[k], 0x7F}));
        }
        EXPECT_EQ(decode_rgba(rgba, c.pixels),
                  pixels_of(std::vector<Rgba64>(size_t(c.pixels), {0xFF00, 0, 0, 0xFF00})));
        EXPECT_EQ(decode_grey(grey, c.pixels), Words(size_t(c.pixels), 0x7F00));
    }
}

// Channel order of the run bytes, and the low byte dropped both ways.
TEST(RleCodec, KeepsHighBytesInChannelOrder) {
    const Words px = pixels_of({{0xFFFF, 0x1234, 0x0000, 0xFF00}, {0x0100, 0x0200, 0x0300, 0x0400}});
    const Bytes enc = encode_rgba(px);
    EXPECT_EQ(enc, (Bytes{1, 0xFF, 0x12, 0x00, 0xFF, 1, 0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(decode_rgba(enc, 2),
              pixels_of({{0xFF00, 0x1200, 0x0000, 0xFF00}, {0x0100, 0x0200, 0x0300, 0x0400}}));
    EXPECT_EQ(decode_grey(encode_grey(Words(7, 0xFFFF)), 7), Words(7, 0xFF00));
}

TEST(RleCodec, JoinsWordsThatDifferOnlyInTheLowByte) {
    EXPECT_EQ(encode_rgba(pixels_of({{0x1200, 0, 0, 0xFF00}, {0x12FF, 0, 0, 0xFF00}})),
              (Bytes{2, 0x12, 0, 0, 0xFF}));
    // A difference in any one channel's high byte breaks the run.
    for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(c);
        Words px(8, 0x4000);
        px[4 + size_t(c)] = 0x4100;
        EXPECT_EQ(encode_rgba(px).size(), 10u);
    }
}

// Every 16-bit word once, in order: 256 words share each high byte, so each value
// is a run of 255 and a run of 1, and every word comes back with its low byte cleared.
TEST(RleCodec, GreyCodecCoversEveryWord) {
    Words all(65536);
    for (size_t v = 0; v < all.size(); ++v) all[v] = uint16_t(v);
    const Bytes enc = encode_grey(all);
    ASSERT_EQ(enc.size(), 256u * 2 * 2);
    EXPECT_EQ(enc[0], 255);
    EXPECT_EQ(enc[2], 1);
    EXPECT_EQ(enc[3], 0);
    EXPECT_EQ(enc[enc.size() - 1], 0xFF);
    EXPECT_EQ(decode_grey(enc, 65536), high_bytes(all));
}

// No two neighbours equal: the worst case fills the documented 5 x count exactly.
TEST(RleCodec, LineWithoutRunsFillsTheWorstCase) {
    Words rgba(1000 * 4);
    for (size_t k = 0; k < rgba.size(); ++k) rgba[k] = uint16_t((k / 4 % 2) << 8 | 0x55);
    const Bytes enc = encode_rgba(rgba);
    EXPECT_EQ(enc.size(), 5000u);
    EXPECT_EQ(decode_rgba(enc, 1000), high_bytes(rgba));
    Words grey(1000);
    for (size_t k = 0; k < grey.size(); ++k) grey[k] = uint16_t(k << 8);
    EXPECT_EQ(encode_grey(grey).size(), 2000u);
}

// Seeded lines of mixed run lengths: the runs partition the line, none is empty,
// two neighbours share a value only after a full run, and decoding restores it.
TEST(RleCodec, RoundTripsSeededLinesWithWellFormedRuns) {
    qrn::Rng rng;
    for (int line = 0; line < 50; ++line) {
        SCOPED_TRACE(line);
        Words px;
        while (px.size() < 4 * 2000) {
            const size_t len = size_t(rng.next() % (line % 2 ? 600 : 4)) + 1;
            const int high = rng.next() % 3;
            const int low = rng.next() % 255;
            for (size_t k = 0; k < len * 4 && px.size() < 4 * 2000; ++k)
                px.push_back(uint16_t(high << 8 | (low + int(k % 4 == 3))));
        }
        const Bytes enc = encode_rgba(px);
        size_t total = 0;
        for (size_t r = 0; r < enc.size(); r += 5) {
            ASSERT_GE(enc[r], 1);
            if (r > 0 && enc[r - 5] != 255) {
                ASSERT_FALSE(std::equal(&enc[r + 1], &enc[r + 5], &enc[r - 4])) << "run " << r / 5;
            }
            total += enc[r];
        }
        EXPECT_EQ(total, 2000u);
        EXPECT_EQ(decode_rgba(enc, 2000), high_bytes(px));
    }
}

// The encoders' word-at-a-time scans against the plain definition: a run ends
// at the first element whose high bytes differ in any one channel, or at 255.
// Lines of every length up to 40 (the vector tails) and runs of 1..300.
TEST(RleCodec, EncodersMatchThePlainRunDefinition) {
    auto plain = [](const Words& src, size_t channels) {
        Bytes out;
        const size_t n = src.size() / channels;
        for (size_t i = 0; i < n;) {
            size_t j = i + 1;
            auto same = [&](size_t a, size_t b) {
                for (size_t c = 0; c < channels; ++c)
                    if ((src[a * channels + c] >> 8) != (src[b * channels + c] >> 8)) return false;
                return true;
            };
            while (j < n && j - i < 255 && same(i, j)) ++j;
            out.push_back(uint8_t(j - i));
            for (size_t c = 0; c < channels; ++c) out.push_back(uint8_t(src[i * channels + c] >> 8));
            i = j;
        }
        return out;
    };
    qrn::Rng rng;
    rng.seed(5);
    for (int line = 0; line < 400; ++line) {
        SCOPED_TRACE(line);
        const size_t n = line < 40 ? size_t(line + 1) : 1 + rng.next() % 3000;
        const size_t longest = line % 3 == 0 ? 300 : line % 3 == 1 ? 9 : 2;
        Words rgba, grey;
        uint16_t cur[4] = {};
        while (grey.size() < n) {
            const size_t len = 1 + rng.next() % longest;
            const int channel = rng.next() % 4;  // one channel changes, sometimes low byte only
            cur[channel] = uint16_t(cur[channel] + (rng.next() % 2 ? 0x100 : 1));
            for (size_t k = 0; k < len && grey.size() < n; ++k) {
                for (uint16_t c : cur) rgba.push_back(uint16_t(c ^ (rng.next() & 0xFF)));
                grey.push_back(uint16_t(cur[channel] ^ (rng.next() & 0xFF)));
            }
        }
        EXPECT_EQ(encode_rgba(rgba), plain(rgba, 4));
        EXPECT_EQ(encode_grey(grey), plain(grey, 1));
    }
}

TEST(RleCodec, EncodesNothingForNullOrNonPositiveCount) {
    const Words src(8, 0x1234);
    for (int32_t count : {0, -1, INT32_MIN}) {
        SCOPED_TRACE(count);
        Bytes out(16, 0xEE);
        EXPECT_EQ(undo::compress_rgba64(src.data(), out.data(), count), 0);
        EXPECT_EQ(undo::compress_g16(src.data(), out.data(), count), 0);
        EXPECT_EQ(out, Bytes(16, 0xEE));
    }
    Bytes out(16, 0xEE);
    EXPECT_EQ(undo::compress_rgba64(nullptr, out.data(), 2), 0);
    EXPECT_EQ(undo::compress_rgba64(src.data(), nullptr, 2), 0);
    EXPECT_EQ(undo::compress_g16(nullptr, out.data(), 2), 0);
    EXPECT_EQ(undo::compress_g16(src.data(), nullptr, 2), 0);
    EXPECT_EQ(out, Bytes(16, 0xEE));
    // Counts whose worst case overflows the int32 result are refused before any access.
    EXPECT_EQ(undo::compress_rgba64(src.data(), out.data(), undo::kMaxRgbaCount + 1), 0);
    EXPECT_EQ(undo::compress_g16(src.data(), out.data(), undo::kMaxGreyCount + 1), 0);
    EXPECT_EQ(out, Bytes(16, 0xEE));
}

TEST(RleCodec, DecodesNothingForNullOrNonPositiveCount) {
    const Bytes run{3, 1, 2, 3, 4};
    Words dst(12, 0xABCD);
    for (int32_t count : {0, -5}) {
        undo::uncompress_rgba32(run.data(), dst.data(), count);
        undo::uncompress_g8(run.data(), dst.data(), count);
    }
    undo::uncompress_rgba32(nullptr, dst.data(), 3);
    undo::uncompress_g8(nullptr, dst.data(), 3);
    undo::uncompress_rgba32(run.data(), nullptr, 3);
    undo::uncompress_g8(run.data(), nullptr, 3);
    EXPECT_EQ(dst, Words(12, 0xABCD));
}

// The element after the line equals the last one; it must not join the last run.
TEST(RleCodec, EncoderNeverReadsElementCount) {
    const Words rgba(4 * 4, 0x2000);
    Bytes out(5 * 3);
    EXPECT_EQ(undo::compress_rgba64(rgba.data(), out.data(), 3), 5);
    EXPECT_EQ(out[0], 3);
    const Words grey(4, 0x2000);
    EXPECT_EQ(undo::compress_g16(grey.data(), out.data(), 3), 2);
    EXPECT_EQ(out[0], 3);
}

// A last run longer than what is left is cut at element count - 1.
TEST(RleCodec, DecoderStopsAtElementCount) {
    Words rgba(4 * 12, 0xABCD);
    undo::uncompress_rgba32(Bytes{2, 1, 1, 1, 1, 255, 9, 9, 9, 9}.data(), rgba.data(), 10);
    for (size_t k = 0; k < rgba.size(); ++k)
        ASSERT_EQ(rgba[k], k < 8 ? 0x0100 : k < 40 ? 0x0900 : 0xABCD) << k;
    Words grey(12, 0xABCD);
    undo::uncompress_g8(Bytes{255, 7}.data(), grey.data(), 10);
    for (size_t k = 0; k < grey.size(); ++k) ASSERT_EQ(grey[k], k < 10 ? 0x0700 : 0xABCD) << k;
}

// Zero-length runs are skipped but count against the run limit: a corrupt line
// of them ends after `count` runs, before the valid run placed just past them.
TEST(RleCodec, DecoderReadsAtMostCountRuns) {
    constexpr int32_t kCount = 6;
    Bytes rgba(size_t(kCount) * 5, 0);
    rgba.insert(rgba.end(), {6, 1, 2, 3, 4});
    Words px = decode_rgba(rgba, kCount);
    EXPECT_EQ(px, Words(size_t(kCount) * 4, 0xABCD));
    Bytes grey(size_t(kCount) * 2, 0);
    grey.insert(grey.end(), {6, 1});
    EXPECT_EQ(decode_grey(grey, kCount), Words(size_t(kCount), 0xABCD));
    // Zero runs between valid ones are still skipped.
    EXPECT_EQ(decode_grey({0, 9, 3, 1, 0, 9, 2, 2, 0, 9}, 5),
              (Words{0x100, 0x100, 0x100, 0x200, 0x200}));
    // Only the first `count` runs are read even when they fall short of count elements.
    EXPECT_EQ(decode_grey({1, 1, 1, 2, 1, 3, 5, 4}, 3), (Words{0x100, 0x200, 0x300}));
}

// ---- Line transfer -------------------------------------------------------

constexpr int32_t kW = 300;
constexpr int32_t kH = 3;

class RleLines : public ::testing::Test {
protected:
    std::unique_ptr<EngineState> st = std::make_unique<EngineState>();

    void SetUp() override {
        st->canvas.width = kW;
        st->canvas.height = kH;
        st->canvas.row_bytes = kW * 8;
        st->canvas.exists = true;
        make_slot(2, kW, kH);
        st->canvas.mask = Buffer<uint16_t>::make(size_t(kW) * kH);
        st->canvas.mask.fill_bytes(0xFF);
        st->settings.mask_enabled = 1;
    }
    Buffer<uint16_t>& make_slot(int s, int w, int h) {
        qrn::LayerRecord& r = st->canvas.slots[size_t(s)];
        r.width = w;
        r.height = h;
        r.row_words = w * 4;
        r.pixels = Buffer<uint16_t>::make(size_t(w) * size_t(h) * 4);
        for (size_t k = 0; k < r.pixels.size(); ++k) r.pixels[k] = uint16_t(k / 40 * 0x0101);
        return r.pixels;
    }
    static Words words(const Buffer<uint16_t>& b) { return {b.data(), b.data() + b.size()}; }
    Words layer(int s) const { return words(st->canvas.slots[size_t(s)].pixels); }
};

TEST_F(RleLines, LayerRowRoundTripsIntoAnotherSlot) {
    make_slot(5, kW, kH).fill_bytes(0);
    const Words before = layer(2);
    Bytes line(kW * 5);
    const int32_t n = undo::get_layer_line(*st, line.data(), 2, 1);
    ASSERT_GT(n, 0);
    line.resize(size_t(n));
    undo::put_layer_line(*st, line.data(), 5, 1);
    const Words after = layer(5);
    const size_t row = size_t(kW) * 4;
    EXPECT_EQ(Words(after.begin() + long(row), after.begin() + long(2 * row)),
              high_bytes(Words(before.begin() + long(row), before.begin() + long(2 * row))));
    EXPECT_EQ(Words(after.begin(), after.begin() + long(row)), Words(row, 0));
    EXPECT_EQ(Words(after.begin() + long(2 * row), after.end()), Words(row, 0));
    EXPECT_EQ(layer(2), before);
}

// The mask's content travels whether or not it currently weights edits.
TEST_F(RleLines, MaskRowRoundTripsFullySelectedAsFF00) {
    st->settings.mask_enabled = 0;
    Bytes line(kW * 2);
    ASSERT_EQ(undo::get_mask_line(*st, line.data(), 2), 4);
    EXPECT_EQ(Bytes(line.begin(), line.begin() + 4), (Bytes{255, 0xFF, 45, 0xFF}));
    undo::put_mask_line(*st, line.data(), 2);
    const Words m = words(st->canvas.mask);
    for (size_t k = 0; k < m.size(); ++k) ASSERT_EQ(m[k], k < 2 * kW ? 0xFFFF : 0xFF00) << k;
}

TEST_F(RleLines, RowsOutsideTheCanvasDoNothing) {
    const Words before = layer(2), mask_before = words(st->canvas.mask);
    const Bytes runs{255, 1, 2, 3, 4, 45, 1, 2, 3, 4};
    for (int32_t row : {-1, kH, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(row);
        Bytes out(kW * 5, 0xEE);
        EXPECT_EQ(undo::get_layer_line(*st, out.data(), 2, row), 0);
        EXPECT_EQ(undo::get_mask_line(*st, out.data(), row), 0);
        EXPECT_EQ(out, Bytes(kW * 5, 0xEE));
        undo::put_layer_line(*st, runs.data(), 2, row);
        undo::put_mask_line(*st, runs.data(), row);
    }
    EXPECT_EQ(layer(2), before);
    EXPECT_EQ(words(st->canvas.mask), mask_before);
}

// Slots outside 0..63, empty slots and slots not of the canvas size act as empty.
TEST_F(RleLines, BadSlotsActAsEmpty) {
    make_slot(7, kW + 1, kH);
    make_slot(8, kW, kH - 1);
    const Words seven = layer(7), eight = layer(8);
    const Bytes runs{255, 1, 2, 3, 4, 45, 1, 2, 3, 4};
    for (int32_t slot : {-1, 64, 3, 7, 8}) {
        SCOPED_TRACE(slot);
        Bytes out(kW * 5, 0xEE);
        EXPECT_EQ(undo::get_layer_line(*st, out.data(), slot, 0), 0);
        EXPECT_EQ(out, Bytes(kW * 5, 0xEE));
        undo::put_layer_line(*st, runs.data(), slot, 0);
    }
    EXPECT_EQ(layer(7), seven);
    EXPECT_EQ(layer(8), eight);
}

TEST_F(RleLines, AbsentMaskOrNullBufferDoesNothing) {
    const Words before = layer(2);
    EXPECT_EQ(undo::get_layer_line(*st, nullptr, 2, 0), 0);
    undo::put_layer_line(*st, nullptr, 2, 0);
    EXPECT_EQ(layer(2), before);
    EXPECT_EQ(undo::get_mask_line(*st, nullptr, 0), 0);
    undo::put_mask_line(*st, nullptr, 0);
    EXPECT_EQ(words(st->canvas.mask), Words(size_t(kW) * kH, 0xFFFF));

    Bytes out(kW * 2, 0xEE);
    const Bytes runs{255, 9, 45, 9};
    st->canvas.mask = Buffer<uint16_t>::make(size_t(kW) * kH - 1);  // one word short
    EXPECT_EQ(undo::get_mask_line(*st, out.data(), 0), 0);
    undo::put_mask_line(*st, runs.data(), 2);  // would end one word past the buffer
    EXPECT_EQ(words(st->canvas.mask), Words(size_t(kW) * kH - 1, 0));
    st->canvas.mask.reset();
    EXPECT_EQ(undo::get_mask_line(*st, out.data(), 0), 0);
    undo::put_mask_line(*st, runs.data(), 0);
    EXPECT_EQ(out, Bytes(kW * 2, 0xEE));
}

}  // namespace

// Palette reduction for the GIF writer: exact when it can be, median cut otherwise.
#include "imaginglib/quantise.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <vector>

namespace qrn::imaginglib {
namespace {

uint32_t pack(const uint8_t* p) { return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]; }

struct Bin {
    uint16_t key;  // r5 << 10 | g5 << 5 | b5
    uint32_t count;
    int channel(int c) const { return (key >> (10 - 5 * c)) & 31; }
};

struct Box {
    size_t begin, end;  // range of the bin list
    uint64_t pixels;
    int widest = 0, extent = 0;
};

void measure(const std::vector<Bin>& bins, Box& box) {
    int lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
    box.pixels = 0;
    for (size_t k = box.begin; k < box.end; ++k) {
        box.pixels += bins[k].count;
        for (int c = 0; c < 3; ++c) {
            lo[c] = std::min(lo[c], bins[k].channel(c));
            hi[c] = std::max(hi[c], bins[k].channel(c));
        }
    }
    box.extent = -1;
    for (int c = 0; c < 3; ++c)
        if (hi[c] - lo[c] > box.extent) box.extent = hi[c] - lo[c], box.widest = c;
}

int32_t median_cut(const uint8_t* rgb, int32_t w, int32_t h, int64_t stride, uint8_t* indices,
                   uint8_t palette[256][3]) {
    std::vector<uint32_t> hist(32768, 0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = rgb + y * stride + x * 3;
            ++hist[(p[0] >> 3) << 10 | (p[1] >> 3) << 5 | (p[2] >> 3)];
        }
    std::vector<Bin> bins;
    for (uint32_t k = 0; k < hist.size(); ++k)
        if (hist[k]) bins.push_back({uint16_t(k), hist[k]});
    std::vector<Box> boxes{{0, bins.size(), 0}};
    measure(bins, boxes[0]);
    while (boxes.size() < 256) {
        // The box with the widest channel splits next; the first such on ties.
        size_t pick = boxes.size();
        for (size_t b = 0; b < boxes.size(); ++b)
            if (boxes[b].end - boxes[b].begin > 1 &&
                (pick == boxes.size() || boxes[b].extent > boxes[pick].extent))
                pick = b;
        if (pick == boxes.size()) break;
        Box& box = boxes[pick];
        const int c = box.widest;
        std::sort(bins.begin() + std::ptrdiff_t(box.begin), bins.begin() + std::ptrdiff_t(box.end),
                  [c](const Bin& a, const Bin& b) {
                      return a.channel(c) != b.channel(c) ? a.channel(c) < b.channel(c)
                                                          : a.key < b.key;
                  });
        // Weighted median, leaving at least one bin on each side.
        uint64_t acc = 0;
        size_t cut = box.begin + 1;
        for (size_t k = box.begin; k + 1 < box.end; ++k) {
            acc += bins[k].count;
            cut = k + 1;
            if (acc * 2 >= box.pixels) break;
        }
        Box upper{cut, box.end, 0};
        box.end = cut;
        measure(bins, box);
        measure(bins, upper);
        boxes.push_back(upper);
    }
    std::vector<uint8_t> lut(32768, 0);
    for (size_t b = 0; b < boxes.size(); ++b) {
        uint64_t sum[3] = {0, 0, 0};
        for (size_t k = boxes[b].begin; k < boxes[b].end; ++k) {
            lut[bins[k].key] = uint8_t(b);
            for (int c = 0; c < 3; ++c) sum[c] += uint64_t(bins[k].channel(c) * 8 + 4) * bins[k].count;
        }
        for (int c = 0; c < 3; ++c) palette[b][c] = uint8_t(sum[c] / boxes[b].pixels);
    }
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = rgb + y * stride + x * 3;
            indices[size_t(y) * size_t(w) + size_t(x)] =
                lut[(p[0] >> 3) << 10 | (p[1] >> 3) << 5 | (p[2] >> 3)];
        }
    return int32_t(boxes.size());
}

}  // namespace

int32_t quantise_rgb(const uint8_t* rgb, int32_t w, int32_t h, int64_t stride, uint8_t* indices,
                     uint8_t palette[256][3]) {
    if (!rgb || !indices || !palette || w < 1 || h < 1 || stride < int64_t(w) * 3) return 0;
    std::map<uint32_t, uint8_t> exact;
    for (int32_t y = 0; y < h && exact.size() <= 256; ++y)
        for (int32_t x = 0; x < w && exact.size() <= 256; ++x)
            exact.emplace(pack(rgb + y * stride + x * 3), 0);
    if (exact.size() > 256) return median_cut(rgb, w, h, stride, indices, palette);
    int32_t n = 0;
    for (auto& [colour, index] : exact) {
        index = uint8_t(n);
        palette[n][0] = uint8_t(colour >> 16);
        palette[n][1] = uint8_t(colour >> 8);
        palette[n][2] = uint8_t(colour);
        ++n;
    }
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            indices[size_t(y) * size_t(w) + size_t(x)] = exact[pack(rgb + y * stride + x * 3)];
    return n;
}

}  // namespace qrn::imaginglib

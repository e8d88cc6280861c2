#include "imaginglib/zcodec.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace qrn::imaginglib {
namespace {

// Smooth ramps with a little noise: compressible, but not trivially.
std::vector<uint8_t> sample(size_t n, unsigned seed = 3) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (size_t k = 0; k < n; ++k) v[k] = uint8_t(k / 7 + rng() % 3);
    return v;
}

std::vector<uint8_t> deflated(const std::vector<uint8_t>& src, int level) {
    std::vector<uint8_t> out(src.size() + 1024);
    const int64_t n = z_deflate(src.data(), src.size(), out.data(), out.size(), level);
    EXPECT_GT(n, 0);
    out.resize(size_t(n > 0 ? n : 0));
    return out;
}

TEST(ZCodec, RoundTripsAtEveryLevelAndZlibReadsTheStream) {
    const auto src = sample(20000);
    for (int level : {-1, 0, 1, 5, 6, 9, 10, 12}) {
        SCOPED_TRACE(level);
        const auto z = deflated(src, level);
        std::vector<uint8_t> back(src.size());
        EXPECT_EQ(z_inflate(z.data(), z.size(), back.data(), back.size()), int64_t(src.size()));
        EXPECT_EQ(back, src);
        uLongf len = back.size();
        std::fill(back.begin(), back.end(), 0);
        ASSERT_EQ(uncompress(back.data(), &len, z.data(), z.size()), Z_OK);
        EXPECT_EQ(len, src.size());
        EXPECT_EQ(back, src);
    }
    // Out-of-range levels are level 6, byte for byte.
    EXPECT_EQ(deflated(src, 0), deflated(src, 6));
    EXPECT_EQ(deflated(src, 12), deflated(src, 6));
}

TEST(ZCodec, ReadsWhatZlibWrote) {
    const auto src = sample(5000, 9);
    std::vector<uint8_t> z(compressBound(src.size()));
    uLongf zlen = z.size();
    ASSERT_EQ(compress2(z.data(), &zlen, src.data(), src.size(), 9), Z_OK);
    std::vector<uint8_t> back(src.size());
    EXPECT_EQ(z_inflate(z.data(), zlen, back.data(), back.size()), int64_t(src.size()));
    EXPECT_EQ(back, src);
}

TEST(ZCodec, DeflateNeverWritesPastCapacity) {
    const auto src = sample(4000);
    const auto z = deflated(src, 6);
    std::vector<uint8_t> out(z.size() + 16, 0xCC);
    EXPECT_EQ(z_deflate(src.data(), src.size(), out.data(), z.size(), 6), int64_t(z.size()));
    EXPECT_EQ(out[z.size()], 0xCC);
    std::fill(out.begin(), out.end(), 0xCC);
    EXPECT_EQ(z_deflate(src.data(), src.size(), out.data(), z.size() - 1, 6), 0);
    for (size_t k = z.size() - 1; k < out.size(); ++k) ASSERT_EQ(out[k], 0xCC) << k;
    EXPECT_EQ(z_deflate(src.data(), src.size(), out.data(), 0, 6), 0);
    EXPECT_EQ(z_deflate(src.data(), src.size(), nullptr, 100, 6), 0);
    // Random bytes do not compress: a capacity of the input size cannot hold them.
    std::mt19937 rng(1);
    std::vector<uint8_t> noise(3000);
    for (auto& b : noise) b = uint8_t(rng());
    out.assign(noise.size(), 0);
    EXPECT_EQ(z_deflate(noise.data(), noise.size(), out.data(), out.size(), 6), 0);
}

TEST(ZCodec, InflateRejectsBadStreamsAndOutputBeyondCapacity) {
    const auto src = sample(3000);
    const auto z = deflated(src, 6);
    std::vector<uint8_t> out(src.size() + 8, 0xCC);

    // Output larger than capacity: -1, and nothing past the bound.
    EXPECT_EQ(z_inflate(z.data(), z.size(), out.data(), src.size() - 1), -1);
    EXPECT_EQ(out[src.size() - 1], 0xCC);

    auto corrupt = z;
    corrupt[z.size() / 2] ^= 0x40;
    auto bad_check = z;
    bad_check.back() ^= 1;  // Adler-32 of the data
    auto bad_header = z;
    bad_header[0] = 0x79;  // not deflate, window field invalid
    const std::vector<uint8_t> truncated(z.begin(), z.end() - 5);
    const std::vector<uint8_t> garbage = sample(64, 77);
    const struct {
        const char* name;
        const std::vector<uint8_t>* data;
    } cases[] = {{"corrupt", &corrupt},
                 {"checksum", &bad_check},
                 {"header", &bad_header},
                 {"truncated", &truncated},
                 {"garbage", &garbage}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(z_inflate(c.data->data(), c.data->size(), out.data(), src.size()), -1);
    }
    EXPECT_EQ(z_inflate(nullptr, 10, out.data(), out.size()), -1);
    EXPECT_EQ(z_inflate(z.data(), 0, out.data(), out.size()), -1);
    EXPECT_EQ(z_inflate(z.data(), z.size(), nullptr, 0), -1);
}

}  // namespace
}  // namespace qrn::imaginglib

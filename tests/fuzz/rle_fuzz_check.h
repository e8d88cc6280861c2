// Shared check of the run-length fuzz targets: lines coming back from a host
// decode without reading past `count` runs or writing past `count` elements,
// the elements written form a prefix of the line, and what was decoded encodes
// and decodes to itself.
//
// Input: count (two bytes, little-endian, at most 4096), then the encoded line.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace rle_fuzz {

constexpr int32_t kMaxCount = 4096;
constexpr uint16_t kUnwritten = 0x5A5A;  // a low byte the decoder never writes

// RunBytes: bytes of one run (length byte first); Words: 16-bit words an element.
template <int RunBytes, int Words, class Decode, class Encode>
int check(const uint8_t* data, size_t size, Decode decode, Encode encode) {
    if (size < 2) return 0;
    const int32_t count = int32_t((data[0] | data[1] << 8) % (kMaxCount + 1));
    data += 2;
    size -= 2;
    // Exactly the bytes `count` runs span, zero-padded, each buffer its own heap
    // block so the sanitizer reports any read or write past it.
    const size_t in_bytes = size_t(count) * RunBytes;
    std::vector<uint8_t> in(in_bytes);
    if (in_bytes > 0 && size > 0) std::memcpy(in.data(), data, std::min(size, in_bytes));
    std::vector<uint16_t> out(size_t(count) * Words, kUnwritten);
    decode(in.data(), out.data(), count);

    int64_t total = 0;
    for (int32_t run = 0; run < count && total < count; ++run) total += in[size_t(run) * RunBytes];
    const size_t written = size_t(std::min<int64_t>(total, count));
    for (size_t k = 0; k < out.size(); ++k) {
        const bool ok = k < written * Words ? (out[k] & 0xFF) == 0 : out[k] == kUnwritten;
        if (!ok) __builtin_trap();
    }

    if (written == 0) return 0;
    std::vector<uint8_t> enc(written * RunBytes);
    const int32_t n = encode(out.data(), enc.data(), int32_t(written));
    if (n <= 0 || size_t(n) > enc.size() || n % RunBytes != 0) __builtin_trap();
    std::vector<uint16_t> again(written * Words);
    decode(enc.data(), again.data(), int32_t(written));
    if (!std::equal(again.begin(), again.end(), out.begin())) __builtin_trap();
    return 0;
}

}  // namespace rle_fuzz

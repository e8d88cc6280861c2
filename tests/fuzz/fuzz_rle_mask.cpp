// Grey run-length mask lines coming back from a host: any bytes decode without
// reading past `count` runs or writing past `count` words, the words written form
// a prefix of the line, and what was decoded encodes and decodes to itself.
//
// Input: count (two bytes, little-endian, at most 4096), then the encoded line.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "undo/rle_codec.h"

namespace {
constexpr int32_t kMaxCount = 4096;
constexpr uint16_t kUnwritten = 0x5A5A;  // a low byte the decoder never writes
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int32_t count = int32_t((data[0] | data[1] << 8) % (kMaxCount + 1));
    data += 2;
    size -= 2;
    // Exactly the bytes `count` runs span, zero-padded, each buffer its own heap
    // block so the sanitizer reports any read or write past it.
    const size_t in_bytes = size_t(count) * qrn::undo::kGreyRunBytes;
    std::vector<uint8_t> in(in_bytes);
    if (in_bytes > 0 && size > 0) std::memcpy(in.data(), data, std::min(size, in_bytes));
    std::vector<uint16_t> words(size_t(count), kUnwritten);
    qrn::undo::uncompress_g8(in.data(), words.data(), count);

    int64_t total = 0;
    for (int32_t run = 0; run < count && total < count; ++run) total += in[size_t(run) * 2];
    const size_t written = size_t(std::min<int64_t>(total, count));
    for (size_t k = 0; k < words.size(); ++k) {
        const bool ok = k < written ? (words[k] & 0xFF) == 0 : words[k] == kUnwritten;
        if (!ok) __builtin_trap();
    }

    if (written == 0) return 0;
    std::vector<uint8_t> enc(written * qrn::undo::kGreyRunBytes);
    const int32_t n = qrn::undo::compress_g16(words.data(), enc.data(), int32_t(written));
    if (n <= 0 || size_t(n) > enc.size() || n % qrn::undo::kGreyRunBytes != 0) __builtin_trap();
    std::vector<uint16_t> again(written);
    qrn::undo::uncompress_g8(enc.data(), again.data(), int32_t(written));
    if (!std::equal(again.begin(), again.end(), words.begin())) __builtin_trap();
    return 0;
}

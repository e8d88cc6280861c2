// EMF writing: a header, one StretchDIBits record holding the picture as a
// bottom-up 24-bit DIB, and the end-of-file record. Metafiles are never read
// (nothing here renders one); the reader refuses them as unreadable.
#include <algorithm>
#include <vector>

#include "imaginglib/codecs/codecs.h"
#include "imaginglib/codecs/writers.h"

namespace qrn::imaginglib::codecs {
namespace {

constexpr uint32_t kEmrHeader = 1, kEmrStretchDiBits = 81, kEmrEof = 14;
constexpr uint32_t kHeaderBytes = 88, kStretchBytes = 80, kDibHeaderBytes = 40, kEofBytes = 20;
constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kSrcCopy = 0x00CC0020;
constexpr int32_t kDeviceDpi = 96;  // the reference device the frame is measured on

void put_rect(uint8_t* p, int32_t l, int32_t t, int32_t r, int32_t b) {
    put_le32(p, uint32_t(l));
    put_le32(p + 4, uint32_t(t));
    put_le32(p + 8, uint32_t(r));
    put_le32(p + 12, uint32_t(b));
}

}  // namespace

bool write_emf(Dest& dest, const uint8_t* rgb, int32_t w, int32_t h, int64_t stride) {
    const uint32_t row = uint32_t((int64_t(w) * 3 + 3) / 4 * 4);
    const uint32_t bits = row * uint32_t(h);
    const uint32_t stretch = kStretchBytes + kDibHeaderBytes + bits;
    const uint32_t total = kHeaderBytes + stretch + kEofBytes;

    uint8_t head[kHeaderBytes] = {};
    put_le32(head, kEmrHeader);
    put_le32(head + 4, kHeaderBytes);
    put_rect(head + 8, 0, 0, w - 1, h - 1);
    // The frame is in hundredths of a millimetre.
    put_rect(head + 24, 0, 0, int32_t(int64_t(w) * 2540 / kDeviceDpi) - 1,
             int32_t(int64_t(h) * 2540 / kDeviceDpi) - 1);
    put_le32(head + 40, kSignature);
    put_le32(head + 44, 0x10000);
    put_le32(head + 48, total);
    put_le32(head + 52, 3);  // records
    put_le16(head + 56, 1);  // handles: index 0 is reserved
    put_le32(head + 72, uint32_t(w));
    put_le32(head + 76, uint32_t(h));
    put_le32(head + 80, uint32_t(std::max<int64_t>(1, int64_t(w) * 254 / (kDeviceDpi * 10))));
    put_le32(head + 84, uint32_t(std::max<int64_t>(1, int64_t(h) * 254 / (kDeviceDpi * 10))));

    uint8_t rec[kStretchBytes + kDibHeaderBytes] = {};
    put_le32(rec, kEmrStretchDiBits);
    put_le32(rec + 4, stretch);
    put_rect(rec + 8, 0, 0, w - 1, h - 1);
    put_le32(rec + 40, uint32_t(w));  // source width and height
    put_le32(rec + 44, uint32_t(h));
    put_le32(rec + 48, kStretchBytes);  // the DIB header follows the record header
    put_le32(rec + 52, kDibHeaderBytes);
    put_le32(rec + 56, kStretchBytes + kDibHeaderBytes);
    put_le32(rec + 60, bits);
    put_le32(rec + 68, kSrcCopy);  // usage 0 (RGB colours) before it
    put_le32(rec + 72, uint32_t(w));
    put_le32(rec + 76, uint32_t(h));
    uint8_t* dib = rec + kStretchBytes;
    put_le32(dib, kDibHeaderBytes);
    put_le32(dib + 4, uint32_t(w));
    put_le32(dib + 8, uint32_t(h));
    put_le16(dib + 12, 1);
    put_le16(dib + 14, 24);
    put_le32(dib + 20, bits);
    if (!dest.write(head, sizeof head) || !dest.write(rec, sizeof rec)) return false;

    std::vector<uint8_t> line(row, 0);
    for (int32_t y = h - 1; y >= 0; --y) {
        const uint8_t* src = rgb + y * stride;
        for (int32_t x = 0; x < w; ++x) {
            line[size_t(x) * 3] = src[x * 3 + 2];
            line[size_t(x) * 3 + 1] = src[x * 3 + 1];
            line[size_t(x) * 3 + 2] = src[x * 3];
        }
        if (!dest.write(line.data(), line.size())) return false;
    }
    uint8_t eof[kEofBytes] = {};
    put_le32(eof, kEmrEof);
    put_le32(eof + 4, kEofBytes);
    put_le32(eof + 12, 16);  // palette offset: none, so the record's own size field
    put_le32(eof + 16, kEofBytes);
    return dest.write(eof, sizeof eof);
}

}  // namespace qrn::imaginglib::codecs

// JPEG files from anywhere, read by content as a host's file would be: any
// bytes either decode to an image of 1..10000 a side whose every byte is
// readable, or are refused, with the same pixels as the JPEG decoder itself.
#include <cstddef>
#include <cstdint>

#include "fuzz_image_check.h"
#include "imaginglib/codecs/codecs.h"

namespace {
// A 20-byte header can claim 10000 x 10000; the pixels and libjpeg's own
// buffers for that would make the memory limit the only thing found.
constexpr int64_t kFuzzPixelLimit = 1024 * 1024;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qrn::imaginglib::codecs::set_pixel_limit(kFuzzPixelLimit);
    qrn::fuzz::check_decoder(qrn::imaginglib::codecs::decode_jpeg,
                             qrn::imaginglib::codecs::FileType::Jpeg, data, size);
    return 0;
}

// BMP files from anywhere: any bytes either decode to an image of 1..10000 a
// side whose every byte is readable, or are refused; reading by content gives
// the same pixels as the BMP decoder itself.
#include <cstddef>
#include <cstdint>

#include "fuzz_image_check.h"
#include "imaginglib/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qrn::fuzz::check_decoder(qrn::imaginglib::codecs::decode_bmp,
                             qrn::imaginglib::codecs::FileType::Bmp, data, size);
    return 0;
}

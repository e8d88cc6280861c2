// PSD files from anywhere: any bytes either decode to an image of 1..10000 a
// side whose every byte is readable, or are refused; reading by content gives
// the same pixels as the PSD decoder itself.
#include <cstddef>
#include <cstdint>

#include "fuzz_image_check.h"
#include "imaginglib/codecs/codecs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // About 2^24 pixels: larger images are real, but only slow the search.
    qrn::imaginglib::codecs::set_pixel_limit(1 << 24);
    qrn::fuzz::check_decoder(qrn::imaginglib::codecs::decode_psd,
                             qrn::imaginglib::codecs::FileType::Psd, data, size);
    return 0;
}

// QRN_ entry points of the run-length codecs. The codecs on host buffers cannot
// throw and are called directly; the line transfers walk engine buffers and are
// guarded.
#include "exports/guard.h"
#include "quornel/quornel.h"
#include "undo/rle_codec.h"

using namespace qrn;

QRN_API int32_t QRN_CALL QRN_RLECompressRGBA64ToRGBA32(const uint16_t* source, uint8_t* output,
                                                       int32_t count) {
    return undo::compress_rgba64(source, output, count);
}

QRN_API void QRN_CALL QRN_RLEUncompressRGBA32ToRGBA64(const uint8_t* input, uint16_t* destination,
                                                      int32_t count) {
    undo::uncompress_rgba32(input, destination, count);
}

QRN_API int32_t QRN_CALL QRN_RLECompressG16ToG8(const uint16_t* source, uint8_t* output,
                                                int32_t count) {
    return undo::compress_g16(source, output, count);
}

QRN_API void QRN_CALL QRN_RLEUncompressG8ToG16(const uint8_t* input, uint16_t* destination,
                                               int32_t count) {
    undo::uncompress_g8(input, destination, count);
}

QRN_API int32_t QRN_CALL QRN_GetRGBA32LayerLineRLE(uint8_t* output, int32_t layer, int32_t row) {
    return guarded("GetRGBA32LayerLineRLE", 0,
                   [&] { return undo::get_layer_line(engine(), output, layer, row); });
}

QRN_API void QRN_CALL QRN_PutRGBA32LayerLineRLE(const uint8_t* input, int32_t layer, int32_t row) {
    guard("PutRGBA32LayerLineRLE", [&] { undo::put_layer_line(engine(), input, layer, row); });
}

QRN_API int32_t QRN_CALL QRN_GetMaskLineRLE(uint8_t* output, int32_t row) {
    return guarded("GetMaskLineRLE", 0, [&] { return undo::get_mask_line(engine(), output, row); });
}

QRN_API void QRN_CALL QRN_PutMaskLineRLE(const uint8_t* input, int32_t row) {
    guard("PutMaskLineRLE", [&] { undo::put_mask_line(engine(), input, row); });
}

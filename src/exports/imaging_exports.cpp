// Start and stop of the imaging library, the work buffers and the geometry of
// all layers.
#include "engine/imaging_api/imaging.h"
#include "exports/guard.h"
#include "imaging/geometry.h"
#include "imaging/work_buffers.h"
#include "quornel/quornel.h"

using namespace qrn;
namespace work = qrn::imaging::work;
namespace geometry = qrn::imaging::geometry;

extern "C" {

QRN_API int32_t QRN_CALL QRN_IPLInit(int32_t) { return imaging::init(); }
QRN_API void QRN_CALL QRN_IPLExit(void) { imaging::exit(); }

QRN_API void QRN_CALL QRN_IPLAllocSrcBuffer32(void) {
    guard("IPLAllocSrcBuffer32", [] { work::allocate(engine(), work::Kind::Src32); });
}
QRN_API void QRN_CALL QRN_IPLAllocDstBuffer32(void) {
    guard("IPLAllocDstBuffer32", [] { work::allocate(engine(), work::Kind::Dst32); });
}
QRN_API void QRN_CALL QRN_IPLAllocSrcBuffer24(void) {
    guard("IPLAllocSrcBuffer24", [] { work::allocate(engine(), work::Kind::Src24); });
}
QRN_API void QRN_CALL QRN_IPLAllocDstBuffer24(void) {
    guard("IPLAllocDstBuffer24", [] { work::allocate(engine(), work::Kind::Dst24); });
}
QRN_API void QRN_CALL QRN_IPLFreeSrcBuffer32(void) {
    guard("IPLFreeSrcBuffer32", [] { work::release(engine(), work::Kind::Src32); });
}
QRN_API void QRN_CALL QRN_IPLFreeDstBuffer32(void) {
    guard("IPLFreeDstBuffer32", [] { work::release(engine(), work::Kind::Dst32); });
}
QRN_API void QRN_CALL QRN_IPLFreeSrcBuffer24(void) {
    guard("IPLFreeSrcBuffer24", [] { work::release(engine(), work::Kind::Src24); });
}
QRN_API void QRN_CALL QRN_IPLFreeDstBuffer24(void) {
    guard("IPLFreeDstBuffer24", [] { work::release(engine(), work::Kind::Dst24); });
}
// These three have no failure text of their own; nothing in them allocates.
QRN_API void QRN_CALL QRN_IPLSetSrcBuffer32(const uint8_t* pixels) {
    quiet(0, [&] { work::set_src32(engine(), pixels); return 0; });
}
QRN_API void QRN_CALL QRN_IPLUpdateSrcBuffer32(void) {
    quiet(0, [] { work::update_src32(engine()); return 0; });
}
QRN_API void QRN_CALL QRN_ApplyMaskToAlpha_IPLSrcRGBA(void) {
    quiet(0, [] { work::apply_mask_to_src_alpha(engine()); return 0; });
}

QRN_API void QRN_CALL QRN_IPLResize(int32_t newWidth, int32_t newHeight, const char* filter) {
    guard("IPLResize", [&] { geometry::resize(engine(), newWidth, newHeight, filter); });
}
QRN_API void QRN_CALL QRN_IPLResizePage(int32_t newWidth, int32_t newHeight, const char* anchor) {
    guard("IPLResizePage", [&] { geometry::resize_page(engine(), newWidth, newHeight, anchor); });
}
QRN_API void QRN_CALL QRN_IPLCrop(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    guard("IPLCrop", [&] { geometry::crop(engine(), left, top, right, bottom); });
}
QRN_API void QRN_CALL QRN_IPLRotateLeft(void) {
    guard("IPLRotateLeft", [] { geometry::rotate_left(engine()); });
}
QRN_API void QRN_CALL QRN_IPLRotateRight(void) {
    guard("IPLRotateRight", [] { geometry::rotate_right(engine()); });
}
QRN_API void QRN_CALL QRN_IPLFlipHorizontal(void) {
    guard("IPLFlipHorizontal", [] { geometry::flip_horizontal(engine()); });
}
// "Vlip" is the text hosts have always seen for this one.
QRN_API void QRN_CALL QRN_IPLFlipVertical(void) {
    guard("IPLVlipVertical", [] { geometry::flip_vertical(engine()); });
}

}  // extern "C"

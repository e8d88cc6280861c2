// Start and stop of the imaging library.
#include "engine/imaging_api/imaging.h"
#include "exports/guard.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

QRN_API int32_t QRN_CALL QRN_IPLInit(int32_t) { return imaging::init(); }
QRN_API void QRN_CALL QRN_IPLExit(void) { imaging::exit(); }

}  // extern "C"

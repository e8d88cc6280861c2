// The public headers compile as C++ with every warning an error, their names
// with C linkage.
#include <quornel/quornel.h>
#include <quornel/quornel_host.h>

static_assert(QRN_VERSION_MAJOR >= 0 && QRN_VERSION_MINOR >= 0 && QRN_VERSION_PATCH >= 0);

extern "C" int qrn_header_cxx() {
    void (*set)(int32_t, int32_t, int32_t) = QRN_SetColor;
    return set != nullptr;
}

/* The public headers compile as strict C99 with every warning an error. */
#include <quornel/quornel.h>
#include <quornel/quornel_host.h>

#if QRN_VERSION_MAJOR < 0 || QRN_VERSION_MINOR < 0 || QRN_VERSION_PATCH < 0
#error "version macros missing"
#endif

int qrn_header_c99(void) {
    void (*set)(int32_t, int32_t, int32_t) = QRN_SetColor;
    return set != 0;
}

/* Quornel host services: what a host may tell the engine about the system it runs on.
 * Optional; an engine without these calls uses its own Linux implementations. */
#ifndef QUORNEL_QUORNEL_HOST_H
#define QUORNEL_QUORNEL_HOST_H

#include "quornel/quornel.h"

#ifdef __cplusplus
extern "C" {
#endif

/// The display configuration changed: QRN_IsDisplayChanged returns 1 once.
QRN_API void QRN_CALL QRNX_NotifyDisplayChanged(void);
/// A power broadcast; event code 18 (resume from suspend) counts as a display change.
QRN_API void QRN_CALL QRNX_NotifyPowerEvent(int32_t eventCode);

#ifdef __cplusplus
}
#endif

#endif /* QUORNEL_QUORNEL_HOST_H */

// What a host may tell the engine about the system it runs on.
#include "platform/display_events.h"
#include "quornel/quornel_host.h"

extern "C" {

QRN_API void QRN_CALL QRNX_NotifyDisplayChanged(void) { qrn::platform::notify_display_changed(); }
QRN_API void QRN_CALL QRNX_NotifyPowerEvent(int32_t code) { qrn::platform::notify_power_event(code); }

}  // extern "C"

// Display-change notification. Linux has no hidden window to receive the
// broadcast; the host (through quornel_host.h) or a platform watcher raises it.
#pragma once

namespace qrn::platform {

void notify_display_changed();
// Power broadcasts count only for event 18, automatic resume from suspend.
void notify_power_event(int code);
// Reads and clears the pending notification.
bool take_display_changed();
void reset_display_events();

}  // namespace qrn::platform

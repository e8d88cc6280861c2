// Pending display-change notification, raised by the host or a watcher.
#include "platform/display_events.h"

namespace qrn::platform {
namespace {
bool g_pending = false;
constexpr int kResumeAutomatic = 18;
}  // namespace

void notify_display_changed() { g_pending = true; }

void notify_power_event(int code) {
    if (code == kResumeAutomatic) g_pending = true;
}

bool take_display_changed() {
    const bool was = g_pending;
    g_pending = false;
    return was;
}

void reset_display_events() { g_pending = false; }

}  // namespace qrn::platform

// Pen tablets: the driver interface the engine's tablet input calls (device
// information, open, queue size, packets, close), the installed driver, and a
// scripted fake for tests. The Linux driver on the kernel's input events is in
// tablet_evdev.h.
#pragma once
#include <cstdint>
#include <deque>

namespace qrn::platform {

// Fields of a packet, for the context's packet data and move masks.
constexpr uint32_t kPacketStatusField = 0x0002;
constexpr uint32_t kPacketXField = 0x0080;
constexpr uint32_t kPacketYField = 0x0100;
constexpr uint32_t kPacketPressureField = 0x0400;
constexpr uint32_t kPacketFields =
    kPacketStatusField | kPacketXField | kPacketYField | kPacketPressureField;

// Status bits of a packet.
constexpr uint32_t kPacketQueueOverflow = 0x02;  // packets were lost before this one
constexpr uint32_t kPacketInvert = 0x10;         // the pen's eraser end

// One pen sample in the 16-byte layout hosts know: status, position in output
// units of the context, normal pressure in device units.
struct TabletPacket {
    uint32_t status = 0;
    int32_t x = 0;
    int32_t y = 0;
    uint32_t pressure = 0;
    bool operator==(const TabletPacket&) const = default;
};
static_assert(sizeof(TabletPacket) == 16);

struct TabletAxis {
    int32_t minimum = 0;
    int32_t maximum = 0;
};

constexpr int kTabletContextName = 40;

// What a context delivers and how device positions map to output units:
// out = out_org + (in - in_org) x |out_ext| / in_ext. Output x grows rightward
// and output y upward for positive extents; a negative extent turns its axis
// round, so (width, -height) gives screen pixels with y growing downward. An
// output extent of 0 passes device units through.
struct TabletContext {
    char name[kTabletContextName] = {};
    uint32_t options = 0;
    uint32_t packet_data = 0;  // fields delivered
    uint32_t move_mask = 0;    // fields whose change makes a packet
    uint32_t packet_mode = 0;  // fields delivered relative to the previous packet
    uint32_t button_down_mask = 0;
    uint32_t button_up_mask = 0;
    int32_t in_org_x = 0, in_org_y = 0, in_ext_x = 0, in_ext_y = 0;
    int32_t out_org_x = 0, out_org_y = 0, out_ext_x = 0, out_ext_y = 0;
};

// 0 is no context.
using TabletHandle = uint32_t;

class TabletDriver {
public:
    virtual ~TabletDriver() = default;
    // Information: the normal-pressure axis of the pen device and the default
    // context. Each returns the bytes it filled, 0 when there is no pen device.
    virtual int32_t pressure_axis(TabletAxis& out) = 0;
    virtual int32_t default_context(TabletContext& out) = 0;
    // A context for the window; 0 when refused.
    virtual TabletHandle open(void* window, const TabletContext& context, bool enabled) = 0;
    // Room for `packets` in the context's queue; non-zero when granted.
    virtual int32_t set_queue_size(TabletHandle context, int32_t packets) = 0;
    // Takes up to `max` of the oldest queued packets into out, or discards them
    // when out is null; returns how many.
    virtual int32_t get_packets(TabletHandle context, int32_t max, TabletPacket* out) = 0;
    // Non-zero when the context was open and is now closed.
    virtual int32_t close(TabletHandle context) = 0;
    // The screen position of a window's client-area top-left (x, y start as
    // the client position); non-zero when the window system answered.
    virtual int32_t client_to_screen(void* window, int32_t& x, int32_t& y) = 0;
};

// The driver in use: the one installed, else the Linux driver on the input devices.
TabletDriver& tablet_driver();
// Tests install a fake; null goes back to the Linux driver. The caller keeps
// ownership and uninstalls it before it goes.
void install_tablet_driver(TabletDriver* driver);
// Uninstalls any fake and closes what the Linux driver holds open.
void reset_tablet_driver();

// Size in pixels of the primary screen, 0 x 0 when it cannot be told.
struct ScreenSize {
    int32_t width = 0;
    int32_t height = 0;
};
ScreenSize primary_screen_size();

// A scripted tablet: the pressure axis, a packet queue the test fills, the
// context it was opened with and a client origin. No device when has_device
// is false.
class FakeTabletDriver : public TabletDriver {
public:
    bool has_device = true;
    TabletAxis axis{0, 1023};
    bool refuse_open = false;
    std::deque<TabletPacket> queue;
    int32_t queue_capacity = 0;  // as set through set_queue_size
    TabletContext opened{};      // the context of the last open
    void* opened_window = nullptr;
    int32_t client_x = 0, client_y = 0;  // screen position of every window's client area
    int32_t open_contexts = 0;

    int32_t pressure_axis(TabletAxis& out) override;
    int32_t default_context(TabletContext& out) override;
    TabletHandle open(void* window, const TabletContext& context, bool enabled) override;
    int32_t set_queue_size(TabletHandle context, int32_t packets) override;
    int32_t get_packets(TabletHandle context, int32_t max, TabletPacket* out) override;
    int32_t close(TabletHandle context) override;
    int32_t client_to_screen(void* window, int32_t& x, int32_t& y) override;

private:
    TabletHandle next_handle_ = 1;
    TabletHandle live_ = 0;
};

}  // namespace qrn::platform

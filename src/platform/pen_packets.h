// Pen packets from a pen's state as input devices report it: the context's
// mapping to output units, its move mask and a bounded queue that marks lost
// packets. The Linux tablet driver feeds it; it knows nothing of devices.
#pragma once
#include <cstdint>
#include <deque>

#include "platform/tablet_driver.h"

namespace qrn::platform {

// Device units, y growing downward.
struct PenState {
    bool stylus = false;  // in proximity, writing end
    bool eraser = false;  // in proximity, eraser end
    int32_t x = 0, y = 0;
    uint32_t pressure = 0;
};

// One axis from device units to output units, clamped to the device's range.
// `upward` is whether a positive output extent counts from the far end.
int32_t map_pen_axis(int32_t v, int32_t in_org, int32_t in_ext, int32_t out_org, int32_t out_ext,
                     bool upward);

class PenPacketQueue {
public:
    static constexpr int32_t kDefaultCapacity = 8;
    static constexpr int32_t kMaxCapacity = 4096;

    // Empties the queue for a new context.
    void start(const TabletContext& context, bool enabled);
    bool set_capacity(int32_t packets);
    // The state at the end of one report of the device: queued as a packet
    // while a tool is in proximity and a field of the move mask changed.
    void report(const PenState& s);
    // Reports were lost; the next queued packet says so.
    void lost() { overflow_ = true; }
    // Takes up to max of the oldest packets into out, or drops them when out is null.
    int32_t take(int32_t max, TabletPacket* out);

private:
    bool moved(const TabletPacket& p) const;

    TabletContext context_{};
    bool enabled_ = false;
    std::deque<TabletPacket> queue_;
    int32_t capacity_ = kDefaultCapacity;
    bool overflow_ = false;
    TabletPacket last_{};
    bool have_last_ = false;
};

}  // namespace qrn::platform

// Pen packets: mapping, move mask and queue of the Linux tablet driver.
#include "platform/pen_packets.h"

#include <algorithm>

namespace qrn::platform {

namespace {
int32_t clamp_i32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }
}  // namespace

int32_t map_pen_axis(int32_t v, int32_t in_org, int32_t in_ext, int32_t out_org, int32_t out_ext,
                     bool upward) {
    const int64_t span = in_ext > 0 ? in_ext : 1;
    int64_t off = std::clamp<int64_t>(int64_t(v) - in_org, 0, span - 1);
    if (out_ext == 0) return clamp_i32(int64_t(out_org) + off);
    if ((out_ext > 0) == upward) off = span - 1 - off;
    const int64_t ext = out_ext > 0 ? int64_t(out_ext) : -int64_t(out_ext);
    return clamp_i32(int64_t(out_org) + off * ext / span);
}

void PenPacketQueue::start(const TabletContext& context, bool enabled) {
    context_ = context;
    enabled_ = enabled;
    queue_.clear();
    capacity_ = kDefaultCapacity;
    overflow_ = false;
    have_last_ = false;
}

bool PenPacketQueue::set_capacity(int32_t packets) {
    if (packets < 1 || packets > kMaxCapacity) return false;
    capacity_ = packets;
    while (int32_t(queue_.size()) > capacity_) queue_.pop_back();
    return true;
}

void PenPacketQueue::report(const PenState& s) {
    if (!s.stylus && !s.eraser) {
        have_last_ = false;  // back in proximity starts afresh
        return;
    }
    if (!enabled_) return;
    TabletPacket p;
    p.status = s.eraser ? kPacketInvert : 0;
    p.x = map_pen_axis(s.x, context_.in_org_x, context_.in_ext_x, context_.out_org_x,
                       context_.out_ext_x, false);
    p.y = map_pen_axis(s.y, context_.in_org_y, context_.in_ext_y, context_.out_org_y,
                       context_.out_ext_y, true);
    p.pressure = s.pressure;
    if (have_last_ && !moved(p)) return;
    last_ = p;
    have_last_ = true;
    if (int32_t(queue_.size()) >= capacity_) {
        overflow_ = true;  // a full queue loses the newest packets
        return;
    }
    if (overflow_) p.status |= kPacketQueueOverflow;
    overflow_ = false;
    queue_.push_back(p);
}

int32_t PenPacketQueue::take(int32_t max, TabletPacket* out) {
    int32_t n = 0;
    for (; n < max && !queue_.empty(); ++n) {
        if (out) out[n] = queue_.front();
        queue_.pop_front();
    }
    return n;
}

bool PenPacketQueue::moved(const TabletPacket& p) const {
    const uint32_t m = context_.move_mask;
    return ((m & kPacketStatusField) && p.status != last_.status) ||
           ((m & kPacketXField) && p.x != last_.x) || ((m & kPacketYField) && p.y != last_.y) ||
           ((m & kPacketPressureField) && p.pressure != last_.pressure);
}

}  // namespace qrn::platform

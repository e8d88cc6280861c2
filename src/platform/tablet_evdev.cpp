// Pen packets from evdev: every SYN_REPORT while a tool is in proximity becomes
// a packet of the device's state, when a field of the move mask changed.
#include "platform/tablet_evdev.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace qrn::platform {

namespace {

constexpr int32_t kDefaultQueue = 8;
constexpr int32_t kMaxQueue = 4096;

// An open input device; closes itself.
class Device {
public:
    static std::unique_ptr<Device> open(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return nullptr;
        libevdev* dev = nullptr;
        if (libevdev_new_from_fd(fd, &dev) != 0) {
            ::close(fd);
            return nullptr;
        }
        return std::unique_ptr<Device>(new Device(fd, dev));
    }
    ~Device() {
        libevdev_free(dev_);
        ::close(fd_);
    }
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool is_pen() const {
        return libevdev_has_event_code(dev_, EV_ABS, ABS_X) &&
               libevdev_has_event_code(dev_, EV_ABS, ABS_Y) &&
               libevdev_has_event_code(dev_, EV_ABS, ABS_PRESSURE) &&
               libevdev_has_event_code(dev_, EV_KEY, BTN_TOOL_PEN);
    }
    libevdev* get() const { return dev_; }

private:
    Device(int fd, libevdev* dev) : fd_(fd), dev_(dev) {}
    int fd_;
    libevdev* dev_;
};

// Device numbers in order, so the same pen is found every time.
std::vector<std::string> event_devices() {
    std::vector<std::pair<long, std::string>> found;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/dev/input", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("event", 0) != 0) continue;
        char* end = nullptr;
        const long n = std::strtol(name.c_str() + 5, &end, 10);
        if (end == name.c_str() + 5 || *end) continue;
        found.emplace_back(n, e.path().string());
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (auto& f : found) paths.push_back(std::move(f.second));
    return paths;
}

int32_t clamp_i32(int64_t v) {
    return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// One axis from device units to output units; `upward` is whether a positive
// output extent counts from the far end (the device's y grows downward).
int32_t map_axis(int32_t v, int32_t in_org, int32_t in_ext, int32_t out_org, int32_t out_ext,
                 bool upward) {
    const int64_t span = in_ext > 0 ? in_ext : 1;
    int64_t off = std::clamp<int64_t>(int64_t(v) - in_org, 0, span - 1);
    if (out_ext == 0) return clamp_i32(int64_t(out_org) + off);
    if ((out_ext > 0) == upward) off = span - 1 - off;
    const int64_t ext = out_ext > 0 ? int64_t(out_ext) : -int64_t(out_ext);
    return clamp_i32(int64_t(out_org) + off * ext / span);
}

class EvdevTabletDriver : public TabletDriver {
public:
    explicit EvdevTabletDriver(std::string path) : path_(std::move(path)) {}

    int32_t pressure_axis(TabletAxis& out) override {
        auto dev = find_pen();
        if (!dev) return 0;
        out.minimum = libevdev_get_abs_minimum(dev->get(), ABS_PRESSURE);
        out.maximum = libevdev_get_abs_maximum(dev->get(), ABS_PRESSURE);
        return int32_t(sizeof out);
    }

    int32_t default_context(TabletContext& out) override {
        auto dev = find_pen();
        if (!dev) return 0;
        out = TabletContext{};
        if (const char* name = libevdev_get_name(dev->get()))
            std::strncpy(out.name, name, sizeof out.name - 1);
        out.packet_data = out.move_mask = kPacketFields;
        out.button_down_mask = out.button_up_mask = ~0u;
        const libevdev* d = dev->get();
        out.in_org_x = libevdev_get_abs_minimum(d, ABS_X);
        out.in_org_y = libevdev_get_abs_minimum(d, ABS_Y);
        out.in_ext_x = clamp_i32(int64_t(libevdev_get_abs_maximum(d, ABS_X)) - out.in_org_x + 1);
        out.in_ext_y = clamp_i32(int64_t(libevdev_get_abs_maximum(d, ABS_Y)) - out.in_org_y + 1);
        // Device units, origin top-left.
        out.out_ext_x = out.in_ext_x;
        out.out_ext_y = -out.in_ext_y;
        return int32_t(sizeof out);
    }

    TabletHandle open(void*, const TabletContext& context, bool enabled) override {
        // Our packets are the one absolute layout of status, x, y and pressure.
        if (open_ || context.packet_data != kPacketFields || context.packet_mode != 0) return 0;
        open_ = find_pen();
        if (!open_) return 0;
        context_ = context;
        enabled_ = enabled;
        queue_.clear();
        capacity_ = kDefaultQueue;
        overflow_ = false;
        have_last_ = false;
        handle_ = next_handle_++;
        if (next_handle_ == 0) next_handle_ = 1;
        return handle_;
    }

    int32_t set_queue_size(TabletHandle context, int32_t packets) override {
        if (!is_open(context) || packets < 1 || packets > kMaxQueue) return 0;
        capacity_ = packets;
        while (int32_t(queue_.size()) > capacity_) queue_.pop_back();
        return 1;
    }

    int32_t get_packets(TabletHandle context, int32_t max, TabletPacket* out) override {
        if (!is_open(context)) return 0;
        drain();
        int32_t n = 0;
        for (; n < max && !queue_.empty(); ++n) {
            if (out) out[n] = queue_.front();
            queue_.pop_front();
        }
        return n;
    }

    int32_t close(TabletHandle context) override {
        if (!is_open(context)) return 0;
        open_.reset();
        handle_ = 0;
        queue_.clear();
        return 1;
    }

    // Nothing here knows where the host's windows are.
    int32_t client_to_screen(void*, int32_t&, int32_t&) override { return 0; }

private:
    bool is_open(TabletHandle context) const { return open_ && context != 0 && context == handle_; }

    std::unique_ptr<Device> find_pen() const {
        if (!path_.empty()) {
            auto dev = Device::open(path_);
            return dev && dev->is_pen() ? std::move(dev) : nullptr;
        }
        for (const std::string& p : event_devices())
            if (auto dev = Device::open(p); dev && dev->is_pen()) return dev;
        return nullptr;
    }

    // Reads every pending event; libevdev keeps the device state, and after
    // lost events (SYN_DROPPED) it replays the difference in sync mode.
    void drain() {
        libevdev* dev = open_->get();
        input_event ev;
        unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
        for (;;) {
            const int rc = libevdev_next_event(dev, flags, &ev);
            if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                if (flags == LIBEVDEV_READ_FLAG_NORMAL) {
                    flags = LIBEVDEV_READ_FLAG_SYNC;
                    overflow_ = true;
                    continue;
                }
            } else if (rc == -EAGAIN && flags == LIBEVDEV_READ_FLAG_SYNC) {
                flags = LIBEVDEV_READ_FLAG_NORMAL;
                capture();
                continue;
            } else if (rc != LIBEVDEV_READ_STATUS_SUCCESS) {
                return;  // nothing more now, or the device went away
            }
            if (flags == LIBEVDEV_READ_FLAG_NORMAL && ev.type == EV_SYN && ev.code == SYN_REPORT)
                capture();
        }
    }

    // Queues the device's state as a packet.
    void capture() {
        const libevdev* d = open_->get();
        const bool rubber = libevdev_get_event_value(d, EV_KEY, BTN_TOOL_RUBBER) != 0;
        const bool pen = libevdev_get_event_value(d, EV_KEY, BTN_TOOL_PEN) != 0;
        if (!pen && !rubber) have_last_ = false;  // back in proximity is a new stroke
        if (!enabled_ || !(pen || rubber)) return;
        TabletPacket p;
        p.status = rubber ? kPacketInvert : 0;
        p.x = map_axis(libevdev_get_event_value(d, EV_ABS, ABS_X), context_.in_org_x,
                       context_.in_ext_x, context_.out_org_x, context_.out_ext_x, false);
        p.y = map_axis(libevdev_get_event_value(d, EV_ABS, ABS_Y), context_.in_org_y,
                       context_.in_ext_y, context_.out_org_y, context_.out_ext_y, true);
        p.pressure = uint32_t(libevdev_get_event_value(d, EV_ABS, ABS_PRESSURE));
        if (have_last_ && !moved(p)) return;
        last_ = p;
        have_last_ = true;
        if (int32_t(queue_.size()) >= capacity_) {
            overflow_ = true;  // the newest are lost, as queues of pen packets do
            return;
        }
        if (overflow_) p.status |= kPacketQueueOverflow;
        overflow_ = false;
        queue_.push_back(p);
    }

    bool moved(const TabletPacket& p) const {
        const uint32_t m = context_.move_mask;
        return ((m & kPacketStatusField) && p.status != last_.status) ||
               ((m & kPacketXField) && p.x != last_.x) || ((m & kPacketYField) && p.y != last_.y) ||
               ((m & kPacketPressureField) && p.pressure != last_.pressure);
    }

    std::string path_;
    std::unique_ptr<Device> open_;
    TabletContext context_{};
    bool enabled_ = false;
    std::deque<TabletPacket> queue_;
    int32_t capacity_ = kDefaultQueue;
    bool overflow_ = false;
    TabletPacket last_{};
    bool have_last_ = false;
    TabletHandle handle_ = 0;
    TabletHandle next_handle_ = 1;
};

}  // namespace

std::unique_ptr<TabletDriver> make_evdev_tablet_driver(const std::string& device_path) {
    return std::make_unique<EvdevTabletDriver>(device_path);
}

}  // namespace qrn::platform

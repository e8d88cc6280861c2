// Pen packets from evdev: the device's state at every SYN_REPORT goes to the
// packet queue, which keeps what the context asks for.
#include "platform/tablet_evdev.h"

#include <fcntl.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/pen_packets.h"

namespace qrn::platform {

namespace {

constexpr int kMaxEventsPerRead = 65536;

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

int32_t clamp_i32(int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); }

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
        queue_.start(context, enabled);
        handle_ = next_handle_++;
        if (next_handle_ == 0) next_handle_ = 1;
        return handle_;
    }

    int32_t set_queue_size(TabletHandle context, int32_t packets) override {
        return is_open(context) && queue_.set_capacity(packets) ? 1 : 0;
    }

    int32_t get_packets(TabletHandle context, int32_t max, TabletPacket* out) override {
        if (!is_open(context)) return 0;
        drain();
        return queue_.take(max, out);
    }

    int32_t close(TabletHandle context) override {
        if (!is_open(context)) return 0;
        open_.reset();
        handle_ = 0;
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

    // Reads the pending events; libevdev keeps the device state, and after
    // lost events (SYN_DROPPED) it replays the difference in sync mode. A pen
    // that never pauses cannot keep the host here: the rest waits for the next call.
    void drain() {
        libevdev* dev = open_->get();
        input_event ev;
        unsigned flags = LIBEVDEV_READ_FLAG_NORMAL;
        for (int n = 0; n < kMaxEventsPerRead; ++n) {
            const int rc = libevdev_next_event(dev, flags, &ev);
            if (rc == LIBEVDEV_READ_STATUS_SYNC) {
                if (flags == LIBEVDEV_READ_FLAG_NORMAL) {
                    flags = LIBEVDEV_READ_FLAG_SYNC;
                    queue_.lost();
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

    void capture() {
        const libevdev* d = open_->get();
        PenState s;
        s.stylus = libevdev_get_event_value(d, EV_KEY, BTN_TOOL_PEN) != 0;
        s.eraser = libevdev_get_event_value(d, EV_KEY, BTN_TOOL_RUBBER) != 0;
        s.x = libevdev_get_event_value(d, EV_ABS, ABS_X);
        s.y = libevdev_get_event_value(d, EV_ABS, ABS_Y);
        s.pressure = uint32_t(libevdev_get_event_value(d, EV_ABS, ABS_PRESSURE));
        queue_.report(s);
    }

    std::string path_;
    std::unique_ptr<Device> open_;
    PenPacketQueue queue_;
    TabletHandle handle_ = 0;
    TabletHandle next_handle_ = 1;
};

}  // namespace

std::unique_ptr<TabletDriver> make_evdev_tablet_driver(const std::string& device_path) {
    return std::make_unique<EvdevTabletDriver>(device_path);
}

}  // namespace qrn::platform

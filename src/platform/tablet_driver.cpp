// The installed tablet driver, the scripted fake, and the screen size from the
// kernel's display connectors.
#include "platform/tablet_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/tablet_evdev.h"

namespace qrn::platform {

namespace {
TabletDriver* g_installed = nullptr;
std::unique_ptr<TabletDriver> g_linux;
}  // namespace

TabletDriver& tablet_driver() {
    if (g_installed) return *g_installed;
    if (!g_linux) g_linux = make_evdev_tablet_driver();
    return *g_linux;
}

void install_tablet_driver(TabletDriver* driver) { g_installed = driver; }

void reset_tablet_driver() {
    g_installed = nullptr;
    g_linux.reset();
}

namespace {
// "1920x1080" or "1920,1080".
bool parse_size(const std::string& text, ScreenSize& out) {
    int w = 0, h = 0;
    char sep = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &w, &sep, &h) != 3 || w <= 0 || h <= 0) return false;
    out = {w, h};
    return true;
}

std::string first_line(const std::filesystem::path& p) {
    std::ifstream f(p);
    std::string line;
    std::getline(f, line);
    return line;
}
}  // namespace

ScreenSize primary_screen_size() {
    ScreenSize size;
    std::error_code ec;
    // The first connected connector's preferred mode (listed first), then the
    // frame buffer console.
    std::vector<std::filesystem::path> connectors;
    for (const auto& e : std::filesystem::directory_iterator("/sys/class/drm", ec))
        if (e.path().filename().string().find('-') != std::string::npos)
            connectors.push_back(e.path());
    std::sort(connectors.begin(), connectors.end());
    for (const auto& c : connectors)
        if (first_line(c / "status") == "connected" && parse_size(first_line(c / "modes"), size))
            return size;
    parse_size(first_line("/sys/class/graphics/fb0/virtual_size"), size);
    return size;
}

int32_t FakeTabletDriver::pressure_axis(TabletAxis& out) {
    if (!has_device) return 0;
    out = axis;
    return int32_t(sizeof out);
}

int32_t FakeTabletDriver::default_context(TabletContext& out) {
    if (!has_device) return 0;
    out = TabletContext{};
    std::strcpy(out.name, "fake pen");
    out.packet_data = out.move_mask = kPacketFields;
    out.button_down_mask = ~0u;
    out.in_ext_x = out.in_ext_y = out.out_ext_x = out.out_ext_y = 1024;
    return int32_t(sizeof out);
}

TabletHandle FakeTabletDriver::open(void* window, const TabletContext& context, bool enabled) {
    if (!has_device || refuse_open || !enabled) return 0;
    opened = context;
    opened_window = window;
    ++open_contexts;
    live_ = next_handle_++;
    return live_;
}

int32_t FakeTabletDriver::set_queue_size(TabletHandle context, int32_t packets) {
    if (context == 0 || context != live_ || packets < 1) return 0;
    queue_capacity = packets;
    return 1;
}

int32_t FakeTabletDriver::get_packets(TabletHandle context, int32_t max, TabletPacket* out) {
    if (context == 0 || context != live_) return 0;
    int32_t n = 0;
    for (; n < max && !queue.empty(); ++n) {
        if (out) out[n] = queue.front();
        queue.pop_front();
    }
    return n;
}

int32_t FakeTabletDriver::close(TabletHandle context) {
    if (context == 0 || context != live_) return 0;
    live_ = 0;
    --open_contexts;
    return 1;
}

int32_t FakeTabletDriver::client_to_screen(void*, int32_t& x, int32_t& y) {
    x += client_x;
    y += client_y;
    return 1;
}

}  // namespace qrn::platform

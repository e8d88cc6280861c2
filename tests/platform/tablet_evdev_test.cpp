// The Linux tablet driver against a virtual pen tablet made through uinput:
// device discovery, the pressure axis, packets of stylus and eraser, and the
// mapping to output units.
#include "platform/tablet_evdev.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

using namespace qrn::platform;

namespace {

// A virtual input device; the test skips where uinput is not available.
class VirtualDevice {
public:
    explicit VirtualDevice(bool pressure) {
        libevdev* proto = libevdev_new();
        libevdev_set_name(proto, "quornel virtual pen");
        const input_absinfo x{0, 0, 9999, 0, 0, 100}, y{0, 0, 4999, 0, 0, 100},
            p{0, 0, 2047, 0, 0, 0};
        libevdev_enable_event_code(proto, EV_ABS, ABS_X, &x);
        libevdev_enable_event_code(proto, EV_ABS, ABS_Y, &y);
        if (pressure) libevdev_enable_event_code(proto, EV_ABS, ABS_PRESSURE, &p);
        for (unsigned key : {BTN_TOOL_PEN, BTN_TOOL_RUBBER, BTN_TOUCH})
            libevdev_enable_event_code(proto, EV_KEY, key, nullptr);
        libevdev_enable_property(proto, INPUT_PROP_DIRECT);
        const int rc =
            libevdev_uinput_create_from_device(proto, LIBEVDEV_UINPUT_OPEN_MANAGED, &ui_);
        libevdev_free(proto);
        if (rc < 0) {
            why_ = std::string("/dev/uinput cannot be used here: ") + std::strerror(-rc);
            ui_ = nullptr;
            return;
        }
        const char* node = libevdev_uinput_get_devnode(ui_);
        const int fd = node ? ::open(node, O_RDONLY) : -1;
        if (fd < 0) {
            why_ = "the virtual tablet has no device node that can be opened here";
            return;
        }
        ::close(fd);
        node_ = node;
    }
    ~VirtualDevice() {
        if (ui_) libevdev_uinput_destroy(ui_);
    }
    const std::string& node() const { return node_; }
    const std::string& why_not() const { return why_; }
    void send(std::initializer_list<std::pair<unsigned, int>> keys_or_axes) {
        for (auto [code, value] : keys_or_axes)
            libevdev_uinput_write_event(ui_, code >= BTN_MISC ? EV_KEY : EV_ABS, code, value);
        libevdev_uinput_write_event(ui_, EV_SYN, SYN_REPORT, 0);
    }

private:
    libevdev_uinput* ui_ = nullptr;
    std::string node_, why_;
};

TEST(EvdevTablet, ReadsStylusAndEraserPacketsOfAVirtualPen) {
    VirtualDevice pen(true);
    if (pen.node().empty()) GTEST_SKIP() << pen.why_not();
    auto driver = make_evdev_tablet_driver(pen.node());

    TabletAxis axis;
    ASSERT_NE(driver->pressure_axis(axis), 0);
    EXPECT_EQ(axis.minimum, 0);
    EXPECT_EQ(axis.maximum, 2047);
    TabletContext ctx;
    ASSERT_NE(driver->default_context(ctx), 0);
    EXPECT_EQ(ctx.in_ext_x, 10000);
    EXPECT_EQ(ctx.in_ext_y, 5000);
    // Ten device units to the pixel, y growing downward.
    ctx.out_ext_x = 1000;
    ctx.out_ext_y = -500;
    const TabletHandle h = driver->open(nullptr, ctx, true);
    ASSERT_NE(h, 0u);
    ASSERT_NE(driver->set_queue_size(h, 256), 0);

    pen.send({{BTN_TOOL_PEN, 1}, {ABS_X, 5000}, {ABS_Y, 2500}, {ABS_PRESSURE, 0}});
    pen.send({{BTN_TOUCH, 1}, {ABS_PRESSURE, 1024}});
    pen.send({{ABS_X, 5010}, {ABS_Y, 4999}});
    pen.send({{ABS_X, 5011}});  // the same pixel: no packet
    pen.send({{BTN_TOOL_PEN, 0}, {BTN_TOOL_RUBBER, 1}});
    pen.send({{BTN_TOUCH, 0}, {BTN_TOOL_RUBBER, 0}, {ABS_PRESSURE, 0}});
    pen.send({{ABS_X, 0}});  // out of proximity: no packet

    const std::vector<TabletPacket> want = {{0, 500, 250, 0},
                                            {0, 500, 250, 1024},
                                            {0, 501, 499, 1024},
                                            {kPacketInvert, 501, 499, 1024}};
    std::vector<TabletPacket> got(8);
    got.resize(size_t(driver->get_packets(h, 8, got.data())));
    EXPECT_EQ(got, want);

    // A positive y extent counts from the bottom edge.
    EXPECT_NE(driver->close(h), 0);
    ctx.out_ext_y = 500;
    const TabletHandle h2 = driver->open(nullptr, ctx, true);
    ASSERT_NE(h2, 0u);
    pen.send({{BTN_TOOL_PEN, 1}, {ABS_X, 0}, {ABS_Y, 0}, {ABS_PRESSURE, 7}});
    TabletPacket p;
    ASSERT_EQ(driver->get_packets(h2, 1, &p), 1);
    EXPECT_EQ(p, (TabletPacket{0, 0, 499, 7}));
    EXPECT_EQ(driver->close(h2), 1);
    EXPECT_EQ(driver->close(h2), 0);
}

TEST(EvdevTablet, IgnoresADeviceWithoutPressure) {
    VirtualDevice pad(false);
    if (pad.node().empty()) GTEST_SKIP() << pad.why_not();
    auto driver = make_evdev_tablet_driver(pad.node());
    TabletAxis axis;
    EXPECT_EQ(driver->pressure_axis(axis), 0);
    TabletContext ctx;
    ctx.packet_data = kPacketFields;
    EXPECT_EQ(driver->open(nullptr, ctx, true), 0u);
}

TEST(EvdevTablet, NoDeviceNoContext) {
    auto driver = make_evdev_tablet_driver("/nonexistent/event0");
    TabletAxis axis;
    TabletContext ctx;
    EXPECT_EQ(driver->pressure_axis(axis), 0);
    EXPECT_EQ(driver->default_context(ctx), 0);
    ctx.packet_data = kPacketFields;
    EXPECT_EQ(driver->open(nullptr, ctx, true), 0u);
    EXPECT_EQ(driver->get_packets(1, 8, nullptr), 0);
}

}  // namespace

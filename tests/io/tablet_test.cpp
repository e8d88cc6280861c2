// Pen tablet input over the scripted driver: the pressure ramp, the pressure
// scale, origins, status bits and the bounds of the packet queries.
#include "io/tablet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>

#include "platform/tablet_driver.h"

using namespace qrn;
using platform::TabletPacket;

namespace {

class Tablet : public ::testing::Test {
protected:
    void SetUp() override { platform::install_tablet_driver(&fake); }
    void TearDown() override { platform::reset_tablet_driver(); }

    // Opens a context on the fake and reads the given packets.
    void read(std::initializer_list<TabletPacket> packets) {
        if (st->tablet.context == 0) {
            ASSERT_NE(tablet::init_tablet(*st, this), 0);
        }
        fake.queue.assign(packets);
        ASSERT_EQ(tablet::read_tablet_packets(*st), int32_t(packets.size()));
    }

    platform::FakeTabletDriver fake;
    std::unique_ptr<EngineState> st = std::make_unique<EngineState>();
};

TEST_F(Tablet, WithoutDeviceEveryCallFailsAndPressureRamps) {
    fake.has_device = false;
    EXPECT_EQ(tablet::init_tablet(*st, this), 0);
    EXPECT_EQ(tablet::tablet_pressure(*st, 0), 100);
    EXPECT_EQ(tablet::tablet_pressure(*st, 0), 100);
    EXPECT_EQ(tablet::reset_tablet_pressure(*st), 0);
    for (int32_t want : {10, 35, 60, 85, 100, 100})
        EXPECT_EQ(tablet::tablet_pressure(*st, 0), want);
    EXPECT_EQ(tablet::read_tablet_packets(*st), 0);
    EXPECT_EQ(tablet::set_tablet_origin(*st), 0);
    EXPECT_EQ(tablet::close_tablet(*st), 0);
    EXPECT_EQ(tablet::raw_tablet_pressure(*st, 0), 0);
    EXPECT_EQ(tablet::packet_status(*st, 0), 0u);
}

TEST_F(Tablet, OpensTheContextHostsExpect) {
    EXPECT_EQ(tablet::init_tablet(*st, this), 1);  // the queue-size result
    EXPECT_EQ(fake.queue_capacity, 256);
    EXPECT_EQ(fake.opened_window, this);
    const platform::TabletContext& c = fake.opened;
    EXPECT_STREQ(c.name, "quornel tablet context");
    EXPECT_EQ(c.options, 1u);
    EXPECT_EQ(c.packet_data, 0x582u);
    EXPECT_EQ(c.move_mask, 0x582u);
    EXPECT_EQ(c.packet_mode, 0u);
    EXPECT_EQ(c.button_up_mask, c.button_down_mask);
    const platform::ScreenSize screen = platform::primary_screen_size();
    EXPECT_EQ(c.out_ext_x, screen.width);
    EXPECT_EQ(c.out_ext_y, -screen.height);
    // Opening again replaces the context instead of leaking it.
    tablet::init_tablet(*st, this);
    EXPECT_EQ(fake.open_contexts, 1);
    EXPECT_EQ(tablet::close_tablet(*st), 1);
    EXPECT_EQ(fake.open_contexts, 0);
}

TEST_F(Tablet, RefusedContextReportsTheDeviceQuery) {
    fake.refuse_open = true;
    EXPECT_EQ(tablet::init_tablet(*st, this), int32_t(sizeof(platform::TabletAxis)));
    EXPECT_EQ(tablet::read_tablet_packets(*st), 0);
}

// Axis 0..1023: the scale is 100 / 1023 in single precision.
TEST_F(Tablet, PressureFollowsTheAxisRange) {
    struct Case {
        uint32_t raw;
        int32_t percent, raw_percent;
    };
    const Case cases[] = {{1023, 100, 100}, {512, 50, 50}, {5, 1, 0}, {0, 1, 0}, {11, 1, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        read({{0, 0, 0, c.raw}});
        EXPECT_EQ(tablet::raw_tablet_pressure(*st, 0), c.raw_percent);
        EXPECT_EQ(tablet::tablet_pressure(*st, 0), c.percent);
    }
}

TEST_F(Tablet, RampStartsFromTheLastPacketsPressure) {
    read({{0, 0, 0, 512}});
    EXPECT_EQ(tablet::tablet_pressure(*st, 0), 50);
    for (int32_t want : {50, 75, 100, 100}) EXPECT_EQ(tablet::tablet_pressure(*st, 1), want);
    tablet::reset_tablet_pressure(*st);
    for (int32_t want : {10, 35, 60, 85, 100}) EXPECT_EQ(tablet::tablet_pressure(*st, 7), want);
}

TEST_F(Tablet, FlatAxisCountsAsOneUnit) {
    fake.axis = {500, 500};
    read({{0, 0, 0, 3}, {0, 0, 0, 0xFFFFFFFFu}});
    EXPECT_EQ(tablet::raw_tablet_pressure(*st, 0), 300);
    EXPECT_EQ(tablet::raw_tablet_pressure(*st, 1), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(tablet::tablet_pressure(*st, 1), std::numeric_limits<int32_t>::max());
}

TEST_F(Tablet, PositionsAreOffsetByTheWindowOrigin) {
    fake.client_x = 300;
    fake.client_y = 200;
    read({{0, 300, 200, 0}, {0, 310, 190, 0}});
    EXPECT_EQ(tablet::tablet_x(*st, 0), 300);  // no origin taken yet
    EXPECT_EQ(tablet::set_tablet_origin(*st), 1);
    EXPECT_EQ(tablet::tablet_x(*st, 0), 0);
    EXPECT_EQ(tablet::tablet_y(*st, 0), 0);
    EXPECT_EQ(tablet::tablet_x(*st, 1), 10);
    EXPECT_EQ(tablet::tablet_y(*st, 1), -10);
    // Differences beyond the int32 range saturate.
    fake.client_x = std::numeric_limits<int32_t>::max();
    tablet::set_tablet_origin(*st);
    read({{0, -5, 0, 0}});
    EXPECT_EQ(tablet::tablet_x(*st, 0), std::numeric_limits<int32_t>::min());
}

TEST_F(Tablet, InvertIsTheEraserBitOfTheStatus) {
    read({{0x10, 0, 0, 0}, {0, 0, 0, 0}, {0x12, 0, 0, 0}, {0xFFFFFFEFu, 0, 0, 0}});
    const int32_t want[] = {1, 0, 1, 0};
    for (uint32_t i = 0; i < 4; ++i) EXPECT_EQ(tablet::packet_invert(*st, i), want[i]) << i;
    EXPECT_EQ(tablet::packet_status(*st, 2), 0x12u);
}

TEST_F(Tablet, IndexAtOrBeyondTheCountReadsZero) {
    // The buffer still holds older packets past the count of the last read.
    read({{0x10, 5, 6, 1023}, {0x10, 7, 8, 1023}, {0x10, 9, 9, 1023}, {0x10, 9, 9, 1023}});
    read({{0x10, 5, 6, 1023}, {0x10, 7, 8, 1023}});
    for (uint32_t i : {2u, 3u, 255u, 256u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tablet::tablet_x(*st, i), 0);
        EXPECT_EQ(tablet::tablet_y(*st, i), 0);
        EXPECT_EQ(tablet::packet_status(*st, i), 0u);
        EXPECT_EQ(tablet::packet_invert(*st, i), 0);
        EXPECT_EQ(tablet::raw_tablet_pressure(*st, i), 0);
    }
    // A closed context has no packets, whatever the last read held.
    tablet::close_tablet(*st);
    EXPECT_EQ(tablet::tablet_x(*st, 0), 0);
    EXPECT_EQ(tablet::raw_tablet_pressure(*st, 0), 0);
}

TEST_F(Tablet, ReadsAtMostTheBufferAndResetDiscardsTheQueue) {
    ASSERT_NE(tablet::init_tablet(*st, this), 0);
    fake.queue.assign(300, TabletPacket{0, 1, 2, 3});
    EXPECT_EQ(tablet::read_tablet_packets(*st), 256);
    EXPECT_EQ(tablet::read_tablet_packets(*st), 44);
    fake.queue.assign(5, TabletPacket{});
    EXPECT_EQ(tablet::reset_tablet_pressure(*st), 5);
    EXPECT_EQ(tablet::read_tablet_packets(*st), 0);
}

}  // namespace

// Pen packets of the Linux tablet driver without a device: mapping to output
// units, the move mask, proximity, the eraser bit and the bounded queue.
#include "platform/pen_packets.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

using namespace qrn::platform;

namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

TEST(PenAxis, MapsDeviceUnitsToOutputUnits) {
    struct Case {
        int32_t v, in_org, in_ext, out_org, out_ext;
        bool upward;
        int32_t want;
    };
    const Case cases[] = {
        {5000, 0, 10000, 0, 1000, false, 500},  // ten units a pixel
        {9999, 0, 10000, 0, 1000, false, 999},  // the far edge stays inside
        {0, 0, 5000, 0, -500, true, 0},         // negative extent: top-down
        {4999, 0, 5000, 0, -500, true, 499},
        {0, 0, 5000, 0, 500, true, 499},        // positive extent: bottom-up
        {0, 0, 1000, 0, -1000, false, 999},     // mirrored x
        {150, 100, 1000, 20, 1000, false, 70},  // both origins
        {-50, 0, 1000, 0, 1000, false, 0},      // outside the device: clamped
        {5000, 0, 1000, 0, 1000, false, 999},
        {37, 0, 1000, 5, 0, false, 42},               // no output extent: device units
        {kMax, kMin, 0, 0, 100, false, 0},            // no input extent: one unit
        {kMax, kMin, kMax, kMax, kMax, false, kMax},  // 64-bit arithmetic, saturated
        {kMin, 0, kMax, kMin, kMin, true, kMin},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.v << " " << c.out_ext << " " << c.upward);
        EXPECT_EQ(map_pen_axis(c.v, c.in_org, c.in_ext, c.out_org, c.out_ext, c.upward), c.want);
    }
}

class PenQueue : public ::testing::Test {
protected:
    PenQueue() {
        context.packet_data = context.move_mask = kPacketFields;
        context.in_ext_x = context.in_ext_y = 1000;
        context.out_ext_x = 100;
        context.out_ext_y = -100;
        queue.start(context, true);
    }
    std::vector<TabletPacket> take() {
        std::vector<TabletPacket> out(16);
        out.resize(size_t(queue.take(16, out.data())));
        return out;
    }
    TabletContext context;
    PenPacketQueue queue;
};

TEST_F(PenQueue, QueuesChangesWhileAToolIsNear) {
    queue.report({true, false, 500, 250, 0});
    queue.report({true, false, 505, 255, 0});    // the same output pixel
    queue.report({true, false, 505, 255, 300});  // pressed
    queue.report({false, true, 505, 255, 300});  // turned to the eraser
    queue.report({false, false, 900, 900, 0});   // away
    queue.report({true, false, 500, 250, 0});    // back where the first packet was
    const std::vector<TabletPacket> want = {
        {0, 50, 25, 0}, {0, 50, 25, 300}, {kPacketInvert, 50, 25, 300}, {0, 50, 25, 0}};
    EXPECT_EQ(take(), want);
}

TEST_F(PenQueue, MoveMaskChoosesWhatMakesAPacket) {
    context.move_mask = kPacketXField | kPacketYField;
    queue.start(context, true);
    queue.report({true, false, 0, 0, 0});
    queue.report({true, false, 0, 0, 900});
    queue.report({true, false, 10, 0, 900});
    EXPECT_EQ(take(), (std::vector<TabletPacket>{{0, 0, 0, 0}, {0, 1, 0, 900}}));
}

TEST_F(PenQueue, FullQueueLosesTheNewestAndMarksTheNext) {
    ASSERT_TRUE(queue.set_capacity(2));
    for (int32_t x = 0; x < 50; x += 10) queue.report({true, false, x, 0, 0});
    EXPECT_EQ(take(), (std::vector<TabletPacket>{{0, 0, 0, 0}, {0, 1, 0, 0}}));
    queue.report({true, false, 100, 0, 0});
    queue.report({true, false, 110, 0, 0});
    EXPECT_EQ(take(), (std::vector<TabletPacket>{{kPacketQueueOverflow, 10, 0, 0}, {0, 11, 0, 0}}));
    queue.lost();
    queue.report({false, true, 110, 0, 0});
    EXPECT_EQ(take(),
              (std::vector<TabletPacket>{{kPacketQueueOverflow | kPacketInvert, 11, 0, 0}}));
    EXPECT_FALSE(queue.set_capacity(0));
    EXPECT_FALSE(queue.set_capacity(PenPacketQueue::kMaxCapacity + 1));
}

TEST_F(PenQueue, DisabledContextQueuesNothingAndTakeCanDiscard) {
    queue.start(context, false);
    queue.report({true, false, 1, 1, 1});
    EXPECT_TRUE(take().empty());
    queue.start(context, true);
    for (int32_t x = 0; x < 50; x += 10) queue.report({true, false, x, 0, 0});
    EXPECT_EQ(queue.take(3, nullptr), 3);
    EXPECT_EQ(take().size(), 2u);
}

}  // namespace

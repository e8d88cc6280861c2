// Pen tablet input over the platform's tablet driver.
#include "io/tablet.h"

#include <algorithm>
#include <cstring>

#include "engine/arith.h"
#include "platform/tablet_driver.h"

namespace qrn::tablet {

namespace {

constexpr char kContextName[] = "quornel tablet context";
constexpr uint32_t kSystemCursorContext = 1;
constexpr int32_t kResetDiscard = 1000;
constexpr uint32_t kResetPressure = 10;
constexpr uint32_t kPressureStep = 25;
constexpr uint32_t kFullPressure = 100;

const platform::TabletPacket* packet(const EngineState& st, uint32_t index) {
    const TabletInput& t = st.tablet;
    if (t.context == 0 || index >= t.packet_count) return nullptr;
    return &t.packets[index];
}

// Raw pressure x scale in single precision, truncated; huge products saturate.
int32_t scaled_pressure(const EngineState& st, const platform::TabletPacket& p) {
    return trunc_i32(float(p.pressure) * st.tablet.pressure_scale);
}

}  // namespace

int32_t init_tablet(EngineState& st, void* window) {
    TabletInput& t = st.tablet;
    platform::TabletDriver& driver = platform::tablet_driver();
    t.window = window;
    platform::TabletAxis axis;
    const int32_t found = driver.pressure_axis(axis);
    if (found == 0) return 0;
    // The range as unsigned; a flat axis counts as one unit so the scale stays finite.
    uint32_t range = uint32_t(axis.maximum) - uint32_t(axis.minimum);
    if (range == 0) range = 1;
    t.pressure_scale = 100.0f / float(range);

    platform::TabletContext ctx;
    driver.default_context(ctx);
    std::memset(ctx.name, 0, sizeof ctx.name);
    std::memcpy(ctx.name, kContextName, sizeof kContextName);
    ctx.options = kSystemCursorContext;
    ctx.packet_data = ctx.move_mask = platform::kPacketFields;
    ctx.packet_mode = 0;  // every field absolute
    ctx.button_up_mask = ctx.button_down_mask;
    // Screen pixels, y growing downward.
    const platform::ScreenSize screen = platform::primary_screen_size();
    ctx.out_org_x = ctx.out_org_y = 0;
    ctx.out_ext_x = screen.width;
    ctx.out_ext_y = -screen.height;

    // A second init replaces the context rather than leaving the first one open.
    if (t.context != 0) {
        driver.close(t.context);
        t.context = 0;
    }
    t.context = driver.open(window, ctx, true);
    if (t.context == 0) return found;
    return driver.set_queue_size(t.context, kTabletPackets);
}

int32_t set_tablet_origin(EngineState& st) {
    TabletInput& t = st.tablet;
    if (t.context == 0) return 0;
    int32_t x = 0, y = 0;
    const int32_t r = platform::tablet_driver().client_to_screen(t.window, x, y);
    t.origin_x = x;
    t.origin_y = y;
    return r;
}

int32_t close_tablet(EngineState& st) {
    TabletInput& t = st.tablet;
    if (t.context == 0) return 0;
    const int32_t r = platform::tablet_driver().close(t.context);
    t.context = 0;
    return r;
}

int32_t reset_tablet_pressure(EngineState& st) {
    TabletInput& t = st.tablet;
    t.last_pressure = kResetPressure;
    if (t.context == 0) return 0;
    return platform::tablet_driver().get_packets(t.context, kResetDiscard, nullptr);
}

int32_t read_tablet_packets(EngineState& st) {
    TabletInput& t = st.tablet;
    t.packet_count = 0;
    if (t.context == 0) return 0;
    const int32_t n =
        platform::tablet_driver().get_packets(t.context, kTabletPackets, t.packets.data());
    t.packet_count = uint32_t(std::clamp<int32_t>(n, 0, kTabletPackets));
    return int32_t(t.packet_count);
}

int32_t tablet_pressure(EngineState& st, uint32_t index) {
    TabletInput& t = st.tablet;
    if (const platform::TabletPacket* p = packet(st, index)) {
        const int32_t v = std::max(scaled_pressure(st, *p), 1);
        t.last_pressure = uint32_t(v);
        return v;
    }
    // Between packets (a mouse, or no tablet at all) the pressure is given as
    // it was and then rises, so a stroke starts soft and reaches full strength.
    const uint32_t was = t.last_pressure;
    t.last_pressure = std::min(was + kPressureStep, kFullPressure);
    return int32_t(was);
}

int32_t raw_tablet_pressure(const EngineState& st, uint32_t index) {
    const platform::TabletPacket* p = packet(st, index);
    return p ? scaled_pressure(st, *p) : 0;
}

int32_t packet_invert(const EngineState& st, uint32_t index) {
    const platform::TabletPacket* p = packet(st, index);
    return p && (p->status & platform::kPacketInvert) ? 1 : 0;
}

uint32_t packet_status(const EngineState& st, uint32_t index) {
    const platform::TabletPacket* p = packet(st, index);
    return p ? p->status : 0;
}

int32_t tablet_x(const EngineState& st, uint32_t index) {
    const platform::TabletPacket* p = packet(st, index);
    return p ? saturate_i32(int64_t(p->x) - st.tablet.origin_x) : 0;
}

int32_t tablet_y(const EngineState& st, uint32_t index) {
    const platform::TabletPacket* p = packet(st, index);
    return p ? saturate_i32(int64_t(p->y) - st.tablet.origin_y) : 0;
}

}  // namespace qrn::tablet

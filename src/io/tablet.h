// Pen tablet input: the context on the installed tablet driver, the packets of
// the last read and the pressure the host is given between packets. Called by
// the tablet exports.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::tablet {

// 0 when there is no pressure device; otherwise the queue-size result when a
// context opened, else the device query's.
int32_t init_tablet(EngineState& st, void* window);
int32_t set_tablet_origin(EngineState& st);
int32_t close_tablet(EngineState& st);
int32_t reset_tablet_pressure(EngineState& st);
int32_t read_tablet_packets(EngineState& st);

// Per packet of the last read; an index is in range while a context is open
// and it is below the packet count.
int32_t tablet_pressure(EngineState& st, uint32_t index);
int32_t raw_tablet_pressure(const EngineState& st, uint32_t index);
int32_t packet_invert(const EngineState& st, uint32_t index);
uint32_t packet_status(const EngineState& st, uint32_t index);
int32_t tablet_x(const EngineState& st, uint32_t index);
int32_t tablet_y(const EngineState& st, uint32_t index);

}  // namespace qrn::tablet

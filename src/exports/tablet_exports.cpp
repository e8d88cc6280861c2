// Pen tablet input: context, packet reads and the per-packet queries.
#include "engine/engine_state.h"
#include "exports/guard.h"
#include "io/tablet.h"
#include "quornel/quornel.h"

using namespace qrn;

extern "C" {

// Failures report 0 and set no error text: hosts call these on every machine,
// tablet or not.
QRN_API int32_t QRN_CALL QRN_InitTablet(void* window) {
    return quiet(0, [&] { return tablet::init_tablet(engine(), window); });
}
QRN_API int32_t QRN_CALL QRN_SetTabletOrigin(void) {
    return quiet(0, [&] { return tablet::set_tablet_origin(engine()); });
}
QRN_API int32_t QRN_CALL QRN_CloseTablet(void) {
    return quiet(0, [&] { return tablet::close_tablet(engine()); });
}
QRN_API int32_t QRN_CALL QRN_ResetTabletPressure(void) {
    return quiet(0, [&] { return tablet::reset_tablet_pressure(engine()); });
}
QRN_API int32_t QRN_CALL QRN_ReadTabletPackets(void) {
    return quiet(0, [&] { return tablet::read_tablet_packets(engine()); });
}

QRN_API int32_t QRN_CALL QRN_ReadTabletPressure(uint32_t index) {
    return tablet::tablet_pressure(engine(), index);
}
QRN_API int32_t QRN_CALL QRN_ReadRawTabletPressure(uint32_t index) {
    return tablet::raw_tablet_pressure(engine(), index);
}
QRN_API int32_t QRN_CALL QRN_IsPacketInvert(uint32_t index) {
    return tablet::packet_invert(engine(), index);
}
QRN_API uint32_t QRN_CALL QRN_PacketStatus(uint32_t index) {
    return tablet::packet_status(engine(), index);
}
QRN_API int32_t QRN_CALL QRN_ReadTabletX(uint32_t index) {
    return tablet::tablet_x(engine(), index);
}
QRN_API int32_t QRN_CALL QRN_ReadTabletY(uint32_t index) {
    return tablet::tablet_y(engine(), index);
}

}  // extern "C"

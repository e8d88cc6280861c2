// QRN_ entry points of the undo history.
#include "exports/guard.h"
#include "quornel/quornel.h"
#include "undo/history.h"

using namespace qrn;

extern "C" {

QRN_API void QRN_CALL QRN_SaveUndoBuffer(uint8_t saveLayer, uint8_t saveMask) {
    guard("SaveUndoBuf", [&] { undo::save(engine(), saveLayer != 0, saveMask != 0); });
}

QRN_API void QRN_CALL QRN_SaveUndoBackBuffer(int32_t layer) {
    guard("SaveUndoBackBuffer", [&] { undo::save_back_buffer(engine(), layer); });
}

// Both may switch layers, which can rebuild the texture and so allocate.
QRN_API void QRN_CALL QRN_Undo(void) {
    guard("Undo", [] { undo::undo(engine()); });
}

QRN_API void QRN_CALL QRN_Redo(void) {
    guard("Redo", [] { undo::redo(engine()); });
}

QRN_API void QRN_CALL QRN_ClearUndo(void) {
    guard("ClearUndo", [] { undo::clear(engine()); });
}

QRN_API int32_t QRN_CALL QRN_SetUndoLevels(int32_t levels) {
    return guarded("ClearUndo", int32_t(0), [&] { return undo::set_levels(engine(), levels); });
}

QRN_API int32_t QRN_CALL QRN_SetUndoMB(int32_t megabytes) {
    return quiet(int32_t(0), [&] { return undo::set_budget_mb(engine(), megabytes); });
}

QRN_API void QRN_CALL QRN_ReduceUndo(int32_t kb) {
    guard("ReduceUndo", [&] { undo::reduce(engine(), kb); });
}

QRN_API void QRN_CALL QRN_PauseUndo(void) { undo::pause(engine()); }

QRN_API void QRN_CALL QRN_ResumeUndo(void) { undo::resume(engine()); }

QRN_API int32_t QRN_CALL QRN_CanUndo(void) { return undo::can_undo(engine()); }

QRN_API int32_t QRN_CALL QRN_CanRedo(void) { return undo::can_redo(engine()); }

QRN_API int32_t QRN_CALL QRN_GetRedoCount(void) { return undo::redo_count(engine()); }

QRN_API int32_t QRN_CALL QRN_GetUndoCount(void) { return undo::undo_count(engine()); }

QRN_API int32_t QRN_CALL QRN_GetTotalUndoMemory(void) {
    return quiet(int32_t(0), [] { return undo::total_memory_mb(engine()); });
}

QRN_API int32_t QRN_CALL QRN_GetCurrentUndoMemory(void) {
    return undo::current_memory_mb(engine());
}

}  // extern "C"

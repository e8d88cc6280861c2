// Undo history: changed rectangles of one layer and of the mask, kept within a
// memory budget in KB; back buffers hold the state as of the last save.
#pragma once
#include <cstdint>

#include "engine/engine_state.h"

namespace qrn::undo {

void save(EngineState& st, bool save_layer, bool save_mask);
void save_back_buffer(EngineState& st, int32_t slot);
void undo(EngineState& st);
void redo(EngineState& st);
// Empties the history, counts the back buffers as used, refreshes them from the
// current layer and recomputes the automatic budget.
void clear(EngineState& st);
// Frees every entry and the back buffers; used = 0 (canvas deletion and resize).
void release_all(EngineState& st);
int32_t set_levels(EngineState& st, int32_t levels);
int32_t set_budget_mb(EngineState& st, int32_t megabytes);
void reduce(EngineState& st, int64_t kb);
void recompute_auto_budget(EngineState& st);
void reset_changed_rect(EngineState& st);

void pause(EngineState& st);
void resume(EngineState& st);

int32_t can_undo(const EngineState& st);
int32_t can_redo(const EngineState& st);
int32_t redo_count(const EngineState& st);
int32_t undo_count(const EngineState& st);
int32_t total_memory_mb(EngineState& st);
int32_t current_memory_mb(const EngineState& st);

}  // namespace qrn::undo

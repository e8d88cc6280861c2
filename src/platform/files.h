// File services the engine takes from the operating system.
#pragma once
#include <cstdint>

namespace qrn::platform {

// Renames old_path to new_path unless new_path exists, as the Windows runtime's
// rename does: a POSIX rename would silently replace the target. False for a
// null path, an existing target or any other failure; both files are then
// as they were.
bool rename_no_replace(const char* old_path, const char* new_path) noexcept;

}  // namespace qrn::platform

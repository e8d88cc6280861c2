// Renaming without replacing: renameat2 where the kernel and filesystem have
// RENAME_NOREPLACE, otherwise a hard link (which refuses an existing name)
// and an unlink of the old name.
#include "platform/files.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qrn::platform {

bool rename_no_replace(const char* old_path, const char* new_path) noexcept {
    if (!old_path || !new_path || !*old_path || !*new_path) return false;
    if (::renameat2(AT_FDCWD, old_path, AT_FDCWD, new_path, RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
    if (::link(old_path, new_path) == 0) {
        if (::unlink(old_path) == 0) return true;
        ::unlink(new_path);  // keep one name, the old one
        return false;
    }
    if (errno == EEXIST) return false;
    // No hard links either (FAT, some network shares): check, then rename.
    // Another process could create the target in between; nothing closes
    // that window on such a filesystem.
    struct stat st {};
    if (::lstat(new_path, &st) == 0 || errno != ENOENT) return false;
    return ::rename(old_path, new_path) == 0;
}

}  // namespace qrn::platform

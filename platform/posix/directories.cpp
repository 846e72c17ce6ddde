#include <unistd.h>

#include "platform/posix/host_files.h"
#include "platform/posix/posix_system_services.h"

namespace vx::posix {

BOOL PosixSystemServices::RemoveDirectoryA(const char* path) {
    if (path == nullptr) return FALSE;
    const std::optional<HostPath> host = machine_.Map(path);
    if (!host || !host->exists) return FALSE;
    if (host->pinnedFolder >= 0)
        return RemoveHostTreeAt(host->pinnedFolder, false) == ERROR_SUCCESS ? TRUE : FALSE;
    // rmdir refuses a folder that still holds entries and never follows a link.
    return rmdir(host->path.c_str()) == 0 ? TRUE : FALSE;
}

}  // namespace vx::posix

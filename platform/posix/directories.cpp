#include <sys/stat.h>
#include <unistd.h>

#include "platform/host/host_files.h"
#include "platform/posix/posix_system_services.h"

namespace vx::posix {

using host::CreateHostFolders;
using host::RemoveHostTreeAt;
using host::RemoveStaleTemporaries;

BOOL PosixSystemServices::RemoveDirectoryA(const char* path) {
    if (path == nullptr) return FALSE;
    const std::optional<HostPath> host = machine_.Map(path);
    if (!host || !host->exists) return FALSE;
    // A crashed run's temporaries do not count as contents.
    struct stat status {};
    if (lstat(host->path.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        RemoveStaleTemporaries(host->path);
    if (host->pinnedFolder >= 0)
        return RemoveHostTreeAt(host->pinnedFolder, false) == ERROR_SUCCESS ? TRUE : FALSE;
    // rmdir refuses a folder that still holds entries and never follows a link.
    return rmdir(host->path.c_str()) == 0 ? TRUE : FALSE;
}

int PosixSystemServices::SHCreateDirectoryExA(HWND, const char* path, const void*) {
    if (path == nullptr || *path == '\0') return ERROR_PATH_NOT_FOUND;
    const std::optional<HostPath> host = machine_.Map(path);
    if (!host) return ERROR_PATH_NOT_FOUND;
    struct stat status {};
    if (::stat(host->path.c_str(), &status) == 0)
        return S_ISDIR(status.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND;
    return CreateHostFolders(host->path);
}

}  // namespace vx::posix

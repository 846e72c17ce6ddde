// Host paths: split, compared, opened and created, and the user's folders.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <optional>
#include <string>

namespace vx::host {

// Whether two stats are of the same file.
bool SameFile(const struct stat& a, const struct stat& b);

// The folder part and the last component of a host path; trailing slashes
// belong to neither.
struct SplitPath {
    std::string folder;
    std::string name;
};
SplitPath SplitHostPath(std::string path);

// The host folder `path` opened for reading (close-on-exec); -1 with errno.
int OpenHostFolder(const std::string& path);

// Creates the one folder `path` in an existing folder, with the permission
// bits `mode` (before the umask), flushed into that folder so that it outlives
// a power cut. 183 (ERROR_ALREADY_EXISTS) when something has that name. Returns 0
// or a Win32 error code.
int CreateHostFolder(const std::string& path, mode_t mode);

// Creates the folder `path` and every missing folder above it, as CreateHostFolder. Returns 0 or a
// Win32 error code.
int CreateHostFolders(const std::string& path);

// $HOME, else the password database's home folder; empty when neither is known.
std::string HomeFolder();

// The current folder; empty when it cannot be named (removed under us).
std::string CurrentFolder();

// realpath(3) as a string; nullopt when some component does not exist.
std::optional<std::string> RealPath(const std::string& path);

}  // namespace vx::host

// The host side of the shell's copy and delete: plain host paths in, Win32
// error codes out, so that the file work can be tested and timed without a
// machine folder around it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/host/descriptors.h"
#include "platform/host/host_paths.h"

namespace vx::host {

// Bytes copied so far and the size the copy expects to reach.
using CopyProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// A new file that appears under its name only once it is complete. The bytes
// go into an unnamed file in the destination's folder (O_TMPFILE), linked into
// place by Commit; where the file system has no unnamed files, into a
// temporary named ".vx-tmp-" and 16 hex digits, renamed into place. Either
// way a crash leaves no partial file under the final name, at worst a named
// temporary, which every later PendingFile in that folder first removes (a
// temporary is locked while its writer lives, so a running writer's is never
// taken). Destroyed uncommitted, it leaves nothing.
class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Starts the file `name` in the host folder `folder` with the permission
    // bits `mode` (before the umask). Returns 0 or a Win32 error code.
    int Open(const std::string& folder, const std::string& name, mode_t mode);
    // The same in the open folder `folder` (the descriptor is not taken over),
    // so that a caller that reached it without following links writes there.
    int OpenAt(int folder, const std::string& name, mode_t mode);
    // The descriptor to write to, open for writing; -1 before Open.
    int fd() const { return fd_; }
    // Flushes the file and puts it in place of whatever `name` was, in one
    // step; the descriptor is closed. Returns 0 or a Win32 error code.
    int Commit();

private:
    void Discard();

    int folder_ = -1;
    int fd_ = -1;
    std::string name_;
    std::string temporary_;  // the named temporary, when there is one
};

// Replaces (or creates) the host file `path` with `bytes` through a
// PendingFile: with the permissions and, where allowed, the owner of `like`,
// else as a new file. Returns 0 or a Win32 error code.
int ReplaceHostFile(const std::string& path, std::string_view bytes,
                    const struct stat* like = nullptr);

// Removes the stale temporaries of ours (see PendingFile) from the host
// folder `folder`, so that a crashed run's debris does not keep it from
// being removed.
void RemoveStaleTemporaries(const std::string& folder);

// Copies the regular file `source` to `destination`, whose folder must exist,
// through a PendingFile that is flushed and given the source's permission
// bits; the disk writes the copy as it goes, so that the flush waits only for
// the tail. On any failure the destination is left as it was. DE_SAMEFILE when
// `destination` is `source` under another name. Returns 0 or a Win32 error
// code.
int CopyHostFile(const std::string& source, const std::string& destination,
                 const CopyProgress& progress = {});

// Removes `path`: a file or a symbolic link itself, or a folder with
// everything in it. Never follows a link and never enters another mount; a
// mount point inside the tree stops the removal with an error, leaving it and
// the folders above it. Returns 0 or a Win32 error code.
int RemoveHostTree(const std::string& path);

// The same for the open folder `folder` itself, wherever it now is: its
// contents are removed through the descriptor, and the folder from the
// folder that holds it now, found through "..". `wholeTree` false removes it
// only when it is empty.
int RemoveHostTreeAt(int folder, bool wholeTree);

}  // namespace vx::host

// The host side of the shell's copy and delete: plain host paths in, Win32
// error codes out, so that the file work can be tested and timed without a
// machine folder around it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vx::posix {

// An open descriptor, closed when this goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_ = -1;
};

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

// Writes all of `bytes`, going on after short writes and interruptions.
// Safe in a signal handler.
bool WriteAll(int fd, const char* bytes, std::size_t count);

// Reads `fd` to its end, going on after interruptions; nullopt on a read
// error or once more than `limit` bytes have come.
std::optional<std::string> ReadAll(int fd, std::size_t limit);

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

// Creates the one folder `path` in an existing folder, with the permission
// bits `mode` (before the umask), flushed into that folder so that it outlives
// a power cut. 183 (ERROR_ALREADY_EXISTS) when something has that name. Returns 0
// or a Win32 error code.
int CreateHostFolder(const std::string& path, mode_t mode);

// Creates the folder `path` and every missing folder above it, as CreateHostFolder. Returns 0 or a
// Win32 error code.
int CreateHostFolders(const std::string& path);

// The Win32 error code closest to a host errno value.
int Win32ErrorFromErrno(int error);

}  // namespace vx::posix

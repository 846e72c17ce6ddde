// Copying a host file through a pending file, the disk writing as the copy goes.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/host/host_files.h"
#include "platform/host/host_paths.h"
#include "platform/win32_types.h"

namespace vx::host {

namespace {

// Bytes per copy step: large enough for speed, small enough for a live progress bar.
constexpr std::size_t kCopyStep = 8u << 20;
constexpr std::size_t kFallbackBuffer = 1u << 20;
// A copy starts the writeback of what it wrote each time this much more is
// written, so that the flush at its end waits only for the tail.
constexpr std::uint64_t kWritebackStep = 32u << 20;

// Sets the disk writing a copy's bytes while the copy goes on, a window at a
// time, as package managers do for each file they unpack: the flush that
// makes the file durable then has little left to wait for.
class Writeback {
public:
    explicit Writeback(int fd) : fd_(fd) {}
    // `done` bytes from the start of the file are written.
    void Wrote(std::uint64_t done) {
        if (done - started_ < kWritebackStep) return;
        // Only a head start: where it fails, the final flush does the whole work.
        (void)::sync_file_range(fd_, static_cast<off_t>(started_),
                                static_cast<off_t>(done - started_), SYNC_FILE_RANGE_WRITE);
        started_ = done;
    }

private:
    int fd_;
    std::uint64_t started_ = 0;
};

// Continues a copy from the files' current offsets with plain reads and writes.
int CopyByReading(int from, int to, std::uint64_t& done, std::uint64_t total, Writeback& writeback,
                  const CopyProgress& progress) {
    const std::unique_ptr<char[]> buffer(new char[kFallbackBuffer]);
    std::uint64_t sinceReport = 0;
    for (;;) {
        const ssize_t got = ::read(from, buffer.get(), kFallbackBuffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return Win32ErrorFromErrno(errno);
        }
        if (got == 0) return ERROR_SUCCESS;
        if (!WriteAll(to, buffer.get(), static_cast<std::size_t>(got)))
            return Win32ErrorFromErrno(errno);
        done += static_cast<std::uint64_t>(got);
        writeback.Wrote(done);
        sinceReport += static_cast<std::uint64_t>(got);
        if (progress && sinceReport >= kCopyStep) {
            progress(done, total);
            sinceReport = 0;
        }
    }
}

bool KernelCannotCopy(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
           error == EBADF || error == ETXTBSY;
}

int CopyBytes(int from, int to, std::uint64_t total, const CopyProgress& progress) {
    std::uint64_t done = 0;
    Writeback writeback(to);
    for (;;) {
        const ssize_t copied = copy_file_range(from, nullptr, to, nullptr, kCopyStep, 0);
        if (copied < 0) {
            if (errno == EINTR) continue;
            if (KernelCannotCopy(errno)) break;
            return Win32ErrorFromErrno(errno);
        }
        // Some file systems report 0 for files they cannot copy in the kernel.
        if (copied == 0 && done == 0 && total > 0) break;
        if (copied == 0) {
            if (progress) progress(done, total);
            return ERROR_SUCCESS;
        }
        done += static_cast<std::uint64_t>(copied);
        writeback.Wrote(done);
        if (progress) progress(done, total);
    }
    const int result = CopyByReading(from, to, done, total, writeback, progress);
    if (result == ERROR_SUCCESS && progress) progress(done, total);
    return result;
}

// Fills the pending file `to` and gives it the source's mode.
int FillTemporary(int from, int to, const struct stat& source, const CopyProgress& progress) {
    const int copied = CopyBytes(from, to, static_cast<std::uint64_t>(source.st_size), progress);
    if (copied != ERROR_SUCCESS) return copied;
    // Read-only travels with the copy: the permission bits are the attribute.
    if (::fchmod(to, source.st_mode & 0777) != 0) return Win32ErrorFromErrno(errno);
    return ERROR_SUCCESS;
}

// ---------------------------------------------------------------- removal
}  // namespace

int CopyHostFile(const std::string& source, const std::string& destination,
                 const CopyProgress& progress) {
    // Non-blocking so that a named pipe under the source's name cannot hang the open.
    const UniqueFd from(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!from) return Win32ErrorFromErrno(errno);
    struct stat sourceStat {};
    if (::fstat(from.get(), &sourceStat) != 0) return Win32ErrorFromErrno(errno);
    if (!S_ISREG(sourceStat.st_mode)) return ERROR_ACCESS_DENIED;
    // Reads of a regular file never block, so a descriptor left non-blocking still copies.
    (void)::fcntl(from.get(), F_SETFL, ::fcntl(from.get(), F_GETFL) & ~O_NONBLOCK);

    const SplitPath target = SplitHostPath(destination);
    if (target.name.empty() || target.name == "." || target.name == "..")
        return ERROR_PATH_NOT_FOUND;
    {
        const UniqueFd folder(OpenHostFolder(target.folder));
        if (!folder) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
        struct stat existing {};
        if (::fstatat(folder.get(), target.name.c_str(), &existing, 0) == 0) {
            if (SameFile(existing, sourceStat)) return DE_SAMEFILE;
            if (S_ISDIR(existing.st_mode)) return ERROR_ACCESS_DENIED;
        }
    }
    PendingFile to;
    if (const int opened = to.Open(target.folder, target.name, 0600); opened != ERROR_SUCCESS)
        return opened;
    if (const int filled = FillTemporary(from.get(), to.fd(), sourceStat, progress);
        filled != ERROR_SUCCESS)
        return filled;
    return to.Commit();
}

}  // namespace vx::host

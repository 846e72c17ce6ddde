#include "platform/host/host_files.h"

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

#include "platform/win32_types.h"

namespace vx::posix {

namespace {

constexpr int kErrorDiskFull = 112;           // ERROR_DISK_FULL
constexpr int kErrorDirectoryNotEmpty = 145;  // ERROR_DIR_NOT_EMPTY
// What UnlinkEntry reports for an entry that turned out to be a folder.
constexpr int kIsFolder = -1;

// Folders a removal keeps open at once; deeper ones are reopened through "..".
constexpr std::size_t kOpenFolderWindow = 32;
// Bytes per copy step: large enough for speed, small enough for a live progress bar.
constexpr std::size_t kCopyStep = 8u << 20;
constexpr std::size_t kFallbackBuffer = 1u << 20;
// A copy starts the writeback of what it wrote each time this much more is
// written, so that the flush at its end waits only for the tail.
constexpr std::uint64_t kWritebackStep = 32u << 20;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The folder part and the last component of a host path; trailing slashes
// belong to neither.
struct SplitPath {
    std::string folder;
    std::string name;
};

SplitPath Split(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {".", path};
    if (slash == 0) return {"/", path.substr(1)};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

int OpenFolder(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// ---------------------------------------------------------------- pending files

constexpr char kTemporaryPrefix[] = ".vx-tmp-";
constexpr std::size_t kTemporaryDigits = 16;

std::string TemporaryName() {
    std::uint64_t bits = 0;
    if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        // No entropy yet: O_EXCL still keeps the name ours, this only spreads names apart.
        static std::uint64_t counter = 0;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        bits = (static_cast<std::uint64_t>(now.tv_nsec) << 20) ^
               static_cast<std::uint64_t>(getpid()) ^ (++counter << 40);
    }
    char name[32];
    std::snprintf(name, sizeof name, "%s%016llx", kTemporaryPrefix,
                  static_cast<unsigned long long>(bits));
    return name;
}

// Exactly the names TemporaryName gives: nothing of anyone else's matches.
bool IsTemporaryName(std::string_view name) {
    const std::string_view prefix = kTemporaryPrefix;
    if (name.size() != prefix.size() + kTemporaryDigits || !name.starts_with(prefix)) return false;
    for (const char c : name.substr(prefix.size()))
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// Removes the temporaries of ours that no living writer holds locked: files
// of exactly our pattern, owned by this user, never a link.
void RemoveStaleTemporariesAt(int folder) {
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return;
    DIR* stream = ::fdopendir(listed);
    if (!stream) {
        ::close(listed);
        return;
    }
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(stream))
        if (IsTemporaryName(entry->d_name)) stale.emplace_back(entry->d_name);
    ::closedir(stream);
    for (const std::string& name : stale) {
        const UniqueFd file(::openat(folder, name.c_str(),
                                     O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat opened {
        }, named{};
        if (!file || ::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
            opened.st_uid != ::geteuid() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        // Still the file that was checked under that name.
        if (::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameFile(opened, named))
            ::unlinkat(folder, name.c_str(), 0);
    }
}

// File systems without unnamed files answer O_TMPFILE with one of these.
bool LacksUnnamedFiles(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives the unnamed file `fd` the name `name` in `folder`; false with errno.
bool LinkUnnamed(int fd, int folder, const std::string& name) {
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, procPath, folder, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != ENOENT) return false;
    // Without /proc: the direct way, which needs a privilege.
    return ::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0;
}

// ---------------------------------------------------------------- copying

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
        ::sync_file_range(fd_, static_cast<off_t>(started_), static_cast<off_t>(done - started_),
                          SYNC_FILE_RANGE_WRITE);
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

// Unlinks an entry (kIsFolder when a plain unlink meets a folder). A folder
// without write permission is given it once: read-only never stops a delete.
int UnlinkEntry(int folder, const char* name, int flags) {
    if (::unlinkat(folder, name, flags) == 0 || errno == ENOENT) return ERROR_SUCCESS;
    if (errno != EACCES) return errno == EISDIR ? kIsFolder : Win32ErrorFromErrno(errno);
    struct stat st {};
    if (::fstat(folder, &st) != 0 || (st.st_mode & S_IWUSR) != 0) return ERROR_ACCESS_DENIED;
    if (::fchmod(folder, (st.st_mode & 07777) | S_IWUSR) != 0) return ERROR_ACCESS_DENIED;
    if (::unlinkat(folder, name, flags) == 0 || errno == ENOENT) return ERROR_SUCCESS;
    return errno == EISDIR ? kIsFolder : Win32ErrorFromErrno(errno);
}

// A folder on the removal's stack: its name in the folder below it on the
// stack, which file it is, and its open stream (null while closed to spare
// descriptors).
struct Frame {
    std::string name;
    dev_t device;
    ino_t inode;
    DIR* stream;
};

// Removes a folder tree top-down without ever resolving a path string: each
// folder is reached through the open folder that holds it, and a closed one
// is reopened through ".." of its child and checked to be the same folder.
class TreeRemoval {
public:
    explicit TreeRemoval(int parent) : parent_(parent) {}
    ~TreeRemoval() {
        for (Frame& frame : stack_)
            if (frame.stream) ::closedir(frame.stream);
    }
    TreeRemoval(const TreeRemoval&) = delete;
    TreeRemoval& operator=(const TreeRemoval&) = delete;

    int Run(const std::string& name, const struct stat& top) {
        device_ = top.st_dev;
        if (const int pushed = Enter(parent_, name.c_str(), top); pushed != ERROR_SUCCESS)
            return pushed;
        while (!stack_.empty()) {
            errno = 0;
            const dirent* entry = ::readdir(stack_.back().stream);
            if (!entry) {
                if (errno != 0) return Win32ErrorFromErrno(errno);
                if (const int left = Leave(); left != ERROR_SUCCESS) return left;
                continue;
            }
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            if (const int removed = RemoveEntry(*entry); removed != ERROR_SUCCESS) return removed;
        }
        return ERROR_SUCCESS;
    }

private:
    int Current() const { return ::dirfd(stack_.back().stream); }

    int RemoveEntry(const dirent& entry) {
        const int folder = Current();
        // The folder entry type spares a stat for the common case of a file.
        if (entry.d_type != DT_DIR && entry.d_type != DT_UNKNOWN) {
            const int unlinked = UnlinkEntry(folder, entry.d_name, 0);
            if (unlinked != kIsFolder) return unlinked;
        }
        struct stat st {};
        if (::fstatat(folder, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
        if (!S_ISDIR(st.st_mode)) {
            const int unlinked = UnlinkEntry(folder, entry.d_name, 0);
            return unlinked == kIsFolder ? ERROR_ACCESS_DENIED : unlinked;
        }
        return Enter(folder, entry.d_name, st);
    }

    bool IsMountPoint(int folder, const char* name, const struct stat& st) const {
        if (st.st_dev != device_) return true;
        // A bind mount of the same file system keeps the device; the kernel still knows.
        struct statx sx {};
        if (::statx(folder, name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, STATX_INO, &sx) != 0)
            return false;
        return (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
               (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
    }

    int Enter(int folder, const char* name, const struct stat& expected) {
        if (IsMountPoint(folder, name, expected)) return ERROR_ACCESS_DENIED;
        UniqueFd child(::openat(folder, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child) {
            if (errno == ENOENT) return ERROR_SUCCESS;
            // Replaced by a link or a file since the stat: remove that instead.
            if (errno == ELOOP || errno == ENOTDIR) {
                const int unlinked = UnlinkEntry(folder, name, 0);
                return unlinked == kIsFolder ? ERROR_ACCESS_DENIED : unlinked;
            }
            return Win32ErrorFromErrno(errno);
        }
        struct stat st {};
        if (::fstat(child.get(), &st) != 0 || !SameFile(st, expected)) return ERROR_ACCESS_DENIED;
        DIR* stream = ::fdopendir(child.get());
        if (!stream) return Win32ErrorFromErrno(errno);
        child.release();
        if (open_ == kOpenFolderWindow) CloseOldest();
        stack_.push_back({name, st.st_dev, st.st_ino, stream});
        ++open_;
        return ERROR_SUCCESS;
    }

    void CloseOldest() {
        while (firstOpen_ < stack_.size() && !stack_[firstOpen_].stream) ++firstOpen_;
        if (firstOpen_ == stack_.size()) return;
        ::closedir(stack_[firstOpen_].stream);
        stack_[firstOpen_].stream = nullptr;
        ++firstOpen_;
        --open_;
    }

    // The folder on top of the stack is empty: remove it from its parent.
    int Leave() {
        int holder = parent_;
        if (stack_.size() > 1) {
            Frame& below = stack_[stack_.size() - 2];
            if (!below.stream) {
                if (const int reopened = Reopen(below); reopened != ERROR_SUCCESS) return reopened;
            }
            holder = ::dirfd(below.stream);
        }
        Frame done = stack_.back();
        stack_.pop_back();
        ::closedir(done.stream);
        --open_;
        if (firstOpen_ > stack_.size()) firstOpen_ = stack_.size();
        const int removed = UnlinkEntry(holder, done.name.c_str(), AT_REMOVEDIR);
        return removed == kIsFolder ? ERROR_ACCESS_DENIED : removed;
    }

    // Reopens the closed folder below the top through the top's "..", which
    // the kernel resolves without a path; a folder moved meanwhile fails the check.
    int Reopen(Frame& below) {
        UniqueFd fd(::openat(Current(), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!fd) return Win32ErrorFromErrno(errno);
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || st.st_dev != below.device || st.st_ino != below.inode)
            return ERROR_ACCESS_DENIED;
        below.stream = ::fdopendir(fd.get());
        if (!below.stream) return Win32ErrorFromErrno(errno);
        fd.release();
        ++open_;
        firstOpen_ = stack_.size() - 2;
        return ERROR_SUCCESS;
    }

    int parent_;
    dev_t device_ = 0;
    std::vector<Frame> stack_;
    std::size_t open_ = 0;
    std::size_t firstOpen_ = 0;
};

}  // namespace

int Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kErrorDiskFull;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case ENOTEMPTY:
        case EEXIST:
            return kErrorDirectoryNotEmpty;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

bool WriteAll(int fd, const char* bytes, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::write(fd, bytes, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        count -= static_cast<std::size_t>(written);
    }
    return true;
}

std::optional<std::string> ReadAll(int fd, std::size_t limit) {
    std::string bytes;
    char chunk[8192];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || static_cast<std::size_t>(got) > limit - bytes.size()) return std::nullopt;
        if (got == 0) return bytes;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
}

PendingFile::~PendingFile() {
    Discard();
    if (folder_ >= 0) ::close(folder_);
}

void PendingFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temporary_.empty()) ::unlinkat(folder_, temporary_.c_str(), 0);
    temporary_.clear();
}

int PendingFile::Open(const std::string& folder, const std::string& name, mode_t mode) {
    const UniqueFd opened(OpenFolder(folder));
    if (!opened) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
    return OpenAt(opened.get(), name, mode);
}

int PendingFile::OpenAt(int folder, const std::string& name, mode_t mode) {
    if (folder_ >= 0 || name.empty() || name == "." || name == ".." ||
        name.find('/') != std::string::npos)
        return ERROR_ACCESS_DENIED;
    folder_ = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (folder_ < 0) return Win32ErrorFromErrno(errno);
    name_ = name;
    // Reading a folder costs little beside a write into it.
    RemoveStaleTemporariesAt(folder_);

    fd_ = ::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd_ < 0 && !LacksUnnamedFiles(errno)) return Win32ErrorFromErrno(errno);
    for (int attempt = 0; attempt < 16 && fd_ < 0; ++attempt) {
        temporary_ = TemporaryName();
        fd_ = ::openat(folder_, temporary_.c_str(),
                       O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd_ < 0) {
            const int error = errno;
            temporary_.clear();
            if (error != EEXIST) return Win32ErrorFromErrno(error);
        }
    }
    if (fd_ < 0) return ERROR_ACCESS_DENIED;
    // Held until the writer is done or dead: a sweep takes only unlocked ones.
    ::flock(fd_, LOCK_EX | LOCK_NB);
    return ERROR_SUCCESS;
}

int PendingFile::Commit() {
    if (fd_ < 0) return ERROR_ACCESS_DENIED;
    int error = ERROR_SUCCESS;
    if (::fsync(fd_) != 0) {
        error = Win32ErrorFromErrno(errno);
    } else if (temporary_.empty() && !LinkUnnamed(fd_, folder_, name_)) {
        // A new name takes the unnamed file in one step; an existing one is
        // replaced by a rename from a name of ours, the file complete by now.
        error = errno == EEXIST ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
        for (int attempt = 0; error == ERROR_SUCCESS && temporary_.empty(); ++attempt) {
            temporary_ = TemporaryName();
            if (LinkUnnamed(fd_, folder_, temporary_)) break;
            const int linkError = errno;
            temporary_.clear();
            if (linkError != EEXIST || attempt == 15)
                error = linkError == EEXIST ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(linkError);
        }
    }
    if (error == ERROR_SUCCESS && !temporary_.empty() &&
        ::renameat(folder_, temporary_.c_str(), folder_, name_.c_str()) != 0)
        error = Win32ErrorFromErrno(errno);
    if (error != ERROR_SUCCESS) {
        Discard();
        return error;
    }
    temporary_.clear();
    const int closed = ::close(fd_);
    fd_ = -1;
    // The new name survives a crash only once the folder is flushed.
    ::fsync(folder_);
    return closed == 0 ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
}

int ReplaceHostFile(const std::string& path, std::string_view bytes, const struct stat* like) {
    const SplitPath target = Split(path);
    PendingFile file;
    if (const int opened = file.Open(target.folder, target.name, 0666); opened != ERROR_SUCCESS)
        return opened;
    if (like) {
        if (::fchmod(file.fd(), like->st_mode & 07777) != 0) return Win32ErrorFromErrno(errno);
        // Only root may give a file away; the permissions hold either way.
        [[maybe_unused]] const int owned = ::fchown(file.fd(), like->st_uid, like->st_gid);
    }
    if (!WriteAll(file.fd(), bytes.data(), bytes.size())) return Win32ErrorFromErrno(errno);
    return file.Commit();
}

void RemoveStaleTemporaries(const std::string& folder) {
    const UniqueFd fd(OpenFolder(folder));
    if (fd) RemoveStaleTemporariesAt(fd.get());
}

int CopyHostFile(const std::string& source, const std::string& destination,
                 const CopyProgress& progress) {
    // Non-blocking so that a named pipe under the source's name cannot hang the open.
    const UniqueFd from(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!from) return Win32ErrorFromErrno(errno);
    struct stat sourceStat {};
    if (::fstat(from.get(), &sourceStat) != 0) return Win32ErrorFromErrno(errno);
    if (!S_ISREG(sourceStat.st_mode)) return ERROR_ACCESS_DENIED;
    ::fcntl(from.get(), F_SETFL, ::fcntl(from.get(), F_GETFL) & ~O_NONBLOCK);

    const SplitPath target = Split(destination);
    if (target.name.empty() || target.name == "." || target.name == "..")
        return ERROR_PATH_NOT_FOUND;
    {
        const UniqueFd folder(OpenFolder(target.folder));
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

int RemoveHostTree(const std::string& path) {
    const SplitPath split = Split(path);
    if (split.name.empty() || split.name == "." || split.name == ".." || split.name == "/")
        return ERROR_ACCESS_DENIED;
    const UniqueFd parent(OpenFolder(split.folder));
    if (!parent) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);

    struct stat st {};
    if (::fstatat(parent.get(), split.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Win32ErrorFromErrno(errno);
    if (!S_ISDIR(st.st_mode)) {
        if (::unlinkat(parent.get(), split.name.c_str(), 0) != 0) return Win32ErrorFromErrno(errno);
        return ERROR_SUCCESS;
    }
    TreeRemoval removal(parent.get());
    return removal.Run(split.name, st);
}

int RemoveHostTreeAt(int folder, bool wholeTree) {
    struct stat self {};
    if (::fstat(folder, &self) != 0 || !S_ISDIR(self.st_mode)) return ERROR_ACCESS_DENIED;
    if (self.st_nlink == 0) return ERROR_FILE_NOT_FOUND;
    const UniqueFd parent(::openat(folder, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent) return Win32ErrorFromErrno(errno);
    // The folder's name where it is now: the entry of its parent that is this folder.
    DIR* listing = ::fdopendir(::dup(parent.get()));
    if (!listing) return Win32ErrorFromErrno(errno);
    std::string name;
    while (const dirent* entry = ::readdir(listing)) {
        struct stat st {};
        if (entry->d_ino != self.st_ino || std::strcmp(entry->d_name, "..") == 0 ||
            std::strcmp(entry->d_name, ".") == 0 ||
            ::fstatat(parent.get(), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameFile(st, self))
            continue;
        name = entry->d_name;
        break;
    }
    ::closedir(listing);
    if (name.empty()) return ERROR_FILE_NOT_FOUND;
    if (!wholeTree) {
        const int removed = UnlinkEntry(parent.get(), name.c_str(), AT_REMOVEDIR);
        return removed == kIsFolder ? ERROR_ACCESS_DENIED : removed;
    }
    TreeRemoval removal(parent.get());
    return removal.Run(name, self);
}

int CreateHostFolder(const std::string& path, mode_t mode) {
    const SplitPath split = Split(path);
    const UniqueFd parent(OpenFolder(split.folder));
    if (!parent) return errno == ENOENT ? ERROR_PATH_NOT_FOUND : Win32ErrorFromErrno(errno);
    if (::mkdirat(parent.get(), split.name.c_str(), mode) != 0)
        return errno == EEXIST ? ERROR_ALREADY_EXISTS : Win32ErrorFromErrno(errno);
    // Like a file's, the new name survives a crash only once the folder is flushed.
    ::fsync(parent.get());
    return ERROR_SUCCESS;
}

int CreateHostFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
    if (errno != ENOENT) return Win32ErrorFromErrno(errno);
    const SplitPath split = Split(path);
    if (split.folder == path) return ERROR_PATH_NOT_FOUND;
    if (const int above = CreateHostFolders(split.folder); above != ERROR_SUCCESS) return above;
    if (const int made = CreateHostFolder(path, 0777);
        made != ERROR_SUCCESS && made != ERROR_ALREADY_EXISTS)
        return made;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
    return ERROR_SUCCESS;
}

}  // namespace vx::posix

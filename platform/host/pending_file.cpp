// Pending files: new files that appear under their names only once complete.
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
            (void)::unlinkat(folder, name.c_str(), 0);  // the next sweep tries again
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

}  // namespace

PendingFile::~PendingFile() {
    Discard();
    if (folder_ >= 0) ::close(folder_);
}

void PendingFile::Discard() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    // A temporary left behind is swept by the next pending file in the folder.
    if (!temporary_.empty()) (void)::unlinkat(folder_, temporary_.c_str(), 0);
    temporary_.clear();
}

int PendingFile::Open(const std::string& folder, const std::string& name, mode_t mode) {
    const UniqueFd opened(OpenHostFolder(folder));
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
    (void)::flock(fd_, LOCK_EX | LOCK_NB);  // a fresh file: no one else holds it
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
    (void)::fsync(folder_);  // the file is in place either way
    return closed == 0 ? ERROR_SUCCESS : Win32ErrorFromErrno(errno);
}

int ReplaceHostFile(const std::string& path, std::string_view bytes, const struct stat* like) {
    const SplitPath target = SplitHostPath(path);
    PendingFile file;
    if (const int opened = file.Open(target.folder, target.name, 0666); opened != ERROR_SUCCESS)
        return opened;
    if (like) {
        if (::fchmod(file.fd(), like->st_mode & 07777) != 0) return Win32ErrorFromErrno(errno);
        // Only root may give a file away; the permissions hold either way.
        (void)::fchown(file.fd(), like->st_uid, like->st_gid);
    }
    if (!WriteAll(file.fd(), bytes.data(), bytes.size())) return Win32ErrorFromErrno(errno);
    return file.Commit();
}

void RemoveStaleTemporaries(const std::string& folder) {
    const UniqueFd fd(OpenHostFolder(folder));
    if (fd) RemoveStaleTemporariesAt(fd.get());
}

}  // namespace vx::host

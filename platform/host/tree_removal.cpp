// Removing a host folder tree without following links or crossing mounts.
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

// What UnlinkEntry reports for an entry that turned out to be a folder.
constexpr int kIsFolder = -1;

// Folders a removal keeps open at once; deeper ones are reopened through "..".
constexpr std::size_t kOpenFolderWindow = 32;

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

int RemoveHostTree(const std::string& path) {
    const SplitPath split = SplitHostPath(path);
    if (split.name.empty() || split.name == "." || split.name == ".." || split.name == "/")
        return ERROR_ACCESS_DENIED;
    const UniqueFd parent(OpenHostFolder(split.folder));
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

}  // namespace vx::host

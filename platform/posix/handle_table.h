// The stand-in's handles: every HANDLE it gave out (folders CreateFileA
// opened, FindFirstFileA's searches, CreateProcessA's processes) and the
// files _lcreat started, in one table that PosixSystemServices owns.
#pragma once

#include <dirent.h>
#include <sys/types.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>

#include "platform/host/host_files.h"
#include "platform/system_services.h"

namespace vx::posix {

// A folder opened by CreateFileA: its pinned descriptor and, once listed,
// the listing's position.
struct OpenFolder {
    int fd = -1;
    DIR* listing = nullptr;
};

// A search FindFirstFileA opened: the entries left to hand out.
struct Search {
    std::deque<WIN32_FIND_DATAA> left;
};

// A process CreateProcessA started. It is reaped when first seen ended; its
// status stays until the handle is closed.
struct Process {
    pid_t pid = -1;
    bool ended = false;
    DWORD exitCode = 0;
};

class HandleTable {
public:
    using Object = std::variant<OpenFolder, Search, Process>;

    // A new handle for `object`: never 0 or -1, and never one another kind
    // holds, as on Windows, so that closing one kind can never close another.
    HANDLE Add(Object object);
    // Calls `use` with the object of kind T behind `handle` (nullptr when
    // there is none) while the table is locked, and returns what it returns.
    template <typename T, typename Use>
    auto With(HANDLE handle, Use use) {
        const std::lock_guard lock(mutex_);
        const auto found = objects_.find(handle);
        return use(found == objects_.end() ? nullptr : std::get_if<T>(&found->second));
    }
    // Takes the object behind `handle` out of the table; nullopt when none.
    std::optional<Object> Remove(HANDLE handle);
    // Takes every object out of the table.
    std::map<HANDLE, Object> RemoveAll();

    // The files _lcreat started, by the descriptor it handed out: _lwrite
    // and _lclose touch no other descriptor of the process, whatever number
    // they are handed. Each appears under its name only once _lclose
    // completes it, so a crash never leaves a partial file there.
    HFILE AddFile(std::unique_ptr<host::PendingFile> file);
    bool HasFile(HFILE file);
    std::unique_ptr<host::PendingFile> RemoveFile(HFILE file);

private:
    std::mutex mutex_;
    std::map<HANDLE, Object> objects_;
    std::map<HFILE, std::unique_ptr<host::PendingFile>> files_;
};

}  // namespace vx::posix

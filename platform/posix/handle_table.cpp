#include "platform/posix/handle_table.h"

#include <atomic>
#include <utility>

namespace vx::posix {

HANDLE HandleTable::Add(Object object) {
    // Multiples of four, as Windows gives, unique in the process.
    static std::atomic<std::uintptr_t> last{0x1000};
    const HANDLE handle = reinterpret_cast<HANDLE>(last.fetch_add(4) + 4);
    const std::lock_guard lock(mutex_);
    objects_.emplace(handle, std::move(object));
    return handle;
}

std::optional<HandleTable::Object> HandleTable::Remove(HANDLE handle) {
    const std::lock_guard lock(mutex_);
    const auto found = objects_.find(handle);
    if (found == objects_.end()) return std::nullopt;
    Object object = std::move(found->second);
    objects_.erase(found);
    return object;
}

std::map<HANDLE, HandleTable::Object> HandleTable::RemoveAll() {
    const std::lock_guard lock(mutex_);
    return std::exchange(objects_, {});
}

HFILE HandleTable::AddFile(std::unique_ptr<host::PendingFile> file) {
    const std::lock_guard lock(mutex_);
    const HFILE handle = file->fd();
    files_[handle] = std::move(file);
    return handle;
}

bool HandleTable::HasFile(HFILE file) {
    const std::lock_guard lock(mutex_);
    return files_.count(file) != 0;
}

std::unique_ptr<host::PendingFile> HandleTable::RemoveFile(HFILE file) {
    const std::lock_guard lock(mutex_);
    const auto found = files_.find(file);
    if (found == files_.end()) return nullptr;
    std::unique_ptr<host::PendingFile> pending = std::move(found->second);
    files_.erase(found);
    return pending;
}

}  // namespace vx::posix

#include "platform/desktop/menu_folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/desktop/entry_text.h"

namespace vx::desktop {

namespace {

constexpr std::string_view kFolderRecordHeader = "X-Vornalux-Setup-Folders\n";
// Far above any file of ours; a larger one is not read.
constexpr std::size_t kMaxFileBytes = 1 << 20;

std::string FolderRecordName(const std::string& machineHash) {
    return std::string(kPrefix) + machineHash + "-folders";
}

// The folders a record names, deepest first.
std::vector<std::string> RecordedFolders(const std::string& record) {
    std::vector<std::string> folders;
    std::size_t at = kFolderRecordHeader.size();
    while (at < record.size()) {
        const std::size_t end = record.find('\n', at);
        if (end == std::string::npos) break;
        if (end > at) folders.push_back(record.substr(at, end - at));
        at = end + 1;
    }
    std::sort(folders.begin(), folders.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    return folders;
}

// Removes a recorded folder when it is empty; false when it is still there.
bool RemoveIfEmpty(int data, int config, const std::string& folder) {
    const bool inData = folder.starts_with("data/");
    if (!inData && !folder.starts_with("config/")) return true;
    const std::string relative = folder.substr(folder.find('/') + 1);
    const std::size_t slash = relative.rfind('/');
    const UniqueFd parent =
        OpenBelow(inData ? data : config,
                  slash == std::string::npos ? "" : relative.substr(0, slash), nullptr);
    const std::string last = slash == std::string::npos ? relative : relative.substr(slash + 1);
    return !parent || ::unlinkat(parent.get(), last.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

}  // namespace

int OpenBase(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

UniqueFd OpenBelow(int base, const std::string& relative, std::vector<std::string>* created) {
    UniqueFd current(::fcntl(base, F_DUPFD_CLOEXEC, 0));
    std::size_t start = 0;
    while (current && start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string name = relative.substr(start, end - start);
        const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        int next = ::openat(current.get(), name.c_str(), flags);
        if (next < 0 && errno == ENOENT && created) {
            if (::mkdirat(current.get(), name.c_str(), 0777) == 0) {
                // The new name outlives a power cut only once its folder is flushed.
                ::fsync(current.get());
                created->push_back(relative.substr(0, end));
            }
            next = ::openat(current.get(), name.c_str(), flags);
        }
        current.reset(next);
        start = end + 1;
    }
    return current;
}

std::vector<std::string> ListFolder(int folder) {
    std::vector<std::string> names;
    const int listed = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listed < 0) return names;
    DIR* stream = ::fdopendir(listed);
    if (!stream) {
        ::close(listed);
        return names;
    }
    while (const dirent* entry = ::readdir(stream))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    ::closedir(stream);
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> ReadAt(int folder, const std::string& name) {
    const UniqueFd fd(
        ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::size_t>(st.st_size) > kMaxFileBytes)
        return std::nullopt;
    return ReadAll(fd.get(), kMaxFileBytes);
}

bool Exists(int folder, const std::string& name) {
    struct stat st {};
    return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

bool WriteAt(int folder, const std::string& name, std::string_view bytes) {
    PendingFile file;
    return file.OpenAt(folder, name, 0644) == 0 &&
           WriteAll(file.fd(), bytes.data(), bytes.size()) && file.Commit() == 0;
}

bool RemoveIfOurs(int folder, const std::string& name,
                  const std::function<bool(const std::string&)>& isOurs) {
    const auto bytes = ReadAt(folder, name);
    return bytes && isOurs(*bytes) && ::unlinkat(folder, name.c_str(), 0) == 0;
}

void TouchIconTheme(int data) {
    const UniqueFd icons = OpenBelow(data, "icons", nullptr);
    if (icons) ::utimensat(icons.get(), "hicolor", nullptr, AT_SYMLINK_NOFOLLOW);
}

void RecordFolders(int data, const std::string& machineHash, const std::vector<std::string>& made) {
    if (made.empty()) return;
    const std::string name = FolderRecordName(machineHash);
    std::string record = ReadAt(data, name).value_or(std::string(kFolderRecordHeader));
    if (!record.starts_with(kFolderRecordHeader)) return;
    for (const std::string& folder : made)
        if (record.find("\n" + folder + "\n") == std::string::npos) record += folder + "\n";
    WriteAt(data, name, record);
}

void RemoveEmptyRecordedFolders(int data, int config) {
    for (const std::string& name : ListFolder(data)) {
        if (!name.starts_with(kPrefix) || !name.ends_with("-folders")) continue;
        const auto record = ReadAt(data, name);
        if (!record || !record->starts_with(kFolderRecordHeader)) continue;
        std::string kept(kFolderRecordHeader);
        for (const std::string& folder : RecordedFolders(*record))
            if (!RemoveIfEmpty(data, config, folder)) kept += folder + "\n";
        if (kept == kFolderRecordHeader)
            ::unlinkat(data, name.c_str(), 0);
        else if (kept != *record)
            WriteAt(data, name, kept);
    }
}

}  // namespace vx::desktop

#include "platform/posix/posix_system_services.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/posix/host_helpers.h"
#include "platform/posix/short_names.h"

namespace vx::posix {

namespace {

constexpr std::string_view kWindowsDirectory = "C:\\windows";
constexpr std::string_view kSystemDirectory = "C:\\windows\\system32";

// Read-only is a host file without any write permission bit. Root ignores
// the bits, so the stand-in checks them itself, as Windows does for administrators.
bool IsReadOnly(const struct stat& status) { return (status.st_mode & 0222) == 0; }

std::optional<std::string> ExistingHostPath(const Machine& machine, const char* path) {
    if (!path) return std::nullopt;
    const std::optional<HostPath> host = machine.Map(path);
    if (!host || !host->exists) return std::nullopt;
    return host->path;
}

// The handles _lcreat gave out: _lwrite and _lclose touch no other descriptor
// of the process, whatever number they are handed.
class OpenFiles {
public:
    void Add(int fd) {
        const std::lock_guard lock(mutex_);
        fds_.insert(fd);
    }
    bool Has(int fd) {
        const std::lock_guard lock(mutex_);
        return fds_.count(fd) != 0;
    }
    bool Remove(int fd) {
        const std::lock_guard lock(mutex_);
        return fds_.erase(fd) != 0;
    }

private:
    std::mutex mutex_;
    std::set<int> fds_;
};

OpenFiles& LcreatFiles() {
    static OpenFiles files;
    return files;
}

MachineOptions Prepared(MachineOptions options) {
    if (options.machineFolder.empty()) options.machineFolder = LocateMachineFolder();
    PrepareMachineFolder(options.machineFolder);
    if (options.programPath.empty()) options.programPath = RealPath("/proc/self/exe").value_or("");
    return options;
}

}  // namespace

UINT CopyOut(std::string_view text, char* buffer, UINT size) {
    if (!buffer || text.size() >= size) return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<UINT>(text.size());
}

PosixSystemServices::PosixSystemServices(MachineOptions options)
    : machine_(Prepared(std::move(options))) {}

DWORD PosixSystemServices::GetModuleFileNameA(char* buffer, DWORD size) {
    const std::optional<std::string> path = machine_.ToWindowsPath(machine_.programPath());
    if (!path || !buffer || size == 0) return 0;
    if (path->size() < size) return CopyOut(*path, buffer, size);
    // Win32 cuts the name to the buffer, keeps the terminator and returns the size.
    std::memcpy(buffer, path->data(), size - 1);
    buffer[size - 1] = '\0';
    return size;
}

UINT PosixSystemServices::GetWindowsDirectoryA(char* buffer, UINT size) {
    return CopyOut(kWindowsDirectory, buffer, size);
}

UINT PosixSystemServices::GetSystemDirectoryA(char* buffer, UINT size) {
    return CopyOut(kSystemDirectory, buffer, size);
}

const char* PosixSystemServices::CharNextA(const char* position) {
    if (!position || *position == '\0') return position;
    if (machine_.IsLeadByte(static_cast<unsigned char>(*position)) && position[1] != '\0')
        return position + 2;
    return position + 1;
}

BOOL PosixSystemServices::SetFileAttributesA(const char* path, DWORD attributes) {
    const std::optional<std::string> host = ExistingHostPath(machine_, path);
    struct stat status;
    if (!host || stat(host->c_str(), &status) != 0) return FALSE;
    mode_t mode = status.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        // A read-only folder means nothing to Windows; its host bits stay writable.
        if (S_ISDIR(status.st_mode)) return TRUE;
        mode &= ~mode_t(0222);
    } else {
        mode |= S_IWUSR;
    }
    return chmod(host->c_str(), mode) == 0 ? TRUE : FALSE;
}

DWORD PosixSystemServices::GetFileAttributesA(const char* path) {
    const std::optional<std::string> host = ExistingHostPath(machine_, path);
    struct stat status;
    if (!host || stat(host->c_str(), &status) != 0) return INVALID_FILE_ATTRIBUTES;
    if (S_ISDIR(status.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return IsReadOnly(status) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

DWORD PosixSystemServices::GetShortPathNameA(const char* longPath, char* buffer, DWORD size) {
    if (!longPath || std::strpbrk(longPath, "*?")) return 0;
    if (!ExistingHostPath(machine_, longPath)) return 0;

    // Every component is replaced by the short name of the entry it names;
    // the drive, the separators and '.' or '..' stay as given.
    const std::string_view input = longPath;
    std::string shortPath;
    std::size_t i = 0;
    if (input.size() >= 2 && input[1] == ':') {
        shortPath = input.substr(0, 2);
        i = 2;
    }
    while (i < input.size()) {
        if (input[i] == '\\' || input[i] == '/') {
            shortPath += input[i++];
            continue;
        }
        std::size_t end = i;
        while (end < input.size() && input[end] != '\\' && input[end] != '/')
            end += machine_.IsLeadByte(static_cast<unsigned char>(input[end])) &&
                           end + 1 < input.size()
                       ? 2
                       : 1;
        const std::string_view component = input.substr(i, end - i);
        i = end;
        // '.', '..' and names of only dots and spaces name no entry of their own.
        if (component.find_first_not_of(". ") == std::string_view::npos) {
            shortPath += component;
            continue;
        }
        const std::optional<HostPath> host = machine_.Map(input.substr(0, end));
        if (!host || !host->exists) return 0;
        const std::size_t slash = host->path.rfind('/');
        const std::string leaf = host->path.substr(slash + 1);
        const auto shortNames = ShortNamesOfFolder(host->path.substr(0, slash));
        const auto found = shortNames.find(leaf);
        if (found == shortNames.end()) return 0;
        const std::optional<std::string> narrow = machine_.ToNarrow(found->second);
        if (!narrow) return 0;
        shortPath += *narrow;
    }
    return CopyOut(shortPath, buffer, size);
}

HFILE PosixSystemServices::_lcreat(const char* path, int attribute) {
    if (!path) return HFILE_ERROR;
    const std::optional<HostPath> host = machine_.Map(path);
    if (!host || host->path == host->driveRoot) return HFILE_ERROR;
    const mode_t mode = (attribute & 1) ? 0444 : 0666;
    const int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int fd = open(host->path.c_str(), flags | O_CREAT | O_EXCL, mode);
    if (fd < 0 && errno == EEXIST) {
        // An existing file: checked through its own descriptor, so the file
        // checked is the one truncated.
        fd = open(host->path.c_str(), flags);
        struct stat status;
        if (fd >= 0 && (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || IsReadOnly(status) ||
                        ftruncate(fd, 0) != 0)) {
            close(fd);
            return HFILE_ERROR;
        }
    }
    if (fd < 0) return HFILE_ERROR;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    LcreatFiles().Add(fd);
    return fd;
}

UINT PosixSystemServices::_lwrite(HFILE file, const char* bytes, UINT count) {
    constexpr UINT kError = static_cast<UINT>(HFILE_ERROR);
    if (!LcreatFiles().Has(file)) return kError;
    if (count == 0) {
        // As on Windows, writing nothing ends the file at the current position.
        const off_t position = lseek(file, 0, SEEK_CUR);
        return position >= 0 && ftruncate(file, position) == 0 ? 0 : kError;
    }
    if (!bytes || count > static_cast<UINT>(INT32_MAX)) return kError;
    UINT written = 0;
    while (written < count) {
        const ssize_t result = write(file, bytes + written, count - written);
        if (result < 0 && errno == EINTR) continue;
        if (result <= 0) return kError;
        written += static_cast<UINT>(result);
    }
    return written;
}

HFILE PosixSystemServices::_lclose(HFILE file) {
    if (!LcreatFiles().Remove(file)) return HFILE_ERROR;
    return close(file) == 0 ? 0 : HFILE_ERROR;
}

BOOL PosixSystemServices::GetFileIdentity(const char* path, FileIdentity* identity) {
    const std::optional<std::string> host = ExistingHostPath(machine_, path);
    struct stat status;
    if (!identity || !host || stat(host->c_str(), &status) != 0) return FALSE;
    *identity = {static_cast<std::uint64_t>(status.st_dev),
                 static_cast<std::uint64_t>(status.st_ino)};
    return TRUE;
}

UINT PosixSystemServices::GetAncestorIdentities(const char* path, FileIdentity* identities,
                                                UINT capacity) {
    const std::optional<std::string> host = ExistingHostPath(machine_, path);
    if (!identities || capacity == 0 || !host) return 0;
    int fd = open(host->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    UINT count = 0;
    while (count < capacity) {
        struct stat status;
        if (fstat(fd, &status) != 0) break;
        const FileIdentity identity{static_cast<std::uint64_t>(status.st_dev),
                                    static_cast<std::uint64_t>(status.st_ino)};
        // The host root is its own parent.
        if (count > 0 && identities[count - 1] == identity) break;
        identities[count++] = identity;
        const int parent = openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = parent;
        if (fd < 0) break;
    }
    if (fd >= 0) close(fd);
    return count;
}

UINT PosixSystemServices::GetHomeDirectoryA(char* buffer, UINT size) {
    const std::string home = HomeFolder();
    if (home.empty()) return 0;
    const std::optional<std::string> windows = machine_.ToWindowsPath(home);
    if (!windows) return 0;
    return CopyOut(*windows, buffer, size);
}

namespace {

// Names a Windows path cannot address: reserved characters, and trailing
// dots or spaces, which the path rules drop.
bool IsAddressable(std::string_view name) {
    if (name.empty() || name.size() >= MAX_PATH) return false;
    if (name == "." || name == "..") return true;
    if (name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::strchr("\\/:*?\"<>|", c)) return false;
    }
    return true;
}

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A file name pattern as FindFirstFileA takes it: '*' any run, '?' any one
// byte, letters without regard to case; "*.*" also matches names without a dot.
bool MatchesPattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*") return true;
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Seconds since 1970 as a FILETIME: 100-nanosecond steps since 1601.
FILETIME ToFileTime(const struct timespec& time) {
    constexpr std::uint64_t kEpochDifference = 11644473600ULL;
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(time.tv_sec) + kEpochDifference) * 10000000ULL +
        static_cast<std::uint64_t>(time.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

HANDLE PosixSystemServices::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
    if (!pattern || !data) return INVALID_HANDLE_VALUE;
    const std::string_view text = pattern;
    const std::size_t cut = text.find_last_of("\\/");
    const std::string_view namePattern =
        cut == std::string_view::npos ? text : text.substr(cut + 1);
    std::string folder(cut == std::string_view::npos ? "." : text.substr(0, cut + 1));
    if (namePattern.empty()) return INVALID_HANDLE_VALUE;
    const std::optional<HostPath> host = machine_.Map(folder);
    struct stat status;
    if (!host || !host->exists || stat(host->path.c_str(), &status) != 0 ||
        !S_ISDIR(status.st_mode))
        return INVALID_HANDLE_VALUE;

    // Entries as the shell lists them: "." and ".." below a drive's root,
    // dot files hidden as Wine shows them, names a Windows path cannot hold
    // left out, short names where the long one is not 8.3.
    const bool isRoot = host->path == host->driveRoot;
    const std::map<std::string, std::string> shortNames = ShortNamesOfFolder(host->path);
    std::deque<WIN32_FIND_DATAA> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(host->path.c_str()), closedir);
    while (dir) {
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) break;
        const std::string name = entry->d_name;
        const bool dots = name == "." || name == "..";
        if (dots && isRoot) continue;
        const std::optional<std::string> narrow = machine_.ToNarrow(name);
        if (!narrow || !IsAddressable(*narrow) || !MatchesPattern(namePattern, *narrow)) continue;
        if (stat((host->path + "/" + name).c_str(), &status) != 0) continue;
        WIN32_FIND_DATAA item{};
        item.dwFileAttributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY
                                : IsReadOnly(status)    ? FILE_ATTRIBUTE_READONLY
                                                        : 0;
        if (name[0] == '.' && !dots) item.dwFileAttributes |= FILE_ATTRIBUTE_HIDDEN;
        if (item.dwFileAttributes == 0) item.dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        item.ftCreationTime = ToFileTime(status.st_ctim);
        item.ftLastAccessTime = ToFileTime(status.st_atim);
        item.ftLastWriteTime = ToFileTime(status.st_mtim);
        if (!S_ISDIR(status.st_mode)) {
            const auto size = static_cast<std::uint64_t>(status.st_size);
            item.nFileSizeHigh = static_cast<DWORD>(size >> 32);
            item.nFileSizeLow = static_cast<DWORD>(size);
        }
        std::memcpy(item.cFileName, narrow->c_str(), narrow->size() + 1);
        const auto shortName = shortNames.find(name);
        if (shortName != shortNames.end() && shortName->second != name &&
            shortName->second.size() < sizeof item.cAlternateFileName)
            std::memcpy(item.cAlternateFileName, shortName->second.c_str(),
                        shortName->second.size() + 1);
        found.push_back(item);
    }
    if (found.empty()) return INVALID_HANDLE_VALUE;
    // In name order without regard to case, as NTFS lists a folder.
    std::sort(found.begin(), found.end(), [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
        return strcasecmp(a.cFileName, b.cFileName) < 0;
    });
    *data = found.front();
    found.pop_front();
    const std::uintptr_t handle = ++lastSearch_;
    searches_[handle] = std::move(found);
    return reinterpret_cast<HANDLE>(handle);
}

BOOL PosixSystemServices::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    const auto search = searches_.find(reinterpret_cast<std::uintptr_t>(find));
    if (search == searches_.end() || search->second.empty() || !data) return FALSE;
    *data = search->second.front();
    search->second.pop_front();
    return TRUE;
}

BOOL PosixSystemServices::FindClose(HANDLE find) {
    return searches_.erase(reinterpret_cast<std::uintptr_t>(find)) != 0 ? TRUE : FALSE;
}

DWORD PosixSystemServices::GetLogicalDriveStringsA(DWORD size, char* buffer) {
    std::string roots;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char root[] = {letter, ':', '\\', '\0'};
        const DWORD attributes = GetFileAttributesA(root);
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            roots.append(root, sizeof root);
    }
    const auto needed = static_cast<DWORD>(roots.size() + 1);
    if (buffer == nullptr || size < needed) return needed;
    std::memcpy(buffer, roots.data(), roots.size());
    buffer[roots.size()] = '\0';
    return needed - 1;
}

}  // namespace vx::posix

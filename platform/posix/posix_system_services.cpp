#include "platform/posix/posix_system_services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/posix/host_files.h"
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

// The files _lcreat started, by the handle it gave out: _lwrite and _lclose
// touch no other descriptor of the process, whatever number they are handed.
// Each appears under its name only when _lclose completes it, so a crash
// never leaves a partial file there.
class OpenFiles {
public:
    void Add(std::unique_ptr<PendingFile> file) {
        const std::lock_guard lock(mutex_);
        const int fd = file->fd();
        files_[fd] = std::move(file);
    }
    bool Has(int fd) {
        const std::lock_guard lock(mutex_);
        return files_.count(fd) != 0;
    }
    std::unique_ptr<PendingFile> Remove(int fd) {
        const std::lock_guard lock(mutex_);
        const auto found = files_.find(fd);
        if (found == files_.end()) return nullptr;
        std::unique_ptr<PendingFile> file = std::move(found->second);
        files_.erase(found);
        return file;
    }

private:
    std::mutex mutex_;
    std::map<int, std::unique_ptr<PendingFile>> files_;
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
    // An existing file must be one that may be replaced.
    struct stat status;
    if (lstat(host->path.c_str(), &status) == 0 && (!S_ISREG(status.st_mode) || IsReadOnly(status)))
        return HFILE_ERROR;
    const std::size_t slash = host->path.rfind('/');
    auto file = std::make_unique<PendingFile>();
    if (slash == std::string::npos ||
        file->Open(host->path.substr(0, slash), host->path.substr(slash + 1),
                   (attribute & 1) ? 0444 : 0666) != ERROR_SUCCESS)
        return HFILE_ERROR;
    const HFILE handle = file->fd();
    LcreatFiles().Add(std::move(file));
    return handle;
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
    return WriteAll(file, bytes, count) ? count : kError;
}

HFILE PosixSystemServices::_lclose(HFILE file) {
    const std::unique_ptr<PendingFile> pending = LcreatFiles().Remove(file);
    if (!pending) return HFILE_ERROR;
    return pending->Commit() == ERROR_SUCCESS ? 0 : HFILE_ERROR;
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

}  // namespace vx::posix

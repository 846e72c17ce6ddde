// The file calls: attributes, short names, identities, and the _lcreat
// family, whose files appear under their names only once complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "platform/host/host_files.h"
#include "platform/posix/posix_system_services.h"
#include "platform/posix/short_names.h"
#include "platform/win32_names.h"

namespace vx::posix {

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
        if (IsSeparator(input[i])) {
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
    auto file = std::make_unique<host::PendingFile>();
    if (slash == std::string::npos ||
        file->Open(host->path.substr(0, slash), host->path.substr(slash + 1),
                   (attribute & 1) ? 0444 : 0666) != ERROR_SUCCESS)
        return HFILE_ERROR;
    return handles_.AddFile(std::move(file));
}

UINT PosixSystemServices::_lwrite(HFILE file, const char* bytes, UINT count) {
    constexpr UINT kError = static_cast<UINT>(HFILE_ERROR);
    if (!handles_.HasFile(file)) return kError;
    if (count == 0) {
        // As on Windows, writing nothing ends the file at the current position.
        const off_t position = lseek(file, 0, SEEK_CUR);
        return position >= 0 && ftruncate(file, position) == 0 ? 0 : kError;
    }
    if (!bytes || count > static_cast<UINT>(INT32_MAX)) return kError;
    return host::WriteAll(file, bytes, count) ? count : kError;
}

HFILE PosixSystemServices::_lclose(HFILE file) {
    const std::unique_ptr<host::PendingFile> pending = handles_.RemoveFile(file);
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

}  // namespace vx::posix

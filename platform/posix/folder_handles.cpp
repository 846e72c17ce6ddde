// CreateFileA for folders, and what is asked of such a handle: its
// listing and its final path.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

#include "platform/host/host_paths.h"
#include "platform/posix/posix_system_services.h"
#include "platform/text/utf8.h"

namespace vx::posix {

namespace {

// Opens the folder's listing at its first call, or starts it over for a
// restart; false when it cannot be read.
bool StartListing(OpenFolder& folder, FILE_INFO_BY_HANDLE_CLASS infoClass) {
    if (folder.listing) {
        if (infoClass == FileIdBothDirectoryRestartInfo) rewinddir(folder.listing);
        return true;
    }
    const int fd = openat(folder.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    folder.listing = fd < 0 ? nullptr : fdopendir(fd);
    if (!folder.listing && fd >= 0) close(fd);
    return folder.listing != nullptr;
}

constexpr std::size_t kNameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);

// Fills `info` for the entry `entry` of `folder`, named `name` in UTF-16.
void FillEntry(FILE_ID_BOTH_DIR_INFO& info, int folder, const dirent& entry,
               const std::u16string& name) {
    std::memset(&info, 0, kNameOffset);
    struct stat status {};
    const bool isFolder =
        fstatat(folder, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
    info.FileAttributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    info.EndOfFile = isFolder ? 0 : static_cast<std::int64_t>(status.st_size);
    info.FileId = static_cast<std::int64_t>(entry.d_ino);
    info.FileNameLength = static_cast<DWORD>(name.size() * 2);
    std::memcpy(reinterpret_cast<unsigned char*>(&info) + kNameOffset, name.data(),
                name.size() * 2);
}

// The next entries of the folder's listing that fit in `size` bytes of
// `buffer`, chained as Windows chains them; false when none came.
bool ListInto(const OpenFolder& folder, unsigned char* buffer, std::size_t size) {
    std::size_t used = 0;
    FILE_ID_BOTH_DIR_INFO* last = nullptr;
    for (;;) {
        const long position = telldir(folder.listing);
        const dirent* entry = readdir(folder.listing);
        if (!entry) break;
        // A host name that is no UTF-8 has no Windows name: not listed.
        const std::optional<std::u16string> name = Utf16FromUtf8(entry->d_name);
        if (!name || name->empty()) continue;
        const std::size_t length = (kNameOffset + name->size() * 2 + 7) & ~std::size_t(7);
        if (used + length > size) {
            seekdir(folder.listing, position);  // the next call starts with it
            break;
        }
        auto* info = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(buffer + used);
        FillEntry(*info, folder.fd, *entry, *name);
        if (last)
            last->NextEntryOffset = static_cast<DWORD>(reinterpret_cast<unsigned char*>(info) -
                                                       reinterpret_cast<unsigned char*>(last));
        last = info;
        used += length;
    }
    return last != nullptr;
}

}  // namespace

HANDLE PosixSystemServices::CreateFileA(const char* path, DWORD, DWORD, void*, DWORD disposition,
                                        DWORD flags, HANDLE) {
    // Only what the uninstall asks for: an existing folder.
    if (!path || disposition != OPEN_EXISTING || (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0)
        return INVALID_HANDLE_VALUE;
    const int fd = machine_.PinFolder(path);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    return handles_.Add(OpenFolder{fd, nullptr});
}

BOOL PosixSystemServices::GetFileInformationByHandleEx(HANDLE handle,
                                                       FILE_INFO_BY_HANDLE_CLASS infoClass,
                                                       void* buffer, DWORD size) {
    if (!buffer ||
        (infoClass != FileIdBothDirectoryInfo && infoClass != FileIdBothDirectoryRestartInfo))
        return FALSE;
    return handles_.With<OpenFolder>(handle, [&](OpenFolder* folder) {
        return folder && StartListing(*folder, infoClass) &&
                       ListInto(*folder, static_cast<unsigned char*>(buffer), size)
                   ? TRUE
                   : FALSE;
    });
}

DWORD PosixSystemServices::GetFinalPathNameByHandleA(HANDLE handle, char* buffer, DWORD size,
                                                     DWORD) {
    const int fd = handles_.With<OpenFolder>(
        handle, [](const OpenFolder* folder) { return folder ? folder->fd : -1; });
    if (fd < 0) return 0;
    const std::optional<std::string> host = host::RealPath("/proc/self/fd/" + std::to_string(fd));
    const std::optional<std::string> windows = host ? machine_.ToWindowsPath(*host) : std::nullopt;
    if (!windows) return 0;
    return CopyOut("\\\\?\\" + *windows, buffer, size);
}

}  // namespace vx::posix

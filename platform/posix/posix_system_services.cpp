#include "platform/posix/posix_system_services.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/host/host_files.h"
#include "platform/posix/short_names.h"

namespace vx::posix {

namespace {

using host::HomeFolder;
using host::PendingFile;
using host::RealPath;
using host::WriteAll;

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
// The nearest folder of a FolderChain that exists on the host: its place
// in the chain and its host path.
struct ExistingFolder {
    std::size_t index = 0;
    std::string host;
    dev_t device = 0;
};

std::optional<ExistingFolder> NearestFolder(const Machine& machine,
                                            const std::vector<std::string>& chain) {
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::optional<HostPath> host = machine.Map(chain[i]);
        struct stat status;
        if (host && host->exists && stat(host->path.c_str(), &status) == 0 &&
            S_ISDIR(status.st_mode))
            return ExistingFolder{i, host->path, status.st_dev};
    }
    return std::nullopt;
}

DWORD ClampedToDword(std::uint64_t value) {
    return static_cast<DWORD>(std::min<std::uint64_t>(value, 0xFFFFFFFF));
}

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

// A host name as the UTF-16 of a Windows listing; empty when it is no UTF-8.
std::u16string Utf16Of(const std::string& utf8) {
    const iconv_t converter = iconv_open("UTF-16LE", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) return {};
    std::u16string out(utf8.size() + 1, u'\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    char* next = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size() * sizeof(char16_t);
    const bool converted = iconv(converter, &in, &inLeft, &next, &outLeft) != std::size_t(-1);
    iconv_close(converter);
    if (!converted || inLeft != 0) return {};
    out.resize(out.size() - outLeft / sizeof(char16_t));
    return out;
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

HANDLE NewHandle() {
    static std::atomic<std::uintptr_t> last{0x1000};
    return reinterpret_cast<HANDLE>(last.fetch_add(4) + 4);
}

HRESULT PosixSystemServices::SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, char* path) {
    if (path == nullptr) return E_INVALIDARG;
    path[0] = '\0';
    if (csidl != CSIDL_PROGRAMS && csidl != CSIDL_COMMON_PROGRAMS) return E_INVALIDARG;
    const std::string programs = std::string(kWindowsDirectory) + "\\Start Menu\\Programs";
    return CopyOut(programs, path, MAX_PATH) < MAX_PATH ? S_OK : E_FAIL;
}

// A folder opened by CreateFileA: its pinned descriptor and, once listed,
// the listing's position.
struct PosixSystemServices::OpenFolder {
    int fd = -1;
    DIR* listing = nullptr;
};

PosixSystemServices::~PosixSystemServices() {
    while (!folders_.empty()) CloseHandle(folders_.begin()->first);
}

PosixSystemServices::OpenFolder* PosixSystemServices::FolderOf(HANDLE handle) {
    const auto found = folders_.find(handle);
    return found == folders_.end() ? nullptr : found->second.get();
}

HANDLE PosixSystemServices::CreateFileA(const char* path, DWORD, DWORD, void*, DWORD disposition,
                                        DWORD flags, HANDLE) {
    // Only what the uninstall asks for: an existing folder.
    if (!path || disposition != OPEN_EXISTING || (flags & FILE_FLAG_BACKUP_SEMANTICS) == 0)
        return INVALID_HANDLE_VALUE;
    const int fd = machine_.PinFolder(path);
    if (fd < 0) return INVALID_HANDLE_VALUE;
    auto folder = std::make_unique<OpenFolder>();
    folder->fd = fd;
    const HANDLE handle = NewHandle();
    folders_[handle] = std::move(folder);
    return handle;
}

BOOL PosixSystemServices::CloseHandle(HANDLE handle) {
    const auto found = folders_.find(handle);
    if (found == folders_.end()) return CloseProcess(handle);
    OpenFolder& folder = *found->second;
    machine_.Unpin(folder.fd);
    if (folder.listing) closedir(folder.listing);
    close(folder.fd);
    folders_.erase(found);
    return TRUE;
}

BOOL PosixSystemServices::GetFileInformationByHandleEx(HANDLE handle,
                                                       FILE_INFO_BY_HANDLE_CLASS infoClass,
                                                       void* buffer, DWORD size) {
    OpenFolder* folder = FolderOf(handle);
    if (!folder || !buffer ||
        (infoClass != FileIdBothDirectoryInfo && infoClass != FileIdBothDirectoryRestartInfo))
        return FALSE;
    if (!folder->listing) {
        const int fd = openat(folder->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder->listing = fd < 0 ? nullptr : fdopendir(fd);
        if (!folder->listing) {
            if (fd >= 0) close(fd);
            return FALSE;
        }
    } else if (infoClass == FileIdBothDirectoryRestartInfo) {
        rewinddir(folder->listing);
    }
    constexpr std::size_t kNameOffset = offsetof(FILE_ID_BOTH_DIR_INFO, FileName);
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t used = 0;
    FILE_ID_BOTH_DIR_INFO* last = nullptr;
    for (;;) {
        const long position = telldir(folder->listing);
        const dirent* entry = readdir(folder->listing);
        if (!entry) break;
        const std::u16string name = Utf16Of(entry->d_name);
        if (name.empty()) continue;  // no Windows name: not listed
        const std::size_t length = (kNameOffset + name.size() * 2 + 7) & ~std::size_t(7);
        if (used + length > size) {
            seekdir(folder->listing, position);  // the next call starts with it
            break;
        }
        auto* info = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(bytes + used);
        std::memset(info, 0, kNameOffset);
        struct stat status {};
        const bool isFolder =
            fstatat(folder->fd, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(status.st_mode);
        info->FileAttributes = isFolder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        info->EndOfFile = isFolder ? 0 : static_cast<std::int64_t>(status.st_size);
        info->FileId = static_cast<std::int64_t>(entry->d_ino);
        info->FileNameLength = static_cast<DWORD>(name.size() * 2);
        std::memcpy(bytes + used + kNameOffset, name.data(), name.size() * 2);
        if (last)
            last->NextEntryOffset = static_cast<DWORD>(reinterpret_cast<unsigned char*>(info) -
                                                       reinterpret_cast<unsigned char*>(last));
        last = info;
        used += length;
    }
    return last ? TRUE : FALSE;
}

DWORD PosixSystemServices::GetFinalPathNameByHandleA(HANDLE handle, char* buffer, DWORD size,
                                                     DWORD) {
    const OpenFolder* folder = FolderOf(handle);
    if (!folder) return 0;
    const std::optional<std::string> host = RealPath("/proc/self/fd/" + std::to_string(folder->fd));
    const std::optional<std::string> windows = host ? machine_.ToWindowsPath(*host) : std::nullopt;
    if (!windows) return 0;
    return CopyOut("\\\\?\\" + *windows, buffer, size);
}

UINT PosixSystemServices::GetDosFileNameA(const char* hostPath, char* buffer, UINT size) {
    if (!hostPath || hostPath[0] != '/') return 0;
    const std::optional<std::string> windows = machine_.ToWindowsPath(hostPath);
    return windows ? CopyOut(*windows, buffer, size) : 0;
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
    const HANDLE handle = NewHandle();
    searches_[handle] = std::move(found);
    return handle;
}

BOOL PosixSystemServices::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    const auto search = searches_.find(find);
    if (search == searches_.end() || search->second.empty() || !data) return FALSE;
    *data = search->second.front();
    search->second.pop_front();
    return TRUE;
}

BOOL PosixSystemServices::FindClose(HANDLE find) {
    return searches_.erase(find) != 0 ? TRUE : FALSE;
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

std::optional<struct statvfs> PosixSystemServices::VolumeStatus(const char* path) {
    // No path: the current drive, as Windows takes it.
    const std::optional<ExistingFolder> nearest =
        NearestFolder(machine_, machine_.FolderChain(path ? path : "\\"));
    struct statvfs status;
    if (!nearest || statvfs(nearest->host.c_str(), &status) != 0) {
        lastError_ = nearest ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND;
        return std::nullopt;
    }
    return status;
}

BOOL PosixSystemServices::GetVolumePathNameA(const char* fileName, char* volumePathName,
                                             DWORD bufferLength) {
    if (fileName == nullptr || *fileName == '\0') return Fail(ERROR_INVALID_PARAMETER);
    const std::vector<std::string> chain = machine_.FolderChain(fileName);
    const std::optional<ExistingFolder> nearest = NearestFolder(machine_, chain);
    if (!nearest) return Fail(ERROR_PATH_NOT_FOUND);
    std::size_t volume = nearest->index;
    for (std::size_t i = volume + 1; i < chain.size(); ++i) {
        const std::optional<HostPath> host = machine_.Map(chain[i]);
        struct stat status;
        if (!host || stat(host->path.c_str(), &status) != 0 || status.st_dev != nearest->device)
            break;
        volume = i;
    }
    std::string root = chain[volume];
    if (root.back() != '\\') root += '\\';
    if (volumePathName == nullptr || root.size() >= bufferLength)
        return Fail(ERROR_FILENAME_EXCED_RANGE);
    std::memcpy(volumePathName, root.c_str(), root.size() + 1);
    return TRUE;
}

BOOL PosixSystemServices::GetDiskFreeSpaceA(const char* rootPathName, DWORD* sectorsPerCluster,
                                            DWORD* bytesPerSector, DWORD* numberOfFreeClusters,
                                            DWORD* totalNumberOfClusters) {
    const std::optional<struct statvfs> status = VolumeStatus(rootPathName);
    if (!status) return FALSE;
    // 512-byte sectors where the unit allows, as Wine reports them.
    const std::uint64_t unit = status->f_frsize;
    const DWORD sector = unit % 512 == 0 ? 512 : static_cast<DWORD>(unit);
    if (sectorsPerCluster) *sectorsPerCluster = static_cast<DWORD>(unit / sector);
    if (bytesPerSector) *bytesPerSector = sector;
    if (numberOfFreeClusters) *numberOfFreeClusters = ClampedToDword(status->f_bavail);
    if (totalNumberOfClusters) *totalNumberOfClusters = ClampedToDword(status->f_blocks);
    return TRUE;
}

BOOL PosixSystemServices::GetDiskFreeSpaceExA(const char* directoryName,
                                              ULARGE_INTEGER* freeBytesAvailableToCaller,
                                              ULARGE_INTEGER* totalNumberOfBytes,
                                              ULARGE_INTEGER* totalNumberOfFreeBytes) {
    const std::optional<struct statvfs> status = VolumeStatus(directoryName);
    if (!status) return FALSE;
    const std::uint64_t unit = status->f_frsize;
    // What this user may write leaves out the blocks kept for root.
    if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = status->f_bavail * unit;
    if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = status->f_blocks * unit;
    if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = status->f_bfree * unit;
    return TRUE;
}

}  // namespace vx::posix

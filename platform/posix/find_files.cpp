// FindFirstFileA, FindNextFileA, FindClose and the drives' roots.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

#include "platform/posix/posix_system_services.h"
#include "platform/posix/short_names.h"
#include "platform/win32_names.h"

namespace vx::posix {

namespace {

// Names a Windows path cannot address: reserved characters, and trailing
// dots or spaces, which the path rules drop.
bool IsAddressable(std::string_view name) {
    if (name.empty() || name.size() >= MAX_PATH) return false;
    if (name == "." || name == "..") return true;
    if (name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name)
        if (IsForbiddenInName(c)) return false;
    return true;
}

// A file name pattern as FindFirstFileA takes it: '*' any run, '?' any one
// byte, letters without regard to case; "*.*" also matches names without a dot.
bool MatchesPattern(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*") return true;
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == '?' || UpperAscii(pattern[p]) == UpperAscii(name[n]))) {
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

// One entry of a folder as FindFirstFileA hands it out.
WIN32_FIND_DATAA FindDataOf(const struct stat& status, const std::string& name,
                            const std::string& narrow, const std::string* shortName) {
    const bool dots = name == "." || name == "..";
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
    std::memcpy(item.cFileName, narrow.c_str(), narrow.size() + 1);
    if (shortName && *shortName != name && shortName->size() < sizeof item.cAlternateFileName)
        std::memcpy(item.cAlternateFileName, shortName->c_str(), shortName->size() + 1);
    return item;
}

// The entries of the host folder `host` that `namePattern` matches, as the
// shell lists them: "." and ".." below a drive's root, dot files hidden as
// Wine shows them, names a Windows path cannot hold left out, short names
// where the long one is not 8.3; in name order without regard to case, as
// NTFS lists a folder.
std::deque<WIN32_FIND_DATAA> ListMatches(const Machine& machine, const HostPath& host,
                                         std::string_view namePattern) {
    const bool isRoot = host.path == host.driveRoot;
    const std::map<std::string, std::string> shortNames = ShortNamesOfFolder(host.path);
    std::deque<WIN32_FIND_DATAA> found;
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(host.path.c_str()), closedir);
    while (dir) {
        const dirent* entry = readdir(dir.get());
        if (entry == nullptr) break;
        const std::string name = entry->d_name;
        if ((name == "." || name == "..") && isRoot) continue;
        const std::optional<std::string> narrow = machine.ToNarrow(name);
        if (!narrow || !IsAddressable(*narrow) || !MatchesPattern(namePattern, *narrow)) continue;
        struct stat status;
        if (stat((host.path + "/" + name).c_str(), &status) != 0) continue;
        const auto shortName = shortNames.find(name);
        found.push_back(FindDataOf(status, name, *narrow,
                                   shortName == shortNames.end() ? nullptr : &shortName->second));
    }
    std::sort(found.begin(), found.end(), [](const WIN32_FIND_DATAA& a, const WIN32_FIND_DATAA& b) {
        return strcasecmp(a.cFileName, b.cFileName) < 0;
    });
    return found;
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
    std::deque<WIN32_FIND_DATAA> found = ListMatches(machine_, *host, namePattern);
    if (found.empty()) return INVALID_HANDLE_VALUE;
    *data = found.front();
    found.pop_front();
    return handles_.Add(Search{std::move(found)});
}

BOOL PosixSystemServices::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    return handles_.With<Search>(find, [&](Search* search) {
        if (!search || search->left.empty() || !data) return FALSE;
        *data = search->left.front();
        search->left.pop_front();
        return TRUE;
    });
}

BOOL PosixSystemServices::FindClose(HANDLE find) {
    const bool isSearch =
        handles_.With<Search>(find, [](Search* search) { return search != nullptr; });
    return isSearch && handles_.Remove(find) ? TRUE : FALSE;
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

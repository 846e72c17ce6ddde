#include "platform/posix/folder_listing.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/posix/posix_system_services.h"

namespace vx::posix {

namespace {

// Names a Windows path cannot address: reserved characters, and trailing
// dots or spaces, which the path rules drop.
bool IsAddressable(std::string_view name) {
    if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) return false;
        if (std::strchr("\\/:*?\"<>|", c)) return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> ListDrives(SystemServices& sys) {
    std::vector<std::string> roots;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string root = std::string(1, letter) + ":\\";
        const DWORD attributes = sys.GetFileAttributesA(root.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            roots.push_back(root);
    }
    return roots;
}

std::vector<FolderEntry> ListSubfolders(const PosixSystemServices& sys,
                                        const std::string& windowsPath) {
    std::vector<FolderEntry> entries;
    const std::optional<HostPath> mapped = sys.machine().Map(windowsPath);
    if (!mapped || !mapped->exists) return entries;
    DIR* dir = opendir(mapped->path.c_str());
    if (dir == nullptr) return entries;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat st;
        if (stat((mapped->path + "/" + name).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
        const std::optional<std::string> narrow = sys.machine().ToNarrow(name);
        if (!narrow || !IsAddressable(*narrow)) continue;
        entries.push_back(FolderEntry{name, *narrow});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const FolderEntry& a, const FolderEntry& b) {
        return strcasecmp(a.hostName.c_str(), b.hostName.c_str()) < 0;
    });
    return entries;
}

std::string JoinWindowsPath(const std::string& parent, std::string_view name) {
    std::string path = parent;
    if (path.empty() || path.back() != '\\') path += '\\';
    path += name;
    return path;
}

}  // namespace vx::posix

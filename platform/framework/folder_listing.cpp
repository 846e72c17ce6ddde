#include "platform/framework/folder_listing.h"

#include <algorithm>
#include <cstring>

#include "platform/win32_names.h"

namespace vx {

std::vector<std::string> ListDrives(SystemServices& sys) {
    // 26 roots of four bytes and the closing zero.
    char buffer[26 * 4 + 1];
    const DWORD length = sys.GetLogicalDriveStringsA(sizeof buffer, buffer);
    std::vector<std::string> roots;
    if (length == 0 || length >= sizeof buffer) return roots;
    for (const char* root = buffer; *root != '\0'; root += std::strlen(root) + 1)
        roots.emplace_back(root);
    std::sort(roots.begin(), roots.end(),
              [](const std::string& a, const std::string& b) { return LessIgnoringCase(a, b); });
    return roots;
}

std::vector<std::string> ListSubfolders(SystemServices& sys, const std::string& windowsPath) {
    std::vector<std::string> names;
    const std::string pattern = JoinWindowsPath(windowsPath, "*");
    if (pattern.size() >= MAX_PATH) return names;
    WIN32_FIND_DATAA data;
    const HANDLE find = sys.FindFirstFileA(pattern.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string_view name = data.cFileName;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
            (data.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) || name == "." || name == "..")
            continue;
        names.emplace_back(name);
    } while (sys.FindNextFileA(find, &data));
    sys.FindClose(find);
    std::sort(names.begin(), names.end(), LessIgnoringCase);
    return names;
}

std::string JoinWindowsPath(const std::string& parent, std::string_view name) {
    std::string path = parent;
    if (path.empty() || path.back() != '\\') path += '\\';
    path += name;
    return path;
}

}  // namespace vx

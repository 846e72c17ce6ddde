#include "platform/posix/machine.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <utility>
#include <vector>

#include "platform/host/host_files.h"
#include "platform/posix/short_names.h"
#include "platform/win32_names.h"

namespace vx::posix {

namespace fs = std::filesystem;

namespace {

using host::CurrentFolder;
using host::HomeFolder;
using host::RealPath;
using host::ReplaceHostFile;

// The entry of `folder` that `name` names, as spelled on disk: the exact
// name first, then any case, then a matching 8.3 short name.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
    struct stat status;
    if (lstat((folder + "/" + name).c_str(), &status) == 0) return name;
    // In byte order, so that of two entries differing only in case the same one always wins.
    const std::map<std::string, std::string> shortNames = ShortNamesOfFolder(folder);
    for (const auto& [longName, shortName] : shortNames)
        if (EqualsIgnoringCase(longName, name)) return longName;
    for (const auto& [longName, shortName] : shortNames)
        if (EqualsIgnoringCase(shortName, name)) return longName;
    return std::nullopt;
}

// The entry of `parent` called `name` in any case, or `name` itself when there is none.
std::string SpelledOnDisk(const std::string& parent, const std::string& name) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(parent, ec)) {
        const std::string existing = entry.path().filename().string();
        if (EqualsIgnoringCase(existing, name)) return existing;
    }
    return name;
}

// `parent`/`name` as a folder, reusing one of any case; empty on failure.
std::string EnsureFolder(const std::string& parent, const std::string& name) {
    const std::string folder = parent + "/" + SpelledOnDisk(parent, name);
    std::error_code ec;
    fs::create_directory(folder, ec);
    return fs::is_directory(folder, ec) ? folder : std::string();
}

bool EnsureLink(const std::string& link, const char* target) {
    struct stat status;
    if (lstat(link.c_str(), &status) == 0) return true;
    return errno == ENOENT && symlink(target, link.c_str()) == 0;
}

bool EnsureFile(const std::string& path, std::string_view contents) {
    struct stat status;
    if (lstat(path.c_str(), &status) == 0) return true;
    // Whole or not at all, even when the program is killed meanwhile.
    return ReplaceHostFile(path, contents) == ERROR_SUCCESS;
}

// A host path made absolute, with its existing part resolved to the real
// folders and the rest appended as given.
std::string ResolveHostPath(const std::string& hostPath) {
    std::string path = hostPath.front() == '/' ? hostPath : CurrentFolder() + "/" + hostPath;
    path = fs::path(path).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    std::string rest;
    for (;;) {
        if (const auto real = RealPath(path))
            return *real == "/" ? "/" + rest : *real + (rest.empty() ? "" : "/" + rest);
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos || path == "/") return path;
        const std::string leaf = path.substr(slash + 1);
        rest = rest.empty() ? leaf : leaf + "/" + rest;
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

bool Holds(const std::string& folder, const std::string& path) {
    if (folder == "/") return true;
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

}  // namespace

std::string LocateMachineFolder() {
    const char* prefix = getenv("WINEPREFIX");
    if (prefix && *prefix) return prefix;
    const std::string home = HomeFolder();
    std::error_code ec;
    if (!home.empty() && fs::is_directory(home + "/.wine", ec)) return home + "/.wine";
    // XDG wants relative values ignored.
    const char* dataHome = getenv("XDG_DATA_HOME");
    const std::string data = dataHome && dataHome[0] == '/' ? dataHome : home + "/.local/share";
    const std::string folder = data + "/vornalux-setup/machine";
    fs::create_directories(folder, ec);
    return folder;
}

bool PrepareMachineFolder(const std::string& folder) {
    std::error_code ec;
    fs::create_directories(folder + "/drive_c", ec);
    const std::string windows = EnsureFolder(folder + "/drive_c", "windows");
    if (windows.empty() || EnsureFolder(windows, "system32").empty()) return false;
    if (!EnsureFile(windows + "/" + SpelledOnDisk(windows, "WIN.INI"), "[windows]\r\n"))
        return false;
    fs::create_directories(folder + "/dosdevices", ec);
    return EnsureLink(folder + "/dosdevices/c:", "../drive_c") &&
           EnsureLink(folder + "/dosdevices/z:", "/");
}

Machine::Machine(MachineOptions options)
    : folder_(std::move(options.machineFolder)),
      programPath_(std::move(options.programPath)),
      codePage_(options.codePage),
      codec_(static_cast<UINT>(options.codePage)) {
    if (folder_.empty()) folder_ = LocateMachineFolder();
    if (programPath_.empty()) programPath_ = RealPath("/proc/self/exe").value_or("");
    // Both stay valid whatever the current folder becomes.
    std::error_code ec;
    if (const fs::path absolute = fs::absolute(folder_, ec); !ec)
        folder_ = absolute.lexically_normal().string();
    while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
    if (const fs::path absolute = fs::absolute(programPath_, ec); !ec && !programPath_.empty())
        programPath_ = absolute.lexically_normal().string();
}

std::optional<std::string> Machine::ToUtf8(std::string_view narrow) const {
    return codec_.ExactUtf8(narrow);
}

std::optional<std::string> Machine::ToNarrow(std::string_view utf8) const {
    return codec_.ExactNarrow(utf8);
}

bool Machine::IsLeadByte(unsigned char byte) const { return codec_.IsLeadByte(byte); }

namespace {

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// `windowsPath` with its drive and its folder from the root, as Windows
// completes a relative path: "name" and "X:name" from the current folder
// (the latter only when that is on X:, else from X:'s root), "\name" from
// the root of the current folder's drive.
std::optional<std::string> FullWindowsPath(const Machine& machine, std::string_view windowsPath) {
    const bool hasDrive =
        windowsPath.size() >= 2 && windowsPath[1] == ':' && IsDriveLetter(windowsPath[0]);
    if (hasDrive && windowsPath.size() > 2 && IsSeparator(windowsPath[2]))
        return std::string(windowsPath);
    const bool fromRoot = !hasDrive && !windowsPath.empty() && IsSeparator(windowsPath[0]);
    // UNC and device paths name no drive of this machine.
    if (fromRoot && windowsPath.size() > 1 && IsSeparator(windowsPath[1])) return std::nullopt;

    const std::string current = CurrentFolder();
    if (current.empty()) return std::nullopt;
    const std::optional<std::string> currentWindows = machine.ToWindowsPath(current);
    if (!currentWindows) return std::nullopt;
    if (fromRoot) return currentWindows->substr(0, 2) + std::string(windowsPath);
    if (!hasDrive) return *currentWindows + "\\" + std::string(windowsPath);
    const bool sameDrive = EqualsIgnoringCase(windowsPath.substr(0, 1),
                                              std::string_view(*currentWindows).substr(0, 1));
    return (sameDrive ? *currentWindows : std::string(windowsPath.substr(0, 2))) + "\\" +
           std::string(windowsPath.substr(2));
}

// Whether a component holds a character no Windows file name can hold; the
// trail byte of a double-byte character is no character of its own.
bool HoldsInvalidCharacter(const Machine& machine, std::string_view component) {
    for (std::size_t i = 0; i < component.size(); ++i) {
        const auto c = static_cast<unsigned char>(component[i]);
        if (machine.IsLeadByte(c) && i + 1 < component.size()) {
            ++i;
            continue;
        }
        if (IsForbiddenInName(static_cast<char>(c))) return true;
    }
    return false;
}

// The components of a full Windows path after its drive, with '.' and '..'
// resolved lexically (never above the root) and trailing dots and spaces
// dropped, as Windows normalises a path before it looks at the disk.
std::optional<std::vector<std::string>> NormalComponents(const Machine& machine,
                                                         std::string_view path) {
    std::vector<std::string> components;
    const auto add = [&](std::string component) {
        if (component == ".") return true;
        if (component == "..") {
            if (!components.empty()) components.pop_back();
            return true;
        }
        if (HoldsInvalidCharacter(machine, component)) return false;
        while (!component.empty() && (component.back() == '.' || component.back() == ' '))
            component.pop_back();
        if (!component.empty()) components.push_back(std::move(component));
        return true;
    };
    std::string component;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (machine.IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
            component += path.substr(i++, 2);
        } else if (IsSeparator(path[i])) {
            if (!add(std::exchange(component, {}))) return std::nullopt;
        } else {
            component += path[i];
        }
    }
    if (!add(std::move(component))) return std::nullopt;
    return components;
}

}  // namespace

std::optional<HostPath> Machine::Map(std::string_view windowsPath) const {
    if (windowsPath.empty()) return std::nullopt;
    const std::optional<std::string> full = FullWindowsPath(*this, windowsPath);
    if (!full) return std::nullopt;

    const char letter = (*full)[0];
    const char drive = LowerAscii(letter);
    // The link itself, so that the kernel follows it wherever it points.
    const std::string driveRoot = folder_ + "/dosdevices/" + drive + ":";
    struct stat status;
    if (lstat(driveRoot.c_str(), &status) != 0) return std::nullopt;

    const std::optional<std::vector<std::string>> components =
        NormalComponents(*this, std::string_view(*full).substr(2));
    if (!components) return std::nullopt;

    HostPath result{driveRoot, driveRoot,
                    stat(driveRoot.c_str(), &status) == 0 && S_ISDIR(status.st_mode)};
    // Through the open folder of the longest pin the path runs through; the
    // kernel's name of a descriptor follows the folder wherever it is.
    std::size_t first = 0;
    for (const Pin& pin : pins_) {
        if (pin.drive != drive || pin.components.size() > components->size() ||
            pin.components.size() < first)
            continue;
        const bool through = std::equal(pin.components.begin(), pin.components.end(),
                                        components->begin(), EqualsIgnoringCase);
        if (!through) continue;
        first = pin.components.size();
        result.path = "/proc/self/fd/" + std::to_string(pin.fd);
        result.exists = fstat(pin.fd, &status) == 0 && status.st_nlink > 0;
        result.pinnedFolder = first == components->size() ? pin.fd : -1;
    }
    for (std::size_t i = first; i < components->size(); ++i) {
        const std::string& narrow = (*components)[i];
        result.pinnedFolder = -1;
        std::optional<std::string> name = ToUtf8(narrow);
        if (!name) return std::nullopt;
        if (result.exists) {
            if (std::optional<std::string> found = FindEntry(result.path, *name))
                name = std::move(found);
            else
                result.exists = false;  // created later, in the case given
        }
        result.path += "/" + *name;
    }
    return result;
}

std::vector<std::string> Machine::FolderChain(std::string_view windowsPath) const {
    if (!Map(windowsPath)) return {};
    const std::optional<std::string> full = FullWindowsPath(*this, windowsPath);
    if (!full) return {};
    const std::optional<std::vector<std::string>> components =
        NormalComponents(*this, std::string_view(*full).substr(2));
    if (!components) return {};
    std::vector<std::string> chain;
    std::string path = full->substr(0, 2);
    for (const std::string& component : *components) chain.push_back(path += "\\" + component);
    chain.push_back(full->substr(0, 2) + "\\");
    std::reverse(chain.begin(), chain.end() - 1);
    return chain;
}

std::optional<std::string> Machine::ToWindowsPath(const std::string& hostPath) const {
    if (hostPath.empty()) return std::nullopt;
    const std::string path = ResolveHostPath(hostPath);

    // Only the drives the machine has: one listing instead of a lookup per letter.
    std::set<char> drives;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_ + "/dosdevices", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == 2 && name[0] >= 'a' && name[0] <= 'z' && name[1] == ':')
            drives.insert(name[0]);
    }

    char bestDrive = 0;
    std::string bestFolder;
    for (const char drive : drives) {
        const std::optional<std::string> folder = RealPath(folder_ + "/dosdevices/" + drive + ":");
        if (!folder || !Holds(*folder, path)) continue;
        if (bestDrive == 0 || folder->size() > bestFolder.size()) {
            bestDrive = drive;
            bestFolder = *folder;
        }
    }
    if (bestDrive == 0) return std::nullopt;

    std::string windows = std::string(1, UpperAscii(bestDrive)) + ":\\";
    const std::string rest =
        path.substr(std::min(path.size(), bestFolder == "/" ? 1 : bestFolder.size() + 1));
    for (const char c : rest) {
        if (c == '/') {
            windows += '\\';
            continue;
        }
        // A host name Windows could not spell has no Windows path.
        if (IsForbiddenInName(c)) return std::nullopt;
        windows += c;
    }
    return ToNarrow(windows);
}

int Machine::PinFolder(std::string_view windowsPath) {
    const std::optional<std::string> full = FullWindowsPath(*this, windowsPath);
    const std::optional<HostPath> host = Map(windowsPath);
    if (!full || !host || !host->exists) return -1;
    std::optional<std::vector<std::string>> components =
        NormalComponents(*this, std::string_view(*full).substr(2));
    if (!components) return -1;
    // Windows follows a junction on the way; so does the open.
    const int fd = open(host->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -1;
    const char letter = (*full)[0];
    pins_.push_back({fd, LowerAscii(letter), std::move(*components)});
    return fd;
}

void Machine::Unpin(int fd) {
    std::erase_if(pins_, [fd](const Pin& pin) { return pin.fd == fd; });
}

}  // namespace vx::posix

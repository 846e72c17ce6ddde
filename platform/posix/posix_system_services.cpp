// The machine's own calls: the program's name, the system's folders, text
// walking, and closing any handle the stand-in gave out.
#include "platform/posix/posix_system_services.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/host/host_paths.h"

namespace vx::posix {

namespace {

using host::HomeFolder;
using host::RealPath;

constexpr std::string_view kWindowsDirectory = "C:\\windows";
constexpr std::string_view kSystemDirectory = "C:\\windows\\system32";

MachineOptions Prepared(MachineOptions options) {
    if (options.machineFolder.empty()) options.machineFolder = LocateMachineFolder();
    PrepareMachineFolder(options.machineFolder);
    if (options.programPath.empty()) options.programPath = RealPath("/proc/self/exe").value_or("");
    return options;
}

}  // namespace

bool IsReadOnly(const struct stat& status) { return (status.st_mode & 0222) == 0; }

std::optional<std::string> ExistingHostPath(const Machine& machine, const char* path) {
    if (!path) return std::nullopt;
    const std::optional<HostPath> host = machine.Map(path);
    if (!host || !host->exists) return std::nullopt;
    return host->path;
}

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

UINT PosixSystemServices::GetHomeDirectoryA(char* buffer, UINT size) {
    const std::string home = HomeFolder();
    if (home.empty()) return 0;
    const std::optional<std::string> windows = machine_.ToWindowsPath(home);
    if (!windows) return 0;
    return CopyOut(*windows, buffer, size);
}

HRESULT PosixSystemServices::SHGetFolderPathA(HWND, int csidl, HANDLE, DWORD, char* path) {
    if (path == nullptr) return E_INVALIDARG;
    path[0] = '\0';
    if (csidl != CSIDL_PROGRAMS && csidl != CSIDL_COMMON_PROGRAMS) return E_INVALIDARG;
    const std::string programs = std::string(kWindowsDirectory) + "\\Start Menu\\Programs";
    return CopyOut(programs, path, MAX_PATH) < MAX_PATH ? S_OK : E_FAIL;
}

PosixSystemServices::~PosixSystemServices() {
    for (auto& [handle, object] : handles_.RemoveAll()) Release(object);
}

void PosixSystemServices::Release(HandleTable::Object& object) {
    OpenFolder* folder = std::get_if<OpenFolder>(&object);
    // A search holds nothing of the host's; a process still running goes
    // on, and init reaps it once we have ended.
    if (!folder) return;
    machine_.Unpin(folder->fd);
    if (folder->listing) closedir(folder->listing);
    close(folder->fd);
}

BOOL PosixSystemServices::CloseHandle(HANDLE handle) {
    std::optional<HandleTable::Object> object = handles_.Remove(handle);
    if (!object) return FALSE;
    Release(*object);
    return TRUE;
}

UINT PosixSystemServices::GetDosFileNameA(const char* hostPath, char* buffer, UINT size) {
    if (!hostPath || hostPath[0] != '/') return 0;
    const std::optional<std::string> windows = machine_.ToWindowsPath(hostPath);
    return windows ? CopyOut(*windows, buffer, size) : 0;
}

}  // namespace vx::posix

#include "platform/win32/win32_system_services.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "platform/win32/desktop_shell.h"
#include "platform/win32_names.h"

// After the project's headers: <windows.h> defines several of their names as macros.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
// clang-format on

namespace vx::win32 {

namespace {

// Copies `text` out the way the directory calls do: the length without the
// terminator when it fits, else the size needed.
UINT CopyOut(const std::string& text, char* buffer, UINT size) {
    if (buffer == nullptr || text.size() >= size) return static_cast<UINT>(text.size() + 1);
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return static_cast<UINT>(text.size());
}

// The full path `path` names, "." and ".." resolved; empty when it has none.
std::string FullPath(const char* path) {
    char buffer[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path, MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::string(buffer, length);
}

// The parent of a full path, or empty at the root ("C:\" or "\\server\share\").
std::string ParentOf(const std::string& full) {
    std::string path = full;
    while (path.size() > 3 && IsSeparator(path.back())) path.pop_back();
    const char* begin = path.c_str();
    const char* lastSeparator = nullptr;
    for (const char* p = begin; *p != '\0'; p = ::CharNextA(p))
        if (IsSeparator(*p)) lastSeparator = p;
    if (lastSeparator == nullptr) return {};
    const std::size_t cut = static_cast<std::size_t>(lastSeparator - begin);
    // "C:\x" has the parent "C:\"; "C:\" has none.
    if (cut + 1 >= path.size()) return {};
    return path.substr(0, cut < 3 ? cut + 1 : cut);
}

}  // namespace

DWORD Win32SystemServices::GetModuleFileNameA(char* buffer, DWORD size) {
    return ::GetModuleFileNameA(::GetModuleHandleA(nullptr), buffer, size);
}

UINT Win32SystemServices::GetWindowsDirectoryA(char* buffer, UINT size) {
    return ::GetWindowsDirectoryA(buffer, size);
}

UINT Win32SystemServices::GetSystemDirectoryA(char* buffer, UINT size) {
    return ::GetSystemDirectoryA(buffer, size);
}

const char* Win32SystemServices::CharNextA(const char* position) { return ::CharNextA(position); }

DWORD Win32SystemServices::GetPrivateProfileStringA(const char* section, const char* key,
                                                    const char* defaultValue, char* buffer,
                                                    DWORD size, const char* fileName) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

UINT Win32SystemServices::GetPrivateProfileIntA(const char* section, const char* key,
                                                int defaultValue, const char* fileName) {
    return ::GetPrivateProfileIntA(section, key, defaultValue, fileName);
}

BOOL Win32SystemServices::WritePrivateProfileStringA(const char* section, const char* key,
                                                     const char* value, const char* fileName) {
    return ::WritePrivateProfileStringA(section, key, value, fileName);
}

int Win32SystemServices::SHFileOperationA(FileOperationRequest* request) {
    if (request == nullptr) return ERROR_INVALID_PARAMETER;
    SHFILEOPSTRUCTA operation{};
    operation.hwnd = reinterpret_cast<::HWND>(request->hwnd);
    operation.wFunc = request->wFunc;
    operation.pFrom = request->pFrom;
    operation.pTo = request->pTo;
    operation.fFlags = request->fFlags;
    operation.lpszProgressTitle = request->lpszProgressTitle;
    const int result = ::SHFileOperationA(&operation);
    request->fAnyOperationsAborted = operation.fAnyOperationsAborted;
    request->hNameMappings = operation.hNameMappings;
    return result;
}

BOOL Win32SystemServices::SetFileAttributesA(const char* path, DWORD attributes) {
    return ::SetFileAttributesA(path, attributes);
}

DWORD Win32SystemServices::GetFileAttributesA(const char* path) {
    return ::GetFileAttributesA(path);
}

BOOL Win32SystemServices::RemoveDirectoryA(const char* path) { return ::RemoveDirectoryA(path); }

int Win32SystemServices::SHCreateDirectoryExA(HWND hwnd, const char* path, const void* security) {
    return ::SHCreateDirectoryExA(reinterpret_cast<::HWND>(hwnd), path,
                                  static_cast<const SECURITY_ATTRIBUTES*>(security));
}

DWORD Win32SystemServices::GetShortPathNameA(const char* longPath, char* buffer, DWORD size) {
    return ::GetShortPathNameA(longPath, buffer, size);
}

HFILE Win32SystemServices::_lcreat(const char* path, int attribute) {
    return ::_lcreat(path, attribute);
}

UINT Win32SystemServices::_lwrite(HFILE file, const char* bytes, UINT count) {
    return ::_lwrite(file, bytes, count);
}

HFILE Win32SystemServices::_lclose(HFILE file) { return ::_lclose(file); }

namespace {

// What WinExec gives back once the program runs; any value above 31 does.
constexpr UINT kStarted = 33;

// The command line's program, quoted or up to the first blank, and the rest.
std::pair<std::string, std::string> SplitCommandLine(std::string_view line) {
    std::size_t end = 0;
    std::string program;
    if (!line.empty() && line[0] == '"') {
        end = line.find('"', 1);
        program = std::string(line.substr(1, end == std::string_view::npos ? end : end - 1));
        end = end == std::string_view::npos ? line.size() : end + 1;
    } else {
        end = std::min(line.find_first_of(" \t"), line.size());
        program = std::string(line.substr(0, end));
    }
    const std::size_t rest = std::min(line.find_first_not_of(" \t", end), line.size());
    return {program, std::string(line.substr(rest))};
}

bool StartFromDesktop(const char* commandLine, UINT showState) {
    const auto [program, parameters] = SplitCommandLine(commandLine);
    if (program.empty()) return false;
    // The file WinExec would run: the program's own folder first, then the
    // current one, the system folders and the search path.
    char path[MAX_PATH];
    const DWORD length = ::SearchPathA(nullptr, program.c_str(), ".exe", MAX_PATH, path, nullptr);
    char folder[MAX_PATH];
    const DWORD folderLength = ::GetCurrentDirectoryA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH || folderLength == 0 || folderLength >= MAX_PATH)
        return false;
    return ShellExecuteFromDesktop(path, parameters, folder, static_cast<int>(showState));
}

}  // namespace

UINT Win32SystemServices::WinExec(const char* commandLine, UINT showState) {
    if (commandLine != nullptr && StartFromDesktop(commandLine, showState)) return kStarted;
    return ::WinExec(commandLine, showState);
}

DWORD Win32SystemServices::GetFileVersionInfoSizeA(const char* path, DWORD* handle) {
    ::DWORD nativeHandle = 0;
    const ::DWORD size = ::GetFileVersionInfoSizeA(path, &nativeHandle);
    if (handle != nullptr) *handle = nativeHandle;
    return size;
}

BOOL Win32SystemServices::GetFileVersionInfoA(const char* path, DWORD handle, DWORD length,
                                              void* data) {
    return ::GetFileVersionInfoA(path, handle, length, data);
}

BOOL Win32SystemServices::VerQueryValueA(const void* block, const char* subBlock, void** buffer,
                                         UINT* length) {
    return ::VerQueryValueA(block, subBlock, buffer, length);
}

BOOL Win32SystemServices::GetFileIdentity(const char* path, FileIdentity* identity) {
    if (path == nullptr || identity == nullptr) return FALSE;
    // No access rights are needed for the information; backup semantics open folders too.
    const HANDLE file =
        ::CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    BY_HANDLE_FILE_INFORMATION information{};
    const BOOL ok = ::GetFileInformationByHandle(file, &information);
    ::CloseHandle(file);
    if (!ok) return FALSE;
    identity->volume = information.dwVolumeSerialNumber;
    identity->index =
        (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;
    return TRUE;
}

UINT Win32SystemServices::GetAncestorIdentities(const char* path, FileIdentity* identities,
                                                UINT capacity) {
    if (path == nullptr || identities == nullptr || capacity == 0) return 0;
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return 0;
    UINT count = 0;
    for (std::string folder = FullPath(path); !folder.empty() && count < capacity;
         folder = ParentOf(folder)) {
        FileIdentity identity;
        if (!GetFileIdentity(folder.c_str(), &identity)) break;
        identities[count++] = identity;
    }
    return count;
}

UINT Win32SystemServices::GetHomeDirectoryA(char* buffer, UINT size) {
    char profile[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH);
    if (length > 0 && length < MAX_PATH) return CopyOut(std::string(profile, length), buffer, size);
    if (::SHGetFolderPathA(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile) != S_OK)
        return 0;
    return CopyOut(profile, buffer, size);
}

HRESULT Win32SystemServices::SHGetFolderPathA(HWND hwnd, int csidl, HANDLE token, DWORD flags,
                                              char* path) {
    return ::SHGetFolderPathA(reinterpret_cast<::HWND>(hwnd), csidl, token, flags, path);
}

HANDLE Win32SystemServices::CreateFileA(const char* path, DWORD access, DWORD shareMode,
                                        void* security, DWORD disposition, DWORD flags,
                                        HANDLE templateFile) {
    // Both sides spell a failure as the handle value -1.
    return ::CreateFileA(path, access, shareMode, static_cast<LPSECURITY_ATTRIBUTES>(security),
                         disposition, flags, templateFile);
}

BOOL Win32SystemServices::WritePrivateProfileSectionA(const char* section,
                                                      const char* keysAndValues,
                                                      const char* fileName) {
    return ::WritePrivateProfileSectionA(section, keysAndValues, fileName);
}

BOOL Win32SystemServices::CreateProcessA(const char* applicationName, char* commandLine,
                                         void* processAttributes, void* threadAttributes,
                                         BOOL inheritHandles, DWORD creationFlags,
                                         void* environment, const char* currentDirectory,
                                         STARTUPINFOA* startupInfo,
                                         PROCESS_INFORMATION* processInformation) {
    if (startupInfo == nullptr || processInformation == nullptr) return FALSE;
    ::STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = startupInfo->dwFlags;
    startup.wShowWindow = startupInfo->wShowWindow;
    startup.hStdInput = startupInfo->hStdInput;
    startup.hStdOutput = startupInfo->hStdOutput;
    startup.hStdError = startupInfo->hStdError;
    ::PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessA(
        applicationName, commandLine, static_cast<LPSECURITY_ATTRIBUTES>(processAttributes),
        static_cast<LPSECURITY_ATTRIBUTES>(threadAttributes), inheritHandles, creationFlags,
        environment, currentDirectory, &startup, &process);
    processInformation->hProcess = process.hProcess;
    processInformation->hThread = process.hThread;
    processInformation->dwProcessId = process.dwProcessId;
    processInformation->dwThreadId = process.dwThreadId;
    return started;
}

DWORD Win32SystemServices::WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

BOOL Win32SystemServices::GetExitCodeProcess(HANDLE process, DWORD* exitCode) {
    ::DWORD code = 0;
    const BOOL ok = ::GetExitCodeProcess(process, &code);
    if (ok && exitCode != nullptr) *exitCode = code;
    return ok;
}

BOOL Win32SystemServices::CloseHandle(HANDLE handle) { return ::CloseHandle(handle); }

BOOL Win32SystemServices::GetFileInformationByHandleEx(HANDLE handle,
                                                       FILE_INFO_BY_HANDLE_CLASS infoClass,
                                                       void* buffer, DWORD size) {
    static_assert(sizeof(vx::FILE_ID_BOTH_DIR_INFO) == sizeof(::FILE_ID_BOTH_DIR_INFO));
    static_assert(offsetof(vx::FILE_ID_BOTH_DIR_INFO, FileName) ==
                  offsetof(::FILE_ID_BOTH_DIR_INFO, FileName));
    static_assert(static_cast<int>(vx::FileIdBothDirectoryInfo) ==
                  static_cast<int>(::FileIdBothDirectoryInfo));
    return ::GetFileInformationByHandleEx(
        handle, static_cast<::FILE_INFO_BY_HANDLE_CLASS>(infoClass), buffer, size);
}

DWORD Win32SystemServices::GetFinalPathNameByHandleA(HANDLE handle, char* buffer, DWORD size,
                                                     DWORD flags) {
    return ::GetFinalPathNameByHandleA(handle, buffer, size, flags);
}

UINT Win32SystemServices::GetDosFileNameA(const char* hostPath, char* buffer, UINT size) {
    // Only Wine has it; on Windows no host file system shows through.
    using DosFileName = WCHAR*(CDECL*)(LPCSTR);
    const auto convert = reinterpret_cast<DosFileName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (convert == nullptr || hostPath == nullptr) return 0;
    WCHAR* wide = convert(hostPath);
    if (wide == nullptr) return 0;
    char narrow[MAX_PATH];
    const int length =
        ::WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, MAX_PATH, nullptr, nullptr);
    ::HeapFree(::GetProcessHeap(), 0, wide);
    if (length <= 0) return 0;
    return CopyOut(narrow, buffer, size);
}

namespace {

// The system's record in the boundary's shape (the same fields, in order).
vx::WIN32_FIND_DATAA FromSystem(const ::WIN32_FIND_DATAA& in) {
    vx::WIN32_FIND_DATAA out{};
    out.dwFileAttributes = in.dwFileAttributes;
    out.ftCreationTime = {in.ftCreationTime.dwLowDateTime, in.ftCreationTime.dwHighDateTime};
    out.ftLastAccessTime = {in.ftLastAccessTime.dwLowDateTime, in.ftLastAccessTime.dwHighDateTime};
    out.ftLastWriteTime = {in.ftLastWriteTime.dwLowDateTime, in.ftLastWriteTime.dwHighDateTime};
    out.nFileSizeHigh = in.nFileSizeHigh;
    out.nFileSizeLow = in.nFileSizeLow;
    out.dwReserved0 = in.dwReserved0;
    out.dwReserved1 = in.dwReserved1;
    static_assert(sizeof out.cFileName == sizeof in.cFileName);
    static_assert(sizeof out.cAlternateFileName == sizeof in.cAlternateFileName);
    std::memcpy(out.cFileName, in.cFileName, sizeof out.cFileName);
    std::memcpy(out.cAlternateFileName, in.cAlternateFileName, sizeof out.cAlternateFileName);
    return out;
}

}  // namespace

HANDLE Win32SystemServices::FindFirstFileA(const char* pattern, vx::WIN32_FIND_DATAA* data) {
    ::WIN32_FIND_DATAA found;
    const HANDLE find = ::FindFirstFileA(pattern, &found);
    if (find != INVALID_HANDLE_VALUE && data != nullptr) *data = FromSystem(found);
    return find;
}

BOOL Win32SystemServices::FindNextFileA(HANDLE find, vx::WIN32_FIND_DATAA* data) {
    ::WIN32_FIND_DATAA found;
    if (!::FindNextFileA(find, &found)) return FALSE;
    if (data != nullptr) *data = FromSystem(found);
    return TRUE;
}

BOOL Win32SystemServices::FindClose(HANDLE find) { return ::FindClose(find); }

DWORD Win32SystemServices::GetLogicalDriveStringsA(DWORD size, char* buffer) {
    return ::GetLogicalDriveStringsA(size, buffer);
}

BOOL Win32SystemServices::GetVolumePathNameA(const char* fileName, char* volumePathName,
                                             DWORD bufferLength) {
    return ::GetVolumePathNameA(fileName, volumePathName, bufferLength);
}

BOOL Win32SystemServices::GetDiskFreeSpaceA(const char* rootPathName, DWORD* sectorsPerCluster,
                                            DWORD* bytesPerSector, DWORD* numberOfFreeClusters,
                                            DWORD* totalNumberOfClusters) {
    ::DWORD sectors = 0, bytes = 0, free = 0, total = 0;
    if (!::GetDiskFreeSpaceA(rootPathName, &sectors, &bytes, &free, &total)) return FALSE;
    if (sectorsPerCluster) *sectorsPerCluster = sectors;
    if (bytesPerSector) *bytesPerSector = bytes;
    if (numberOfFreeClusters) *numberOfFreeClusters = free;
    if (totalNumberOfClusters) *totalNumberOfClusters = total;
    return TRUE;
}

BOOL Win32SystemServices::GetDiskFreeSpaceExA(const char* directoryName,
                                              ULARGE_INTEGER* freeBytesAvailableToCaller,
                                              ULARGE_INTEGER* totalNumberOfBytes,
                                              ULARGE_INTEGER* totalNumberOfFreeBytes) {
    ::ULARGE_INTEGER available{}, total{}, free{};
    if (!::GetDiskFreeSpaceExA(directoryName, &available, &total, &free)) return FALSE;
    if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = available.QuadPart;
    if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = total.QuadPart;
    if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = free.QuadPart;
    return TRUE;
}

DWORD Win32SystemServices::GetLastError() { return ::GetLastError(); }

}  // namespace vx::win32

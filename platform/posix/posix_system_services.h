// The Linux stand-in for the Windows system: every SystemServices operation
// carried out on a machine folder laid out as a Wine prefix.
#pragma once

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/posix/handle_table.h"
#include "platform/posix/machine.h"
#include "platform/system_services.h"

namespace vx::posix {

class ProfileDocument;

class PosixSystemServices final : public SystemServices {
public:
    explicit PosixSystemServices(MachineOptions options = {});
    ~PosixSystemServices() override;

    const Machine& machine() const { return machine_; }

    // Called after SHFileOperationA deleted in the Start menu (or a folder
    // holding it) with the Windows path it was given, whatever the result (a
    // delete may fail half way): whoever owns the machine keeps what mirrors
    // the Start menu, the desktop's menu, in step. None by default.
    using StartMenuDeleteHook = std::function<void(std::string_view windowsPath)>;
    void SetStartMenuDeleteHook(StartMenuDeleteHook hook) { startMenuDeleted_ = std::move(hook); }

    DWORD GetModuleFileNameA(char* buffer, DWORD size) override;
    UINT GetWindowsDirectoryA(char* buffer, UINT size) override;
    UINT GetSystemDirectoryA(char* buffer, UINT size) override;
    const char* CharNextA(const char* position) override;

    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                   char* buffer, DWORD size, const char* fileName) override;
    UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* fileName) override;
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* fileName) override;

    int SHFileOperationA(FileOperationRequest* request) override;
    BOOL SetFileAttributesA(const char* path, DWORD attributes) override;
    DWORD GetFileAttributesA(const char* path) override;
    BOOL RemoveDirectoryA(const char* path) override;
    int SHCreateDirectoryExA(HWND hwnd, const char* path, const void* security) override;
    DWORD GetShortPathNameA(const char* longPath, char* buffer, DWORD size) override;

    HFILE _lcreat(const char* path, int attribute) override;
    UINT _lwrite(HFILE file, const char* bytes, UINT count) override;
    HFILE _lclose(HFILE file) override;

    UINT WinExec(const char* commandLine, UINT showState) override;

    DWORD GetFileVersionInfoSizeA(const char* path, DWORD* handle) override;
    BOOL GetFileVersionInfoA(const char* path, DWORD handle, DWORD length, void* data) override;
    BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer,
                        UINT* length) override;

    BOOL GetFileIdentity(const char* path, FileIdentity* identity) override;
    UINT GetAncestorIdentities(const char* path, FileIdentity* identities, UINT capacity) override;
    UINT GetHomeDirectoryA(char* buffer, UINT size) override;

    // Both Programs folders are the one below the Windows directory, where
    // the converter puts the group on this machine.
    HRESULT SHGetFolderPathA(HWND hwnd, int csidl, HANDLE token, DWORD flags, char* path) override;

    HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile) override;
    BOOL CloseHandle(HANDLE handle) override;
    BOOL GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                      void* buffer, DWORD size) override;
    DWORD GetFinalPathNameByHandleA(HANDLE handle, char* buffer, DWORD size, DWORD flags) override;
    UINT GetDosFileNameA(const char* hostPath, char* buffer, UINT size) override;

    HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override;
    BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) override;
    BOOL FindClose(HANDLE find) override;
    DWORD GetLogicalDriveStringsA(DWORD size, char* buffer) override;

    BOOL WritePrivateProfileSectionA(const char* section, const char* keysAndValues,
                                     const char* fileName) override;
    // The program is found and started as WinExec does, but not detached:
    // the handle waits for it and gives its exit code (128 + the signal's
    // number for a program a signal ended).
    BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                        void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                        void* environment, const char* currentDirectory, STARTUPINFOA* startupInfo,
                        PROCESS_INFORMATION* processInformation) override;
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) override;

    // A volume is a host file system: its root is the highest folder of the
    // path, up to the drive's root, on the same one. The space calls read the
    // nearest folder of the path that exists (statvfs).
    BOOL GetVolumePathNameA(const char* fileName, char* volumePathName,
                            DWORD bufferLength) override;
    BOOL GetDiskFreeSpaceA(const char* rootPathName, DWORD* sectorsPerCluster,
                           DWORD* bytesPerSector, DWORD* numberOfFreeClusters,
                           DWORD* totalNumberOfClusters) override;
    BOOL GetDiskFreeSpaceExA(const char* directoryName, ULARGE_INTEGER* freeBytesAvailableToCaller,
                             ULARGE_INTEGER* totalNumberOfBytes,
                             ULARGE_INTEGER* totalNumberOfFreeBytes) override;
    DWORD GetLastError() override { return lastError_; }

private:
    // Gives back what a handle's object holds of the host.
    void Release(HandleTable::Object& object);
    // Whether the process behind `handle` has ended (reaping it then);
    // nullopt for a handle that is no process. `block` waits for it.
    std::optional<bool> PollProcess(HANDLE handle, bool block);

    // Reads the profile file `fileName`, applies `edit` and replaces the file
    // atomically with the result; FALSE when either fails.
    BOOL EditProfile(const char* fileName,
                     const std::function<std::optional<std::string>(const ProfileDocument&)>& edit);

    // The host file a profile call names: a bare name lives in the Windows directory.
    std::optional<std::string> ProfileHostPath(const char* fileName) const;

    // The host file system under `path`'s nearest existing folder; sets the
    // last error when there is none.
    std::optional<struct statvfs> VolumeStatus(const char* path);
    BOOL Fail(DWORD error) {
        lastError_ = error;
        return FALSE;
    }

    Machine machine_;
    StartMenuDeleteHook startMenuDeleted_;
    DWORD lastError_ = 0;
    HandleTable handles_;
};

// Copies a Windows path of `text` into `buffer` the way the Win32 calls do:
// the length without the terminator when it fits, else the size needed.
UINT CopyOut(std::string_view text, char* buffer, UINT size);

// Read-only is a host file without any write permission bit. Root ignores
// the bits, so the stand-in checks them itself, as Windows does for administrators.
bool IsReadOnly(const struct stat& status);

// The host path of the existing file or folder `path` names; nullopt for
// none (or no path).
std::optional<std::string> ExistingHostPath(const Machine& machine, const char* path);

}  // namespace vx::posix

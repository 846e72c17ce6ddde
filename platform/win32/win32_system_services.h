// The Win32 system services: every operation handed straight to the real
// call of KERNEL32, USER32, SHELL32 or VERSION; WinExec alone goes through
// the desktop's shell first.
#pragma once

#include "platform/system_services.h"

namespace vx::win32 {

class Win32SystemServices : public SystemServices {
public:
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

    // The program WinExec would find, started by the desktop's shell as the
    // user signed in there rather than with this program's administrator
    // rights, in the current folder; where that shell is missing or refuses,
    // WinExec itself.
    UINT WinExec(const char* commandLine, UINT showState) override;

    DWORD GetFileVersionInfoSizeA(const char* path, DWORD* handle) override;
    BOOL GetFileVersionInfoA(const char* path, DWORD handle, DWORD length, void* data) override;
    BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer,
                        UINT* length) override;

    // Volume serial number and file index, for files and folders alike.
    BOOL GetFileIdentity(const char* path, FileIdentity* identity) override;
    // The folder and each folder above it on the way to its drive's root.
    UINT GetAncestorIdentities(const char* path, FileIdentity* identities, UINT capacity) override;
    // The user's profile folder.
    UINT GetHomeDirectoryA(char* buffer, UINT size) override;

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
    BOOL CreateProcessA(const char* applicationName, char* commandLine, void* processAttributes,
                        void* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                        void* environment, const char* currentDirectory, STARTUPINFOA* startupInfo,
                        PROCESS_INFORMATION* processInformation) override;
    DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) override;
    BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) override;

    BOOL GetVolumePathNameA(const char* fileName, char* volumePathName,
                            DWORD bufferLength) override;
    BOOL GetDiskFreeSpaceA(const char* rootPathName, DWORD* sectorsPerCluster,
                           DWORD* bytesPerSector, DWORD* numberOfFreeClusters,
                           DWORD* totalNumberOfClusters) override;
    BOOL GetDiskFreeSpaceExA(const char* directoryName, ULARGE_INTEGER* freeBytesAvailableToCaller,
                             ULARGE_INTEGER* totalNumberOfBytes,
                             ULARGE_INTEGER* totalNumberOfFreeBytes) override;
    DWORD GetLastError() override;
};

}  // namespace vx::win32

// The door through which the setup logic reaches files, folders, profile
// files and program launch. Every operation keeps the shape of the Win32 call
// it stands for, so that the setup code reads like the Windows program and the
// Win32 backend is a pass-through.
#pragma once

#include "platform/win32_types.h"

namespace vx {

// The shell's SHFILEOPSTRUCTA, with the fields the setup program sets.
struct FileOperationRequest {
    HWND hwnd = nullptr;                      // owner of any progress or confirmation window
    UINT wFunc = 0;                           // FO_COPY or FO_DELETE
    const char* pFrom = nullptr;              // one path, ended by two zero bytes
    const char* pTo = nullptr;                // one path for a copy, none for a delete
    WORD fFlags = 0;                          // FOF_SILENT, FOF_NOCONFIRMATION
    BOOL fAnyOperationsAborted = FALSE;       // set when the user refused a question
    void* hNameMappings = nullptr;            // never read
    const char* lpszProgressTitle = nullptr;  // never given
};

// Which file a path names, independent of its spelling (device and inode on
// Linux, volume serial number and file index on Windows).
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class SystemServices {
public:
    virtual ~SystemServices() = default;

    // Full path of the running setup program.
    virtual DWORD GetModuleFileNameA(char* buffer, DWORD size) = 0;
    virtual UINT GetWindowsDirectoryA(char* buffer, UINT size) = 0;
    virtual UINT GetSystemDirectoryA(char* buffer, UINT size) = 0;
    virtual const char* CharNextA(const char* position) = 0;

    virtual DWORD GetPrivateProfileStringA(const char* section, const char* key,
                                           const char* defaultValue, char* buffer, DWORD size,
                                           const char* fileName) = 0;
    virtual UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                       const char* fileName) = 0;
    virtual BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* fileName) = 0;

    virtual int SHFileOperationA(FileOperationRequest* request) = 0;
    virtual BOOL SetFileAttributesA(const char* path, DWORD attributes) = 0;
    virtual DWORD GetFileAttributesA(const char* path) = 0;
    // Removes an empty folder; fails for a folder that still holds anything.
    virtual BOOL RemoveDirectoryA(const char* path) = 0;
    // Creates the folder and every missing folder above it: ERROR_SUCCESS,
    // ERROR_ALREADY_EXISTS when it is there already, else an error code.
    virtual int SHCreateDirectoryExA(HWND hwnd, const char* path, const void* security) = 0;
    virtual DWORD GetShortPathNameA(const char* longPath, char* buffer, DWORD size) = 0;

    virtual HFILE _lcreat(const char* path, int attribute) = 0;
    virtual UINT _lwrite(HFILE file, const char* bytes, UINT count) = 0;
    virtual HFILE _lclose(HFILE file) = 0;

    // Greater than 31 when the program started.
    virtual UINT WinExec(const char* commandLine, UINT showState) = 0;

    virtual DWORD GetFileVersionInfoSizeA(const char* path, DWORD* handle) = 0;
    virtual BOOL GetFileVersionInfoA(const char* path, DWORD handle, DWORD length, void* data) = 0;
    virtual BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer,
                                UINT* length) = 0;

    // What the directory rules need beyond the classic calls.
    virtual BOOL GetFileIdentity(const char* path, FileIdentity* identity) = 0;
    // Identities of the folder `path` names and of every folder above it on
    // the host, nearest first; returns how many were stored, 0 on failure.
    virtual UINT GetAncestorIdentities(const char* path, FileIdentity* identities,
                                       UINT capacity) = 0;
    // The user's home folder as a Windows path.
    virtual UINT GetHomeDirectoryA(char* buffer, UINT size) = 0;

    // The shell's special folders: CSIDL_PROGRAMS and CSIDL_COMMON_PROGRAMS,
    // the user's and everybody's Programs folder of the Start menu. `path`
    // holds MAX_PATH bytes; S_OK when it was filled.
    virtual HRESULT SHGetFolderPathA(HWND hwnd, int csidl, HANDLE token, DWORD flags,
                                     char* path) = 0;

    // The folder the uninstall checks and deletes, opened once: while the
    // handle is open, paths through that folder name it, as on Windows, where
    // a folder with an open handle and the folders above it cannot be renamed.
    // Folders only (FILE_FLAG_BACKUP_SEMANTICS, OPEN_EXISTING).
    virtual HANDLE CreateFileA(const char* path, DWORD access, DWORD shareMode, void* security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) = 0;
    // Closes a folder of CreateFileA or a process of CreateProcessA.
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    // The listing of an open folder (FileIdBothDirectoryInfo): as many
    // entries as fit, continued by the next call; FALSE once none are left.
    virtual BOOL GetFileInformationByHandleEx(HANDLE handle, FILE_INFO_BY_HANDLE_CLASS infoClass,
                                              void* buffer, DWORD size) = 0;
    // The open folder's full long path, "\\?\" in front.
    virtual DWORD GetFinalPathNameByHandleA(HANDLE handle, char* buffer, DWORD size,
                                            DWORD flags) = 0;
    // Wine's wine_get_dos_file_name, narrow: the Windows path of a host path;
    // 0 where no host file system shows through (on Windows itself).
    virtual UINT GetDosFileNameA(const char* hostPath, char* buffer, UINT size) = 0;

    // What the folder choosers read: the entries of a folder matching a
    // pattern ("C:\\Games\\*"), and the roots of the drives ("C:\\" each,
    // ended by a second zero; the length without the last zero, or the size
    // needed when `size` is too small).
    virtual HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) = 0;
    virtual BOOL FindClose(HANDLE find) = 0;
    virtual DWORD GetLogicalDriveStringsA(DWORD size, char* buffer) = 0;

    // A section's keys replaced in one write: the installed marker never
    // reaches the file without the directory.
    virtual BOOL WritePrivateProfileSectionA(const char* section, const char* keysAndValues,
                                             const char* fileName) = 0;
    // Starting a program and waiting for it (the group converter).
    virtual BOOL CreateProcessA(const char* applicationName, char* commandLine,
                                void* processAttributes, void* threadAttributes,
                                BOOL inheritHandles, DWORD creationFlags, void* environment,
                                const char* currentDirectory, STARTUPINFOA* startupInfo,
                                PROCESS_INFORMATION* processInformation) = 0;
    virtual DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) = 0;
    virtual BOOL GetExitCodeProcess(HANDLE process, DWORD* exitCode) = 0;

    // The space the install will need, worked out before it writes: the
    // root of the volume a path lies on ("C:\\", or the folder a volume is
    // mounted on), with a trailing separator; the path need not exist yet.
    virtual BOOL GetVolumePathNameA(const char* fileName, char* volumePathName,
                                    DWORD bufferLength) = 0;
    // The volume's allocation unit is sectorsPerCluster * bytesPerSector.
    virtual BOOL GetDiskFreeSpaceA(const char* rootPathName, DWORD* sectorsPerCluster,
                                   DWORD* bytesPerSector, DWORD* numberOfFreeClusters,
                                   DWORD* totalNumberOfClusters) = 0;
    // Bytes this user may still write on the volume of `directoryName`, the
    // volume's size and its free bytes; any pointer may be null.
    virtual BOOL GetDiskFreeSpaceExA(const char* directoryName,
                                     ULARGE_INTEGER* freeBytesAvailableToCaller,
                                     ULARGE_INTEGER* totalNumberOfBytes,
                                     ULARGE_INTEGER* totalNumberOfFreeBytes) = 0;
    // Why the last of the three calls above failed (the stand-in sets it for
    // those only).
    virtual DWORD GetLastError() = 0;
};

}  // namespace vx

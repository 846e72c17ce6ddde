// The Win32 names and values the setup logic is written in.
//
// These live in their own namespace so that the Win32 backend can include
// <windows.h> after this header without the two sets colliding. Include this
// header before any system header: several of these names are macros there.
//
// Results are tested one way throughout: a BOOL result as a truth value
// (`if (!sys.MoveFileExA(...))`); a call that returns an error code (LSTATUS,
// GetLastError's DWORD, SHFileOperationA's int) against ERROR_SUCCESS; a
// length result (GetShortPathNameA, GetFileVersionInfoSizeA, ...) is 0 on
// failure and is compared with the buffer's size for truncation; a handle
// against INVALID_HANDLE_VALUE or nullptr, as the call documents. A result
// ignored on purpose is cast to (void), with a comment saying why.
#pragma once

#include <cstdint>

namespace vx {

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using HFILE = int;
using INT_PTR = std::intptr_t;
struct HWND__;
using HWND = HWND__*;

inline constexpr BOOL FALSE = 0;
inline constexpr BOOL TRUE = 1;
inline constexpr DWORD MAX_PATH = 260;

// Shell file operations.
inline constexpr UINT FO_COPY = 0x0002;
inline constexpr UINT FO_DELETE = 0x0003;
inline constexpr WORD FOF_SILENT = 0x0004;
inline constexpr WORD FOF_NOCONFIRMATION = 0x0010;

// Results of the shell's file operation beyond plain Win32 error codes.
inline constexpr int DE_SAMEFILE = 0x71;
inline constexpr int DE_OPCANCELLED = 0x75;
inline constexpr int DE_INVALIDFILES = 0x7C;
inline constexpr int ERROR_SUCCESS = 0;
inline constexpr int ERROR_FILE_NOT_FOUND = 2;
inline constexpr int ERROR_PATH_NOT_FOUND = 3;
inline constexpr int ERROR_ACCESS_DENIED = 5;
inline constexpr int ERROR_INVALID_PARAMETER = 87;
inline constexpr int ERROR_ALREADY_EXISTS = 183;
inline constexpr int ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr int ERROR_CANCELLED = 1223;

// File attributes.
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// Old-style file calls.
inline constexpr HFILE HFILE_ERROR = -1;

// Show states for WinExec.
inline constexpr UINT SW_HIDE = 0;
inline constexpr UINT SW_SHOWDEFAULT = 10;

// Dialog results and message-box styles.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_YESNO = 0x00000004;
inline constexpr UINT MB_DEFBUTTON2 = 0x00000100;
inline constexpr UINT MB_TYPEMASK = 0x0000000F;
inline constexpr UINT MB_DEFMASK = 0x00000F00;

// What a message box of `type` offers (Yes and No, or OK alone) and the
// result of its default button, the one Enter presses.
inline bool IsYesNoBox(UINT type) { return (type & MB_TYPEMASK) == MB_YESNO; }
inline int DefaultResultOf(UINT type) {
    if (!IsYesNoBox(type)) return IDOK;
    return (type & MB_DEFMASK) == MB_DEFBUTTON2 ? IDNO : IDYES;
}
inline constexpr UINT BST_UNCHECKED = 0;
inline constexpr UINT BST_CHECKED = 1;

// The fixed file information of a version resource ("\\" of VerQueryValueA).
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
inline constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BD;

// A 64-bit count in the layout of the Win32 union (the disk space calls).
struct ULARGE_INTEGER {
    std::uint64_t QuadPart;
};

// The shell's special folders (SHGetFolderPathA).
using HRESULT = std::int32_t;
using HANDLE = void*;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr int CSIDL_PROGRAMS = 0x0002;
inline constexpr int CSIDL_COMMON_PROGRAMS = 0x0017;
inline constexpr DWORD SHGFP_TYPE_CURRENT = 0;

// Folder handles: the uninstall opens the folder it checks and deletes.
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
inline constexpr DWORD FILE_LIST_DIRECTORY = 0x00000001;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD FILE_SHARE_DELETE = 0x00000004;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;
inline constexpr DWORD FILE_NAME_NORMALIZED = 0;

enum FILE_INFO_BY_HANDLE_CLASS {
    FileIdBothDirectoryInfo = 10,
    FileIdBothDirectoryRestartInfo = 11
};

// One entry of a folder's listing; entries follow each other at NextEntryOffset.
struct FILE_ID_BOTH_DIR_INFO {
    DWORD NextEntryOffset;  // 0 on the last entry of the buffer
    DWORD FileIndex;
    std::int64_t CreationTime;
    std::int64_t LastAccessTime;
    std::int64_t LastWriteTime;
    std::int64_t ChangeTime;
    std::int64_t EndOfFile;
    std::int64_t AllocationSize;
    DWORD FileAttributes;
    DWORD FileNameLength;  // in bytes
    DWORD EaSize;
    char ShortNameLength;
    char16_t ShortName[12];
    std::int64_t FileId;
    char16_t FileName[1];  // UTF-16, not terminated
};

// Listing a folder (FindFirstFileA) and the machine's drives.
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};

// Processes the setup program starts and waits for.
inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0x00000000;
inline constexpr DWORD WAIT_TIMEOUT = 0x00000102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD STILL_ACTIVE = 259;
inline constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;

struct STARTUPINFOA {
    DWORD cb = sizeof(STARTUPINFOA);
    char* lpReserved = nullptr;
    char* lpDesktop = nullptr;
    char* lpTitle = nullptr;
    DWORD dwX = 0, dwY = 0, dwXSize = 0, dwYSize = 0;
    DWORD dwXCountChars = 0, dwYCountChars = 0, dwFillAttribute = 0;
    DWORD dwFlags = 0;  // STARTF_USESHOWWINDOW: wShowWindow counts
    WORD wShowWindow = 0;
    WORD cbReserved2 = 0;
    unsigned char* lpReserved2 = nullptr;
    HANDLE hStdInput = nullptr, hStdOutput = nullptr, hStdError = nullptr;
};

struct PROCESS_INFORMATION {
    HANDLE hProcess = nullptr;
    HANDLE hThread = nullptr;
    DWORD dwProcessId = 0;
    DWORD dwThreadId = 0;
};

}  // namespace vx

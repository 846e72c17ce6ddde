#include "platform/posix/posix_system_services.h"

namespace vx::posix {

PosixSystemServices::PosixSystemServices(MachineOptions options) : machine_(std::move(options)) {}

DWORD PosixSystemServices::GetModuleFileNameA(char*, DWORD) { return 0; }
UINT PosixSystemServices::GetWindowsDirectoryA(char*, UINT) { return 0; }
UINT PosixSystemServices::GetSystemDirectoryA(char*, UINT) { return 0; }
const char* PosixSystemServices::CharNextA(const char* p) { return *p ? p + 1 : p; }
BOOL PosixSystemServices::SetFileAttributesA(const char*, DWORD) { return FALSE; }
DWORD PosixSystemServices::GetFileAttributesA(const char*) { return INVALID_FILE_ATTRIBUTES; }
DWORD PosixSystemServices::GetShortPathNameA(const char*, char*, DWORD) { return 0; }
HFILE PosixSystemServices::_lcreat(const char*, int) { return HFILE_ERROR; }
UINT PosixSystemServices::_lwrite(HFILE, const char*, UINT) { return static_cast<UINT>(HFILE_ERROR); }
HFILE PosixSystemServices::_lclose(HFILE) { return HFILE_ERROR; }
BOOL PosixSystemServices::GetFileIdentity(const char*, FileIdentity*) { return FALSE; }
UINT PosixSystemServices::GetAncestorIdentities(const char*, FileIdentity*, UINT) { return 0; }
UINT PosixSystemServices::GetHomeDirectoryA(char*, UINT) { return 0; }

UINT CopyOut(std::string_view, char*, UINT) { return 0; }

}  // namespace vx::posix

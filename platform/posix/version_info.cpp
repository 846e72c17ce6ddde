#include "platform/posix/posix_system_services.h"

namespace vx::posix {

DWORD PosixSystemServices::GetFileVersionInfoSizeA(const char*, DWORD*) { return 0; }
BOOL PosixSystemServices::GetFileVersionInfoA(const char*, DWORD, DWORD, void*) { return FALSE; }
BOOL PosixSystemServices::VerQueryValueA(const void*, const char*, void**, UINT*) { return FALSE; }

}  // namespace vx::posix

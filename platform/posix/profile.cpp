#include "platform/posix/posix_system_services.h"

namespace vx::posix {

std::optional<std::string> PosixSystemServices::ProfileHostPath(const char*) const { return std::nullopt; }
DWORD PosixSystemServices::GetPrivateProfileStringA(const char*, const char*, const char*, char*, DWORD, const char*) { return 0; }
UINT PosixSystemServices::GetPrivateProfileIntA(const char*, const char*, int d, const char*) { return static_cast<UINT>(d); }
BOOL PosixSystemServices::WritePrivateProfileStringA(const char*, const char*, const char*, const char*) { return FALSE; }

}  // namespace vx::posix

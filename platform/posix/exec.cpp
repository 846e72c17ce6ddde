#include "platform/posix/posix_system_services.h"

namespace vx::posix {

UINT PosixSystemServices::WinExec(const char*, UINT) { return ERROR_FILE_NOT_FOUND; }

}  // namespace vx::posix

#include "platform/posix/posix_system_services.h"

namespace vx::posix {

int PosixSystemServices::SHFileOperationA(FileOperationRequest*) { return ERROR_INVALID_PARAMETER; }

}  // namespace vx::posix

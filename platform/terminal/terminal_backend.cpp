#include "platform/backends.h"

namespace vx {

std::unique_ptr<WindowBackend> CreateTerminalBackend() { return nullptr; }

}  // namespace vx

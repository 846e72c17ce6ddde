#include "platform/backends.h"

namespace vx {

std::unique_ptr<WindowBackend> CreateFltkBackend() { return nullptr; }

}  // namespace vx

// Whether a runtime library the game ships replaces the one the system
// directory holds: the copy and the space it needs both ask.
#pragma once

#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

// A library already in the system directory stays unless ours is known to be newer.
bool ShouldReplaceLibrary(SystemServices& sys, const PathBuffer& ours, const PathBuffer& theirs);

}  // namespace vx

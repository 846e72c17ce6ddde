// The Start-menu entry: a group script for the system's group converter.
#pragma once

#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

inline constexpr const char* kGroupName = "PELTOMARK! Inc.";
inline constexpr const char* kItemTitle = "Vornalux!";
inline constexpr const char* kShortcutName = "Vornalux!.lnk";
inline constexpr const char* kGroupConverterCommand = "grpconv -o";

// Writes "SETUP.INI" into the Windows directory and starts "grpconv -o".
// False when the group could not be made: no short program path, a script
// that would not fit its 512 bytes, a script file that could not be written
// whole, or a converter that did not start.
bool CreateProgramGroup(SystemServices& sys, const PathBuffer& targetDir);

}  // namespace vx

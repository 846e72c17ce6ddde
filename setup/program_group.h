// The Start-menu entry: a group script for the system's group converter.
#pragma once

#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

inline constexpr const char* kGroupName = "PELTOMARK! Inc.";
inline constexpr const char* kItemTitle = "Vornalux!";
inline constexpr const char* kShortcutName = "Vornalux!.lnk";
inline constexpr const char* kGroupConverterCommand = "grpconv -o";

// How long the install waits for the converter, in milliseconds.
inline constexpr DWORD kConverterWait = 30000;

// Where the converter puts the group's folder and its shortcut. False when
// either path does not fit.
bool ComposeShortcutPath(SystemServices& sys, PathBuffer& folder, PathBuffer& shortcut);

// Writes "SETUP.INI" into the Windows directory, runs "grpconv -o" and waits
// for it (at most kConverterWait). False when the group could not be made: no
// short program path, a script that would not fit its 512 bytes, a script
// file that could not be written whole, a converter that did not start, did
// not end in time or failed, or a shortcut that is not there afterwards.
bool CreateProgramGroup(SystemServices& sys, const PathBuffer& targetDir);

}  // namespace vx

// The Start-menu entry: a group script for the system's group converter.
#pragma once

#include <vector>

#include "platform/system_services.h"
#include "setup/path_buffer.h"

namespace vx {

inline constexpr const char* kGroupName = "PELTOMARK! Inc.";
inline constexpr const char* kItemTitle = "Vornalux!";
inline constexpr const char* kShortcutName = "Vornalux!.lnk";
inline constexpr const char* kGroupConverterCommand = "grpconv -o";

// How long the install waits for the converter, in milliseconds.
inline constexpr DWORD kConverterWait = 30000;

// Writes "SETUP.INI" into the Windows directory, runs "grpconv -o" and waits
// for it (at most kConverterWait). False when the group could not be made: no
// short program path, a script that would not fit its 512 bytes, a script
// file that could not be written whole, a converter that did not start, did
// not end in time or failed, or a shortcut that is not there afterwards.
bool CreateProgramGroup(SystemServices& sys, const PathBuffer& targetDir);

// The group's folder in a Programs folder of the Start menu: the group name
// without its trailing full stop.
inline constexpr const char* kGroupFolderName = "PELTOMARK! Inc";

struct StartMenuGroup {
    PathBuffer folder;
    PathBuffer shortcut;  // the item's shortcut in it
};

// Every place the group may be, each once: below the Windows directory,
// where earlier versions put it, then everybody's and the user's Programs
// folder, where the converter puts it now (everybody's when it may).
std::vector<StartMenuGroup> StartMenuGroups(SystemServices& sys);

// The group in everybody's and the user's Programs folder, where the
// converter puts it; one place on a machine where both are the same folder.
std::vector<StartMenuGroup> ProgramsFolderGroups(SystemServices& sys);

}  // namespace vx
